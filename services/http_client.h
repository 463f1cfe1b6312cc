#pragma once

#include "services/http_exchange.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

class QIODevice;
class QNetworkAccessManager;
class QNetworkRequest;
class QUrl;

using THttpFormFields = QList<QPair<QByteArray, QByteArray>>;

// The one HTTP client of the main window for the publisher's services.
//
// Nothing waits for an answer: a call starts the request and hands back its
// THttpExchange, whose finished() tells the outcome from the event loop. The
// window keeps handling input meanwhile, so a handler may start a request
// of its own; each has its own exchange, and they do not disturb each other.
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
    // order, the value bytes unchanged; the body is kept in the exchange.
    // A bad address fails the exchange at once.
    THttpExchange *Post(const QByteArray &url, const THttpFormFields &fields);

    // Gets `url`, writing the body into `out` (open for writing, alive until
    // the exchange finishes) as it arrives. A failed write to `out` fails
    // the exchange; whatever arrived before the failure stays in `out`.
    THttpExchange *Get(const QByteArray &url, QIODevice &out);

    // Ends every request in flight (each finishes as Cancelled()) and closes
    // the open connections.
    void Disconnect();

    // True while a request of this client waits for its answer.
    bool Busy() const;

    // The most bytes Post keeps, and Get writes, counted unpacked;
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
    THttpExchange *Track(THttpExchange *exchange);

    QNetworkAccessManager *m_manager;
    QList<QPointer<THttpExchange>> m_inFlight;
    qint64 m_answerLimit = DefaultAnswerLimit;
    qint64 m_downloadLimit = DefaultDownloadLimit;
    int m_idleTimeoutMs = DefaultIdleTimeoutMs;
};
