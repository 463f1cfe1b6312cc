// Payment reminders and the remembered window layout, on the real main window
// with a fixed day and a throw-away application folder.
#include "app/main_window.h"
#include "book/item_record.h"
#include "services/message_hint.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/publisher_wait.h"
#include "support/http_test_server.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

// Items as "category/title/payment day"; categories in the order they first appear.
void WriteBook(const TTempAppFolder &dir, const QByteArrayList &items)
{
    QByteArrayList categories;
    QByteArray lines;
    for (const QByteArray &item : items) {
        const QByteArrayList f = item.split('/');
        if (!categories.contains(f[0]))
            categories << f[0];
        lines += BuildStoredRecord(f[0], {f[1], "", "", "", "", "", "", "", "", f[2]}, "") + "\r\n";
    }
    dir.Write("categories.dat", categories.join("\r\n") + "\r\n");
    dir.Write("items.dat", lines);
}

// The balloon's text while it shows, else an empty string.
QString ReminderShown(const TfrmMain &w)
{
    const auto *hint = w.findChild<TMessageHint *>(QStringLiteral("hntReminders"));
    return hint && hint->isVisible() ? hint->Text() : QString();
}

// One start of the program in `dir` on the day `*today` holds when the
// reminder decides.
struct TStart
{
    TStart(const TTempAppFolder &dir, const QDate *today)
    {
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        Child<QTimer>(w, "Timer1")->stop();
        w->SetToday([today] { return *today; });
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
    }
    QString Reminder() const { return ReminderShown(*w); }
    // The end of a news tick, after which the reminder comes.
    void NewsTickDone() { emit Services(*w).tickFinished(); }
    bool NewsShown() const { return Services(*w).NewsBalloonShown(); }

    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

QRect ScreenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

const QDate kToday(2026, 12, 9);
const QString kDueToday = "Payments due: Due (today)";

} // namespace

class TestReminders : public QObject
{
    Q_OBJECT
private slots:
    void init() { BrandingSettings() = TBrandingSettings{}; }

    void reminder_data()
    {
        QTest::addColumn<QByteArrayList>("items");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("text");
        QTest::newRow("next days in tree order; later and unreadable days left alone")
            << QByteArrayList{"Travel/Hotels/12th", "Shops/Books/9", "Travel/Flights/every 10", "Shops/Music/13",
                              "Shops/Games/monthly", "Travel/Trains/the 9th", "Shops/Shoes/"}
            << QByteArray() << "Payments due: Trains (today), Books (today), Flights (tomorrow), Hotels (in 3 days)";
        QTest::newRow("five named, then counted")
            << QByteArrayList{"A/1/9", "A/2/9", "A/3/10", "A/4/10", "A/5/11", "A/6/11", "A/7/12", "A/\x80/9"}
            << QByteArray()
            << QString::fromUtf8("Payments due: 1 (today), 2 (today), € (today), 3 (tomorrow), 4 (tomorrow) and 3 more");
        QTest::newRow("nothing due") << QByteArrayList{"A/Later/20", "A/Words/soon"} << QByteArray() << QString();
        QTest::newRow("turned off") << QByteArrayList{"A/Due/9"} << QByteArray("[Reminders]\nOn=false\n") << QString();
        QTest::newRow("shown today already")
            << QByteArrayList{"A/Due/9"} << QByteArray("[Reminders]\nLastShown=2026-12-09\n") << QString();
        QTest::newRow("garbled settings: on, never shown")
            << QByteArrayList{"A/Due/9"} << QByteArray("\x01\xFF[Reminders\nOn==\n") << kDueToday;
    }
    void reminder()
    {
        QFETCH(QByteArrayList, items);
        QFETCH(QByteArray, ini);
        QFETCH(QString, text);
        TTempAppFolder dir;
        WriteBook(dir, items);
        if (!ini.isEmpty())
            dir.Write("tarnwick.ini", ini);
        const QDate storedBefore = TWindowSettings(dir.Path()).Load().lastReminder;
        TStart s(dir, &kToday);
        s.NewsTickDone();
        QCOMPARE(s.Reminder(), text);
        QVERIFY(!s.NewsShown() && s.msgs.shown.isEmpty());
        // Only a reminder shown uses up the day.
        QCOMPARE(TWindowSettings(dir.Path()).Load().lastReminder, text.isEmpty() ? storedBefore : kToday);
        if (!text.isEmpty()) {
            const QToolButton *b = Child<QToolButton>(s.w, "btnReminders");
            QTRY_COMPARE(Child<TMessageHint>(s.w, "hntReminders")->Tip(), b->mapToGlobal(b->rect().center()));
        }
    }

    void onceADay_perFolder()
    {
        TTempAppFolder dir, other;
        WriteBook(dir, {"A/Due/10"});
        WriteBook(other, {"A/Due/10"});
        QDate today = kToday;
        {
            TStart s(dir, &today);
            s.NewsTickDone();
            QVERIFY(!s.Reminder().isEmpty());
            QTest::keyClick(s.w.get(), Qt::Key_Shift);
            QVERIFY(s.Reminder().isEmpty());
            s.NewsTickDone();
            QVERIFY2(s.Reminder().isEmpty(), "not twice on one day");
        }
        TStart again(dir, &today);
        again.NewsTickDone();
        QVERIFY2(again.Reminder().isEmpty(), "not at a second start that day");
        TStart o(other, &today);
        o.NewsTickDone();
        QVERIFY2(!o.Reminder().isEmpty(), "another folder keeps its own day");
        today = today.addDays(1);
        again.NewsTickDone();
        QCOMPARE(again.Reminder(), kDueToday);
    }

    void toggle_isRemembered()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        {
            TStart s(dir, &kToday);
            QToolButton *b = s.w->findChild<QToolButton *>("btnReminders");
            QVERIFY(b && b->isChecked() && b->isVisible());
            s.NewsTickDone();
            QTest::mouseClick(b, Qt::LeftButton);
            QVERIFY(!b->isChecked() && s.Reminder().isEmpty());
        }
        QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, false);
        dir.Write("tarnwick.ini", "[Reminders]\nOn=false\n"); // no day used up either
        TStart s(dir, &kToday);
        QVERIFY(!Child<QToolButton>(s.w, "btnReminders")->isChecked());
        s.NewsTickDone();
        QVERIFY(s.Reminder().isEmpty());
        QTest::mouseClick(Child<QToolButton>(s.w, "btnReminders"), Qt::LeftButton);
        QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, true);
        s.NewsTickDone();
        QCOMPARE(s.Reminder(), kDueToday);
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void unwritableFolder_toggleWarns_closeSaysNothing()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        QVERIFY(QDir(dir.Path()).mkdir("tarnwick.ini")); // nothing can be written there, even as root
        TStart s(dir, &kToday);
        QTest::mouseClick(Child<QToolButton>(s.w, "btnReminders"), Qt::LeftButton);
        QCOMPARE(s.msgs.shown.size(), 1);
        QCOMPARE(s.msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QVERIFY(s.msgs.shown[0].text.contains(QDir::toNativeSeparators(dir.File("tarnwick.ini"))));
        s.NewsTickDone();
        QVERIFY2(s.Reminder().isEmpty(), "off for the rest of the run");
        QVERIFY(s.w->close());
        QCOMPARE(s.msgs.shown.size(), 1);
    }

    void waitsForTheNewsBalloon()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        TStart s(dir, &kToday);
        Services(*s.w).ShowNewsBalloon("You've Got A Message!\r\nSummer promo");
        s.NewsTickDone();
        QTest::qWait(800);
        QVERIFY(s.Reminder().isEmpty());
        QVERIFY(s.NewsShown());
        QCOMPARE(Services(*s.w).NewsBalloon()->Text(), QString("You've Got A Message!\nSummer promo"));
        QTest::keyClick(s.w.get(), Qt::Key_Shift); // the user closes the news balloon
        QTRY_COMPARE(s.Reminder(), kDueToday);
        QVERIFY(!s.NewsShown());
    }

    // From the start: the news tick (no news level here, so only the quiet
    // update check), then the reminder.
    void followsTheNewsTick()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        THttpTestServer server;
        server.Route("/up/mainappupdate.inf", THttpTestServer::Answer(404));
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        Services(w).SetUpdateBaseURL(server.Url("/up/"));
        w.SetToday([] { return kToday; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(Child<QTimer>(w, "Timer1")->isActive() && !w.findChild<TMessageHint *>("hntReminders"));
        QTRY_VERIFY_WITH_TIMEOUT(!ReminderShown(w).isEmpty(), 10000);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(ReminderShown(w), kDueToday);
    }

    void layout_survivesCloseAndReopen_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("tree");
        QTest::addColumn<bool>("maximized");
        const QRect a = ScreenArea();
        const QSize smaller(qMin(1000, a.width() - 200), qMin(640, a.height() - 120)); // above the toolbar's minimum width
        QTest::newRow("larger, narrow tree") << a.adjusted(40, 30, -80, -70) << 150 << false;
        QTest::newRow("smaller, wide tree") << QRect(a.topLeft() + QPoint(200, 120), smaller) << 420 << false;
        QTest::newRow("maximized: its normal place kept") << QRect(a.topLeft() + QPoint(60, 50), smaller) << 300
                                                         << true;
    }
    void layout_survivesCloseAndReopen()
    {
        QFETCH(QRect, geometry);
        QFETCH(int, tree);
        QFETCH(bool, maximized);
        TTempAppFolder dir;
        {
            TStart s(dir, &kToday);
            s.w->setGeometry(geometry);
            QSplitter *splitter = Child<QSplitter>(s.w, "bsSkinSplitter1");
            QTRY_VERIFY(splitter->width() > geometry.width() - 10); // laid out at the new size
            splitter->setSizes({tree, splitter->width() - tree - splitter->handleWidth()});
            if (maximized)
                s.w->showMaximized();
            QVERIFY(s.w->close());
        }
        TStart s(dir, &kToday);
        QCOMPARE(s.w->isMaximized(), maximized);
        QTRY_COMPARE(s.w->normalGeometry(), geometry);
        QCOMPARE(Child<QSplitter>(s.w, "bsSkinSplitter1")->sizes().value(0), tree);
        // Showing and resizing centred the banner in the restored width.
        const QWidget *banner = Child<QLabel>(s.w, "imgBanner");
        const QWidget *bar = Child<QFrame>(s.w, "panBanner");
        QVERIFY(bar->width() > geometry.width() - 10);
        QCOMPARE(banner->x(), bar->width() / 2 - banner->width() / 2);
    }

    void storedPlace_comesOnScreen_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("expected"); // invalid: anywhere wholly on the screen, same size
        const QRect a = ScreenArea();
        const QSize size(1000, 600); // above the toolbar's minimum width
        QTest::newRow("on the screen: kept") << QRect(a.topLeft() + QPoint(10, 20), size)
                                             << QRect(a.topLeft() + QPoint(10, 20), size);
        QTest::newRow("right of every screen") << QRect(QPoint(a.right() + 3000, a.top()), size) << QRect();
        QTest::newRow("above and left of every screen") << QRect(a.topLeft() - QPoint(5000, 4000), size) << QRect();
        QTest::newRow("half off the bottom right: moved in")
            << QRect(a.bottomRight() - QPoint(400, 300), size) << QRect(a.bottomRight() - QPoint(size.width() - 1, size.height() - 1), size);
        QTest::newRow("larger than the screen: shrunk") << QRect(a.topLeft() - QPoint(100, 0), a.size() + QSize(500, 400))
                                                        << a;
    }
    void storedPlace_comesOnScreen()
    {
        QFETCH(QRect, stored);
        QFETCH(QRect, expected);
        TTempAppFolder dir;
        TWindowState state;
        state.geometry = stored;
        QVERIFY(TWindowSettings(dir.Path()).Save(state));
        TStart s(dir, &kToday);
        QTRY_VERIFY(ScreenArea().contains(s.w->frameGeometry()));
        if (expected.isValid())
            QCOMPARE(s.w->geometry(), expected);
        else
            QCOMPARE(s.w->size(), stored.size());
    }

    void damagedSettings_giveTheDefaultLayout_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("garbage") << QByteArray("\xFF\xFE\x00[Window\nX=\x01\n", 15);
        QTest::newRow("pane count of another splitter") << QByteArray("[Splitters]\nbsSkinSplitter1=100 200 300\n");
        QTest::newRow("a folder in its place") << QByteArray("folder");
    }
    void damagedSettings_giveTheDefaultLayout()
    {
        QFETCH(QByteArray, ini);
        TTempAppFolder dir;
        if (ini == "folder")
            QVERIFY(QDir(dir.Path()).mkdir("tarnwick.ini"));
        else
            dir.Write("tarnwick.ini", ini);
        TStart s(dir, &kToday);
        QCOMPARE(s.w->size(), QSize(929, 692));
        QCOMPARE(s.w->geometry().center(), ScreenArea().center());
        QCOMPARE(Child<QSplitter>(s.w, "bsSkinSplitter1")->sizes().value(0), 209);
        QVERIFY(Child<QToolButton>(s.w, "btnReminders")->isChecked());
        QVERIFY(s.w->close()); // a folder that cannot take the file does not stop the close
        QVERIFY(s.msgs.shown.isEmpty());
    }
};

QTEST_MAIN(TestReminders)
#include "test_reminders.moc"
