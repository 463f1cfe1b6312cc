#include "brand_online.h"

#include "services/capped_reply.h"
#include "services/http_client.h"
#include "services/news_service.h"
#include "settings/branding_settings.h"
#include "util/codepage.h"

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

QString Shown(const QByteArray &bytes)
{
    QString text = FromAnsi(bytes.left(120));
    text.replace(QLatin1Char('\xAF'), QStringLiteral("\\xAF"));
    return bytes.size() > 120 ? text + QStringLiteral("...") : text;
}

// One run of the online check: the news site's two requests one after the
// other, then every address at once, then the report.
class TOnlineRun : public QObject
{
public:
    TOnlineRun(const TBrandingText &parsed, int timeoutMs, int maxAddresses, TOnlineDone done)
        : m_parsed(parsed), m_timeoutMs(timeoutMs), m_maxAddresses(maxAddresses), m_done(std::move(done))
    {
        m_limit.setSingleShot(true);
        connect(&m_limit, &QTimer::timeout, this, [this] {
            m_timedOut = true;
            m_client.Disconnect();
        });
    }

    void Start()
    {
        const TNewsSite site = NewsSiteOf(m_parsed.Values);
        if (site.ProductType.isEmpty()) {
            m_report.Lines << QStringLiteral("News: the level \"%1\" fetches no news; no news site asked.")
                                  .arg(FromAnsi(m_parsed.Values.BranderType));
            CheckAddresses();
            return;
        }
        if (site.PublID.isEmpty()) {
            m_report.Warnings
                << QStringLiteral("News: no publisher id for this level; the program asks no news site.");
            CheckAddresses();
            return;
        }
        // The request functions take the news site from the process-wide settings.
        BrandingSettings() = m_parsed.Values;
        const QByteArray brand = m_parsed.Values.BranderCode;
        m_asks = {
            {"latest news", LatestNewsRequest(site.PublID, brand, site.ProductType, "UA"), TNewsOperation::Latest},
            {"news list", NewsListRequest(site.PublID, brand, site.ProductType, "UA"), TNewsOperation::List},
        };
        m_report.Lines << QStringLiteral("News site %1 (publisher id %2, brand code %3, product type %4):")
                              .arg(FromAnsi(m_asks[0].Request.url), FromAnsi(site.PublID), FromAnsi(brand),
                                   QString::fromLatin1(site.ProductType));
        AskNext();
    }

private:
    struct TAsk
    {
        const char *What;
        TNewsRequest Request;
        TNewsOperation Operation;
    };

    void AskNext()
    {
        if (m_next >= m_asks.size()) {
            CheckAddresses();
            return;
        }
        m_timedOut = false;
        m_limit.start(m_timeoutMs);
        PostNewsRequest(m_client, m_asks[m_next].Request, this, [this](const QByteArray &answer, bool) {
            m_limit.stop();
            Report(m_asks[m_next++], answer);
            AskNext();
        });
    }

    void Report(const TAsk &ask, const QByteArray &answer)
    {
        const QString what = QString::fromLatin1(ask.What);
        if (!IsSuccess(answer)) {
            QString problem = m_timedOut ? QStringLiteral("no answer within %1 s").arg(m_timeoutMs / 1000)
                              : answer.isEmpty() ? QStringLiteral("the request failed or the answer was empty")
                                                 : QStringLiteral("the answer \"%1\"").arg(Shown(answer));
            const QString message = ErrorMessage(TNewsOperation::List, answer);
            if (!message.isEmpty())
                problem += QStringLiteral("; users see \"%1\"").arg(message);
            m_report.Warnings << QStringLiteral("News, %1: %2.").arg(what, problem);
            return;
        }
        if (ask.Operation == TNewsOperation::Latest) {
            QByteArray id, title;
            ParseLatestNews(answer, id, title);
            m_report.Lines << (id.isEmpty() ? QStringLiteral("  latest news: none")
                                            : QStringLiteral("  latest news: %1 \"%2\"").arg(FromAnsi(id), FromAnsi(title)));
        } else {
            TStringList entries;
            ParseNewsList(answer, entries);
            m_report.Lines << QStringLiteral("  news list: %1 %2").arg(entries.size()).arg(
                                  entries.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"));
            for (const QByteArray &entry : entries)
                m_report.Lines << QStringLiteral("    ") + FromAnsi(entry);
        }
    }

    void CheckAddresses()
    {
        const QList<QByteArray> all = AddressesToCheck(m_parsed);
        m_addresses = all.mid(0, m_maxAddresses);
        if (all.size() > m_addresses.size())
            m_report.Warnings << QStringLiteral("Only the first %1 of %2 addresses were checked.")
                                     .arg(m_addresses.size())
                                     .arg(all.size());
        if (m_addresses.isEmpty()) {
            Finish();
            return;
        }
        m_results = QStringList(m_addresses.size());
        for (qsizetype i = 0; i < m_addresses.size(); ++i) {
            QNetworkRequest request(QUrl::fromEncoded(m_addresses[i], QUrl::TolerantMode));
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
            request.setMaximumRedirectsAllowed(THttpClient::MaxRedirects);
            request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(THttpClient::UserAgent));
            ++m_open;
            // The head is all we need: the exchange ends at the head of an
            // answer that announces a body, else at the body's first byte.
            auto *exchange = new THttpExchange(m_manager.get(request), 0, m_timeoutMs, nullptr, this);
            connect(exchange, &THttpExchange::finished, this, [this, exchange, i] {
                QNetworkReply *reply = exchange->Reply();
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const QString address = FromAnsi(m_addresses[i]);
                if (status >= 200 && status < 400)
                    m_results[i] = QStringLiteral("  %1: answers (%2)").arg(address).arg(status);
                else if (status != 0)
                    m_report.Warnings
                        << QStringLiteral("Address %1 answers with status %2.").arg(address).arg(status);
                else
                    m_report.Warnings << QStringLiteral("Address %1 does not answer: %2.")
                                             .arg(address, exchange->Error() ? exchange->Error()->message()
                                                                             : reply->errorString());
                if (--m_open == 0) {
                    m_report.Lines << QStringLiteral("Addresses:");
                    for (const QString &line : std::as_const(m_results))
                        if (!line.isEmpty())
                            m_report.Lines << line;
                    Finish();
                }
            });
        }
    }

    void Finish()
    {
        // From the event loop, also when nothing was asked: the caller may
        // only then be running it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_done(m_report);
                deleteLater();
            },
            Qt::QueuedConnection);
    }

    TBrandingText m_parsed;
    int m_timeoutMs;
    int m_maxAddresses;
    TOnlineDone m_done;
    THttpClient m_client;
    QNetworkAccessManager m_manager;
    QTimer m_limit;
    bool m_timedOut = false;
    QList<TAsk> m_asks;
    qsizetype m_next = 0;
    QList<QByteArray> m_addresses;
    QStringList m_results;
    int m_open = 0;
    TOnlineReport m_report;
};

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

void CheckOnline(const TBrandingText &parsed, TOnlineDone done, int timeoutMs, int maxAddresses)
{
    (new TOnlineRun(parsed, timeoutMs, maxAddresses, std::move(done)))->Start();
}
