// The program's news code against the real news service of publisher/news,
// served by `php -S` on loopback and filled with its own admin tool. The
// hostile and failing servers stay with the scripted server of the other
// suites; here the two sides must simply understand each other.
#include "app/main_window.h"
#include "services/http_client.h"
#include "services/message_hint.h"
#include "services/news_service.h"
#include "services/news_window.h"
#include "settings/brand_fixtures.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "support/find_child.h"
#include "support/http_test_server.h"
#include "support/news_wait.h"
#include "support/publisher_wait.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "util/codepage.h"
#include "util/guarded_tree_widget.h"
#include "util/document_view.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace NewsService;

namespace {

const QString kUserTrouble = QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
const QString kNewsTrouble = QStringLiteral("There is a trouble with this news. Contact your provider.");

// Windows-1252 bytes of the titles and bodies as the program holds them.
const QByteArray kCafeTitle = "Caf\xE9 \x96 10 \x80";
const QByteArray kCafeBody = "<p>Save $5 on caf\xE9 &#8594; <b>now</b></p>\n<p>$24 and \xAFOK stay</p>";

} // namespace

class TestNewsLive : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { BrandingSettings() = TBrandingSettings{}; }

    void list_data();
    void list();
    void latest_data();
    void latest();
    void details_data();
    void details();
    void balloonAndNewsWindow_endToEnd();

private:
    // Runs admin.php with `arguments`; fails the test when it does not succeed.
    QByteArray Admin(const QStringList &arguments);
    QByteArray BodyFile(const QByteArray &utf8);
    QByteArray Base() const { return "http://127.0.0.1:" + QByteArray::number(m_port) + "/"; }

    QTemporaryDir m_work;
    QProcess m_server;
    quint16 m_port = 0;
    int m_bodies = 0;
};

QByteArray TestNewsLive::Admin(const QStringList &arguments)
{
    QProcess admin;
    admin.setProcessEnvironment(m_server.processEnvironment());
    admin.start(QStringLiteral(TARNWICK_PHP),
                QStringList{QStringLiteral(TARNWICK_NEWS_SERVICE "/admin.php")} + arguments);
    if (!admin.waitForFinished(30000) || admin.exitCode() != 0)
        qFatal("admin.php %s failed: %s", qPrintable(arguments.join(' ')), admin.readAllStandardError().constData());
    return admin.readAllStandardOutput();
}

QByteArray TestNewsLive::BodyFile(const QByteArray &utf8)
{
    const QString path = m_work.filePath(QStringLiteral("body%1.html").arg(++m_bodies));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(utf8) != utf8.size())
        qFatal("cannot write %s", qPrintable(path));
    return path.toUtf8();
}

void TestNewsLive::initTestCase()
{
    QVERIFY(m_work.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TARNWICK_NEWS_DB"), m_work.filePath(QStringLiteral("data/news.sqlite")));
    // The sanitizer build preloads its runtime for our own code; PHP's
    // extensions cannot be loaded beside it.
    env.remove(QStringLiteral("LD_PRELOAD"));
    m_server.setProcessEnvironment(env);

    Admin({"init"});
    const auto add = [&](const QString &publisher, const QString &brand, const QString &level, const QString &title,
                         const QString &date, const QByteArray &body) {
        Admin({"add", "--publisher", publisher, "--brand", brand, "--level", level, "--title", title, "--date", date,
               "--body-file", QString::fromUtf8(BodyFile(body))});
    };
    add("pub1", "BR", "all", "First", "2026-12-01", "<p>one</p>");
    add("pub1", "BR", "Platinum", "Platinum only", "2026-12-02", "<p>platinum</p>");
    add("pub1", "BR", "all", QString::fromUtf8("Café – 10 €"), "2026-12-09",
        "<p>Save $5 on caf\xC3\xA9 \xE2\x86\x92 <b>now</b></p>\n<p>$24 and \xC2\xAFOK stay</p>");
    Admin({"register", "--publisher", "quiet", "--brand", "Q"});

    m_port = RefusingPort();
    // The server's request log stays out of the test's output.
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_work.filePath(QStringLiteral("server.log")));
    m_server.start(QStringLiteral(TARNWICK_PHP), {"-S", QStringLiteral("127.0.0.1:%1").arg(m_port), "-t",
                                                  QStringLiteral(TARNWICK_NEWS_SERVICE)});
    QVERIFY2(m_server.waitForStarted(10000), "php -S does not start (is php-cli installed?)");
    QTcpSocket probe;
    for (int i = 0; i < 100; ++i) {
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(100))
            break;
        probe.abort();
        QTest::qWait(50);
    }
    QCOMPARE(probe.state(), QAbstractSocket::ConnectedState);
}

void TestNewsLive::cleanupTestCase()
{
    m_server.terminate();
    m_server.waitForFinished(5000);
}

void TestNewsLive::list_data()
{
    QTest::addColumn<QByteArray>("publisher");
    QTest::addColumn<QByteArray>("prodType");
    QTest::addColumn<bool>("result");
    QTest::addColumn<TStringList>("entries");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("Master sees the entries for all levels")
        << QByteArray("pub1") << QByteArray("BM") << true
        << TStringList{"3^" + kCafeTitle + "^2026-12-09", "1^First^2026-12-01"} << QStringList{};
    QTest::newRow("Platinum sees its own entry too")
        << QByteArray("pub1") << QByteArray("BP") << true
        << TStringList{"3^" + kCafeTitle + "^2026-12-09", "2^Platinum only^2026-12-02", "1^First^2026-12-01"}
        << QStringList{};
    QTest::newRow("a known brand without news") << QByteArray("quiet") << QByteArray("BG") << true << TStringList{}
                                                << QStringList{};
    QTest::newRow("unknown publisher") << QByteArray("nobody") << QByteArray("BM") << false << TStringList{}
                                       << QStringList{kUserTrouble};
}

void TestNewsLive::list()
{
    QFETCH(QByteArray, publisher);
    QFETCH(QByteArray, prodType);
    QFETCH(bool, result);
    QFETCH(TStringList, entries);
    QFETCH(QStringList, messages);
    const QByteArray brand = publisher == "quiet" ? "Q" : "BR";
    // With and without the final "/" of the base address.
    BrandingSettings().MasterNewsBaseURL = Base();
    BrandingSettings().PlatinumNewsBaseURL = Base().chopped(1);
    BrandingSettings().GoldNewsBaseURL = Base();
    THttpClient client;
    TScriptedMessages shown;
    TStringList list;
    QCOMPARE(FetchNewsList(client, shown, publisher, brand, prodType, "UA", list), result);
    QCOMPARE(list, entries);
    QCOMPARE(shown.Texts(), messages);
}

void TestNewsLive::latest_data()
{
    QTest::addColumn<QByteArray>("publisher");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("newsId");
    QTest::addColumn<QByteArray>("title");
    QTest::newRow("newest entry") << QByteArray("pub1") << true << QByteArray("3") << kCafeTitle;
    QTest::newRow("no news") << QByteArray("quiet") << true << QByteArray() << QByteArray("untouched");
    QTest::newRow("unknown publisher") << QByteArray("nobody") << false << QByteArray() << QByteArray("untouched");
}

void TestNewsLive::latest()
{
    QFETCH(QByteArray, publisher);
    QFETCH(bool, result);
    QFETCH(QByteArray, newsId);
    QFETCH(QByteArray, title);
    BrandingSettings().GoldNewsBaseURL = Base();
    THttpClient client;
    QByteArray id = "stale";
    QByteArray t = "untouched";
    QCOMPARE(FetchLatestNews(client, publisher, publisher == "quiet" ? "Q" : "BR", "BG", "UA", id, t), result);
    QCOMPARE(id, newsId);
    QCOMPARE(t, title);
}

void TestNewsLive::details_data()
{
    QTest::addColumn<QByteArray>("publisher");
    QTest::addColumn<QByteArray>("prodType");
    QTest::addColumn<QByteArray>("newsId");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("dollar, non-ASCII, reference and HTML")
        << QByteArray("pub1") << QByteArray("BM") << QByteArray("3") << true << kCafeBody << QStringList{};
    QTest::newRow("plain") << QByteArray("pub1") << QByteArray("BM") << QByteArray("1") << true
                           << QByteArray("<p>one</p>") << QStringList{};
    QTest::newRow("entry of another level") << QByteArray("pub1") << QByteArray("BM") << QByteArray("2") << false
                                            << QByteArray() << QStringList{kNewsTrouble};
    QTest::newRow("missing news id") << QByteArray("pub1") << QByteArray("BM") << QByteArray() << false
                                     << QByteArray() << QStringList{kNewsTrouble};
    QTest::newRow("unknown publisher") << QByteArray("nobody") << QByteArray("BM") << QByteArray("1") << false
                                       << QByteArray() << QStringList{kUserTrouble};
}

void TestNewsLive::details()
{
    QFETCH(QByteArray, publisher);
    QFETCH(QByteArray, prodType);
    QFETCH(QByteArray, newsId);
    QFETCH(bool, result);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, messages);
    BrandingSettings().MasterNewsBaseURL = Base();
    THttpClient client;
    TScriptedMessages shown;
    QByteArray b = "previous";
    QCOMPARE(FetchNewsDetails(client, shown, publisher, "BR", prodType, "UA", newsId, b), result);
    QCOMPARE(b, body);
    QCOMPARE(shown.Texts(), messages);
}

// A branded program: the balloon for the newest entry, the news window with
// its body, the marker that silences the balloon, and a new entry that brings
// it back.
void TestNewsLive::balloonAndNewsWindow_endToEnd()
{
    TTempAppFolder dir;
    WriteContainer(dir.Path(), Tagged("ApplicationName", "Live") + "\r\n" + Tagged("BranderCode", "BR") + "\r\n" +
                                   Tagged("BranderType", "Master") + "\r\n" +
                                   Tagged("MasterNewsBaseURL", Base()) + "\r\n" +
                                   Tagged("MasterPublID", "pub1") + "\r\n");
    TScriptedMessages msgs;
    TfrmMain w(dir.Path(), &msgs);
    Child<QTimer>(w, "Timer1")->stop();
    Services(w).SetUpdateBaseURL(Base() + "no-update-site/");
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(Child<QToolButton>(w, "btnNews")->isVisible());
    const auto balloon = [&] { return Services(w).NewsBalloonShown(); };

    RunNewsTick(w);
    QVERIFY(balloon());
    QCOMPARE(Services(w).NewsBalloon()->Text(), QString::fromUtf8("You've Got A Message!\nCafé – 10 €"));
    Services(w).NewsBalloon()->hide();

    // "Check News", then the newest entry in the news window.
    QString shownHtml;
    QStringList rows;
    auto *poll = new QTimer(this);
    poll->setInterval(20);
    connect(poll, &QTimer::timeout, this, [&, poll] {
        auto *news = qobject_cast<TfrmNews *>(QApplication::activeModalWidget());
        if (!news)
            return;
        poll->stop();
        for (int i = 0; i < news->lvwItems->topLevelItemCount(); ++i)
            rows << news->lvwItems->topLevelItem(i)->text(0) + "|" + news->lvwItems->topLevelItem(i)->text(1);
        const QRect r = news->lvwItems->visualItemRect(news->lvwItems->topLevelItem(0));
        QSignalSpy fetched(news, &TfrmNews::entryDone);
        QTest::mouseClick(news->lvwItems->viewport(), Qt::LeftButton, {}, r.center());
        if (fetched.isEmpty())
            fetched.wait(30000);
        shownHtml = news->prfEditorNews->Html();
        QTest::mouseClick(news->btnExit, Qt::LeftButton);
    });
    poll->start();
    RunUntil(Services(w), &TPublisherServices::newsListFinished,
             [&] { QTest::mouseClick(Child<QToolButton>(w, "btnNews"), Qt::LeftButton); });
    delete poll;
    QCOMPARE(rows, (QStringList{QString::fromUtf8("Café – 10 €|2026-12-09"), "First|2026-12-01"}));
    QCOMPARE(shownHtml, FromAnsi(kCafeBody));
    QCOMPARE(ReadLastNewsId(dir.Path()), QByteArray("3"));
    QVERIFY(msgs.shown.isEmpty());

    // Read: no balloon for the same entry.
    RunNewsTick(w);
    QVERIFY(!balloon());

    // A newer entry brings the balloon back, once.
    Admin({"add", "--publisher", "pub1", "--brand", "BR", "--title", "Winter sale", "--date", "2026-12-10",
           "--body-file", QString::fromUtf8(BodyFile("<p>winter</p>"))});
    RunNewsTick(w);
    QVERIFY(balloon());
    QCOMPARE(Services(w).NewsBalloon()->Text(), QString("You've Got A Message!\nWinter sale"));
    Admin({"remove", "4"});
}

QTEST_MAIN(TestNewsLive)
#include "test_news_live.moc"
