#include "capped_reply.h"

#include <QNetworkReply>
#include <QNetworkRequest>

TCappedReply::TCappedReply(QNetworkReply *reply, qint64 cap, TTake take)
    : QObject(reply), m_reply(reply), m_cap(cap), m_take(std::move(take))
{
    // The reply reads ahead from the connection only this far; what the
    // server sends beyond waits in the connection until this is read.
    // Qt passes the size on to the request's worker thread by a queued call,
    // which goes nowhere while the request has no worker yet: a request with
    // a body (or a redirect) gets one only at the next turn of the event
    // loop. So the size is passed again after that turn and with every piece
    // read. (Passing it at the answer's head instead made Qt drop kept-alive
    // connections now and then.) Qt 6.4 still loses it at times for a request
    // sent just as the server closed the connection before: the cap then
    // still ends the reply at once, but Qt's worker reads on until it next
    // looks at its queue (seen on loopback only, where a server can send
    // faster than it reads).
    const auto limitBuffer = [reply] { reply->setReadBufferSize(BufferSize); };
    const auto limitBufferSoon = [this, limitBuffer] {
        QMetaObject::invokeMethod(this, limitBuffer, Qt::QueuedConnection);
    };
    limitBuffer();
    limitBufferSoon();
    connect(reply, &QNetworkReply::redirected, this, limitBufferSoon);
    connect(reply, &QNetworkReply::readyRead, this, limitBuffer);
    connect(reply, &QNetworkReply::metaDataChanged, this, &TCappedReply::OnMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &TCappedReply::Read);
    connect(reply, &QNetworkReply::finished, this, &TCappedReply::Read);
    // Qt 6.4 gives up on a compressed answer it cannot unpack, or that
    // unpacks far beyond its size (over 10 MiB at more than 40 to 1), with
    // an error but without finishing the reply, which would leave its reader
    // waiting for the server's silence. Such a reply is ended once the error
    // is out.
    connect(reply, &QNetworkReply::errorOccurred, this, [this](QNetworkReply::NetworkError error) {
        if (error != QNetworkReply::UnknownContentError || !m_reply || !m_reply->hasRawHeader("Content-Encoding"))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_reply && !m_reply->isFinished())
                    m_reply->abort();
            },
            Qt::QueuedConnection);
    });
}

void TCappedReply::OnMetaData()
{
    if (!m_reply || m_overCap || m_refused)
        return;
    // A redirect's own body is not read; only the final answer counts.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300 && status <= 399)
        return;
    bool announced = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announced);
    if (announced && length > m_cap) {
        m_overCap = true;
        End();
    }
}

void TCappedReply::Read()
{
    // An ended reply is closed: nothing of it is read any more.
    while (m_reply && !m_overCap && !m_refused && m_reply->isOpen()) {
        const QByteArray piece = m_reply->read(BufferSize);
        if (piece.isEmpty())
            return;
        m_read += piece.size();
        if (m_read > m_cap) {
            m_overCap = true;
            End();
            return;
        }
        if (!m_take(piece)) {
            m_refused = true;
            End();
            return;
        }
    }
}

void TCappedReply::End()
{
    // abort() emits finished() before it returns, so whoever waits for
    // that finds the reason already set; the reply may be gone afterwards.
    if (m_reply)
        m_reply->abort();
}
