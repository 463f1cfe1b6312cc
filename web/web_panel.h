#pragma once

#include <QString>

class QLineEdit;
class TWebBrowser;

// What the browser bar and the Browse and Paste buttons of the item editor do.
// The main window's handlers only pass in their browser, edit and field text.
namespace WebPanel {

// Back, Forward and Refresh stop a page that is still loading first. None of
// them reports anything.
void Back(TWebBrowser &browser);
void Forward(TWebBrowser &browser);
void Refresh(TWebBrowser &browser);
void Stop(TWebBrowser &browser);

// "Go!": opens the text of the address edit exactly as typed; an empty edit
// does nothing. A failure to navigate is raised to the caller.
void Go(TWebBrowser &browser, const QString &addressEditText);

// "Browse": an empty field changes nothing, not even a page still loading.
// Otherwise the address edit shows the field's text, then the browser opens
// it; a failure to navigate is raised after the edit has been filled.
void Browse(TWebBrowser &browser, QLineEdit &addressEdit, const QString &fieldText);

// "Paste": puts the field's text on the clipboard, even when empty, where it
// stays, then pastes it into the page's focused input.
void Paste(TWebBrowser &browser, const QString &fieldText);

} // namespace WebPanel
