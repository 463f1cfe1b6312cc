#include "http_test_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool SameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QList<QPair<QByteArray, QByteArray>> ParseHeaderLines(const QByteArray &block)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QByteArray &line : block.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        const qsizetype colon = l.indexOf(':');
        if (colon > 0)
            headers.append({l.left(colon), l.mid(colon + 1).trimmed()});
    }
    return headers;
}

QByteArray HeaderOf(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &[n, v] : headers)
        if (SameName(n, name))
            return v;
    return {};
}

// The value of `param` in a header value such as `form-data; name="x"`.
QByteArray Parameter(const QByteArray &value, const QByteArray &param)
{
    for (const QByteArray &piece : value.split(';')) {
        const QByteArray p = piece.trimmed();
        const qsizetype eq = p.indexOf('=');
        if (eq > 0 && SameName(p.left(eq).trimmed(), param)) {
            QByteArray v = p.mid(eq + 1).trimmed();
            if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return {};
}

} // namespace

QByteArray THttpTestServer::Request::Header(const QByteArray &name) const
{
    return HeaderOf(headers, name);
}

bool THttpTestServer::Request::HasHeader(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (SameName(h.first, name))
            return true;
    return false;
}

QList<THttpTestServer::FormPart> THttpTestServer::FormParts(const Request &request)
{
    QList<FormPart> parts;
    const QByteArray type = request.Header("Content-Type");
    if (!type.startsWith("multipart/form-data"))
        return parts;
    const QByteArray delimiter = "--" + Parameter(type, "boundary");
    const QByteArray &body = request.body;
    qsizetype at = body.indexOf(delimiter);
    while (at >= 0) {
        qsizetype start = at + delimiter.size();
        if (body.mid(start, 2) == "--")
            break; // closing delimiter
        start += 2; // CRLF after the delimiter
        const qsizetype next = body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break;
        const QByteArray part = body.mid(start, next - start);
        const qsizetype headEnd = part.indexOf("\r\n\r\n");
        FormPart p;
        p.headers = ParseHeaderLines(part.left(headEnd < 0 ? 0 : headEnd));
        p.name = Parameter(HeaderOf(p.headers, "Content-Disposition"), "name");
        p.value = headEnd < 0 ? QByteArray() : part.mid(headEnd + 4);
        parts.append(p);
        at = next + 2;
    }
    return parts;
}

THttpTestServer::THttpTestServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("test HTTP server cannot listen: %s", qPrintable(m_server->errorString()));
    connect(m_server, &QTcpServer::newConnection, this, &THttpTestServer::OnNewConnection);
}

THttpTestServer::~THttpTestServer()
{
    for (QTcpSocket *socket : m_buffers.keys())
        socket->abort();
}

quint16 THttpTestServer::Port() const
{
    return m_server->serverPort();
}

QByteArray THttpTestServer::Url(const QByteArray &path) const
{
    return "http://127.0.0.1:" + QByteArray::number(Port()) + path;
}

void THttpTestServer::Route(const QByteArray &path, const QByteArray &rawAnswer)
{
    m_routes.insert(path, rawAnswer);
}

void THttpTestServer::SetHandler(Handler handler)
{
    m_handler = std::move(handler);
}

void THttpTestServer::SetSilent(bool silent)
{
    m_silent = silent;
}

int THttpTestServer::OpenConnections() const
{
    int open = 0;
    for (QTcpSocket *socket : m_buffers.keys())
        if (socket->state() == QAbstractSocket::ConnectedState)
            ++open;
    return open;
}

QByteArray THttpTestServer::Answer(int status, const QByteArray &body,
                                   const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\n";
    bool typed = false;
    for (const auto &[n, v] : headers) {
        out += n + ": " + v + "\r\n";
        typed = typed || SameName(n, "Content-Type");
    }
    if (!typed)
        out += "Content-Type: text/html\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    return out + body;
}

QByteArray THttpTestServer::Redirect(const QByteArray &location, int status)
{
    return Answer(status, {}, {{"Location", location}});
}

void THttpTestServer::OnNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_accepted;
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void THttpTestServer::OnReadyRead(QTcpSocket *socket)
{
    // After an answer that ends its connection, what the client still sends
    // on it is never read, as on a server that has hung up.
    if (socket->property("closing").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const QByteArray head = buffer.left(headEnd);
        const qsizetype lineEnd = head.indexOf("\r\n");
        const QList<QByteArray> requestLine = head.left(lineEnd < 0 ? head.size() : lineEnd).split(' ');
        Request request;
        request.headers = ParseHeaderLines(lineEnd < 0 ? QByteArray() : head.mid(lineEnd + 2));
        const qsizetype length = request.Header("Content-Length").toLongLong();
        const qsizetype total = headEnd + 4 + length;
        if (buffer.size() < total)
            return;
        request.raw = buffer.left(total);
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        request.version = requestLine.value(2);
        request.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, total);
        requests.append(request);
        emit requestReceived();

        if (m_silent)
            continue;
        const QByteArray path = request.target.left(request.target.indexOf('?') < 0
                                                        ? request.target.size()
                                                        : request.target.indexOf('?'));
        QByteArray answer;
        if (m_routes.contains(path))
            answer = m_routes.value(path);
        else if (m_handler)
            answer = m_handler(request);
        else
            answer = Answer(404, "not found");
        if (answer.isEmpty())
            continue;
        socket->write(answer);
        // Connections are kept open between requests like a real server's,
        // unless the answer ends its own: closing right after every answer
        // makes the client resend now and then, which blurs the record.
        const QByteArray answerHead = answer.left(answer.indexOf("\r\n\r\n")).toLower();
        if (answerHead.contains("\r\nconnection: close") || !answerHead.contains("\r\ncontent-length:")) {
            socket->setProperty("closing", true);
            socket->disconnectFromHost();
            return;
        }
    }
}

quint16 RefusingPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

THttpStreamServer::THttpStreamServer(QByteArray head, QByteArray body, bool endless)
    : m_head(std::move(head)), m_body(std::move(body)), m_endless(endless)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        qFatal("stream test server cannot listen");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

THttpStreamServer::~THttpStreamServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

QByteArray THttpStreamServer::Url(const QByteArray &path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}

QByteArray THttpStreamServer::UnsizedHead(const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n";
    for (const auto &[n, v] : headers)
        head += n + ": " + v + "\r\n";
    return head + "\r\n";
}

void THttpStreamServer::Serve()
{
    // Every wait is short, so that the destructor is never kept waiting.
    while (!m_stop) {
        pollfd listening{m_listener, POLLIN, 0};
        if (::poll(&listening, 1, 50) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            continue;
        // A small send buffer keeps what the kernel holds for the client,
        // and so the count's slack, small.
        const int sendBuffer = 16 * 1024;
        ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        Answer(client);
        ::close(client);
    }
}

void THttpStreamServer::Answer(int client)
{
    // The request: its head, then as many body bytes as it announces.
    QByteArray request;
    qsizetype needed = -1;
    char buffer[16384];
    while (!m_stop && (needed < 0 || request.size() < needed)) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 50) <= 0)
            continue;
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, got);
        const qsizetype headEnd = request.indexOf("\r\n\r\n");
        if (needed < 0 && headEnd >= 0) {
            qint64 bodyLength = 0;
            for (const QByteArray &line : request.left(headEnd).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    bodyLength = line.mid(15).trimmed().toLongLong();
            needed = headEnd + 4 + bodyLength;
        }
    }
    if (m_stop)
        return;
    ++m_requests;
    const auto sendAll = [&](const QByteArray &bytes, bool counted) {
        qsizetype at = 0;
        while (at < bytes.size()) {
            if (m_stop)
                return false;
            pollfd writable{client, POLLOUT, 0};
            if (::poll(&writable, 1, 50) <= 0)
                continue;
            const ssize_t sent = ::send(client, bytes.constData() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                    continue;
                m_hungUp = true;
                return false;
            }
            at += sent;
            if (counted)
                m_sent += sent;
        }
        return true;
    };
    if (!sendAll(m_head, false))
        return;
    do {
        if (!sendAll(m_body, true))
            return;
    } while (m_endless);
}
