#pragma once

#include "util/errors.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// A request that failed: no connection, no host, a bad address, a final status
// outside 200 to 299, too many redirects, an answer over its size limit, a
// server that went quiet, or ended by Disconnect().
class EHttpError : public EAppError
{
public:
    explicit EHttpError(const QString &message, bool cancelled = false)
        : EAppError(message), m_cancelled(cancelled)
    {
    }
    // True when Disconnect() (or the application quitting) ended the request,
    // rather than the network or the server.
    bool Cancelled() const { return m_cancelled; }

private:
    bool m_cancelled;
};

using THttpFormFields = QList<QPair<QByteArray, QByteArray>>;

// The one HTTP client of the main window for the publisher's services.
//
// Every call blocks its caller but not the user interface: it waits in a local
// event loop, so windows repaint, timers fire and the user can click while a
// request is under way. A handler started that way may make a request of its
// own; each request has its own reply, so they do not disturb each other.
class THttpClient : public QObject
{
    Q_OBJECT
public:
    static constexpr char Accept[] = "text/html, */*";
    static constexpr char UserAgent[] = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)";
    static constexpr char DefaultContentType[] = "text/html";
    static constexpr int MaxRedirects = 15;
    // Answers come from servers the program does not control (and over plain
    // HTTP, from anyone on the way): each is read up to a size that its
    // purpose can need, and a server that sends nothing for a minute is
    // given up on.
    static constexpr qint64 DefaultAnswerLimit = 4 * 1024 * 1024;  // a news answer
    static constexpr qint64 DefaultDownloadLimit = 64 * 1024;      // an update description
    static constexpr int DefaultIdleTimeoutMs = 60000;

    explicit THttpClient(QObject *parent = nullptr);
    ~THttpClient() override;

    // Posts a multipart form, one "form-data" part per field in the given
    // order, the value bytes unchanged. Returns the response body.
    // Throws EHttpError on any failure.
    QByteArray PostForm(const QByteArray &url, const THttpFormFields &fields);

    // Writes the response body into `out` (open for writing) as it arrives.
    // Throws EHttpError on any failure, a failed write to `out` included;
    // whatever arrived before the failure stays in `out`.
    void GetToFile(const QByteArray &url, QIODevice &out);

    // Ends every request in flight (each waiting call then throws an
    // EHttpError that is Cancelled()) and closes the open connections.
    void Disconnect();

    // True while a request of this client is waiting for its answer.
    bool Busy() const;

    // The most bytes PostForm reads, and GetToFile writes, counted unpacked;
    // a longer answer ends its request as a failure as soon as that is known
    // (at an announced length, or one byte past the limit), and no more of
    // it than one buffer is ever read ahead.
    void SetAnswerLimit(qint64 bytes) { m_answerLimit = bytes; }
    void SetDownloadLimit(qint64 bytes) { m_downloadLimit = bytes; }
    // How long a request may go without receiving a byte before it fails.
    void SetIdleTimeout(int ms) { m_idleTimeoutMs = ms; }

    // Parses an address from the publisher's settings (Windows-1252 bytes).
    // Throws EHttpError unless it is an http or https address with a host.
    static QUrl ParseAddress(const QByteArray &url);

private:
    QNetworkRequest NewRequest(const QUrl &url) const;
    // Waits for `reply` to finish and throws unless it succeeded. With `sink`
    // the body goes there as it arrives; otherwise it is returned.
    QByteArray Wait(QNetworkReply *reply, QIODevice *sink, qint64 limit);

    QNetworkAccessManager *m_manager;
    QList<QPointer<QNetworkReply>> m_inFlight;
    qint64 m_answerLimit = DefaultAnswerLimit;
    qint64 m_downloadLimit = DefaultDownloadLimit;
    int m_idleTimeoutMs = DefaultIdleTimeoutMs;
};
