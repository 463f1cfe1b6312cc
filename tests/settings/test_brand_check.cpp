#include "brand_fixtures.h"
#include "support/http_test_server.h"
#include "support/temp_app_folder.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

namespace {

struct TRun
{
    int status = -1;
    QString out;
    QString err;
};

TRun Brand(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TARNWICK_BRAND_PATH), arguments);
    if (!p.waitForFinished(30000))
        qFatal("tarnwick-brand did not finish");
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

// Runs the tool while this test's event loop keeps serving the loopback server.
TRun BrandServing(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TARNWICK_BRAND_PATH), arguments);
    QElapsedTimer clock;
    clock.start();
    while (p.state() != QProcess::NotRunning && clock.elapsed() < 60000)
        QTest::qWait(20);
    if (p.state() != QProcess::NotRunning)
        qFatal("tarnwick-brand did not finish");
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

const QByteArray kOldContainer = "old container bytes";

} // namespace

// The publisher's round trip: template, filled in, packed, checked.
class TestBrandCheck : public QObject
{
    Q_OBJECT
private slots:
    void templatePackCheck()
    {
        TTempAppFolder dir;
        const TRun tpl = Brand({"template"});
        QCOMPARE(tpl.status, 0);
        QByteArray text = tpl.out.toLatin1();
        text.replace("<%%ApplicationName%%><%%/ApplicationName%%>", Tagged("ApplicationName", "Acme"));
        text.replace("<%%BranderType%%><%%/BranderType%%>", Tagged("BranderType", "Platinum"));
        text.replace("<%%Banner1%%><%%/Banner1%%>", Tagged("Banner1", "ads\\Top.GIF^http://b/"));
        text.replace("<%%Link1%%><%%/Link1%%>", Tagged("Link1", "Tools^"));
        dir.Write("plain.txt", text);
        QCOMPARE(Brand({"pack", dir.File("plain.txt"), dir.File("dbsettings.dat")}).status, 0);

        TRun check = Brand({"check", dir.File("dbsettings.dat")});
        QCOMPARE(check.status, 0);
        QVERIFY(check.out.contains("ApplicationName: Acme\n"));
        QVERIFY(check.out.contains("Window caption: Acme v2.0\n"));
        QVERIFY(check.out.contains("warning: Level Platinum without PlatinumNewsBaseURL"));
        QVERIFY(check.out.contains("warning: Banner1: banner1.dat is missing"));
        QVERIFY(check.out.contains("warning: Link1 has no URL"));

        dir.Write("banner1.dat", AnimatedGif());
        check = Brand({"check", dir.File("dbsettings.dat")});
        QVERIFY(check.out.contains("Banner1: animated GIF 120 x 40 from banner1.dat, link http://b/\n"));

        QByteArray bytes = dir.Read("dbsettings.dat");
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
        dir.Write("dbsettings.dat", bytes);
        check = Brand({"check", dir.File("dbsettings.dat")});
        QCOMPARE(check.status, 1);
        QVERIFY(check.err.contains("damaged"));
        QVERIFY(!check.out.contains("ApplicationName"));
    }

    // The settings text as the publisher's editor saved it.
    void packConverts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("packed"); // empty: nothing written
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QByteArray about = Tagged("AboutText", "caf\xC3\xA9 \xE2\x80\x93 10 \xE2\x82\xAC");
        const QByteArray about1252 = Tagged("AboutText", "caf\xE9 \x96 10 \x80");
        QTest::newRow("UTF-8") << about + "\r\n" << 0 << about1252 + "\r\n"
                               << "plain.txt: UTF-8 text; 3 non-ASCII characters converted to Windows-1252."
                               << QString();
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBF" + about << 0 << about1252
                                         << "UTF-8 text with a byte-order mark; 3 non-ASCII" << QString();
        QTest::newRow("Windows-1252") << about1252 << 0 << about1252 << QString() << QString();
        QTest::newRow("refused character")
            << QByteArray("<%%ApplicationName%%>A<%%/ApplicationName%%>\r\n<%%AboutText%%>Tsch\xC3\xBC\xC3\x9F \xC5\x91")
            << 1 << QByteArray() << QString()
            << QString::fromUtf8("plain.txt, line 2, column 23: the character \"ő\" (U+0151) has no Windows-1252 "
                                 "byte, so the program cannot show it. Nothing was written.");
        QTest::newRow("refused UTF-16") << QByteArray("\xFF\xFE<\0", 4) << 1 << QByteArray() << QString()
                                        << "line 1, column 1: the text is UTF-16";
    }
    void packConverts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, status);
        QFETCH(QByteArray, packed);
        QFETCH(QString, out);
        QFETCH(QString, err);
        TTempAppFolder dir;
        dir.Write("plain.txt", text);
        dir.Write("dbsettings.dat", kOldContainer);
        const TRun run = Brand({"pack", dir.File("plain.txt"), dir.File("dbsettings.dat")});
        QCOMPARE(run.status, status);
        QVERIFY2(run.out.contains(out), qPrintable(run.out));
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
        if (packed.isEmpty())
            QCOMPARE(dir.Read("dbsettings.dat"), kOldContainer);
        else
            QCOMPARE(ContainerPlaintext(dir.File("dbsettings.dat")), packed);
        QCOMPARE(FilesIn(dir.Path()), (QStringList{"dbsettings.dat", "plain.txt"}));
    }

    void checkAndPrintShowTheTerminalsText()
    {
        TTempAppFolder dir;
        dir.Write("plain.txt", Tagged("ApplicationName", "Caf\xC3\xA9") + "\r\n" +
                                   Tagged("AboutText", "caf\xC3\xA9 \xE2\x80\x93 10 \xE2\x82\xAC") + "\r\n");
        QCOMPARE(Brand({"pack", dir.File("plain.txt"), dir.File("dbsettings.dat")}).status, 0);
        const TRun check = Brand({"check", dir.File("dbsettings.dat")});
        QVERIFY2(check.out.contains(QString::fromUtf8("AboutText: café – 10 €\n")), qPrintable(check.out));
        QVERIFY(check.out.contains(QString::fromUtf8("Window caption: Café v2.0\n")));
        QVERIFY(!check.out.contains("UTF-8"));
        const TRun print = Brand({"unpack", "--print", dir.File("dbsettings.dat")});
        QCOMPARE(print.status, 0);
        QCOMPARE(print.out, QString::fromUtf8("<%%ApplicationName%%>Café<%%/ApplicationName%%>\n"
                                              "<%%AboutText%%>café – 10 €<%%/AboutText%%>\n"));
        QCOMPARE(FilesIn(dir.Path()), (QStringList{"dbsettings.dat", "plain.txt"}));

        // A container packed from UTF-8 without conversion is pointed out.
        WriteContainer(dir.Path(), Tagged("AboutText", "caf\xC3\xA9") + "\r\n");
        const TRun old = Brand({"check", dir.File("dbsettings.dat")});
        QVERIFY2(old.out.contains("warning: The text holds UTF-8 characters packed unconverted"), qPrintable(old.out));
    }

    void optionsBelongToTheirCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("--print with check") << QStringList{"check", "--print", "c.dat"} << "--print belongs to unpack.";
        QTest::newRow("--online with unpack") << QStringList{"unpack", "--online", "c.dat", "p.txt"}
                                              << "--online belongs to check.";
        QTest::newRow("--print with two files") << QStringList{"unpack", "--print", "c.dat", "p.txt"}
                                                << "unpack --print CONTAINER";
    }
    void optionsBelongToTheirCommand()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const TRun run = Brand(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void templateSaysWhatAPublisherMustKnow_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("encoding") << "Save the text as UTF-8 (with or without a byte-order mark) or as Windows-1252";
        QTest::newRow("files beside") << "mainskin.dat (a skin for all windows) and main.ico";
        QTest::newRow("base address") << "the folder that holds\r\ngetlastnews.php and getnewsdetails.php";
        QTest::newRow("levels") << "Free fetches no news";
    }
    void templateSaysWhatAPublisherMustKnow()
    {
        QFETCH(QString, text);
        const TRun tpl = Brand({"template"});
        QVERIFY2(tpl.out.contains(text), qPrintable(tpl.out));
    }

    void checkOnline_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<QByteArray>("latest");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("news and addresses")
            << QByteArray("Master") << QByteArray("3^Caf\xE9\xAFOK")
            << QStringList{QString::fromUtf8("  latest news: 3 \"Café\""),
                           "  news list: 2 entries", "    1^One^d1", "/ok: answers (200)", "/page: answers (200)",
                           "/missing answers with status 404.", "does not answer"}
            << QStringList{"warning: News"};
        QTest::newRow("publisher refused")
            << QByteArray("Master") << QByteArray("INVALIDUSER")
            << QStringList{"warning: News, latest news: the answer \"INVALIDUSER\"; users see \"There is a trouble "
                           "with the Publisher Id. Contact your provider.\"."}
            << QStringList{"  latest news:"};
        QTest::newRow("level without news") << QByteArray("Free") << QByteArray()
                                            << QStringList{"News: the level \"Free\" fetches no news"}
                                            << QStringList{"latest news"};
    }
    void checkOnline()
    {
        QFETCH(QByteArray, level);
        QFETCH(QByteArray, latest);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);
        THttpTestServer server;
        QStringList forms;
        server.SetHandler([&](const THttpTestServer::Request &r) -> QByteArray {
            const QByteArray path = r.target;
            if (path == "/news/getlastnews.php") {
                QStringList fields;
                for (const auto &part : THttpTestServer::FormParts(r))
                    fields << QString::fromLatin1(part.name + "=" + part.value);
                forms << fields.join("&");
                return THttpTestServer::Ok(fields.contains("conttype=lastcode") ? latest
                                                                                : "3^Caf\xE9^d3\xAF" "1^One^d1\xAFOK");
            }
            if (path == "/ok" || path == "/page")
                return THttpTestServer::Ok(QByteArray(100000, 'x'));
            return THttpTestServer::Answer(404);
        });
        TTempAppFolder dir;
        const QByteArray refused = "http://127.0.0.1:" + QByteArray::number(RefusingPort()) + "/";
        WriteContainer(dir.Path(), Tagged("BranderCode", "BR") + Tagged("BranderType", level) +
                                       Tagged("AffiliateURL", server.Url("/ok")) +
                                       Tagged("MasterNewsBaseURL", server.Url("/news/")) +
                                       Tagged("MasterPublID", "pub") + Tagged("AppHelpURL", server.Url("/missing")) +
                                       Tagged("Welcome1", "<a href=\"" + server.Url("/page") + "\">x</a>") +
                                       Tagged("Link1", "Down^" + refused) + "\r\n");
        const TRun run = BrandServing({"check", "--online", dir.File("dbsettings.dat")});
        QCOMPARE(run.status, 0);
        if (level == "Master")
            QCOMPARE(forms, (QStringList{"memusername=pub&prodcode=BR&prodtype=BM&conttype=lastcode&newstarget=UA&something=",
                                         "memusername=pub&prodcode=BR&prodtype=BM&conttype=all&newstarget=UA&something="}));
        for (const QString &text : expected)
            QVERIFY2(run.out.contains(text), qPrintable(text + " not in:\n" + run.out));
        for (const QString &text : absent)
            QVERIFY2(!run.out.contains(text), qPrintable(text + " in:\n" + run.out));
        QCOMPARE(FilesIn(dir.Path()), QStringList{"dbsettings.dat"});
    }
};

QTEST_GUILESS_MAIN(TestBrandCheck)
#include "test_brand_check.moc"
