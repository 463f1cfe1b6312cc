#include "browser_panel.h"

#include "util/web_engine_parts.h"

#include <QVBoxLayout>

TBrowserPanel::TBrowserPanel(const QString &profileFolder, QWidget *parent)
    : QWidget(parent), m_profileFolder(profileFolder)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void TBrowserPanel::Navigate(const QString &address)
{
    TWebEngineParts &parts = WebEngineParts();
    if (!m_browser) {
        m_browser = parts.NewBrowser(m_profileFolder, this);
        m_browser->setObjectName(objectName() + QStringLiteral("Browser"));
        // By name: the browser's class lives in the plugin.
        connect(m_browser, SIGNAL(loadFinished(bool)), this, SIGNAL(loadFinished(bool)));
        connect(m_browser, SIGNAL(urlChanged(QUrl)), this, SIGNAL(urlChanged(QUrl)));
        layout()->addWidget(m_browser);
        if (isVisible())
            m_browser->show();
    }
    parts.Navigate(m_browser, address);
}

bool TBrowserPanel::Busy() const
{
    return m_browser && WebEngineParts().Busy(m_browser);
}

void TBrowserPanel::Stop()
{
    if (m_browser)
        WebEngineParts().Stop(m_browser);
}

void TBrowserPanel::GoBack()
{
    if (m_browser)
        WebEngineParts().GoBack(m_browser);
}

void TBrowserPanel::GoForward()
{
    if (m_browser)
        WebEngineParts().GoForward(m_browser);
}

void TBrowserPanel::Refresh()
{
    if (m_browser)
        WebEngineParts().Refresh(m_browser);
}

bool TBrowserPanel::Paste()
{
    return m_browser && WebEngineParts().Paste(m_browser);
}

void TBrowserPanel::SetClipboardText(const QString &text)
{
    // The browser's own rule, so the two never differ.
    WebEngineParts().SetClipboardText(text);
}

QWebEngineView *TBrowserPanel::View() const
{
    return m_browser ? WebEngineParts().BrowserView(m_browser) : nullptr;
}

QString TBrowserPanel::ScriptError() const
{
    return m_browser ? WebEngineParts().ScriptError(m_browser) : QString();
}

QUrl TBrowserPanel::Url() const
{
    return m_browser ? WebEngineParts().Url(m_browser) : QUrl();
}
