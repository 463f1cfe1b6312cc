#include "html_view.h"

#include "private_temp.h"
#include "text_utils.h"

#include <QChildEvent>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

// What the view's frames may load: web content and what a document makes of
// itself. The view's own document is not among them: it is let in only as
// the load this class starts.
bool MayLoadInFrame(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"data" || scheme == u"about"
           || scheme == u"blob";
}

// Keeps the document in place. The main frame loads only what SetHtml hands
// it (the engine reports those loads as typed, which nothing inside a page can
// make); a script's location change, a refresh, a form, a link, a frame
// aiming at the top window or the history all stay where they are.
class THtmlPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    // The file a document too large for a data address is loaded from.
    void SetOwnFile(const QUrl &url) { m_ownFile = url; }
    void ExpectOwnLoad() { ++m_ownLoads; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame)
            return MayLoadInFrame(url);
        const bool own = type == NavigationTypeTyped && m_ownLoads > 0 &&
                         (url.scheme() == u"data" || (!m_ownFile.isEmpty() && url == m_ownFile));
        if (!own)
            return false;
        --m_ownLoads;
        return true;
    }

private:
    QUrl m_ownFile;
    int m_ownLoads = 0;
};

// Run in a world of its own, so that the page's scripts cannot change what
// these find: the address of the link at a point, or of the focused link.
QString LinkAtPointScript(QPointF at)
{
    return QStringLiteral("(function(){var e=document.elementFromPoint(%1,%2);"
                          "while(e&&!(e.localName==='a'&&typeof e.href==='string'&&e.href))e=e.parentElement;"
                          "return e?e.href:'';})()")
        .arg(at.x())
        .arg(at.y());
}
const QString kFocusedLinkScript = QStringLiteral(
    "(function(){var e=document.activeElement;"
    "return e&&e.localName==='a'&&typeof e.href==='string'?e.href:'';})()");

// A press and release further apart than this is a drag, not a click.
constexpr int kClickSlop = 6;

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
        auto *page = new THtmlPage(m_view);
        page->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
        page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        // A request for a new window is left unanswered, so it opens nothing:
        // a link with a target goes out through the user's click like any
        // other, and a script's pop-up goes nowhere.
        m_view->setPage(page);
        // The user's clicks reach the widget that draws the page, which the
        // engine creates and may replace.
        m_view->installEventFilter(this);
        for (QObject *child : m_view->children())
            WatchInput(child);
        // Back, reload and "view source" have no place in a fixed document.
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        // A document loaded from its own file must not read other files.
        page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        page->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        layout()->addWidget(m_view);
    }
    auto *page = static_cast<THtmlPage *>(m_view->page());
    const QByteArray utf8 = html.toUtf8();
    if (utf8.size() >= kDataAddressLimit && !m_files)
        m_files = std::make_unique<QTemporaryDir>(PrivateTemp::Template(QStringLiteral("html")));
    if (utf8.size() < kDataAddressLimit || !m_files->isValid()) {
        page->SetOwnFile(QUrl());
        page->ExpectOwnLoad();
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
        page->ExpectOwnLoad();
        m_view->setHtml(html, baseUrl); // shows what the engine can
        return;
    }
    file.close();
    if (m_fileCount > 1)
        QFile::remove(m_files->filePath(QStringLiteral("document-%1.html").arg(m_fileCount - 1)));
    const QUrl url = QUrl::fromLocalFile(file.fileName());
    page->SetOwnFile(url);
    page->ExpectOwnLoad();
    m_view->load(url);
}

void THtmlView::WatchInput(QObject *widget)
{
    if (widget->isWidgetType()) {
        widget->removeEventFilter(this);
        widget->installEventFilter(this);
    }
}

bool THtmlView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded)
            WatchInput(static_cast<QChildEvent *>(event)->child());
        return QWidget::eventFilter(watched, event);
    }
    // Only input from the window system counts: a script's click() never
    // comes this way.
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressed = true;
            m_pressedAt = mouse->position().toPoint();
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !m_pressed)
            break;
        m_pressed = false;
        const QPoint at = mouse->position().toPoint();
        if ((at - m_pressedAt).manhattanLength() > kClickSlop)
            break;
        const qreal zoom = m_view->page()->zoomFactor() > 0 ? m_view->page()->zoomFactor() : 1.0;
        OpenLinkAt(LinkAtPointScript(QPointF(at) / zoom));
        break;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat())
            OpenLinkAt(kFocusedLinkScript);
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void THtmlView::OpenLinkAt(const QString &findLinkScript)
{
    const QPointer<THtmlView> self(this);
    m_view->page()->runJavaScript(findLinkScript, QWebEngineScript::ApplicationWorld, [self](const QVariant &href) {
        if (self && href.typeId() == QMetaType::QString && !href.toString().isEmpty())
            self->OpenOutside(QUrl(href.toString(), QUrl::StrictMode));
    });
}

void THtmlView::OpenOutside(const QUrl &url)
{
    const QString address = DesktopAddress(url.toEncoded(), TAddressUse::WebOrMail);
    if (address.isEmpty())
        return;
    const QUrl out(address, QUrl::StrictMode);
    emit linkOpened(out);
    QDesktopServices::openUrl(out);
}
