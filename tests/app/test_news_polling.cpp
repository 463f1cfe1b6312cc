// The news timer, the balloon and "Check News" of the main window against a
// loopback news service and update site, with a real container.
#include "app/main_window.h"
#include "services/http_client.h"
#include "services/message_hint.h"
#include "services/news_window.h"
#include "settings/brand_fixtures.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "support/find_child.h"
#include "support/http_test_server.h"
#include "support/publisher_wait.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"
#include "support/when_ready.h"
#include "util/guarded_tree_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QString kNoNews = "There's no news for this application!";

struct TFixture
{
    explicit TFixture(const QByteArray &level = "Platinum", const QByteArray &publID = "pub")
    {
        server.Route("/liveupdate/tarnwick/mainappupdate.inf", THttpTestServer::Answer(404));
        WriteContainer(dir.Path(), Tagged("ApplicationName", "Tarnwick") + "\r\n");
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        Services(*w).SetUpdateBaseURL(server.Url("/liveupdate/tarnwick/"));
        BrandingSettings() = TBrandingSettings{};
        BrandingSettings().BranderType = level;
        BrandingSettings().BranderCode = "code";
        BrandingSettings().PlatinumPublID = publID;
        BrandingSettings().PlatinumNewsBaseURL = server.Url("/news");
        BrandingSettings().MasterPublID = publID;
        BrandingSettings().MasterNewsBaseURL = server.Url("/news");
        Child<QToolButton>(w, "btnNews")->show(); // as the settings above would have it at start
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
    }
    ~TFixture() { BrandingSettings() = TBrandingSettings{}; }

    int Requests(const QByteArray &path) const
    {
        int n = 0;
        for (const auto &r : server.requests)
            n += r.target == path;
        return n;
    }
    bool BalloonShown() const { return Services(*w).NewsBalloonShown(); }
    TMessageHint *Balloon() const { return Services(*w).NewsBalloon(); }
    // "Check News" or "Check Updates" clicked, and what it started run to its end.
    void Click(QToolButton *button) const
    {
        TPublisherServices &services = Services(*w);
        const auto click = [&] { QTest::mouseClick(button, Qt::LeftButton); };
        if (button == Child<QToolButton>(w, "btnNews"))
            RunUntil(services, &TPublisherServices::newsListFinished, click);
        else
            RunUntil(services, &TPublisherServices::checkFinished, click);
    }

    TTempAppFolder dir;
    THttpTestServer server;
    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

} // namespace

class TestNewsPolling : public QObject
{
    Q_OBJECT
private slots:
    void tick_comparesNumbers_data()
    {
        QTest::addColumn<QByteArray>("marker");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("balloon");
        QTest::newRow("no marker, newest 1") << QByteArray() << QByteArray("1^Summer promo\xAFOK") << true;
        QTest::newRow("no marker, newest 0") << QByteArray() << QByteArray("0^Zero\xAFOK") << false;
        QTest::newRow("identifier not a number") << QByteArray() << QByteArray("x1^Bad\xAFOK") << false;
        QTest::newRow("7 against 7") << QByteArray("7") << QByteArray("7^Same\xAFOK") << false;
        QTest::newRow("7 against 8") << QByteArray("7") << QByteArray("8^Newer\xAFOK") << true;
        QTest::newRow("numbers, not text: 10 against 9") << QByteArray("9") << QByteArray("10^Ten\xAFOK") << true;
        QTest::newRow("marker not a number counts 0") << QByteArray("abc") << QByteArray("1^One\xAFOK") << true;
        QTest::newRow("negative marker") << QByteArray("-5") << QByteArray("-4^Odd\xAFOK") << true;
        QTest::newRow("no news") << QByteArray() << QByteArray("OK") << false;
        QTest::newRow("error answer") << QByteArray() << QByteArray("INVALIDUSER") << false;
    }
    void tick_comparesNumbers()
    {
        QFETCH(QByteArray, marker);
        QFETCH(QByteArray, answer);
        QFETCH(bool, balloon);
        TFixture f;
        if (!marker.isNull())
            QVERIFY(WriteLastNewsId(f.dir.Path(), marker));
        f.server.Route("/news/getlastnews.php", THttpTestServer::Ok(answer));
        Child<QTimer>(f.w, "Timer1")->start();
        RunNewsTick(*f.w);
        QVERIFY(!Child<QTimer>(f.w, "Timer1")->isActive());
        QCOMPARE(f.Requests("/news/getlastnews.php"), 1);
        QCOMPARE(f.BalloonShown(), balloon);
        if (balloon) {
            const QByteArray title = answer.mid(answer.indexOf('^') + 1).chopped(3);
            QCOMPARE(f.Balloon()->Text(), "You've Got A Message!\n" + QString::fromLatin1(title));
        }
        // The quiet update check runs in every case and says nothing.
        QCOMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), 1);
        QVERIFY(f.msgs.shown.isEmpty());
        // The balloon does not change the marker.
        QCOMPARE(ReadLastNewsId(f.dir.Path()), marker);
    }

    void tick_withoutANewsLevel_onlyChecksForUpdates_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<QByteArray>("publID");
        QTest::newRow("Free") << QByteArray("Free") << QByteArray("pub");
        QTest::newRow("empty publisher id") << QByteArray("Platinum") << QByteArray();
        QTest::newRow("level in another case") << QByteArray("platinum") << QByteArray("pub");
    }
    void tick_withoutANewsLevel_onlyChecksForUpdates()
    {
        QFETCH(QByteArray, level);
        QFETCH(QByteArray, publID);
        TFixture f(level, publID);
        RunNewsTick(*f.w);
        QCOMPARE(f.Requests("/news/getlastnews.php"), 0);
        QCOMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), 1);
        QVERIFY(!f.BalloonShown());

        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QCOMPARE(f.Requests("/news/getlastnews.php"), 0);
        QCOMPARE(f.msgs.Texts(), QStringList{kNoNews});
        QCOMPARE(f.msgs.shown[0].kind, TMsgDlgType::mtInformation);
    }

    // The payment reminder waits for the tick's end: it must come once on
    // every path, and only after the news and the quiet update check.
    void tick_endsOnce_afterTheUpdateCheck_data()
    {
        QTest::addColumn<QByteArray>("level");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("newsRequests");
        QTest::addColumn<int>("updateRequests");
        QTest::newRow("news, then the update check") << QByteArray("Platinum") << "answers" << 1 << 1;
        QTest::newRow("no news level") << QByteArray("Free") << "answers" << 0 << 1;
        QTest::newRow("an update check already waits") << QByteArray("Free") << "check waits" << 0 << 1;
        QTest::newRow("window closed while the news waited") << QByteArray("Platinum") << "closed" << 1 << 0;
    }
    void tick_endsOnce_afterTheUpdateCheck()
    {
        QFETCH(QByteArray, level);
        QFETCH(QString, how);
        QFETCH(int, newsRequests);
        QFETCH(int, updateRequests);
        TFixture f(level);
        f.server.Route("/news/getlastnews.php", THttpTestServer::Ok("OK"));
        TPublisherServices &services = Services(*f.w);
        if (how != u"answers")
            f.server.SetSilent(true);
        if (how == u"check waits") {
            services.CheckForUpdates(false);
            QTRY_COMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), 1);
        }
        if (how == u"closed")
            WhenReady([&] { return f.Requests("/news/getlastnews.php") == 1; }, [] {}, [&] { f.w->close(); });
        QSignalSpy ended(&services, &TPublisherServices::tickFinished);
        int updatesAtEnd = -1;
        bool waitingAtEnd = false;
        connect(&services, &TPublisherServices::tickFinished, this, [&] {
            updatesAtEnd = f.Requests("/liveupdate/tarnwick/mainappupdate.inf");
            waitingAtEnd = HttpClient(*f.w).Busy();
        });
        services.NewsTick();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        QTest::qWait(200);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(f.Requests("/news/getlastnews.php"), newsRequests);
        QCOMPARE(updatesAtEnd, updateRequests);
        // Only the user's own check may still wait when the tick is done.
        QCOMPARE(waitingAtEnd, how == u"check waits");
        if (how == u"check waits") {
            HttpClient(*f.w).Disconnect();
            QTRY_VERIFY(!HttpClient(*f.w).Busy());
        }
        QCOMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), updateRequests);
    }

    void balloon_pointsAtTheNewsButton_alsoAfterWidening()
    {
        TFixture f;
        const auto expected = [&] {
            const QToolButton *b = Child<QToolButton>(f.w, "btnNews");
            return f.w->mapToGlobal(QPoint(b->x() + b->width() / 2, b->y() + b->height() / 2));
        };
        Services(*f.w).ShowNewsBalloon("You've Got A Message!\r\nOne");
        QTRY_COMPARE(f.Balloon()->Tip(), expected());
        const int oldX = Child<QToolButton>(f.w, "btnNews")->x();
        f.w->resize(f.w->width() + 200, f.w->height());
        QTRY_VERIFY2(Child<QToolButton>(f.w, "btnNews")->x() > oldX, qPrintable(QString("%1 %2 %3 pgc=%4 main=%5 max=%6 vis=%7").arg(f.w->width()).arg(Child<QFrame>(f.w, "bsSkinPanel1")->width()).arg(Child<QToolButton>(f.w, "btnNews")->x()).arg(Child<QTabWidget>(f.w, "pgcPrinc")->width()).arg(Child<QWidget>(f.w, "stsMain")->width()).arg(Child<QWidget>(f.w, "stsMain")->maximumWidth()).arg(Child<QWidget>(f.w, "stsMain")->isVisible())));
        // A new balloon replaces the old one and follows the button.
        Services(*f.w).ShowNewsBalloon("You've Got A Message!\r\nTwo");
        QTRY_COMPARE(f.Balloon()->Tip(), expected());
        QCOMPARE(f.w->findChildren<TMessageHint *>().size(), 1);
        QTest::keyClick(f.w.get(), Qt::Key_Space);
        QVERIFY(!f.BalloonShown());
    }

    void checkNews_failedRequest_warnsThenSaysNoNews()
    {
        TFixture f;
        f.server.Route("/news/getlastnews.php", THttpTestServer::Answer(500));
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QCOMPARE(f.msgs.Texts(),
                 (QStringList{"There is a trouble accessing the news site. Contact your provider.", kNoNews}));
    }

    void checkNews_successWithoutEntries_saysNoNews()
    {
        TFixture f;
        f.server.Route("/news/getlastnews.php", THttpTestServer::Ok("OK"));
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QCOMPARE(f.msgs.Texts(), QStringList{kNoNews});
    }

    // The window keeps handling input while a request waits: a second click,
    // or a second update check, is not started on top of the first.
    void secondRequestWhileOneWaits_isNotStarted()
    {
        TFixture f;
        f.server.SetSilent(true);
        bool checked = false;
        WhenReady([&] { return f.Requests("/news/getlastnews.php") == 1; },
                  [&] {
                      QTest::mouseClick(Child<QToolButton>(f.w, "btnNews"), Qt::LeftButton);
                      QTest::qWait(500); // time for a wrongly started request to arrive
                      QCOMPARE(f.Requests("/news/getlastnews.php"), 1);
                      checked = true;
                  },
                  [&] { HttpClient(*f.w).Disconnect(); });
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QVERIFY(checked);
        QCOMPARE(f.msgs.Texts(), QStringList{kNoNews});

        // The update check is guarded the same way.
        f.msgs.Clear();
        checked = false;
        WhenReady([&] { return f.Requests("/liveupdate/tarnwick/mainappupdate.inf") == 1; },
                  [&] {
                      QTest::mouseClick(Child<QToolButton>(f.w, "btnUpdate"), Qt::LeftButton);
                      QTest::qWait(500);
                      QCOMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), 1);
                      checked = true;
                  },
                  [&] { HttpClient(*f.w).Disconnect(); });
        RunUpdateCheck(*f.w, false);
        QVERIFY(checked);
        QCOMPARE(f.msgs.Texts(), QStringList{"There's no new updates for this application!"});
    }

    // A server that goes quiet, or answers without end, does not hold the
    // buttons: the request fails the usual way, and the button shows that it
    // is working while the user waits.
    void stalledOrEndlessServer_fails_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("endless"); // else quiet
        QTest::addColumn<QStringList>("texts");
        const QStringList news{"There is a trouble accessing the news site. Contact your provider.", kNoNews};
        const QStringList update{"There's no new updates for this application!"};
        QTest::newRow("Check News, quiet server") << "btnNews" << false << news;
        QTest::newRow("Check News, endless answer") << "btnNews" << true << news;
        QTest::newRow("Check Updates, quiet server") << "btnUpdate" << false << update;
        QTest::newRow("Check Updates, endless answer") << "btnUpdate" << true << update;
    }
    void stalledOrEndlessServer_fails()
    {
        QFETCH(QString, button);
        QFETCH(bool, endless);
        QFETCH(QStringList, texts);
        TFixture f;
        HttpClient(*f.w).SetIdleTimeout(400);
        if (endless) {
            HttpClient(*f.w).SetAnswerLimit(1000);
            HttpClient(*f.w).SetDownloadLimit(1000);
            f.server.SetHandler([](const THttpTestServer::Request &) {
                return QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n") + QByteArray(200000, 'x');
            });
        } else {
            f.server.SetSilent(true);
        }
        auto *pressed = f.w->findChild<QToolButton *>(button);
        QVERIFY(pressed);
        Qt::CursorShape whileWaiting = Qt::ArrowCursor;
        QTimer::singleShot(endless ? 0 : 150, f.w.get(), [&] { whileWaiting = pressed->cursor().shape(); });
        QElapsedTimer elapsed;
        elapsed.start();
        f.Click(pressed);
        QVERIFY(elapsed.elapsed() < 10000);
        QCOMPARE(f.msgs.Texts(), texts);
        if (!endless)
            QCOMPARE(whileWaiting, Qt::WaitCursor);
        QCOMPARE(pressed->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!pressed->testAttribute(Qt::WA_SetCursor));
        QVERIFY(!HttpClient(*f.w).Busy());
        // The next check is not ignored as if one still waited.
        f.msgs.Clear();
        f.Click(pressed);
        QCOMPARE(f.msgs.Texts(), texts);
        QVERIFY(!f.dir.Exists(QStringLiteral("mainappupdate.inf")));
    }

    // Closing the window ends the wait; nothing more is shown or checked.
    void windowClosedWhileWaiting_saysNothing()
    {
        TFixture f;
        f.server.SetSilent(true);
        WhenReady([&] { return f.Requests("/news/getlastnews.php") == 1; }, [] {}, [&] { f.w->close(); });
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QCOMPARE(f.msgs.Texts(), QStringList{});
        f.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        WhenReady([&] { return f.Requests("/news/getlastnews.php") == 2; }, [] {}, [&] { f.w->close(); });
        RunNewsTick(*f.w);
        QCOMPARE(f.Requests("/liveupdate/tarnwick/mainappupdate.inf"), 0);
        QVERIFY(!f.BalloonShown());
    }

    void checkNews_opensTheWindow_andStartsFromAnEmptyList()
    {
        TFixture f;
        int call = 0;
        f.server.SetHandler([&](const THttpTestServer::Request &r) -> QByteArray {
            if (!r.target.endsWith("getlastnews.php"))
                return THttpTestServer::Answer(404);
            return THttpTestServer::Ok(++call == 1 ? "3^Third^3 May\xAF" "2^Second^2 May\xAFOK"
                                                   : "4^Fourth^4 May\xAFOK");
        });
        QStringList seen;
        const auto readWindow = [&] {
            auto *poll = new QTimer;
            poll->setInterval(10);
            QObject::connect(poll, &QTimer::timeout, [poll, &seen] {
                auto *news = qobject_cast<TfrmNews *>(QApplication::activeModalWidget());
                if (!news)
                    return;
                poll->stop();
                poll->deleteLater();
                QStringList rows;
                for (int i = 0; i < news->lvwItems->topLevelItemCount(); ++i)
                    rows << news->lvwItems->topLevelItem(i)->text(0) + "|" + news->lvwItems->topLevelItem(i)->text(1);
                seen << rows.join(", ");
                QTest::mouseClick(news->btnExit, Qt::LeftButton);
            });
            poll->start();
        };
        readWindow();
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        readWindow();
        f.Click(Child<QToolButton>(f.w, "btnNews"));
        QCOMPARE(seen, (QStringList{"Third|3 May, Second|2 May", "Fourth|4 May"}));
        QCOMPARE(Services(*f.w).NewsList(), TStringList{"4^Fourth^4 May"});
        QCOMPARE(f.msgs.Texts().join("#"), QString());
    }
};

QTEST_MAIN(TestNewsPolling)
#include "test_news_polling.moc"
