// News polling of the main window.
#include "main_window.h"

#include "util/error_reporter.h"

#include <QTimer>

void TfrmMain::ConnectServiceHandlers()
{
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmMain::Timer1Timer));
}

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
}
