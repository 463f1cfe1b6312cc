#include "web_panel.h"

#include "web_browser.h"

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

void StopIfBusy(TWebBrowser &browser)
{
    if (browser.Busy())
        browser.Stop();
}

} // namespace

void WebPanel::Back(TWebBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoBack();
    });
}

void WebPanel::Forward(TWebBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoForward();
    });
}

void WebPanel::Refresh(TWebBrowser &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.Refresh();
    });
}

void WebPanel::Stop(TWebBrowser &browser)
{
    Quietly([&] { StopIfBusy(browser); });
}

void WebPanel::Go(TWebBrowser &browser, const QString &addressEditText)
{
    if (addressEditText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    browser.Navigate(addressEditText);
}

void WebPanel::Browse(TWebBrowser &browser, QLineEdit &addressEdit, const QString &fieldText)
{
    if (fieldText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    addressEdit.setText(fieldText);
    browser.Navigate(fieldText);
}

void WebPanel::Paste(TWebBrowser &browser, const QString &fieldText)
{
    TWebBrowser::SetClipboardText(fieldText);
    browser.Paste();
}
