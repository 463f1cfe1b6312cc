#include "html_view.h"

#include <QDesktopServices>
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

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (type == NavigationTypeLinkClicked && isMainFrame) {
            m_open(url);
            return false;
        }
        if (!MayLoadInside(url))
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    std::function<void(const QUrl &)> m_open;
};

} // namespace

THtmlView::THtmlView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
}

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
        layout()->addWidget(m_view);
    }
    m_view->setHtml(html, baseUrl);
}

void THtmlView::OpenOutside(const QUrl &url)
{
    if (!MayOpenOutside(url))
        return;
    emit linkOpened(url);
    QDesktopServices::openUrl(url);
}
