#include "browser_panel.h"

#include <QVBoxLayout>

TBrowserPanel::TBrowserPanel(const QString &profileFolder, QWidget *parent)
    : QWidget(parent), m_profileFolder(profileFolder)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

// The browser goes before the panel's widget part, which would otherwise
// delete it as a child behind the owner's back.
TBrowserPanel::~TBrowserPanel() = default;

void TBrowserPanel::Navigate(const QString &address)
{
    if (!m_browser) {
        m_browser = WebEngineParts().NewBrowser(m_profileFolder, this);
        QWidget *browser = m_browser->Widget();
        browser->setObjectName(objectName() + QStringLiteral("Browser"));
        // By name: the browser's class lives in the plugin.
        connect(browser, SIGNAL(loadFinished(bool)), this, SIGNAL(loadFinished(bool)));
        connect(browser, SIGNAL(urlChanged(QUrl)), this, SIGNAL(urlChanged(QUrl)));
        layout()->addWidget(browser);
        if (isVisible())
            browser->show();
    }
    m_browser->Navigate(address);
}

bool TBrowserPanel::Busy() const
{
    return m_browser && m_browser->Busy();
}

QUrl TBrowserPanel::Url() const
{
    return m_browser ? m_browser->Url() : QUrl();
}

void TBrowserPanel::Stop()
{
    if (m_browser)
        m_browser->Stop();
}

void TBrowserPanel::GoBack()
{
    if (m_browser)
        m_browser->GoBack();
}

void TBrowserPanel::GoForward()
{
    if (m_browser)
        m_browser->GoForward();
}

void TBrowserPanel::Refresh()
{
    if (m_browser)
        m_browser->Refresh();
}

bool TBrowserPanel::Paste()
{
    return m_browser && m_browser->Paste();
}

QString TBrowserPanel::ScriptError() const
{
    return m_browser ? m_browser->ScriptError() : QString();
}

void TBrowserPanel::RunIsolatedScript(const QString &source, const std::function<void(const QVariant &)> &done)
{
    if (m_browser)
        m_browser->RunIsolatedScript(source, done);
}
