#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QLineEdit;
class TMessageService;
class TSecretClipboard;
class TBrowser;

// What the browser bar and the Browse and Paste buttons of the item editor do.
// The main window's handlers only pass in their browser (the panel,
// web/browser_panel.h), edit and field text.
namespace WebPanel {

// Back, Forward and Refresh stop a page that is still loading first. None of
// them reports anything.
void Back(TBrowser &browser);
void Forward(TBrowser &browser);
void Refresh(TBrowser &browser);
void Stop(TBrowser &browser);

// "Go!": opens the text of the address edit exactly as typed; an empty edit
// does nothing. A failure to navigate is raised to the caller.
void Go(TBrowser &browser, const QString &addressEditText);

// "Browse": an empty field changes nothing, not even a page still loading.
// Otherwise the address edit shows the field's text, then the browser opens
// it; a failure to navigate is raised after the edit has been filled.
void Browse(TBrowser &browser, QLineEdit &addressEdit, const QString &fieldText);

// "Paste": puts the field's text on the clipboard, even when empty, where it
// stays until the clipboard forgets it, then pastes it into the page's
// focused input.
void Paste(TBrowser &browser, TSecretClipboard &clipboard, const QString &fieldText);

// The host of an address as typed in an item field (lower case); empty when
// it names none.
QString HostOf(const QString &address);

// The question to ask before a password goes into the page at `page`, naming
// the page's origin and those of the item's addresses, or an empty text when
// the page belongs to the site of one of the item's addresses (IsSameSite in
// web/site_origin.h) or there is no page to paste into.
QString PasswordPasteQuestion(const QUrl &page, const QStringList &itemAddresses);

// "Paste" for the password: asks through `messages` first when the page is
// not on the site of one of the item's addresses; on No nothing is pasted.
void PastePassword(TBrowser &browser, TSecretClipboard &clipboard, TMessageService &messages,
                   const QString &password, const QStringList &itemAddresses);

} // namespace WebPanel
