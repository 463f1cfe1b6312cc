#pragma once

#include <QApplication>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QVariant>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QWebEnginePage;
class QWebEngineView;
class TWebBrowser;

// A small HTTP/1.1 server on loopback for the browser tests. Every answer
// closes its connection; unknown paths get 404.
class TTestHttpServer : public QObject
{
    Q_OBJECT
public:
    explicit TTestHttpServer(QObject *parent = nullptr);

    QString Url(const QString &path) const;
    void Page(const QString &path, const QByteArray &html, const QList<QByteArray> &extraHeaders = {});
    // Answers the headers and the start of a page, then holds the connection
    // open until ReleaseHeld, so the page keeps loading.
    void Hold(const QString &path);
    void ReleaseHeld();
    // Held connections the browser has closed (a stopped load).
    int AbandonedHolds() const { return m_abandoned; }

    int Hits(const QString &path) const { return m_hits.value(path); }
    // The request target and the headers of the last request for `path`.
    QByteArray LastTarget(const QString &path) const { return m_lastTarget.value(path); }
    QByteArray LastHeader(const QString &path, const QByteArray &name) const;

private:
    void Serve(QTcpSocket *socket);

    QTcpServer *m_server;
    struct Route
    {
        QByteArray body;
        QList<QByteArray> headers;
        bool hold = false;
    };
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_hits;
    QHash<QString, QByteArray> m_lastTarget;
    QHash<QString, QList<QPair<QByteArray, QByteArray>>> m_lastHeaders;
    QList<QPointer<QTcpSocket>> m_held;
    int m_abandoned = 0;
};

// Runs a script in the page and waits for its result.
QVariant RunJs(QWebEnginePage *page, const QString &script);
// Runs the event loop until `condition` holds; false on time-out.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 15000);
// Waits until `spy` (on TWebBrowser::loadFinished) has seen `count` loads.
bool WaitLoads(QSignalSpy &spy, int count = 1);
// The centre of the element with `id` in the view's coordinates.
QPoint ElementCentre(QWebEnginePage *page, const QString &id);
// Clicks the element with `id` as the user would until `done` holds: a page
// that has only just loaded may not take input yet.
bool ClickElement(QWebEngineView *view, const QString &id, const std::function<bool()> &done);

// The web engine needs shared OpenGL contexts before the application object
// exists, so the browser tests bring their own main.
#define TARNWICK_WEB_TEST_MAIN(TestObject)                                                                   \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                          \
        QApplication app(argc, argv);                                                                        \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
