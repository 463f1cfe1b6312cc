// The one place every request's end is judged: what the owner is told, and
// that it is told once, from the event loop, and never after the exchange went.
#include "services/http_exchange.h"
#include "support/http_test_server.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class TestHttpExchange : public QObject
{
    Q_OBJECT
private slots:
    void outcome_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("refuse"); // the taker refuses every piece
        QTest::addColumn<QString>("error"); // part of the message; empty: success
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("success") << THttpTestServer::Ok("abc") << false << QString() << QByteArray("abc");
        QTest::newRow("empty success") << THttpTestServer::Ok({}) << false << QString() << QByteArray();
        QTest::newRow("status outside 2xx") << THttpTestServer::Answer(404, "abc") << false
                                            << "The server answered 404" << QByteArray("abc");
        QTest::newRow("3xx without a place to go") << THttpTestServer::Answer(304) << false
                                                   << "The server answered 304" << QByteArray();
        QTest::newRow("announced over the cap") << THttpTestServer::Ok(QByteArray(11, 'x')) << false
                                                << "larger than 10 bytes" << QByteArray();
        QTest::newRow("piece refused") << THttpTestServer::Ok("abc") << true << "could not be written"
                                       << QByteArray();
    }
    void outcome()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, refuse);
        QFETCH(QString, error);
        QFETCH(QByteArray, body);
        THttpTestServer server;
        server.Route("/a", answer);
        QNetworkAccessManager manager;
        QByteArray taken;
        auto *exchange = new THttpExchange(manager.get(QNetworkRequest(QUrl(QString::fromLatin1(server.Url("/a"))))),
                                           10, 5000, [&](const QByteArray &piece) {
                                               taken += piece;
                                               return !refuse;
                                           });
        QPointer<THttpExchange> watched(exchange);
        QSignalSpy finished(exchange, &THttpExchange::finished);
        std::optional<EHttpError> outcome;
        connect(exchange, &THttpExchange::finished, this, [&] { outcome = watched->Error(); });
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(outcome.has_value(), !error.isEmpty());
        if (outcome) {
            QVERIFY2(outcome->message().contains(error), qPrintable(outcome->message()));
            QVERIFY(!outcome->Cancelled());
        }
        if (!refuse)
            QCOMPARE(taken, body); // an error's body too, never past the cap
        // The exchange goes by itself once it has told its end.
        QTRY_VERIFY(!watched);
    }

    // Whoever ends a request or starts one at a bad address hears of it
    // later, from the event loop, exactly once: never from inside the call.
    void endIsToldLater_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("cancelled while waiting") << "cancel" << true;
        QTest::newRow("cancelled twice") << "cancel twice" << true;
        QTest::newRow("never reached the network") << "failed" << false;
    }
    void endIsToldLater()
    {
        QFETCH(QString, how);
        QFETCH(bool, cancelled);
        THttpTestServer server;
        server.SetSilent(true);
        QNetworkAccessManager manager;
        THttpExchange *exchange = nullptr;
        if (how == u"failed") {
            exchange = THttpExchange::Failed(EHttpError(QStringLiteral("The address x names no host.")));
        } else {
            exchange = new THttpExchange(manager.get(QNetworkRequest(QUrl(QString::fromLatin1(server.Url("/q"))))),
                                         10, 60000);
            QTRY_COMPARE(server.requests.size(), 1);
        }
        QPointer<THttpExchange> watched(exchange);
        QSignalSpy finished(exchange, &THttpExchange::finished);
        if (how.startsWith(u"cancel")) {
            exchange->Cancel();
            if (how == u"cancel twice")
                exchange->Cancel();
            QVERIFY(exchange->IsFinished());
        }
        QCOMPARE(finished.size(), 0);
        QVERIFY(finished.wait(5000));
        QVERIFY(watched && watched->Error());
        QCOMPARE(watched->Error()->Cancelled(), cancelled);
        QTRY_VERIFY(!watched);
        QCOMPARE(finished.size(), 1);
    }

    void deletedExchange_tellsNothing_andEndsTheRequest()
    {
        THttpTestServer server;
        server.SetSilent(true);
        QNetworkAccessManager manager;
        auto *exchange = new THttpExchange(manager.get(QNetworkRequest(QUrl(QString::fromLatin1(server.Url("/q"))))),
                                           10, 60000);
        bool told = false;
        connect(exchange, &THttpExchange::finished, this, [&] { told = true; });
        QTRY_COMPARE(server.OpenConnections(), 1);
        delete exchange;
        QTRY_COMPARE(server.OpenConnections(), 0);
        QTest::qWait(100);
        QVERIFY(!told);
    }
};

QTEST_MAIN(TestHttpExchange)
#include "test_http_exchange.moc"
