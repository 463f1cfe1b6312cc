#pragma once

#include "services/capped_reply.h"
#include "util/errors.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

class QIODevice;

// A request that failed: no connection, no host, a bad address, a final status
// outside 200 to 299, too many redirects, an answer over its size limit, a
// server that went quiet, or ended by its owner.
class EHttpError : public EAppError
{
public:
    explicit EHttpError(const QString &message, bool cancelled = false)
        : EAppError(message), m_cancelled(cancelled)
    {
    }
    // True when the request's owner (a Disconnect, the program quitting)
    // ended it, rather than the network or the server.
    bool Cancelled() const { return m_cancelled; }

private:
    bool m_cancelled;
};

// One request on its way, from the moment it is sent to its judged end.
//
// Every program part that asks a server for something goes through one, so
// the answer is read the same way everywhere: never past its cap (through a
// TCappedReply), given up on when the server sends nothing for a while, and
// judged once, with the same texts for the same failures. Nothing waits for
// it: finished() comes from the event loop once the outcome is known, after
// which the exchange deletes itself and its reply.
class THttpExchange : public QObject
{
    Q_OBJECT
public:
    // Takes over `reply` (it becomes the exchange's child). With `sink` the
    // body goes there as it arrives; otherwise it is kept for Body().
    // Call it before control returns to the event loop after the request
    // was made.
    THttpExchange(QNetworkReply *reply, qint64 cap, int idleTimeoutMs, QIODevice *sink = nullptr,
                  QObject *parent = nullptr);
    // The same, each piece of the body handed to `take` as it arrives; a
    // piece it refuses ends the request.
    THttpExchange(QNetworkReply *reply, qint64 cap, int idleTimeoutMs, TCappedReply::TTake take,
                  QObject *parent = nullptr);
    // An exchange that never reached the network (a bad address, say): it
    // finishes with `error` at the next turn of the event loop.
    static THttpExchange *Failed(const EHttpError &error, QObject *parent = nullptr);
    // A request still under way is ended without a word.
    ~THttpExchange() override;

    // Ends the request; it finishes as cancelled.
    void Cancel();

    // True once the outcome is known, before finished() is out.
    bool IsFinished() const { return m_done; }
    // The body read, without a sink; valid once finished.
    const QByteArray &Body() const { return m_body; }
    // Empty when the request succeeded.
    const std::optional<EHttpError> &Error() const { return m_error; }
    // The answer was larger than the cap (also told by Error()).
    bool OverCap() const { return m_overCap; }
    // The reply, for callers that want its status or address; null once the
    // exchange failed before the network.
    QNetworkReply *Reply() const { return m_reply; }

signals:
    void finished();

private:
    explicit THttpExchange(QObject *parent);
    void OnReplyFinished();
    std::optional<EHttpError> Judge();
    void Announce();

    QPointer<QNetworkReply> m_reply;
    QPointer<TCappedReply> m_capped;
    QIODevice *m_sink = nullptr;
    qint64 m_cap = 0;
    int m_idleTimeoutMs = 0;
    QTimer m_idle;
    QByteArray m_body;
    std::optional<EHttpError> m_error;
    bool m_done = false;
    bool m_stalled = false;
    bool m_cancelled = false;
    bool m_overCap = false;
};
