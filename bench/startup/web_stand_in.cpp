// The browser panel left out: an empty widget in its place that does nothing,
// so the start-up benchmark can time the program without the panel.
#include "web/web_browser.h"

TWebBrowser::TWebBrowser(const QString &profileFolder, QWidget *parent)
    : QWidget(parent), m_profileFolder(profileFolder)
{
}

TWebBrowser::~TWebBrowser() = default;

void TWebBrowser::Navigate(const QString &)
{
}

bool TWebBrowser::Busy() const
{
    return false;
}

void TWebBrowser::Stop()
{
}

void TWebBrowser::GoBack()
{
}

void TWebBrowser::GoForward()
{
}

void TWebBrowser::Refresh()
{
}

bool TWebBrowser::Paste()
{
    return false;
}

void TWebBrowser::SetClipboardText(const QString &)
{
}

QString TWebBrowser::ScriptError() const
{
    return {};
}

QUrl TWebBrowser::Url() const
{
    return {};
}
