#include "brand_online.h"

#include "services/capped_reply.h"
#include "services/http_client.h"
#include "services/news_service.h"
#include "settings/branding_settings.h"
#include "util/codepage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

using namespace NewsService;

namespace {

void AddAddress(QList<QByteArray> &list, const QByteArray &address)
{
    const QByteArray lower = address.toLower();
    if ((lower.startsWith("http://") || lower.startsWith("https://")) && !list.contains(address))
        list << address;
}

// The answer of one news request, ended after `timeoutMs`.
QByteArray Ask(THttpClient &client, const TNewsRequest &request, int timeoutMs, bool &timedOut)
{
    QTimer limit;
    limit.setSingleShot(true);
    timedOut = false;
    QObject::connect(&limit, &QTimer::timeout, &client, [&] {
        timedOut = true;
        client.Disconnect();
    });
    limit.start(timeoutMs);
    return PostNewsRequest(client, request);
}

QString Shown(const QByteArray &bytes)
{
    QString text = FromAnsi(bytes.left(120));
    text.replace(QLatin1Char('\xAF'), QStringLiteral("\\xAF"));
    return bytes.size() > 120 ? text + QStringLiteral("...") : text;
}

void CheckNews(const TBrandingText &parsed, int timeoutMs, TOnlineReport &report)
{
    const TNewsSite site = NewsSiteOf(parsed.Values);
    if (site.ProductType.isEmpty()) {
        report.Lines << QStringLiteral("News: the level \"%1\" fetches no news; no news site asked.")
                            .arg(FromAnsi(parsed.Values.BranderType));
        return;
    }
    if (site.PublID.isEmpty()) {
        report.Warnings << QStringLiteral("News: no publisher id for this level; the program asks no news site.");
        return;
    }
    // The request functions take the news site from the process-wide settings.
    BrandingSettings() = parsed.Values;
    THttpClient client;
    const QByteArray brand = parsed.Values.BranderCode;
    struct TAsk
    {
        const char *What;
        TNewsRequest Request;
        TNewsOperation Operation;
    };
    const TAsk asks[] = {
        {"latest news", LatestNewsRequest(site.PublID, brand, site.ProductType, "UA"), TNewsOperation::Latest},
        {"news list", NewsListRequest(site.PublID, brand, site.ProductType, "UA"), TNewsOperation::List},
    };
    report.Lines << QStringLiteral("News site %1 (publisher id %2, brand code %3, product type %4):")
                        .arg(FromAnsi(asks[0].Request.url), FromAnsi(site.PublID), FromAnsi(brand),
                             QString::fromLatin1(site.ProductType));
    for (const TAsk &ask : asks) {
        bool timedOut = false;
        const QByteArray answer = Ask(client, ask.Request, timeoutMs, timedOut);
        const QString what = QString::fromLatin1(ask.What);
        if (!IsSuccess(answer)) {
            QString problem = timedOut ? QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000)
                              : answer.isEmpty() ? QStringLiteral("the request failed or the answer was empty")
                                                 : QStringLiteral("the answer \"%1\"").arg(Shown(answer));
            const QString message = ErrorMessage(TNewsOperation::List, answer);
            if (!message.isEmpty())
                problem += QStringLiteral("; users see \"%1\"").arg(message);
            report.Warnings << QStringLiteral("News, %1: %2.").arg(what, problem);
            continue;
        }
        if (ask.Operation == TNewsOperation::Latest) {
            QByteArray id, title;
            ParseLatestNews(answer, id, title);
            report.Lines << (id.isEmpty() ? QStringLiteral("  latest news: none")
                                          : QStringLiteral("  latest news: %1 \"%2\"").arg(FromAnsi(id), FromAnsi(title)));
        } else {
            TStringList entries;
            ParseNewsList(answer, entries);
            report.Lines << QStringLiteral("  news list: %1 %2").arg(entries.size()).arg(
                                entries.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"));
            for (const QByteArray &entry : entries)
                report.Lines << QStringLiteral("    ") + FromAnsi(entry);
        }
    }
}

void CheckAddresses(const QList<QByteArray> &all, int timeoutMs, int maxAddresses, TOnlineReport &report)
{
    const QList<QByteArray> addresses = all.mid(0, maxAddresses);
    if (all.size() > addresses.size())
        report.Warnings << QStringLiteral("Only the first %1 of %2 addresses were checked.")
                               .arg(addresses.size())
                               .arg(all.size());
    if (addresses.isEmpty())
        return;
    QNetworkAccessManager manager;
    QEventLoop loop;
    QStringList results(addresses.size());
    int open = 0;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        QNetworkRequest request(QUrl::fromEncoded(addresses[i], QUrl::TolerantMode));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(THttpClient::MaxRedirects);
        request.setTransferTimeout(timeoutMs);
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(THttpClient::UserAgent));
        QNetworkReply *reply = manager.get(request);
        ++open;
        // The head is all we need: the reply ends at the head of an answer
        // that announces a body, else at the body's first byte.
        new TCappedReply(reply, 0, [](const QByteArray &) { return false; });
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, i] {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QString address = FromAnsi(addresses[i]);
            if (status >= 200 && status < 400)
                results[i] = QStringLiteral("  %1: answers (%2)").arg(address).arg(status);
            else if (status != 0)
                report.Warnings << QStringLiteral("Address %1 answers with status %2.").arg(address).arg(status);
            else
                report.Warnings << QStringLiteral("Address %1 does not answer: %2.").arg(address, reply->errorString());
            reply->deleteLater();
            if (--open == 0)
                loop.quit();
        });
    }
    loop.exec();
    report.Lines << QStringLiteral("Addresses:");
    for (const QString &line : results)
        if (!line.isEmpty())
            report.Lines << line;
}

} // namespace

QList<QByteArray> AddressesToCheck(const TBrandingText &parsed)
{
    QList<QByteArray> list;
    AddAddress(list, parsed.Values.AffiliateURL);
    AddAddress(list, parsed.Values.AppHelpURL);
    for (const QByteArray &member : parsed.Banner) {
        QByteArray picture, link;
        if (SplitMember(member, picture, link))
            AddAddress(list, link);
    }
    for (const QByteArray &member : parsed.Link) {
        QByteArray caption, url;
        if (SplitMember(member, caption, url))
            AddAddress(list, url);
    }
    static const QRegularExpression inPage(QStringLiteral("https?://[^\\s\"'<>]+"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QByteArray &page : parsed.Welcome) {
        const QString text = QString::fromLatin1(page);
        for (auto it = inPage.globalMatch(text); it.hasNext();)
            AddAddress(list, it.next().captured().toLatin1());
    }
    return list;
}

TOnlineReport CheckOnline(const TBrandingText &parsed, int timeoutMs, int maxAddresses)
{
    TOnlineReport report;
    CheckNews(parsed, timeoutMs, report);
    CheckAddresses(AddressesToCheck(parsed), timeoutMs, maxAddresses, report);
    return report;
}
