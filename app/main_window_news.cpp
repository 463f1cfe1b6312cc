// News polling of the main window.
#include "main_window.h"

#include "services/news_service.h"
#include "util/error_reporter.h"

#include <QTimer>
#include <QToolButton>

void TfrmMain::ConnectServiceHandlers()
{
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmMain::Timer1Timer));
    connect(btnUpdate, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnUpdateClick));
}

void TfrmMain::Timer1Timer()
{
    Timer1->stop();
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
