#include "web_browser.h"

#include "util/errors.h"
#include "util/private_files.h"
#include "web_page.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// Profile names must be stable: the engine keeps its data under this name.
const QString kProfileName = QStringLiteral("Tarnwick");

// No other script of ours runs in this world, so what one left behind in a
// document cannot be met by the next, and the page's own scripts (world 0)
// never see it.
constexpr quint32 kIsolatedWorld = QWebEngineScript::UserWorld + 1;

} // namespace

TWebBrowser::TWebBrowser(const QString &profileFolder, QWidget *parent)
    : QWidget(parent), m_profileFolder(profileFolder)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Until the first navigation the panel shows what an empty page shows.
    m_blank = new QWidget(this);
    m_blank->setObjectName(QStringLiteral("panBlankPage"));
    m_blank->setAutoFillBackground(true);
    QPalette blankPalette = m_blank->palette();
    blankPalette.setColor(QPalette::Window, Qt::white);
    m_blank->setPalette(blankPalette);
    layout->addWidget(m_blank, 1);

    // Script errors are shown, not suppressed, but without a modal box: pages
    // raise them by the dozen and the user cannot fix them, so a strip under
    // the page tells of the last one until the next page or until dismissed.
    m_errorBar = new QWidget(this);
    m_errorBar->setObjectName(QStringLiteral("panScriptError"));
    auto *barLayout = new QHBoxLayout(m_errorBar);
    barLayout->setContentsMargins(6, 2, 2, 2);
    m_errorText = new QLabel(m_errorBar);
    m_errorText->setObjectName(QStringLiteral("lblScriptError"));
    m_errorText->setTextFormat(Qt::PlainText);
    m_errorText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    barLayout->addWidget(m_errorText, 1);
    m_errorClose = new QToolButton(m_errorBar);
    m_errorClose->setObjectName(QStringLiteral("btnCloseScriptError"));
    m_errorClose->setText(QStringLiteral("\u00D7"));
    m_errorClose->setToolTip(QStringLiteral("Hide"));
    m_errorClose->setAutoRaise(true);
    m_errorClose->setFocusPolicy(Qt::NoFocus);
    connect(m_errorClose, &QToolButton::clicked, this, &TWebBrowser::ClearScriptError);
    barLayout->addWidget(m_errorClose);
    m_errorBar->hide();
    layout->addWidget(m_errorBar);

    // Ctrl+N, "new window" in a browser, does nothing inside the panel; the
    // shortcut also keeps the key from reaching a window-wide command.
    auto *swallowNewWindow = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    swallowNewWindow->setContext(Qt::WidgetWithChildrenShortcut);
}

TWebBrowser::~TWebBrowser()
{
    // The engine wants the page gone before its profile.
    delete m_view;
    m_view = nullptr;
    m_page = nullptr;
    delete m_profile;
}

void TWebBrowser::StartEngine()
{
    if (m_view)
        return;
    // Cookies and saved log-ins: for the owner's eyes only.
    MakeOwnerOnlyFolder(m_profileFolder);
    const QString folder = QDir(m_profileFolder).absolutePath();
    // Qt 6.4 writes the new profile's small preferences file under the
    // user's data folder before the storage path below can take effect; the
    // cookies, site data and cache all go to the profile folder.
    m_profile = new QWebEngineProfile(kProfileName, this);
    m_profile->setPersistentStoragePath(folder);
    m_profile->setCachePath(folder + QStringLiteral("/cache"));
    m_profile->setDownloadPath(folder + QStringLiteral("/downloads"));
    // Session cookies too: many sites keep their log-in in one.
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);

    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("EmbeddedWB1View"));
    m_page = new TWebPage(m_profile, m_view);
    m_view->setPage(m_page);
    // Form auto-complete and themed form controls are the engine's defaults
    // and stay on. A page may not open windows by itself; the user's own
    // new-window clicks are loaded in the panel.
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    connect(m_page, &TWebPage::scriptError, this, &TWebBrowser::ShowScriptError);
    connect(m_page, &QWebEnginePage::loadStarted, this, &TWebBrowser::ClearScriptError);
    connect(m_page, &QWebEnginePage::loadFinished, this, &TWebBrowser::loadFinished);
    connect(m_page, &QWebEnginePage::urlChanged, this, &TWebBrowser::urlChanged);

    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    // The layout hands back the placeholder's item, which is ours to free.
    delete layout->replaceWidget(m_blank, m_view);
    delete m_blank;
    m_blank = nullptr;
    layout->setStretchFactor(m_view, 1);
    m_view->show();
}

void TWebBrowser::Navigate(const QString &address)
{
    // The address goes to the engine as it stands: no scheme is put in front
    // and blanks are not trimmed. The engine cannot load a relative address,
    // so that is a failure the user hears of rather than a click that does
    // nothing.
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative())
        throw EAppError(QStringLiteral("The address \"%1\" cannot be opened: it is not a complete web address. "
                                       "Begin it with http:// or https://.")
                            .arg(address));
    StartEngine();
    m_view->load(url);
}

bool TWebBrowser::Busy() const
{
    return m_page && m_page->isLoading();
}

QUrl TWebBrowser::Url() const
{
    return m_page ? m_page->url() : QUrl();
}

void TWebBrowser::Stop()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Stop);
}

void TWebBrowser::GoBack()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Back);
}

void TWebBrowser::GoForward()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Forward);
}

void TWebBrowser::Refresh()
{
    if (m_page)
        m_page->triggerAction(QWebEnginePage::Reload);
}

bool TWebBrowser::Paste()
{
    if (!m_page || m_page->url().isEmpty())
        return false;
    m_page->triggerAction(QWebEnginePage::Paste);
    return true;
}

QString TWebBrowser::ScriptError() const
{
    return m_errorBar->isHidden() ? QString() : m_errorText->text();
}

void TWebBrowser::RunIsolatedScript(const QString &source, const std::function<void(const QVariant &)> &done)
{
    if (m_page)
        m_page->runJavaScript(source, kIsolatedWorld, done);
}

void TWebBrowser::ShowScriptError(const QString &message, int line, const QString &source)
{
    m_errorText->setText(QStringLiteral("Script error on this page: %1 (line %2)").arg(message).arg(line));
    m_errorText->setToolTip(source);
    m_errorBar->show();
}

void TWebBrowser::ClearScriptError()
{
    m_errorBar->hide();
    m_errorText->clear();
    m_errorText->setToolTip(QString());
}
