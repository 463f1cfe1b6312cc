#include "http_test_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

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
