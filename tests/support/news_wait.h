#pragma once

#include "services/news_service.h"
#include "support/http_wait.h"

// The news operations run to their end, for tests that check what came of
// them: each returns what `done` was called with, into the caller's values
// (a list is appended to; a title is left alone when the answer named none).
inline bool FetchNewsList(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                          const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                          TStringList &list)
{
    bool result = false;
    QObject context;
    WaitUntilCalled([&](std::function<void()> done) {
        NewsService::FetchNewsList(client, messages, publID, brandCode, prodType, target, &context,
                                   [&, done](bool ok, const TStringList &entries) {
                                       result = ok;
                                       list += entries;
                                       done();
                                   });
    });
    return result;
}

inline bool FetchLatestNews(THttpClient &client, const QByteArray &publID, const QByteArray &brandCode,
                            const QByteArray &prodType, const QByteArray &target, QByteArray &newsId,
                            QByteArray &title)
{
    bool result = false;
    QObject context;
    WaitUntilCalled([&](std::function<void()> done) {
        NewsService::FetchLatestNews(client, publID, brandCode, prodType, target, &context,
                                     [&, done](bool ok, const QByteArray &id, const QByteArray &named) {
                                         result = ok;
                                         newsId = id;
                                         if (!named.isEmpty())
                                             title = named;
                                         done();
                                     });
    });
    return result;
}

inline bool FetchNewsDetails(THttpClient &client, TMessageService &messages, const QByteArray &publID,
                             const QByteArray &brandCode, const QByteArray &prodType, const QByteArray &target,
                             const QByteArray &newsId, QByteArray &body)
{
    bool result = false;
    QObject context;
    WaitUntilCalled([&](std::function<void()> done) {
        NewsService::FetchNewsDetails(client, messages, publID, brandCode, prodType, target, newsId, &context,
                                      [&, done](bool ok, const QByteArray &text) {
                                          result = ok;
                                          body = text;
                                          done();
                                      });
    });
    return result;
}
