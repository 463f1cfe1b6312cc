#include "web_panel.h"

#include "site_origin.h"

#include "util/message_service.h"
#include "util/secret_clipboard.h"
#include "util/web_engine_parts.h"

#include <QLineEdit>

namespace {

template <typename F>
void Quietly(F &&f)
{
    try {
        f();
    } catch (...) {
    }
}

void StopIfBusy(TBrowser &browser)
{
    if (browser.Busy())
        browser.Stop();
}

} // namespace

void WebPanel::Back(TBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoBack();
    });
}

void WebPanel::Forward(TBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoForward();
    });
}

void WebPanel::Refresh(TBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.Refresh();
    });
}

void WebPanel::Stop(TBrowser &browser)
{
    Quietly([&] { StopIfBusy(browser); });
}

void WebPanel::Go(TBrowser &browser, const QString &addressEditText)
{
    if (addressEditText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    browser.Navigate(addressEditText);
}

void WebPanel::Browse(TBrowser &browser, QLineEdit &addressEdit, const QString &fieldText)
{
    if (fieldText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    addressEdit.setText(fieldText);
    browser.Navigate(fieldText);
}

void WebPanel::Paste(TBrowser &browser, TSecretClipboard &clipboard, const QString &fieldText)
{
    clipboard.SetText(fieldText);
    browser.Paste();
}

QString WebPanel::HostOf(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    return url.isValid() ? url.host().toLower() : QString();
}

QString WebPanel::PasswordPasteQuestion(const QUrl &page, const QStringList &itemAddresses)
{
    if (page.isEmpty())
        return {};
    const TSiteOrigin pageOrigin = OriginOf(page);
    QStringList itemOrigins;
    for (const QString &address : itemAddresses) {
        const TSiteOrigin origin = OriginOfAddress(address);
        if (IsSameSite(origin, pageOrigin))
            return {};
        if (origin.IsValid() && !itemOrigins.contains(origin.Text()))
            itemOrigins << origin.Text();
    }
    const QString shownPage = pageOrigin.IsValid() ? pageOrigin.Text() : QStringLiteral("(no host)");
    const QString shownItem =
        itemOrigins.isEmpty() ? QStringLiteral("no host at all") : itemOrigins.join(QStringLiteral(", "));
    return QStringLiteral("The page shown is on %1, but this item's addresses are on %2.\n\n"
                          "Do you want to paste the password into this page?")
        .arg(shownPage, shownItem);
}

void WebPanel::PastePassword(TBrowser &browser, TSecretClipboard &clipboard, TMessageService &messages,
                             const QString &password, const QStringList &itemAddresses)
{
    // Paste has nothing to go into without a page; nothing to ask either.
    const QString question = PasswordPasteQuestion(browser.Url(), itemAddresses);
    if (!question.isEmpty() &&
        messages.MessageDlg(question, TMsgDlgType::mtWarning, mbYes | mbNo) != TModalResult::mrYes)
        return;
    Paste(browser, clipboard, password);
}
