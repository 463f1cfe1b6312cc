// The news window against a loopback news service and a real container in a
// temporary application folder.
#include "services/http_client.h"
#include "services/news_window.h"
#include "settings/brand_fixtures.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "support/http_test_server.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "support/when_ready.h"
#include "util/guarded_tree_widget.h"
#include "util/document_view.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const TStringList kNews = {"12^Summer promo^2026-06-01", "9^Older news^2026-05-01", "7^Oldest^2026-04-01"};

QByteArray Details(const QByteArray &encodedBody)
{
    return THttpTestServer::Ok(encodedBody + "\xAFOK");
}

struct TFixture
{
    TFixture()
    {
        BrandingSettings() = TBrandingSettings{};
        BrandingSettings().BranderType = "Gold";
        BrandingSettings().GoldPublID = "pub7";
        BrandingSettings().BranderCode = "brand";
        BrandingSettings().GoldNewsBaseURL = server.Url("/news/");
        WriteContainer(dir.Path(), Tagged("ApplicationName", "Tarnwick") + "\r\n");
    }
    ~TFixture() { BrandingSettings() = TBrandingSettings{}; }

    QTreeWidgetItem *Row(int i) const { return news->lvwItems->topLevelItem(i); }
    // A click that starts fetching a body returns once the fetch is over;
    // one while a fetch waits returns at once.
    void Click(int i) const
    {
        const bool wasBusy = news->Busy;
        const QRect r = news->lvwItems->visualItemRect(Row(i));
        QTest::mouseClick(news->lvwItems->viewport(), Qt::LeftButton, {}, r.center());
        if (!wasBusy && news->Busy && !QTest::qWaitFor([this] { return !news->Busy; }, 30000))
            qWarning("the body's fetch did not end");
    }
    void Open(const TStringList &list = kNews)
    {
        news = std::make_unique<TfrmNews>(client, msgs, dir.Path(), list);
        news->show();
        if (!QTest::qWaitForWindowExposed(news.get()))
            qFatal("news window not shown");
    }
    QList<QByteArray> RequestedIds() const
    {
        QList<QByteArray> ids;
        for (const auto &r : server.requests)
            for (const auto &part : THttpTestServer::FormParts(r))
                if (part.name == "newsid")
                    ids << part.value;
        return ids;
    }

    TTempAppFolder dir;
    THttpTestServer server;
    THttpClient client;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmNews> news;
};

} // namespace

class TestNewsWindow : public QObject
{
    Q_OBJECT
private slots:
    void rows_followTheNewsList_andHideTheIdentifier()
    {
        TFixture f;
        f.Open({"12^Summer promo^1 June", "5^Caf\xE9 news^ as sent  ", "3^No date", "lonely", ""});
        QCOMPARE(f.news->windowTitle(), QString("News"));
        QCOMPARE(f.news->size(), QSize(682, 411));
        QCOMPARE(f.news->lvwItems->columnCount(), 2);
        QCOMPARE(f.news->lvwItems->headerItem()->text(0), QString("News Title"));
        QCOMPARE(f.news->lvwItems->headerItem()->text(1), QString("Published"));
        QCOMPARE(f.news->lvwItems->header()->sectionSize(1), 160);
        // Entries without a title make no row.
        QCOMPARE(f.news->lvwItems->topLevelItemCount(), 3);
        QCOMPARE(f.Row(0)->text(0), QString("Summer promo"));
        QCOMPARE(f.Row(1)->text(0), QString::fromUtf8("Café news"));
        QCOMPARE(f.Row(1)->text(1), QString(" as sent  "));
        QCOMPARE(f.Row(2)->text(1), QString());
        QCOMPARE(TfrmNews::RowNewsId(f.Row(0)), QByteArray("12"));
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < f.news->lvwItems->columnCount(); ++c)
                QVERIFY(f.Row(i)->text(c) != QString::fromLatin1(TfrmNews::RowNewsId(f.Row(i))));
        QVERIFY(f.server.requests.isEmpty());
        QCOMPARE(f.news->findChild<QPushButton *>("btnExit")->text(), QString("Close"));
    }

    void selectingAnEntry_fetchesItsBodyOnce_andWritesTheMarker()
    {
        TFixture f;
        f.server.Route("/news/getnewsdetails.php", Details("<h1>a$41b</h1> 100$25"));
        f.Open();
        f.Click(1);
        QCOMPARE(f.RequestedIds(), QList<QByteArray>{"9"});
        QCOMPARE(f.news->prfEditorNews->Html(), QString("<h1>aAb</h1> 100%"));
        QCOMPARE(ReadLastNewsId(f.dir.Path()), QByteArray("9"));
        QVERIFY(!f.news->Busy);
        QCOMPARE(f.news->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(f.msgs.shown.isEmpty());
        // The request carried the level's identity.
        const auto parts = THttpTestServer::FormParts(f.server.requests[0]);
        QCOMPARE(parts.size(), 6);
        QCOMPARE(parts[0].value, QByteArray("pub7"));
        QCOMPARE(parts[2].value, QByteArray("BG"));
    }

    // The marker is what the news tick compares the latest news with, as a
    // number: it must end up at the newest entry read, whatever the order.
    void openingEntries_keepsTheNewestReadAsMarker_data()
    {
        QTest::addColumn<QByteArray>("stored"); // null: no marker yet
        QTest::addColumn<QList<int>>("rows");   // clicked in this order
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("newer, then older") << QByteArray() << QList<int>{1, 2} << QByteArray("9");
        QTest::newRow("older, then newer") << QByteArray() << QList<int>{2, 1} << QByteArray("9");
        QTest::newRow("all, newest in the middle") << QByteArray() << QList<int>{1, 0, 2} << QByteArray("12");
        QTest::newRow("older than the stored one") << QByteArray("10") << QList<int>{1, 2} << QByteArray("10");
        QTest::newRow("stored one compared as a number")
            << QByteArray("8") << QList<int>{1} << QByteArray("9");
        // The tick reads a marker that is no number as 0: any entry opened is newer.
        QTest::newRow("stored one not a number") << QByteArray("abc") << QList<int>{2} << QByteArray("7");
    }
    void openingEntries_keepsTheNewestReadAsMarker()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QList<int>, rows);
        QFETCH(QByteArray, marker);
        TFixture f;
        f.server.Route("/news/getnewsdetails.php", Details("body"));
        if (!stored.isNull())
            QVERIFY(WriteLastNewsId(f.dir.Path(), stored));
        f.Open();
        QList<QByteArray> opened;
        for (int row : rows) {
            f.Click(row);
            opened << TfrmNews::RowNewsId(f.Row(row));
        }
        QCOMPARE(f.RequestedIds(), opened);
        QCOMPARE(ReadLastNewsId(f.dir.Path()), marker);
    }

    void failedFetch_leavesViewAndMarker_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("invalid news") << THttpTestServer::Ok("INVALIDNEWS")
                                      << "There is a trouble with this news. Contact your provider.";
        QTest::newRow("server error") << THttpTestServer::Answer(500, "oops")
                                      << "There is a trouble accessing the news site. Contact your provider.";
    }
    void failedFetch_leavesViewAndMarker()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, message);
        TFixture f;
        int calls = 0;
        f.server.SetHandler([&](const THttpTestServer::Request &) {
            return ++calls == 1 ? Details("first body") : answer;
        });
        f.Open();
        f.Click(0);
        QCOMPARE(ReadLastNewsId(f.dir.Path()), QByteArray("12"));
        f.Click(1);
        QCOMPARE(f.msgs.Texts(), QStringList{message});
        QCOMPARE(f.news->prfEditorNews->Html(), QString("first body"));
        QCOMPARE(ReadLastNewsId(f.dir.Path()), QByteArray("12"));
        QVERIFY(!f.news->Busy);
        QVERIFY(f.news->isVisible());
        QTest::mouseClick(f.news->btnExit, Qt::LeftButton);
        QVERIFY(!f.news->isVisible());
        QCOMPARE(ReadLastNewsId(f.dir.Path()), QByteArray("12"));
    }

    void clickWhileFetching_isRefused()
    {
        TFixture f;
        f.server.SetSilent(true); // the body never comes
        f.Open();
        bool checked = false;
        WhenReady([&] { return f.server.requests.size() == 1; },
                  [&] {
                      QVERIFY(f.news->Busy);
                      QCOMPARE(f.news->cursor().shape(), Qt::WaitCursor);
                      f.Click(2);
                      QCOMPARE(f.news->lvwItems->currentItem(), f.Row(0));
                      QCOMPARE(f.news->lvwItems->selectedItems(), QList<QTreeWidgetItem *>{f.Row(0)});
                      checked = true;
                  },
                  [&] { f.client.Disconnect(); });
        f.Click(0);
        QVERIFY(checked);
        QCOMPARE(f.RequestedIds(), QList<QByteArray>{"12"});
        QVERIFY(!f.news->Busy);
        QCOMPARE(f.news->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(f.news->lvwItems->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(f.news->prfEditorNews->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(ReadLastNewsId(f.dir.Path()), QByteArray());
    }

    // Deselecting the row being fetched and selecting it again must not start
    // a second request while the first waits.
    void reselectWhileFetching_startsNoSecondRequest()
    {
        TFixture f;
        f.server.SetSilent(true);
        f.Open();
        bool checked = false;
        WhenReady([&] { return f.server.requests.size() == 1; },
                  [&] {
                      const QRect r = f.news->lvwItems->visualItemRect(f.Row(0));
                      QTest::mouseClick(f.news->lvwItems->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                        r.center());
                      QTest::mouseClick(f.news->lvwItems->viewport(), Qt::LeftButton, {}, r.center());
                      QTest::qWait(500); // time for a wrongly started request to arrive
                      QCOMPARE(f.server.requests.size(), 1);
                      QVERIFY(f.news->Busy);
                      checked = true;
                  },
                  [&] { f.client.Disconnect(); });
        f.Click(0);
        QVERIFY(checked);
        QCOMPARE(f.RequestedIds(), QList<QByteArray>{"12"});
        QVERIFY(!f.news->Busy);
    }

    void markerThatCannotBeWritten_leavesNothingSet()
    {
        TFixture f;
        f.server.Route("/news/getnewsdetails.php", Details("body"));
        f.dir.Write("dbsettings.dat", "not a container at all");
        f.Open();
        f.Click(0);
        QCOMPARE(f.news->prfEditorNews->Html(), QString("body"));
        QCOMPARE(f.dir.Read("dbsettings.dat"), QByteArray("not a container at all"));
        QVERIFY(!f.news->Busy);
        QCOMPARE(f.news->lvwItems->cursor().shape(), Qt::ArrowCursor);
        f.Click(1); // the next selection is not refused
        QCOMPARE(f.news->lvwItems->currentItem(), f.Row(1));
    }

    void levelWithoutNews_makesNoRequest()
    {
        TFixture f;
        BrandingSettings().BranderType = "Free";
        f.Open();
        f.Click(0);
        QVERIFY(f.server.requests.isEmpty());
        QVERIFY(!f.news->Busy);
    }
};

QTEST_MAIN(TestNewsWindow)
#include "test_news_window.moc"
