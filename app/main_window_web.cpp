// The web panel of the main window: the browser bar and the Browse and Paste
// buttons of the item editor.
#include "main_window.h"

void TfrmMain::ConnectWebHandlers()
{
}
