// The news protocol: requests, the reading of every answer form, and the three
// operations against a local server.
#include "services/news_service.h"
#include "settings/branding_settings.h"
#include "support/http_test_server.h"
#include "support/news_wait.h"
#include "support/scripted_messages.h"

#include <QTest>
#include <QTimer>

using namespace NewsService;
using Fields = THttpFormFields;

namespace {

const QString kAccessTrouble = QStringLiteral("There is a trouble accessing the news site. Contact your provider.");
const QString kSettingsTrouble = QStringLiteral("There is a trouble in the settings file on the news site.");
const QString kUserTrouble = QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
const QString kProductTrouble =
    QStringLiteral("There is a trouble with the product validation. Contact your provider.");
const QString kNewsTrouble = QStringLiteral("There is a trouble with this news. Contact your provider.");

} // namespace

class TestNewsService : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void requestAddress_data();
    void requestAddress();
    void requestFields_data();
    void requestFields();

    void errorMessages_data();
    void errorMessages();
    void listAnswers_data();
    void listAnswers();
    void latestAnswers_data();
    void latestAnswers();
    void detailsAnswers_data();
    void detailsAnswers();

    void sentRequestMatchesProtocol();
    void fetchNewsListOverHttp_data();
    void fetchNewsListOverHttp();
    void fetchLatestNewsIsSilent_data();
    void fetchLatestNewsIsSilent();
    void fetchNewsDetailsOverHttp_data();
    void fetchNewsDetailsOverHttp();
    void failedRequestsCountAsEmptyAnswer_data();
    void failedRequestsCountAsEmptyAnswer();
    void cancelledRequestIsNotReported();
};

void TestNewsService::init()
{
    BrandingSettings() = TBrandingSettings{};
}

void TestNewsService::requestAddress_data()
{
    QTest::addColumn<QByteArray>("prodType");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("master, base ends with slash") << QByteArray("BM") << QByteArray("http://m.test/n/getlastnews.php");
    QTest::newRow("platinum, base without slash") << QByteArray("BP") << QByteArray("http://p.test/n/getlastnews.php");
    QTest::newRow("gold") << QByteArray("BG") << QByteArray("http://g.test/getlastnews.php");
    QTest::newRow("unknown code: no base, still a slash") << QByteArray("BF") << QByteArray("/getlastnews.php");
    QTest::newRow("codes are case-sensitive") << QByteArray("bm") << QByteArray("/getlastnews.php");
}

void TestNewsService::requestAddress()
{
    QFETCH(QByteArray, prodType);
    QFETCH(QByteArray, expected);
    BrandingSettings().MasterNewsBaseURL = "http://m.test/n/";
    BrandingSettings().PlatinumNewsBaseURL = "http://p.test/n";
    BrandingSettings().GoldNewsBaseURL = "http://g.test";
    QCOMPARE(LatestNewsRequest("p", "c", prodType, "UA").url, expected);
    QCOMPARE(NewsListRequest("p", "c", prodType, "UA").url, expected);
    QByteArray details = expected;
    details.replace("getlastnews.php", "getnewsdetails.php");
    QCOMPARE(NewsDetailsRequest("p", "c", prodType, "UA", "7").url, details);
}

void TestNewsService::requestFields_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<Fields>("expected");
    const QByteArray cp1252 = "Caf\xE9 \x80";
    const auto fields = [&](const QByteArray &fourthName, const QByteArray &fourthValue) {
        return Fields{{"memusername", cp1252},
                      {"prodcode", "BRAND"},
                      {"prodtype", "BG"},
                      {fourthName, fourthValue},
                      {"newstarget", "UA"},
                      {"something", ""}};
    };
    QTest::newRow("list") << int(TNewsOperation::List) << fields("conttype", "all");
    QTest::newRow("latest") << int(TNewsOperation::Latest) << fields("conttype", "lastcode");
    QTest::newRow("details") << int(TNewsOperation::Details) << fields("newsid", "42");
}

void TestNewsService::requestFields()
{
    QFETCH(int, operation);
    QFETCH(Fields, expected);
    const QByteArray publ = "Caf\xE9 \x80";
    TNewsRequest r;
    switch (TNewsOperation(operation)) {
    case TNewsOperation::List:
        r = NewsListRequest(publ, "BRAND", "BG", "UA");
        break;
    case TNewsOperation::Latest:
        r = LatestNewsRequest(publ, "BRAND", "BG", "UA");
        break;
    case TNewsOperation::Details:
        r = NewsDetailsRequest(publ, "BRAND", "BG", "UA", "42");
        break;
    }
    QCOMPARE(r.fields, expected);
}

void TestNewsService::errorMessages_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("details");
    QTest::newRow("empty") << QByteArray() << kAccessTrouble << kAccessTrouble;
    QTest::newRow("CONNECTIONFAIL") << QByteArray("CONNECTIONFAIL") << kSettingsTrouble << kSettingsTrouble;
    QTest::newRow("INVALIDUSER") << QByteArray("INVALIDUSER") << kUserTrouble << kUserTrouble;
    QTest::newRow("INVALIDPRODUCT") << QByteArray("INVALIDPRODUCT") << kProductTrouble << kProductTrouble;
    QTest::newRow("INVALIDNEWS only for details") << QByteArray("INVALIDNEWS") << QString() << kNewsTrouble;
    QTest::newRow("lower case matches nothing") << QByteArray("invaliduser") << QString() << QString();
    QTest::newRow("word inside other text") << QByteArray("INVALIDUSER!") << QString() << QString();
    QTest::newRow("anything else") << QByteArray("Server busy") << QString() << QString();
}

void TestNewsService::errorMessages()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, list);
    QFETCH(QString, details);
    QCOMPARE(ErrorMessage(TNewsOperation::List, answer), list);
    QCOMPARE(ErrorMessage(TNewsOperation::Details, answer), details);
    QCOMPARE(ErrorMessage(TNewsOperation::Latest, answer), QString());
}

void TestNewsService::listAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("success");
    QTest::addColumn<TStringList>("entries");
    QTest::newRow("no news") << QByteArray("OK") << true << TStringList{};
    QTest::newRow("two entries")
        << QByteArray("3^Sale^2024-05-01\xAF"
                      "2^Hello^2024-04-01\xAFOK")
        << true << TStringList{"3^Sale^2024-05-01", "2^Hello^2024-04-01"};
    QTest::newRow("empty field and an entry that is OK")
        << QByteArray("1^a^d\xAF\xAFOK\xAF"
                      "2^b^d\xAFOK")
        << true << TStringList{"1^a^d", "2^b^d"};
    QTest::newRow("OK inside other text") << QByteArray("NOT OK") << true << TStringList{"NOT OK"};
    QTest::newRow("error word") << QByteArray("INVALIDUSER") << false << TStringList{};
    QTest::newRow("lower-case ok is no success") << QByteArray("ok") << false << TStringList{};
}

void TestNewsService::listAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, success);
    QFETCH(TStringList, entries);
    QCOMPARE(IsSuccess(answer), success);
    if (!success)
        return;
    TStringList list{"kept"};
    ParseNewsList(answer, list);
    QCOMPARE(list, TStringList{"kept"} + entries);
}

void TestNewsService::latestAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("newsId");
    QTest::addColumn<QByteArray>("title");
    const QByteArray untouched = "previous";
    QTest::newRow("no news") << QByteArray("OK") << QByteArray() << untouched;
    QTest::newRow("newest entry") << QByteArray("12^New offer\xAFOK") << QByteArray("12") << QByteArray("New offer");
    QTest::newRow("more fields than two") << QByteArray("12^T^2024\xAFOK") << QByteArray("12") << QByteArray("T");
    QTest::newRow("tail inside the title is removed")
        << QByteArray("5^Big \xAFOKdeal\xAFOK") << QByteArray("5") << QByteArray("Big deal");
    QTest::newRow("no title: read as no news") << QByteArray("12\xAFOK") << QByteArray() << untouched;
    QTest::newRow("nothing before the tail") << QByteArray("\xAFOK") << QByteArray() << untouched;
    QTest::newRow("empty title") << QByteArray("9^\xAFOK") << QByteArray() << untouched;
}

void TestNewsService::latestAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, newsId);
    QFETCH(QByteArray, title);
    QByteArray id = "stale";
    QByteArray t = "previous";
    ParseLatestNews(answer, id, t);
    QCOMPARE(id, newsId);
    QCOMPARE(t, title);
}

void TestNewsService::detailsAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("escape") << QByteArray("a$41b\xAFOK") << QByteArray("aAb");
    QTest::newRow("dollar sent as its escape") << QByteArray("$24 5\xAFOK") << QByteArray("$ 5");
    QTest::newRow("invalid escape empties the body") << QByteArray("x$zz\xAFOK") << QByteArray();
    QTest::newRow("tail inside the body") << QByteArray("<p>a\xAFOKb</p>\xAFOK") << QByteArray("<p>ab</p>");
    QTest::newRow("ANSI bytes kept") << QByteArray("caf\xE9$E9\xAFOK") << QByteArray("caf\xE9\xE9");
}

void TestNewsService::detailsAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, body);
    QCOMPARE(ParseNewsDetails(answer), body);
}

void TestNewsService::sentRequestMatchesProtocol()
{
    THttpTestServer server;
    server.Route("/news/getnewsdetails.php", THttpTestServer::Ok("x\xAFOK"));
    BrandingSettings().PlatinumNewsBaseURL = server.Url("/news");
    THttpClient client;
    TScriptedMessages messages;
    QByteArray body;
    QVERIFY(FetchNewsDetails(client, messages, "pub\xE9", "BRAND", "BP", "UA", "17", body));

    QCOMPARE(server.requests.size(), 1);
    const THttpTestServer::Request &r = server.requests[0];
    QCOMPARE(r.method, QByteArray("POST"));
    QCOMPARE(r.target, QByteArray("/news/getnewsdetails.php"));
    const auto parts = THttpTestServer::FormParts(r);
    QStringList names;
    for (const auto &p : parts)
        names << QString::fromLatin1(p.name);
    QCOMPARE(names, (QStringList{"memusername", "prodcode", "prodtype", "newsid", "newstarget", "something"}));
    QCOMPARE(parts[0].value, QByteArray("pub\xE9"));
    QCOMPARE(parts[3].value, QByteArray("17"));
    QCOMPARE(parts[5].value, QByteArray());
}

void TestNewsService::fetchNewsListOverHttp_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("result");
    QTest::addColumn<TStringList>("entries");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("entries") << QByteArray("1^A^d1\xAF"
                                           "2^B^d2\xAFOK")
                             << true << TStringList{"1^A^d1", "2^B^d2"} << QStringList{};
    QTest::newRow("no news") << QByteArray("OK") << true << TStringList{} << QStringList{};
    QTest::newRow("blanks around OK") << QByteArray(" \r\nOK\r\n") << true << TStringList{} << QStringList{};
    QTest::newRow("empty answer") << QByteArray() << false << TStringList{} << QStringList{kAccessTrouble};
    QTest::newRow("CONNECTIONFAIL") << QByteArray("CONNECTIONFAIL") << false << TStringList{}
                                    << QStringList{kSettingsTrouble};
    QTest::newRow("INVALIDUSER with line break") << QByteArray("\r\nINVALIDUSER \r\n") << false << TStringList{}
                                                 << QStringList{kUserTrouble};
    QTest::newRow("INVALIDPRODUCT") << QByteArray("INVALIDPRODUCT") << false << TStringList{}
                                    << QStringList{kProductTrouble};
    QTest::newRow("INVALIDNEWS is no word of the list") << QByteArray("INVALIDNEWS") << false << TStringList{}
                                                        << QStringList{};
}

void TestNewsService::fetchNewsListOverHttp()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, result);
    QFETCH(TStringList, entries);
    QFETCH(QStringList, messages);
    THttpTestServer server;
    server.Route("/getlastnews.php", THttpTestServer::Ok(answer));
    BrandingSettings().MasterNewsBaseURL = server.Url("/");
    THttpClient client;
    TScriptedMessages shown;
    TStringList list{"earlier"};
    QCOMPARE(FetchNewsList(client, shown, "pub", "code", "BM", "UA", list), result);
    QCOMPARE(list, TStringList{"earlier"} + entries);
    QCOMPARE(shown.Texts(), messages);
    for (const auto &s : shown.shown) {
        QCOMPARE(s.kind, TMsgDlgType::mtWarning);
        QCOMPARE(s.buttons, TMsgDlgButtons(mbOK));
    }
    const auto parts = THttpTestServer::FormParts(server.requests.value(0));
    QCOMPARE(parts.size(), 6);
    QCOMPARE(parts[3].name + "=" + parts[3].value, QByteArray("conttype=all"));
}

void TestNewsService::fetchLatestNewsIsSilent_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("newsId");
    QTest::addColumn<QByteArray>("title");
    QTest::newRow("newest") << QByteArray("12^New offer\xAFOK") << true << QByteArray("12") << QByteArray("New offer");
    QTest::newRow("no news") << QByteArray("OK") << true << QByteArray() << QByteArray("old");
    QTest::newRow("empty") << QByteArray() << false << QByteArray() << QByteArray("old");
    QTest::newRow("INVALIDUSER") << QByteArray("INVALIDUSER") << false << QByteArray() << QByteArray("old");
    QTest::newRow("CONNECTIONFAIL") << QByteArray("CONNECTIONFAIL") << false << QByteArray() << QByteArray("old");
}

void TestNewsService::fetchLatestNewsIsSilent()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, result);
    QFETCH(QByteArray, newsId);
    QFETCH(QByteArray, title);
    THttpTestServer server;
    server.Route("/n/getlastnews.php", THttpTestServer::Ok(answer));
    BrandingSettings().GoldNewsBaseURL = server.Url("/n/");
    THttpClient client;
    QByteArray id = "stale";
    QByteArray t = "old";
    QCOMPARE(FetchLatestNews(client, "pub", "code", "BG", "UA", id, t), result);
    QCOMPARE(id, newsId);
    QCOMPARE(t, title);
    const auto parts = THttpTestServer::FormParts(server.requests.value(0));
    QCOMPARE(parts.value(3).value, QByteArray("lastcode"));
}

void TestNewsService::fetchNewsDetailsOverHttp_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("body") << QByteArray("<b>$24 off</b>\xAFOK") << true << QByteArray("<b>$ off</b>") << QStringList{};
    QTest::newRow("bad escape") << QByteArray("x$zz\xAFOK") << true << QByteArray() << QStringList{};
    QTest::newRow("INVALIDNEWS") << QByteArray("INVALIDNEWS") << false << QByteArray() << QStringList{kNewsTrouble};
    QTest::newRow("INVALIDPRODUCT") << QByteArray("INVALIDPRODUCT") << false << QByteArray()
                                    << QStringList{kProductTrouble};
    QTest::newRow("other text") << QByteArray("maintenance") << false << QByteArray() << QStringList{};
}

void TestNewsService::fetchNewsDetailsOverHttp()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, result);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, messages);
    THttpTestServer server;
    server.Route("/getnewsdetails.php", THttpTestServer::Ok(answer));
    BrandingSettings().MasterNewsBaseURL = server.Url("");
    THttpClient client;
    TScriptedMessages shown;
    QByteArray b = "previous body";
    QCOMPARE(FetchNewsDetails(client, shown, "pub", "code", "BM", "UA", "3", b), result);
    QCOMPARE(b, body);
    QCOMPARE(shown.Texts(), messages);
}

void TestNewsService::failedRequestsCountAsEmptyAnswer_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("prodType");
    QTest::newRow("404") << QByteArray("404") << QByteArray("BM");
    QTest::newRow("500") << QByteArray("500") << QByteArray("BM");
    QTest::newRow("refused") << QByteArray("refused") << QByteArray("BM");
    QTest::newRow("no base address: no host") << QByteArray() << QByteArray("BM");
    QTest::newRow("level without product type") << QByteArray("200") << QByteArray("XX");
}

void TestNewsService::failedRequestsCountAsEmptyAnswer()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, prodType);
    THttpTestServer server;
    server.Route("/404/getlastnews.php", THttpTestServer::Answer(404, "OK"));
    server.Route("/500/getlastnews.php", THttpTestServer::Answer(500, "OK"));
    server.Route("/200/getlastnews.php", THttpTestServer::Ok("OK"));
    if (base == "refused")
        BrandingSettings().MasterNewsBaseURL = "http://127.0.0.1:" + QByteArray::number(RefusingPort());
    else if (!base.isEmpty())
        BrandingSettings().MasterNewsBaseURL = server.Url("/" + base);
    THttpClient client;
    TScriptedMessages shown;
    TStringList list;
    QVERIFY(!FetchNewsList(client, shown, "pub", "code", prodType, "UA", list));
    QCOMPARE(shown.Texts(), QStringList{kAccessTrouble});
    QVERIFY(list.isEmpty());

    QByteArray id = "x";
    QByteArray title = "t";
    QVERIFY(!FetchLatestNews(client, "pub", "code", prodType, "UA", id, title));
    QCOMPARE(shown.shown.size(), 1);
    QCOMPARE(id, QByteArray());
    QCOMPARE(title, QByteArray("t"));
}

void TestNewsService::cancelledRequestIsNotReported()
{
    THttpTestServer server;
    server.SetSilent(true);
    BrandingSettings().MasterNewsBaseURL = server.Url("/");
    THttpClient client;
    TScriptedMessages shown;
    QTimer::singleShot(100, &client, [&] { client.Disconnect(); });
    TStringList list;
    QVERIFY(!FetchNewsList(client, shown, "pub", "code", "BM", "UA", list));
    QCOMPARE(shown.Texts(), QStringList{});
}

QTEST_MAIN(TestNewsService)
#include "test_news_service.moc"
