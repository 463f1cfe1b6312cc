// The HTTP client against a local server: the requests it sends, redirects,
// cookies, failures, large bodies and the wait that keeps the loop running.
#include "services/http_client.h"
#include "support/http_test_server.h"
#include "support/http_wait.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <optional>

#include <zlib.h>

namespace {

// `data` as one gzip member. With `endless`, only the member's start: the
// gzip header and `data` as blocks that stand alone, which a server can
// repeat for ever as a stream that never ends.
QByteArray Gzip(const QByteArray &data, bool endless = false)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        qFatal("deflateInit2 failed");
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int result = deflate(&z, endless ? Z_FULL_FLUSH : Z_FINISH);
    if (result != (endless ? Z_OK : Z_STREAM_END))
        qFatal("deflate failed");
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// Text that packs about 2 to 1, as ordinary answers do: numbers that do not
// repeat within `size` bytes.
QByteArray NumberText(qsizetype size)
{
    QByteArray text;
    for (quint64 i = 0; text.size() < size; ++i)
        text += QByteArray::number(i * 2654435761u % 1000003) + ' ';
    return text.left(size);
}

// Answers /r/N with a redirect to /r/N-1 and /r/0 with "done".
QByteArray RedirectChain(const THttpTestServer::Request &r)
{
    if (!r.target.startsWith("/r/"))
        return THttpTestServer::Answer(404);
    const int left = r.target.mid(3).toInt();
    if (left == 0)
        return THttpTestServer::Ok("done");
    return THttpTestServer::Redirect("/r/" + QByteArray::number(left - 1));
}

// Runs f and returns the EHttpError it throws, if any.
template <class F>
std::optional<EHttpError> Thrown(F &&f)
{
    try {
        f();
    } catch (const EHttpError &e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
private slots:
    void postSendsExactRequest();
    void getSendsExactRequest();
    void redirects_data();
    void redirects();
    void cookieGoesBackToTheSite();
    void finalStatus_data();
    void finalStatus();
    void badAddressesFailWithoutRequest_data();
    void badAddressesFailWithoutRequest();
    void refusedConnectionFails();
    void largeBodies();
    void answerSizeIsBounded_data();
    void answerSizeIsBounded();
    void endlessAnswerStopsAtItsLimit_data();
    void endlessAnswerStopsAtItsLimit();
    void compressedAnswerCountsUnpacked_data();
    void compressedAnswerCountsUnpacked();
    void quietServerIsGivenUp_data();
    void quietServerIsGivenUp();
    void failedWriteToFileFails();
    void waitKeepsLoopRunningAndDisconnectEndsIt();
    void disconnectClosesIdleConnections();
    void destroyingClientEndsWait();
};

void TestHttpClient::postSendsExactRequest()
{
    THttpTestServer server;
    const QByteArray answer("\x01 binary \xAF\xFF\r\n answer", 19);
    server.Route("/path/script.php", THttpTestServer::Ok(answer));
    THttpClient client;
    QCOMPARE(client.objectName(), QStringLiteral("IdHTTP1"));
    const THttpFormFields fields{{"first", "plain"},
                                 {"ansi", "Caf\xE9 \x80\x9F\xFF"},
                                 {"lines", "a\r\nb\n--c"},
                                 {"empty", ""}};
    QCOMPARE(PostForm(client, server.Url("/path/script.php"), fields), answer);

    QCOMPARE(server.requests.size(), 1);
    const THttpTestServer::Request &r = server.requests[0];
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.target, QByteArray("/path/script.php"));
    QCOMPARE(r.Header("Host"), "127.0.0.1:" + QByteArray::number(server.Port()));
    QCOMPARE(r.Header("Accept"), QByteArray("text/html, */*"));
    QCOMPARE(r.Header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)"));
    QVERIFY2(r.Header("Content-Type").startsWith("multipart/form-data; boundary="), r.Header("Content-Type"));

    const auto parts = THttpTestServer::FormParts(r);
    QCOMPARE(parts.size(), fields.size());
    for (int i = 0; i < parts.size(); ++i) {
        QCOMPARE(parts[i].name, fields[i].first);
        QCOMPARE(parts[i].value, fields[i].second);
        QCOMPARE(parts[i].headers.size(), 1);
        QCOMPARE(parts[i].headers[0].second, "form-data; name=\"" + fields[i].first + "\"");
    }
}

void TestHttpClient::getSendsExactRequest()
{
    THttpTestServer server;
    server.Route("/liveupdate/a.inf", THttpTestServer::Ok("[APPLICATION]\r\nVersion=2.1\r\n"));
    THttpClient client;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    GetToFile(client, server.Url("/liveupdate/a.inf"), out);
    QCOMPARE(out.data(), QByteArray("[APPLICATION]\r\nVersion=2.1\r\n"));

    const THttpTestServer::Request &r = server.requests.value(0);
    QCOMPARE(r.method, QByteArray("GET"));
    QCOMPARE(r.target, QByteArray("/liveupdate/a.inf"));
    QCOMPARE(r.Header("Accept"), QByteArray("text/html, */*"));
    QCOMPARE(r.Header("User-Agent"), QByteArray("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 4.0)"));
    QCOMPARE(r.Header("Content-Type"), QByteArray("text/html"));
    QVERIFY(r.body.isEmpty());
}

void TestHttpClient::redirects_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("get, 15 in a row") << false << 15 << true;
    QTest::newRow("get, 16 in a row") << false << 16 << false;
    QTest::newRow("post, 15 in a row") << true << 15 << true;
    QTest::newRow("post, 16 in a row") << true << 16 << false;
}

void TestHttpClient::redirects()
{
    QFETCH(bool, post);
    QFETCH(int, hops);
    QFETCH(bool, succeeds);
    THttpTestServer server;
    server.SetHandler(RedirectChain);
    THttpClient client;
    const QByteArray url = server.Url("/r/" + QByteArray::number(hops));
    QByteArray body;
    const auto error = Thrown([&] {
        if (post) {
            body = PostForm(client, url, {{"a", "b"}});
        } else {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            GetToFile(client, url, out);
            body = out.data();
        }
    });
    QCOMPARE(!error.has_value(), succeeds);
    if (succeeds)
        QCOMPARE(body, QByteArray("done"));
    else
        QVERIFY(!error->Cancelled());
    // Every hop was asked for (the client may repeat a request on a fresh
    // connection, so count distinct addresses); a refused chain stops before
    // its last address.
    QSet<QByteArray> asked;
    for (const auto &r : server.requests)
        asked.insert(r.target);
    QCOMPARE(asked.size(), succeeds ? hops + 1 : 16);
    QCOMPARE(asked.contains("/r/0"), succeeds);
}

void TestHttpClient::cookieGoesBackToTheSite()
{
    THttpTestServer server;
    server.Route("/login", THttpTestServer::Answer(200, "OK", {{"Set-Cookie", "session=abc123; Path=/"}}));
    server.Route("/next", THttpTestServer::Ok("OK"));
    THttpClient client;
    PostForm(client, server.Url("/login"), {{"u", "x"}});
    QVERIFY(!server.requests[0].HasHeader("Cookie"));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    GetToFile(client, server.Url("/next"), out);
    PostForm(client, server.Url("/next"), {});
    QCOMPARE(server.requests[1].Header("Cookie"), QByteArray("session=abc123"));
    QCOMPARE(server.requests[2].Header("Cookie"), QByteArray("session=abc123"));
    // Another client (another run) starts without it.
    THttpClient fresh;
    PostForm(fresh, server.Url("/next"), {});
    QVERIFY(!server.requests[3].HasHeader("Cookie"));
}

void TestHttpClient::finalStatus_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("200") << THttpTestServer::Ok("x") << true;
    QTest::newRow("204") << THttpTestServer::Answer(204) << true;
    QTest::newRow("404") << THttpTestServer::Answer(404, "missing") << false;
    QTest::newRow("500") << THttpTestServer::Answer(500, "OK") << false;
    QTest::newRow("302 without a place to go") << THttpTestServer::Answer(302, "OK") << false;
    QTest::newRow("not HTTP at all") << QByteArray("garbage\r\n\r\n") << false;
}

void TestHttpClient::finalStatus()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, succeeds);
    THttpTestServer server;
    server.Route("/s", answer);
    THttpClient client;
    QCOMPARE(!Thrown([&] { PostForm(client, server.Url("/s"), {}); }).has_value(), succeeds);
    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(!Thrown([&] { GetToFile(client, server.Url("/s"), file); }).has_value(), succeeds);
}

void TestHttpClient::badAddressesFailWithoutRequest_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::newRow("path only") << QByteArray("/getlastnews.php");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("empty host") << QByteArray("http:///getlastnews.php");
    QTest::newRow("no scheme") << QByteArray("news.example/getlastnews.php");
    QTest::newRow("local file") << QByteArray("file:///etc/passwd");
    QTest::newRow("bad port") << QByteArray("http://127.0.0.1:99999/");
    QTest::newRow("binary junk") << QByteArray("\x01\xFF://\x80");
}

void TestHttpClient::badAddressesFailWithoutRequest()
{
    QFETCH(QByteArray, url);
    THttpClient client;
    const auto error = Thrown([&] { PostForm(client, url, {{"a", "b"}}); });
    QVERIFY(error.has_value());
    QVERIFY(!error->Cancelled());
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(Thrown([&] { GetToFile(client, url, out); }).has_value());
    QVERIFY(!client.Busy());
}

void TestHttpClient::refusedConnectionFails()
{
    THttpClient client;
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(RefusingPort()) + "/x";
    const auto error = Thrown([&] { PostForm(client, url, {}); });
    QVERIFY(error.has_value());
    QVERIFY(!error->Cancelled());
}

void TestHttpClient::largeBodies()
{
    QByteArray big(50 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); i += 4096)
        big[i] = char(i / 4096);
    THttpTestServer server;
    server.Route("/big", THttpTestServer::Ok(big));
    THttpClient client;
    client.SetAnswerLimit(big.size());
    client.SetDownloadLimit(big.size());
    QCOMPARE(PostForm(client, server.Url("/big"), {}), big);

    QTemporaryFile file;
    QVERIFY(file.open());
    GetToFile(client, server.Url("/big"), file);
    file.flush();
    QCOMPARE(file.size(), big.size());
    file.seek(0);
    QVERIFY(file.readAll() == big);
}

void TestHttpClient::answerSizeIsBounded_data()
{
    QTest::addColumn<bool>("post");       // PostForm, else GetToFile
    QTest::addColumn<qint64>("limit");    // 0: the client's own
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("ok");
    const QByteArray mib4(4 * 1024 * 1024, 'n');
    const QByteArray kib64(64 * 1024, 'u');
    const QByteArray unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    QTest::newRow("news answer of 4 MiB") << true << qint64(0) << THttpTestServer::Ok(mib4) << true;
    QTest::newRow("news answer one byte more") << true << qint64(0) << THttpTestServer::Ok(mib4 + "n") << false;
    QTest::newRow("description of 64 KiB") << false << qint64(0) << THttpTestServer::Ok(kib64) << true;
    QTest::newRow("description one byte more") << false << qint64(0) << THttpTestServer::Ok(kib64 + "u") << false;
    QTest::newRow("post, no length announced, over")
        << true << qint64(1000) << unannounced + QByteArray(5000, 'x') << false;
    QTest::newRow("get, no length announced, over")
        << false << qint64(1000) << unannounced + QByteArray(5000, 'x') << false;
    QTest::newRow("get, no length announced, within")
        << false << qint64(1000) << unannounced + QByteArray(1000, 'x') << true;
    // Announced far beyond the limit and never sent: ended at once, not
    // after the wait for a quiet server.
    QTest::newRow("post, announced beyond")
        << true << qint64(1000) << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1500000000\r\n\r\nxx") << false;
    QTest::newRow("get, announced beyond")
        << false << qint64(1000) << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1500000000\r\n\r\nxx") << false;
}

void TestHttpClient::answerSizeIsBounded()
{
    QFETCH(bool, post);
    QFETCH(qint64, limit);
    QFETCH(QByteArray, answer);
    QFETCH(bool, ok);
    THttpTestServer server;
    server.Route("/a", answer);
    THttpClient client;
    client.SetIdleTimeout(20000);
    if (limit) {
        client.SetAnswerLimit(limit);
        client.SetDownloadLimit(limit);
    }
    QElapsedTimer elapsed;
    elapsed.start();
    QByteArray body;
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    const auto error = Thrown([&] {
        if (post)
            body = PostForm(client, server.Url("/a"), {{"a", "b"}});
        else
            GetToFile(client, server.Url("/a"), file);
    });
    QCOMPARE(!error.has_value(), ok);
    QVERIFY(elapsed.elapsed() < 10000);
    QVERIFY(!client.Busy());
    if (error) {
        QVERIFY(!error->Cancelled()); // a failure of the server, not the user's cancelling
        QVERIFY2(error->message().contains(QStringLiteral("larger than")), qPrintable(error->message()));
        // What arrived is not kept beyond the limit.
        QVERIFY(file.data().size() <= (limit ? limit : THttpClient::DefaultDownloadLimit));
    } else {
        const QByteArray sent = answer.mid(answer.indexOf("\r\n\r\n") + 4);
        QCOMPARE(post ? body.size() : file.data().size(), sent.size());
    }
}

void TestHttpClient::endlessAnswerStopsAtItsLimit_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body"); // sent again and again
    QTest::addColumn<qint64>("limit");    // the client's own for its request
    QTest::addColumn<bool>("bomb");       // packed far beyond what Qt unpacks at all
    QTest::addColumn<bool>("redirected"); // asked elsewhere first, and sent on
    const qint64 news = THttpClient::DefaultAnswerLimit;
    const qint64 description = THttpClient::DefaultDownloadLimit;
    const QByteArray chunk(64 * 1024, 'e');
    const QByteArray gzipHead = THttpStreamServer::UnsizedHead({{"Content-Encoding", "gzip"}});
    // The gzip header (10 bytes) goes with the head; the blocks repeat.
    const QByteArray text = Gzip(NumberText(1024 * 1024), true);
    const QByteArray zeros = Gzip(QByteArray(1024 * 1024, '\0'), true);
    const QByteArray sizedBeyond = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(news + 1) + "\r\n\r\n";
    QTest::newRow("news answer") << true << THttpStreamServer::UnsizedHead() << chunk << news << false << false;
    QTest::newRow("update description") << false << THttpStreamServer::UnsizedHead() << chunk << description << false << false;
    QTest::newRow("news answer, gzip") << true << gzipHead + text.left(10) << text.mid(10) << news << false << false;
    QTest::newRow("update description, gzip")
        << false << gzipHead + text.left(10) << text.mid(10) << description << false << false;
    QTest::newRow("news answer, gzip of zeros") << true << gzipHead + zeros.left(10) << zeros.mid(10) << news << true << false;
    QTest::newRow("update description, gzip of zeros")
        << false << gzipHead + zeros.left(10) << zeros.mid(10) << description << true << false;
    QTest::newRow("news answer, length announced over the limit") << true << sizedBeyond << chunk << news << false << false;
    QTest::newRow("news answer, redirected") << true << THttpStreamServer::UnsizedHead() << chunk << news << false << true;
    QTest::newRow("update description, redirected")
        << false << THttpStreamServer::UnsizedHead() << chunk << description << false << true;
}

// However fast a server sends, the client takes an answer off the connection
// only up to its limit and ends it there: the server gets rid of little more
// than that before the client hangs up. Compressed answers count unpacked.
void TestHttpClient::endlessAnswerStopsAtItsLimit()
{
    QFETCH(bool, post);
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(qint64, limit);
    QFETCH(bool, bomb);
    QFETCH(bool, redirected);
    THttpStreamServer server(head, body, true);
    THttpTestServer first;
    first.Route("/moved", THttpTestServer::Redirect(server.Url("/endless"), 307));
    const QByteArray url = redirected ? first.Url("/moved") : server.Url("/endless");
    THttpClient client;
    client.SetIdleTimeout(20000);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    const auto error = Thrown([&] {
        if (post)
            PostForm(client, url, {{"a", "b"}});
        else
            GetToFile(client, url, file);
    });
    QVERIFY(error.has_value());
    QVERIFY(!error->Cancelled());
    // Qt itself refuses to unpack such an answer once a piece of it unpacks
    // beyond its own bound; a first piece that arrived alone may unpack
    // below that and reach our limit first. Either way it must end at once,
    // not after waiting for the server to go quiet.
    const bool tooLarge = error->message().contains(QStringLiteral("larger than"));
    QVERIFY2(bomb ? tooLarge || error->message().contains(QStringLiteral("could not be unpacked")) : tooLarge,
             qPrintable(error->message()));
    QVERIFY(file.data().size() <= limit);
    QTRY_VERIFY(server.ClientHungUp());
    // What the sockets' buffers on loopback can hold between the two ends
    // (the receiver's grows to a few MiB while it is read fast); without a
    // bound of its own a reply pulled in over 100 MB.
    const qint64 socketSlack = 8 * 1024 * 1024;
    QVERIFY2(server.BodyBytesSent() <= limit + socketSlack,
             qPrintable(QStringLiteral("%1 bytes sent").arg(server.BodyBytesSent())));
    QCOMPARE(server.Requests(), 1);
}

void TestHttpClient::compressedAnswerCountsUnpacked_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QByteArray>("unpacked"); // the answer once unpacked; empty: 1 GiB of zeros
    QTest::addColumn<QString>("failure");     // what the error says; empty: no error
    const qint64 news = THttpClient::DefaultAnswerLimit;
    const qint64 description = THttpClient::DefaultDownloadLimit;
    const QString larger = QStringLiteral("larger than");
    QTest::newRow("news answer at the limit") << true << NumberText(news) << QString();
    QTest::newRow("news answer one byte over") << true << NumberText(news + 1) << larger;
    QTest::newRow("news answer of zeros one byte over") << true << QByteArray(news + 1, '\0') << larger;
    QTest::newRow("news answer, 1 GiB of zeros in 1 MiB") << true << QByteArray() << QStringLiteral("could not be unpacked");
    QTest::newRow("description at the limit") << false << NumberText(description) << QString();
    QTest::newRow("description one byte over") << false << NumberText(description + 1) << larger;
    QTest::newRow("description, 1 GiB of zeros in 1 MiB") << false << QByteArray() << QStringLiteral("could not be unpacked");
}

// A small compressed answer that unpacks beyond the limit is as large as it
// unpacks to; one that unpacks to far more than Qt unpacks at all fails at
// once.
void TestHttpClient::compressedAnswerCountsUnpacked()
{
    QFETCH(bool, post);
    QFETCH(QByteArray, unpacked);
    QFETCH(QString, failure);
    QByteArray packed;
    if (unpacked.isEmpty()) {
        // A gzip bomb: the same stand-alone megabyte of zeros 1024 times.
        const QByteArray zeros = Gzip(QByteArray(1024 * 1024, '\0'), true);
        packed = zeros.left(10) + zeros.mid(10).repeated(1024) + Gzip({}).mid(10);
    } else {
        packed = Gzip(unpacked);
    }
    THttpTestServer server;
    server.Route("/z", THttpTestServer::Answer(200, packed, {{"Content-Encoding", "gzip"}}));
    THttpClient client;
    client.SetIdleTimeout(20000);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QByteArray body;
    const auto error = Thrown([&] {
        if (post)
            body = PostForm(client, server.Url("/z"), {{"a", "b"}});
        else
            GetToFile(client, server.Url("/z"), file);
    });
    if (failure.isEmpty()) {
        QVERIFY2(!error.has_value(), qPrintable(error ? error->message() : QString()));
        QCOMPARE(post ? body : file.data(), unpacked);
    } else {
        QVERIFY(error.has_value());
        QVERIFY2(error->message().contains(failure), qPrintable(error->message()));
        QVERIFY(file.data().size() <= THttpClient::DefaultDownloadLimit);
    }
}

void TestHttpClient::quietServerIsGivenUp_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QByteArray>("answer"); // empty: never answers at all
    QTest::newRow("post, no answer") << true << QByteArray();
    QTest::newRow("get, no answer") << false << QByteArray();
    QTest::newRow("post, head then nothing") << true << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nOK");
    QTest::newRow("get, head then nothing") << false << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
}

void TestHttpClient::quietServerIsGivenUp()
{
    QFETCH(bool, post);
    QFETCH(QByteArray, answer);
    THttpTestServer server;
    if (answer.isEmpty())
        server.SetSilent(true);
    else
        server.Route("/q", answer);
    THttpClient client;
    client.SetIdleTimeout(400);
    QElapsedTimer elapsed;
    elapsed.start();
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    const auto error = Thrown([&] {
        if (post)
            PostForm(client, server.Url("/q"), {});
        else
            GetToFile(client, server.Url("/q"), file);
    });
    QVERIFY(error.has_value());
    QVERIFY(!error->Cancelled());
    QVERIFY2(error->message().contains(QStringLiteral("sent nothing")), qPrintable(error->message()));
    QVERIFY2(elapsed.elapsed() >= 350 && elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(!client.Busy());
    QCOMPARE(THttpClient::DefaultIdleTimeoutMs, 60000);
}

void TestHttpClient::failedWriteToFileFails()
{
    THttpTestServer server;
    server.Route("/f", THttpTestServer::Ok(QByteArray(100000, 'x')));
    THttpClient client;
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    const auto error = Thrown([&] { GetToFile(client, server.Url("/f"), readOnly); });
    QVERIFY(error.has_value());
    QVERIFY(!client.Busy());
}

void TestHttpClient::waitKeepsLoopRunningAndDisconnectEndsIt()
{
    THttpTestServer server;
    server.SetSilent(true);
    THttpClient client;
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    bool busyWhileWaiting = false;
    QTimer::singleShot(300, &client, [&] {
        busyWhileWaiting = client.Busy();
        client.Disconnect();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    const auto error = Thrown([&] { PostForm(client, server.Url("/slow"), {{"a", "b"}}); });
    QVERIFY(error.has_value());
    QVERIFY(error->Cancelled());
    QVERIFY(busyWhileWaiting);
    QVERIFY(!client.Busy());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(elapsed.elapsed() < 5000);
    QCOMPARE(server.requests.size(), 1);
    // The connection the silent server held is closed.
    QTRY_COMPARE(server.OpenConnections(), 0);
}

void TestHttpClient::disconnectClosesIdleConnections()
{
    THttpTestServer server;
    server.Route("/a", THttpTestServer::Ok("x"));
    THttpClient client;
    PostForm(client, server.Url("/a"), {});
    QCOMPARE(server.OpenConnections(), 1);
    client.Disconnect();
    QTRY_COMPARE(server.OpenConnections(), 0);
    // The client still works afterwards.
    QCOMPARE(PostForm(client, server.Url("/a"), {}), QByteArray("x"));
}

void TestHttpClient::destroyingClientEndsWait()
{
    THttpTestServer server;
    server.SetSilent(true);
    auto *client = new THttpClient;
    QTimer::singleShot(100, this, [&] { delete client; });
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    const auto error = Thrown([&] { GetToFile(*client, server.Url("/slow"), out); });
    QVERIFY(error.has_value());
    QVERIFY(error->Cancelled());
}

QTEST_MAIN(TestHttpClient)
#include "test_http_client.moc"
