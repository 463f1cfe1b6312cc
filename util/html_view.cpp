#include "html_view.h"

#include <QDesktopServices>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

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
        connect(page, &QWebEnginePage::newWindowRequested, this,
                [this](QWebEngineNewWindowRequest &request) { OpenOutside(request.requestedUrl()); });
        m_view->setPage(page);
        // Back, reload and "view source" have no place in a fixed document.
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        layout()->addWidget(m_view);
    }
    m_view->setHtml(html, baseUrl);
}

void THtmlView::OpenOutside(const QUrl &url)
{
    if (url.isEmpty() || !url.isValid())
        return;
    emit linkOpened(url);
    QDesktopServices::openUrl(url);
}
