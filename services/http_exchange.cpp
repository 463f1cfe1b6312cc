#include "http_exchange.h"

#include "capped_reply.h"

#include <QIODevice>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

QString Describe(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return QStringLiteral("The server answered %1 (%2).")
            .arg(status.toInt())
            .arg(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    return reply.errorString();
}

EHttpError CancelledError()
{
    return EHttpError(QStringLiteral("The request was cancelled."), true);
}

} // namespace

THttpExchange::THttpExchange(QObject *parent) : QObject(parent) {}

THttpExchange::THttpExchange(QNetworkReply *reply, qint64 cap, int idleTimeoutMs, QIODevice *sink,
                             QObject *parent)
    : THttpExchange(reply, cap, idleTimeoutMs,
                    [this](const QByteArray &piece) {
                        if (m_sink)
                            return m_sink->write(piece) == piece.size();
                        m_body.append(piece);
                        return true;
                    },
                    parent)
{
    m_sink = sink;
}

THttpExchange::THttpExchange(QNetworkReply *reply, qint64 cap, int idleTimeoutMs, TCappedReply::TTake take,
                             QObject *parent)
    : QObject(parent), m_reply(reply), m_cap(cap), m_idleTimeoutMs(idleTimeoutMs)
{
    reply->setParent(this);
    // Connected before finished() below, so that the last piece is taken
    // before the end is judged.
    m_capped = new TCappedReply(reply, cap, std::move(take));
    // A server that goes quiet is given up on here, which tells that apart
    // from an owner's cancelling; the manager's own transfer limit would not.
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        m_stalled = true;
        if (m_reply)
            m_reply->abort();
    });
    const auto alive = [this] {
        if (!m_done)
            m_idle.start();
    };
    connect(reply, &QNetworkReply::downloadProgress, this, alive);
    connect(reply, &QNetworkReply::uploadProgress, this, alive);
    connect(reply, &QNetworkReply::metaDataChanged, this, alive);
    connect(reply, &QNetworkReply::finished, this, &THttpExchange::OnReplyFinished);
    if (reply->isFinished())
        QMetaObject::invokeMethod(this, &THttpExchange::OnReplyFinished, Qt::QueuedConnection);
    else
        m_idle.start();
}

THttpExchange *THttpExchange::Failed(const EHttpError &error, QObject *parent)
{
    auto *exchange = new THttpExchange(parent);
    exchange->m_done = true;
    exchange->m_error = error;
    exchange->Announce();
    return exchange;
}

THttpExchange::~THttpExchange()
{
    m_done = true;
    m_idle.stop();
    // The reply's reader takes pieces into this object: both go while it is
    // still whole, and the reply's last signals reach nobody.
    if (QNetworkReply *reply = m_reply.data()) {
        disconnect(reply, nullptr, this, nullptr);
        delete m_capped.data();
        reply->abort();
        delete reply;
    }
}

void THttpExchange::Cancel()
{
    if (m_done)
        return;
    m_cancelled = true;
    if (m_reply && !m_reply->isFinished())
        m_reply->abort();
    else
        OnReplyFinished();
}

void THttpExchange::OnReplyFinished()
{
    if (m_done)
        return;
    m_done = true;
    m_idle.stop();
    m_error = Judge();
    Announce();
}

void THttpExchange::Announce()
{
    // From the event loop, never from inside the reply's own signals: the
    // owner may well start the next request or ask the user a question.
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit finished();
            deleteLater();
        },
        Qt::QueuedConnection);
}

std::optional<EHttpError> THttpExchange::Judge()
{
    QNetworkReply *reply = m_reply.data();
    if (!reply || m_cancelled)
        return CancelledError();
    if (m_capped && m_capped->OverCap()) {
        m_overCap = true;
        return EHttpError(QStringLiteral("The answer was larger than %1 bytes.").arg(m_cap));
    }
    if (m_stalled)
        return EHttpError(QStringLiteral("The server sent nothing for %1 seconds.").arg(m_idleTimeoutMs / 1000.0));
    if (m_capped && m_capped->Refused())
        return EHttpError(QStringLiteral("The download could not be written: %1")
                              .arg(m_sink ? m_sink->errorString() : QString()));
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return CancelledError();
    // Qt refuses a compressed answer that is damaged or that unpacks to over
    // 10 MiB at more than 40 to 1; the status alone (200) would not say why.
    if (reply->error() == QNetworkReply::UnknownContentError && reply->hasRawHeader("Content-Encoding"))
        return EHttpError(QStringLiteral("The server's compressed answer could not be unpacked."));
    if (reply->error() != QNetworkReply::NoError)
        return EHttpError(Describe(*reply));
    // A status outside 2xx that Qt does not count as an error (a 3xx without a
    // place to go, a 1xx as the final answer) fails all the same.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        return EHttpError(Describe(*reply));
    return std::nullopt;
}
