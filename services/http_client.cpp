#include "http_client.h"

#include "util/codepage.h"

#include <QHttpMultiPart>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

THttpClient::THttpClient(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    setObjectName(QStringLiteral("IdHTTP1"));
    // Cookies live for the run only and go back to the sites that set them.
    m_manager->setCookieJar(new QNetworkCookieJar(m_manager));
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // A server that goes quiet is given up on by each exchange, which tells
    // that apart from the user's cancelling; the manager's own limit would not.
    m_manager->setTransferTimeout(0);
}

THttpClient::~THttpClient()
{
    // The exchanges go with the client, before the manager their replies
    // came from; none of them reports anything any more.
    for (const QPointer<THttpExchange> &exchange : std::as_const(m_inFlight))
        delete exchange.data();
}

QUrl THttpClient::ParseAddress(const QByteArray &url)
{
    // Tolerant parsing copes with what a publisher may type into a settings
    // file: blanks and stray percent signs get encoded instead of failing.
    const QUrl parsed(FromAnsi(url), QUrl::TolerantMode);
    if (!parsed.isValid())
        throw EHttpError(QStringLiteral("The address %1 is not valid.").arg(FromAnsi(url)));
    const QString scheme = parsed.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        throw EHttpError(QStringLiteral("The address %1 is not an http address.").arg(FromAnsi(url)));
    if (parsed.host().isEmpty())
        throw EHttpError(QStringLiteral("The address %1 names no host.").arg(FromAnsi(url)));
    return parsed;
}

QNetworkRequest THttpClient::NewRequest(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setRawHeader("Accept", Accept);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(UserAgent));
    request.setMaximumRedirectsAllowed(MaxRedirects);
    return request;
}

THttpExchange *THttpClient::Track(THttpExchange *exchange)
{
    m_inFlight.removeAll(nullptr);
    m_inFlight.append(exchange);
    return exchange;
}

THttpExchange *THttpClient::Post(const QByteArray &url, const THttpFormFields &fields)
{
    QUrl address;
    try {
        address = ParseAddress(url);
    } catch (const EHttpError &e) {
        return Track(THttpExchange::Failed(e, this));
    }
    const QNetworkRequest request = NewRequest(address);
    auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto &[name, value] : fields) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QByteArray("form-data; name=\"" + name + "\""));
        part.setBody(value);
        form->append(part);
    }
    QNetworkReply *reply = m_manager->post(request, form);
    form->setParent(reply);
    return Track(new THttpExchange(reply, m_answerLimit, m_idleTimeoutMs, nullptr, this));
}

THttpExchange *THttpClient::Get(const QByteArray &url, QIODevice &out)
{
    QUrl address;
    try {
        address = ParseAddress(url);
    } catch (const EHttpError &e) {
        return Track(THttpExchange::Failed(e, this));
    }
    QNetworkRequest request = NewRequest(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(DefaultContentType));
    return Track(new THttpExchange(m_manager->get(request), m_downloadLimit, m_idleTimeoutMs, &out, this));
}

void THttpClient::Disconnect()
{
    // Copied: an exchange that ends may be followed by a new one at once.
    const QList<QPointer<THttpExchange>> inFlight = m_inFlight;
    for (const QPointer<THttpExchange> &exchange : inFlight)
        if (exchange)
            exchange->Cancel();
    m_manager->clearConnectionCache();
}

bool THttpClient::Busy() const
{
    for (const QPointer<THttpExchange> &exchange : m_inFlight)
        if (exchange && !exchange->IsFinished())
            return true;
    return false;
}
