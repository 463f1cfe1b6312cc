#include "http_client.h"

#include "capped_reply.h"
#include "util/codepage.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

struct DeleteLater
{
    void operator()(QObject *o) const
    {
        if (o)
            o->deleteLater();
    }
};

QString Describe(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return QStringLiteral("The server answered %1 (%2).")
            .arg(status.toInt())
            .arg(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    return reply.errorString();
}

} // namespace

THttpClient::THttpClient(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this))
{
    setObjectName(QStringLiteral("IdHTTP1"));
    // Cookies live for the run only and go back to the sites that set them.
    m_manager->setCookieJar(new QNetworkCookieJar(m_manager));
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // A server that goes quiet is given up on by Wait(), which tells that
    // apart from the user's cancelling; the manager's own limit would not.
    m_manager->setTransferTimeout(0);
}

THttpClient::~THttpClient()
{
    // A call still waiting on the stack must be woken before its reply goes
    // away with the manager.
    Disconnect();
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

QByteArray THttpClient::PostForm(const QByteArray &url, const THttpFormFields &fields)
{
    const QNetworkRequest request = NewRequest(ParseAddress(url));
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
    return Wait(reply, nullptr, m_answerLimit);
}

void THttpClient::GetToFile(const QByteArray &url, QIODevice &out)
{
    QNetworkRequest request = NewRequest(ParseAddress(url));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(DefaultContentType));
    Wait(m_manager->get(request), &out, m_downloadLimit);
}

QByteArray THttpClient::Wait(QNetworkReply *rawReply, QIODevice *sink, qint64 limit)
{
    std::unique_ptr<QNetworkReply, DeleteLater> owner(rawReply);
    // Both can vanish while the loop runs: the client with its window, the
    // reply with the client. Nothing of either is touched once gone.
    const QPointer<THttpClient> self(this);
    const QPointer<QNetworkReply> reply(rawReply);
    m_inFlight.append(reply);

    // The body goes to the sink as it arrives, or is kept for the caller;
    // either way never more of it than the limit.
    QByteArray body;
    const QPointer<TCappedReply> capped(new TCappedReply(rawReply, limit, [&](const QByteArray &piece) {
        if (sink)
            return sink->write(piece) == piece.size();
        body.append(piece);
        return true;
    }));
    // It refers to locals of this call: it must not outlive it, whatever the
    // reply does afterwards; so must the connections below, which `local`
    // ends when the call returns.
    const auto forget = qScopeGuard([&] { delete capped.data(); });
    QObject local;
    bool stalled = false;
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(m_idleTimeoutMs);
    connect(&idle, &QTimer::timeout, &local, [&] {
        stalled = true;
        rawReply->abort();
    });
    connect(rawReply, &QNetworkReply::downloadProgress, &local, [&] { idle.start(); });
    connect(rawReply, &QNetworkReply::uploadProgress, &local, [&] { idle.start(); });
    connect(rawReply, &QNetworkReply::metaDataChanged, &local, [&] { idle.start(); });
    QEventLoop loop;
    connect(rawReply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!rawReply->isFinished()) {
        idle.start();
        loop.exec();
    }
    idle.stop();

    if (!self || !reply) {
        (void)owner.release(); // already deleted with the client
        throw EHttpError(QStringLiteral("The request was cancelled."), true);
    }
    m_inFlight.removeAll(reply);
    if (!rawReply->isFinished()) {
        // The application is quitting: every event loop has been told to end.
        rawReply->abort();
        throw EHttpError(QStringLiteral("The request was cancelled."), true);
    }
    if (capped->OverCap())
        throw EHttpError(QStringLiteral("The answer was larger than %1 bytes.").arg(limit));
    if (stalled)
        throw EHttpError(QStringLiteral("The server sent nothing for %1 seconds.").arg(m_idleTimeoutMs / 1000.0));
    if (capped->Refused())
        throw EHttpError(QStringLiteral("The download could not be written: %1").arg(sink->errorString()));
    if (rawReply->error() == QNetworkReply::OperationCanceledError)
        throw EHttpError(QStringLiteral("The request was cancelled."), true);
    // Qt refuses a compressed answer that is damaged or that unpacks to over
    // 10 MiB at more than 40 to 1; the status alone (200) would not say why.
    if (rawReply->error() == QNetworkReply::UnknownContentError && rawReply->hasRawHeader("Content-Encoding"))
        throw EHttpError(QStringLiteral("The server's compressed answer could not be unpacked."));
    if (rawReply->error() != QNetworkReply::NoError)
        throw EHttpError(Describe(*rawReply));
    // A status outside 2xx that Qt does not count as an error (a 3xx without a
    // place to go, a 1xx as the final answer) fails all the same.
    const int status = rawReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        throw EHttpError(Describe(*rawReply));
    return body;
}

void THttpClient::Disconnect()
{
    // abort() emits finished() at once, which wakes the waiting call; copy the
    // list because that call edits it only after its loop has returned.
    const QList<QPointer<QNetworkReply>> inFlight = m_inFlight;
    for (const QPointer<QNetworkReply> &reply : inFlight)
        if (reply && !reply->isFinished())
            reply->abort();
    m_manager->clearConnectionCache();
}

bool THttpClient::Busy() const
{
    for (const QPointer<QNetworkReply> &reply : m_inFlight)
        if (reply && !reply->isFinished())
            return true;
    return false;
}
