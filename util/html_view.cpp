#include "html_view.h"

#include <QDesktopServices>
#include <QFile>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// What may leave the view for the desktop: web pages and mail. A page must not
// start other programs through their address schemes, nor open local files.
bool MayOpenOutside(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https" || scheme == u"mailto");
}

// What the view itself may load: its own document and web content.
bool MayLoadInside(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"data" || scheme == u"about"
           || scheme == u"blob";
}

// Keeps the document in place: a followed link is handed to `open` and the
// view stays where it is.
class THtmlPage : public QWebEnginePage
{
public:
    THtmlPage(std::function<void(const QUrl &)> open, QObject *parent)
        : QWebEnginePage(parent), m_open(std::move(open))
    {
    }
    // The file a document too large for a data address is loaded from.
    void SetOwnFile(const QUrl &url) { m_ownFile = url; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked && isMainFrame) {
            m_open(url);
            return false;
        }
        if (!MayLoadInside(url) && !(isMainFrame && url == m_ownFile))
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    std::function<void(const QUrl &)> m_open;
    QUrl m_ownFile;
};

// The engine takes a document handed over directly through a data address,
// which holds at most 2 MB; a larger one would show as a blank page.
constexpr qsizetype kDataAddressLimit = 2 * 1024 * 1024 - 64 * 1024;

} // namespace

THtmlView::THtmlView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
}

THtmlView::~THtmlView() = default;

void THtmlView::SetHtml(const QString &html, const QUrl &baseUrl)
{
    m_html = html;
    if (!m_view) {
        m_view = new QWebEngineView(this);
        m_view->setObjectName(objectName() + QStringLiteral("View"));
        auto *page = new THtmlPage([this](const QUrl &url) { OpenOutside(url); }, m_view);
        page->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        // Only a window the user asked for (a link with a target) goes out;
        // a script's pop-up goes nowhere.
        connect(page, &QWebEnginePage::newWindowRequested, this, [this](QWebEngineNewWindowRequest &request) {
            if (request.isUserInitiated())
                OpenOutside(request.requestedUrl());
        });
        m_view->setPage(page);
        // Back, reload and "view source" have no place in a fixed document.
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        // A document loaded from its own file must not read other files.
        page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        layout()->addWidget(m_view);
    }
    auto *page = static_cast<THtmlPage *>(m_view->page());
    const QByteArray utf8 = html.toUtf8();
    if (utf8.size() >= kDataAddressLimit && !m_files)
        m_files = std::make_unique<QTemporaryDir>();
    if (utf8.size() < kDataAddressLimit || !m_files->isValid()) {
        page->SetOwnFile(QUrl());
        m_view->setHtml(html, baseUrl);
        return;
    }
    // A large document goes through a private file. The byte order mark makes
    // the engine read it as UTF-8 whatever charset the page itself declares.
    QFile file(m_files->filePath(QStringLiteral("document-%1.html").arg(++m_fileCount)));
    // Owner-only from its creation: a news body or welcome page is the
    // publisher's, but the folder it lies in is shared with no one either.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write("\xEF\xBB\xBF") != 3 || file.write(utf8) != utf8.size()) {
        m_view->setHtml(html, baseUrl); // shows what the engine can
        return;
    }
    file.close();
    if (m_fileCount > 1)
        QFile::remove(m_files->filePath(QStringLiteral("document-%1.html").arg(m_fileCount - 1)));
    const QUrl url = QUrl::fromLocalFile(file.fileName());
    page->SetOwnFile(url);
    m_view->load(url);
}

void THtmlView::OpenOutside(const QUrl &url)
{
    if (!MayOpenOutside(url))
        return;
    emit linkOpened(url);
    QDesktopServices::openUrl(url);
}
