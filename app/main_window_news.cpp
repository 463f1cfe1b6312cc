// News polling of the main window.
#include "main_window.h"

#include "services/message_hint.h"
#include "services/news_announcement.h"
#include "services/news_service.h"
#include "services/news_window.h"
#include "settings/branding_parser.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "util/error_reporter.h"

#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr char kNewsTarget[] = "UA";

} // namespace

void TfrmMain::ConnectServiceHandlers()
{
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmMain::Timer1Timer));
    connect(btnUpdate, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnUpdateClick));
    connect(btnNews, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnNewsClick));
}

void TfrmMain::Timer1Timer()
{
    Timer1->stop(); // one tick per enabling
    const bool wasShown = isVisible();
    const TBrandingSettings &s = BrandingSettings();
    const TNewsSite site = NewsSiteOf(s);
    bool found = false;
    QByteArray newsId;
    QByteArray title;
    if (!site.PublID.isEmpty())
        found = FetchLatestNews(site.PublID, s.BranderCode, site.ProductType, kNewsTarget, newsId, title);
    // A window closed while the request waited is on its way out.
    if (wasShown && !isVisible())
        return;
    if (found) {
        const QString news = NewsService::NewsAnnouncement(newsId, title, ReadLastNewsId(AppFolder()));
        if (!news.isEmpty())
            ShowNewsBalloon(news);
    }
    CheckForUpdates(true);
}

void TfrmMain::ShowNewsBalloon(const QString &text)
{
    // The centre of btnNews in its toolbar's coordinates, mapped as a point of
    // the window's client area.
    const QPoint centre(btnNews->x() + btnNews->width() / 2, btnNews->y() + btnNews->height() / 2);
    if (!LMDMessageHint1)
        LMDMessageHint1 = new TMessageHint(this);
    LMDMessageHint1->ShowMessage(text, mapToGlobal(centre));
}

void TfrmMain::btnNewsClick()
{
    if (m_fetchingNewsList)
        return;
    const bool wasShown = isVisible();
    NewsList.clear();
    const TBrandingSettings &s = BrandingSettings();
    const TNewsSite site = NewsSiteOf(s);
    bool result = false;
    if (!site.PublID.isEmpty()) {
        m_fetchingNewsList = true;
        // The user waits for an answer: the button shows that it is working.
        btnNews->setCursor(Qt::WaitCursor);
        const auto done = qScopeGuard([this] {
            m_fetchingNewsList = false;
            btnNews->unsetCursor();
        });
        result = FetchNewsList(site.PublID, s.BranderCode, site.ProductType, kNewsTarget, NewsList);
    }
    if (wasShown && !isVisible())
        return;
    if (result && !NewsList.isEmpty()) {
        TfrmNews frmNews(*IdHTTP1, Messages(), AppFolder(), NewsList, this);
        frmNews.exec();
        return;
    }
    msgMain->MessageDlg(QStringLiteral("There's no news for this application!"), TMsgDlgType::mtInformation, mbOK);
}

bool TfrmMain::FetchNewsList(const QByteArray &publID, const QByteArray &brandCode, const QByteArray &prodType,
                             const QByteArray &target, TStringList &list)
{
    return NewsService::FetchNewsList(*IdHTTP1, Messages(), publID, brandCode, prodType, target, list);
}

bool TfrmMain::FetchLatestNews(const QByteArray &publID, const QByteArray &brandCode, const QByteArray &prodType,
                               const QByteArray &target, QByteArray &newsId, QByteArray &title)
{
    return NewsService::FetchLatestNews(*IdHTTP1, publID, brandCode, prodType, target, newsId, title);
}
