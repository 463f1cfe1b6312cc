#include "web_panel.h"

#include "browser_panel.h"

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

void StopIfBusy(TBrowserPanel &browser)
{
    if (browser.Busy())
        browser.Stop();
}

} // namespace

void WebPanel::Back(TBrowserPanel &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoBack();
    });
}

void WebPanel::Forward(TBrowserPanel &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.GoForward();
    });
}

void WebPanel::Refresh(TBrowserPanel &browser)
{
    Quietly([&] {
        StopIfBusy(browser);
        browser.Refresh();
    });
}

void WebPanel::Stop(TBrowserPanel &browser)
{
    Quietly([&] { StopIfBusy(browser); });
}

void WebPanel::Go(TBrowserPanel &browser, const QString &addressEditText)
{
    if (addressEditText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    browser.Navigate(addressEditText);
}

void WebPanel::Browse(TBrowserPanel &browser, QLineEdit &addressEdit, const QString &fieldText)
{
    if (fieldText.isEmpty())
        return;
    Quietly([&] { browser.Stop(); });
    addressEdit.setText(fieldText);
    browser.Navigate(fieldText);
}

void WebPanel::Paste(TBrowserPanel &browser, const QString &fieldText)
{
    TBrowserPanel::SetClipboardText(fieldText);
    browser.Paste();
}
