#include "web_test_support.h"

#include "web/web_browser.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTimer>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineView>

TTestHttpServer::TTestHttpServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    if (!m_server->listen(QHostAddress::LocalHost))
        qFatal("test HTTP server cannot listen: %s", qPrintable(m_server->errorString()));
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString TTestHttpServer::Url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->serverPort()).arg(path);
}

void TTestHttpServer::Page(const QString &path, const QByteArray &html, const QList<QByteArray> &extraHeaders)
{
    m_routes.insert(path, Route{html, extraHeaders, false});
}

void TTestHttpServer::Hold(const QString &path)
{
    m_routes.insert(path, Route{QByteArray("<html><body><p id=\"partial\">Loading"), {}, true});
}

void TTestHttpServer::ReleaseHeld()
{
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_held))
        if (socket)
            socket->disconnectFromHost();
    m_held.clear();
}

QByteArray TTestHttpServer::LastHeader(const QString &path, const QByteArray &name) const
{
    for (const auto &header : m_lastHeaders.value(path))
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    return {};
}

void TTestHttpServer::Serve(QTcpSocket *socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    const qsizetype end = request.indexOf("\r\n\r\n");
    if (end < 0 || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);

    const QList<QByteArray> lines = request.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    const QByteArray target = requestLine.value(1);
    const QString path = QString::fromLatin1(target.left(target.indexOf('?') < 0 ? target.size()
                                                                                   : target.indexOf('?')));
    QList<QPair<QByteArray, QByteArray>> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    m_hits[path] += 1;
    m_lastTarget.insert(path, target);
    m_lastHeaders.insert(path, headers);

    const auto route = m_routes.constFind(path);
    if (route == m_routes.constEnd()) {
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 9\r\n"
                      "Connection: close\r\n\r\nnot found");
        socket->disconnectFromHost();
        return;
    }
    if (route->hold) {
        // A promised length that never arrives keeps the load going.
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000000\r\n"
                      "Cache-Control: no-store\r\n\r\n" + route->body);
        m_held.append(socket);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_held.contains(socket))
                ++m_abandoned;
        });
        return;
    }
    QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n";
    for (const QByteArray &header : route->headers)
        answer += header + "\r\n";
    answer += "Content-Length: " + QByteArray::number(route->body.size()) + "\r\nConnection: close\r\n\r\n";
    socket->write(answer + route->body);
    socket->disconnectFromHost();
}

QVariant RunJs(QWebEnginePage *page, const QString &script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!WaitUntil([&] { return done; }))
        qWarning("script did not answer: %s", qPrintable(script));
    return result;
}

bool WaitLoads(QSignalSpy &spy, int count)
{
    return WaitUntil([&] { return spy.count() >= count; });
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    // A running event loop, not QTest::qWaitFor's sleeps between rounds: the
    // engine chains its work through the loop and crawls when it sleeps.
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return condition();
}

QPoint ElementCentre(QWebEnginePage *page, const QString &id)
{
    const QVariantList rect =
        RunJs(page, QStringLiteral("(function(){var r=document.getElementById('%1').getBoundingClientRect();"
                                   "return [r.left + r.width / 2, r.top + r.height / 2];})()")
                        .arg(id))
            .toList();
    return QPoint(qRound(rect.value(0).toDouble()), qRound(rect.value(1).toDouble()));
}

bool ClickElement(QWebEngineView *view, const QString &id, const std::function<bool()> &done)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, ElementCentre(view->page(), id));
        if (WaitUntil(done, 500))
            return true;
    }
    return false;
}
