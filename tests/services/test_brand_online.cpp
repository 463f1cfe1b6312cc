// tarnwick-brand's online check against a loopback news site and addresses:
// its report comes once, from the event loop, whatever was (or was not) asked.
#include "settings/branding_settings.h"
#include "support/http_test_server.h"
#include "tools/brand_online.h"

#include <QTest>

class TestBrandOnline : public QObject
{
    Q_OBJECT
private slots:
    void report_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("addresses");
        QTest::addColumn<QStringList>("lines");    // each the start of a line of the report
        QTest::addColumn<QStringList>("warnings"); // each part of a warning
        QTest::newRow("nothing to ask") << QByteArray("Free") << false << false
                                        << QStringList{"News: the level \"Free\" fetches no news"} << QStringList{};
        QTest::newRow("news site and addresses answer")
            << QByteArray("Master") << false << true
            << QStringList{"News site http://", "  latest news: 12 \"Promo\"", "  news list: 1 entry", "Addresses:",
                           "  http://"}
            << QStringList{"answers with status 404"};
        QTest::newRow("news site silent") << QByteArray("Master") << true << false << QStringList{"News site http://"}
                                          << QStringList{"News, latest news: no answer", "News, news list: no answer"};
    }
    void report()
    {
        QFETCH(QByteArray, level);
        QFETCH(bool, silent);
        QFETCH(bool, addresses);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, warnings);
        THttpTestServer server;
        server.SetHandler([](const THttpTestServer::Request &r) {
            if (!r.target.endsWith("getlastnews.php"))
                return THttpTestServer::Answer(r.target == "/ok" ? 200 : 404);
            const bool latest = r.body.contains("lastcode");
            return THttpTestServer::Ok(latest ? "12^Promo\xAFOK" : "12^Promo^1 May\xAFOK");
        });
        server.SetSilent(silent);
        TBrandingText parsed;
        parsed.Values.BranderType = level;
        parsed.Values.BranderCode = "BR";
        parsed.Values.MasterPublID = "pub";
        parsed.Values.MasterNewsBaseURL = server.Url("/news");
        if (addresses) {
            parsed.Values.AffiliateURL = server.Url("/ok");
            parsed.Values.AppHelpURL = server.Url("/missing");
        }
        int reports = 0;
        TOnlineReport got;
        CheckOnline(parsed, [&](const TOnlineReport &report) {
            ++reports;
            got = report;
        }, 1000);
        QCOMPARE(reports, 0); // never from inside the call
        QTRY_COMPARE_WITH_TIMEOUT(reports, 1, 20000);
        for (const QString &line : lines) {
            const bool found = std::any_of(got.Lines.begin(), got.Lines.end(),
                                           [&](const QString &l) { return l.startsWith(line); });
            QVERIFY2(found, qPrintable(line + " in " + got.Lines.join(" | ")));
        }
        QCOMPARE(got.Warnings.size(), warnings.size());
        for (const QString &warning : warnings) {
            const bool found = std::any_of(got.Warnings.begin(), got.Warnings.end(),
                                           [&](const QString &w) { return w.contains(warning); });
            QVERIFY2(found, qPrintable(warning + " in " + got.Warnings.join(" | ")));
        }
        QTest::qWait(50);
        QCOMPARE(reports, 1);
        BrandingSettings() = TBrandingSettings{};
    }
};

QTEST_MAIN(TestBrandOnline)
#include "test_brand_online.moc"
