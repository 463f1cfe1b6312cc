// News polling of the main window.
#include "main_window.h"

#include <QTimer>

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
}
