#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>

#include <atomic>
#include <functional>
#include <thread>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on loopback for tests, run by the test's own event
// loop. It records every request as received and answers with scripted
// bytes: per path, through a handler, or not at all.
class THttpTestServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray raw; // exactly the bytes received: head and body
        QByteArray method;
        QByteArray target; // as on the request line: path and query
        QByteArray version;
        QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
        QByteArray body;

        // The first header of that name (ASCII case ignored); empty if none.
        QByteArray Header(const QByteArray &name) const;
        bool HasHeader(const QByteArray &name) const;
    };

    // One part of a multipart/form-data body.
    struct FormPart
    {
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray name; // from Content-Disposition
        QByteArray value;
    };
    // The parts of a multipart body, in order; empty when it is not one.
    static QList<FormPart> FormParts(const Request &request);

    // The raw answer to a request; an empty answer means "never answer".
    using Handler = std::function<QByteArray(const Request &)>;

    explicit THttpTestServer(QObject *parent = nullptr);
    ~THttpTestServer() override;

    quint16 Port() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    QByteArray Url(const QByteArray &path = "/") const;

    // The answer for a path (the target without its query). Routes win over
    // the handler; without either the answer is 404.
    void Route(const QByteArray &path, const QByteArray &rawAnswer);
    void SetHandler(Handler handler);
    // Accept connections and read requests, but never answer.
    void SetSilent(bool silent);

    // A complete answer with Content-Length; the connection stays open.
    // A scripted answer that says "Connection: close" or has no
    // Content-Length ends its connection once written.
    static QByteArray Answer(int status, const QByteArray &body = {},
                             const QList<QPair<QByteArray, QByteArray>> &headers = {});
    static QByteArray Ok(const QByteArray &body) { return Answer(200, body); }
    static QByteArray Redirect(const QByteArray &location, int status = 302);

    QList<Request> requests;
    // Connections accepted so far, and the ones still open.
    int Accepted() const { return m_accepted; }
    int OpenConnections() const;

signals:
    void requestReceived();

private:
    void OnNewConnection();
    void OnReadyRead(QTcpSocket *socket);

    QTcpServer *m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QByteArray, QByteArray> m_routes;
    Handler m_handler;
    bool m_silent = false;
    int m_accepted = 0;
};

// A port on loopback that refuses connections (nothing listens on it).
quint16 RefusingPort();

// A server on loopback in a thread of its own, for answers too large to
// script: every request gets `head` and then `body`, and with `endless` the
// body again and again until the client hangs up. Being in its own thread,
// it sends as fast as the client takes, whatever the test's event loop does.
// It counts the body bytes the connection accepted: what the client read,
// plus at most what the sockets' buffers hold between them.
class THttpStreamServer
{
public:
    THttpStreamServer(QByteArray head, QByteArray body, bool endless);
    ~THttpStreamServer();
    THttpStreamServer(const THttpStreamServer &) = delete;
    THttpStreamServer &operator=(const THttpStreamServer &) = delete;

    quint16 Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by `path`.
    QByteArray Url(const QByteArray &path = "/") const;
    // Body bytes sent so far, over every connection.
    qint64 BodyBytesSent() const { return m_sent.load(); }
    int Requests() const { return m_requests.load(); }
    // True once a client has hung up in the middle of a body.
    bool ClientHungUp() const { return m_hungUp.load(); }

    // A server's answer head for a body of unknown length: the connection's
    // end is the body's end.
    static QByteArray UnsizedHead(const QList<QPair<QByteArray, QByteArray>> &headers = {});

private:
    void Serve();
    void Answer(int client);

    QByteArray m_head;
    QByteArray m_body;
    bool m_endless;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
    std::atomic<int> m_requests{0};
    std::atomic<bool> m_hungUp{false};
    std::thread m_thread;
};
