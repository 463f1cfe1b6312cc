// Payment reminders and the remembered window layout, on the real main window
// with a fixed day and a throw-away application folder.
#include "app/main_window.h"
#include "book/item_record.h"
#include "services/message_hint.h"
#include "settings/branding_settings.h"
#include "settings/window_settings.h"
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

struct TItem
{
    QByteArray category;
    QByteArray title;
    QByteArray paymentDay;
};

// A book of the given items; categories in the order they first appear.
void WriteBook(const TTempAppFolder &dir, const QList<TItem> &items)
{
    QByteArrayList categories;
    QByteArray lines;
    for (const TItem &item : items) {
        if (!categories.contains(item.category))
            categories << item.category;
        lines += BuildStoredRecord(item.category, {item.title, "", "", "", "", "", "", "", "", item.paymentDay}, "")
                 + "\r\n";
    }
    dir.Write("categories.dat", categories.join("\r\n") + "\r\n");
    dir.Write("items.dat", lines);
}

// One start of the program in `dir` on the day `today` holds (read when the
// reminder decides, so a test can move it on).
struct TStart
{
    TStart(const TTempAppFolder &dir, const QDate *today)
    {
        w = std::make_unique<TfrmMain>(dir.Path(), &msgs);
        w->ui().Timer1->stop();
        w->SetToday([today] { return *today; });
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not shown");
    }
    bool ReminderShown() const { return w->hntReminders && w->hntReminders->isVisible(); }
    QString ReminderText() const { return ReminderShown() ? w->hntReminders->Text() : QString(); }
    bool NewsShown() const { return w->LMDMessageHint1 && w->LMDMessageHint1->isVisible(); }

    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

QRect ScreenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

class TestReminders : public QObject
{
    Q_OBJECT
private slots:
    void init() { BrandingSettings() = TBrandingSettings{}; }

    void reminder_data()
    {
        QTest::addColumn<QList<TItem>>("items");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("text");
        const QDate today(2026, 12, 9);
        QTest::newRow("due in the next days, in tree order; later and unreadable days left alone")
            << QList<TItem>{{"Travel", "Hotels", "12th"},
                            {"Shops", "Books", "9"},
                            {"Travel", "Flights", "every 10"},
                            {"Shops", "Music", "13"},
                            {"Shops", "Games", "monthly"},
                            {"Travel", "Trains", "the 9th"},
                            {"Shops", "Shoes", ""}}
            << QByteArray() << today
            << "Payments due: Trains (today), Books (today), Flights (tomorrow), Hotels (in 3 days)";
        QTest::newRow("five named, then counted")
            << QList<TItem>{{"A", "One", "9"},  {"A", "Two", "9"},   {"A", "Three", "10"}, {"A", "Four", "10"},
                            {"A", "Five", "11"}, {"A", "Six", "11"}, {"A", "Seven", "12"}}
            << QByteArray() << today
            << "Payments due: One (today), Two (today), Three (tomorrow), Four (tomorrow), Five (in 2 days) "
               "and 2 more";
        QTest::newRow("a 31st at the end of a 30-day month")
            << QList<TItem>{{"A", "Monthly", "31st"}} << QByteArray() << QDate(2026, 4, 28)
            << "Payments due: Monthly (in 2 days)";
        QTest::newRow("Windows-1252 titles") << QList<TItem>{{"A", "Caf\xE9 \x80", "9"}} << QByteArray() << today
                                             << QString::fromUtf8("Payments due: Café € (today)");
        QTest::newRow("nothing due") << QList<TItem>{{"A", "Later", "20"}, {"A", "Words", "soon"}} << QByteArray()
                                     << today << QString();
        QTest::newRow("empty book") << QList<TItem>{} << QByteArray() << today << QString();
        QTest::newRow("turned off") << QList<TItem>{{"A", "Due", "9"}} << QByteArray("[Reminders]\nOn=false\n")
                                    << today << QString();
        QTest::newRow("shown today already")
            << QList<TItem>{{"A", "Due", "9"}} << QByteArray("[Reminders]\nLastShown=2026-12-09\n") << today
            << QString();
        QTest::newRow("shown yesterday")
            << QList<TItem>{{"A", "Due", "9"}} << QByteArray("[Reminders]\nLastShown=2026-12-08\n") << today
            << "Payments due: Due (today)";
        QTest::newRow("garbled settings: on") << QList<TItem>{{"A", "Due", "9"}}
                                              << QByteArray("\x01\xFF[Reminders\nOn==\n") << today
                                              << "Payments due: Due (today)";
    }
    void reminder()
    {
        QFETCH(QList<TItem>, items);
        QFETCH(QByteArray, ini);
        QFETCH(QDate, today);
        QFETCH(QString, text);
        TTempAppFolder dir;
        WriteBook(dir, items);
        if (!ini.isEmpty())
            dir.Write("tarnwick.ini", ini);
        const QDate storedBefore = TWindowSettings(dir.Path()).Load().lastReminder;
        TStart s(dir, &today);
        s.w->RemindAfterNews();
        QCOMPARE(s.ReminderText(), text);
        QVERIFY(!s.NewsShown());
        QVERIFY(s.msgs.shown.isEmpty());
        // Only a reminder shown uses up the day.
        QCOMPARE(TWindowSettings(dir.Path()).Load().lastReminder, text.isEmpty() ? storedBefore : today);
        if (!text.isEmpty()) {
            const QToolButton *b = s.w->btnReminders;
            QTRY_COMPARE(s.w->hntReminders->Tip(), b->mapToGlobal(b->rect().center()));
        }
    }

    void onceADay_perFolder()
    {
        TTempAppFolder dir;
        TTempAppFolder other;
        WriteBook(dir, {{"A", "Due", "10"}});
        WriteBook(other, {{"A", "Due", "10"}});
        QDate today(2026, 12, 9);
        {
            TStart s(dir, &today);
            s.w->ShowPaymentReminder();
            QVERIFY(s.ReminderShown());
            QTest::keyClick(s.w.get(), Qt::Key_Shift);
            QVERIFY(!s.ReminderShown());
            s.w->ShowPaymentReminder();
            QVERIFY2(!s.ReminderShown(), "not twice on one day");
        }
        {
            TStart s(dir, &today);
            s.w->ShowPaymentReminder();
            QVERIFY2(!s.ReminderShown(), "not again at a second start that day");
            TStart o(other, &today);
            o.w->ShowPaymentReminder();
            QVERIFY2(o.ReminderShown(), "another folder keeps its own day");
        }
        today = today.addDays(1);
        TStart s(dir, &today);
        s.w->ShowPaymentReminder();
        QCOMPARE(s.ReminderText(), QString("Payments due: Due (today)"));
    }

    void toggle_isRemembered()
    {
        TTempAppFolder dir;
        WriteBook(dir, {{"A", "Due", "9"}});
        const QDate today(2026, 12, 9);
        {
            TStart s(dir, &today);
            QToolButton *b = s.w->findChild<QToolButton *>("btnReminders");
            QVERIFY(b && b->isCheckable() && b->isChecked() && b->isVisible());
            QCOMPARE(b->toolTip(), QString("Payment Reminders"));
            s.w->ShowPaymentReminder();
            QVERIFY(s.ReminderShown());
            QTest::mouseClick(b, Qt::LeftButton);
            QVERIFY(!b->isChecked());
            QVERIFY(!s.ReminderShown());
            QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, false);
        }
        dir.Write("tarnwick.ini", "[Reminders]\nOn=false\n"); // and no day used up
        TStart s(dir, &today);
        QToolButton *b = s.w->btnReminders;
        QVERIFY(!b->isChecked());
        s.w->ShowPaymentReminder();
        QVERIFY(!s.ReminderShown());
        QTest::mouseClick(b, Qt::LeftButton);
        QVERIFY(b->isChecked());
        QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, true);
        s.w->ShowPaymentReminder();
        QVERIFY(s.ReminderShown());
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void unwritableSettings_toggleWarns_closeSaysNothing()
    {
        TTempAppFolder dir;
        WriteBook(dir, {{"A", "Due", "9"}});
        QVERIFY(QDir(dir.Path()).mkdir("tarnwick.ini")); // nothing can be written there, even as root
        const QDate today(2026, 12, 9);
        TStart s(dir, &today);
        s.w->ShowPaymentReminder();
        QVERIFY(s.ReminderShown());
        QTest::mouseClick(s.w->btnReminders, Qt::LeftButton);
        QVERIFY(!s.w->btnReminders->isChecked());
        QCOMPARE(s.msgs.shown.size(), 1);
        QCOMPARE(s.msgs.shown[0].kind, TMsgDlgType::mtWarning);
        QVERIFY(s.msgs.shown[0].text.contains(QDir::toNativeSeparators(dir.File("tarnwick.ini"))));
        // Off for the rest of the run even though it could not be stored.
        s.w->ShowPaymentReminder();
        QVERIFY(!s.ReminderShown());
        QVERIFY(s.w->close());
        QCOMPARE(s.msgs.shown.size(), 1);
    }

    // The reminder never covers or replaces the news balloon: it waits until
    // the user has closed that one.
    void waitsForTheNewsBalloon()
    {
        TTempAppFolder dir;
        WriteBook(dir, {{"A", "Due", "9"}});
        const QDate today(2026, 12, 9);
        TStart s(dir, &today);
        s.w->ShowNewsBalloon("You've Got A Message!\r\nSummer promo");
        QVERIFY(s.NewsShown());
        s.w->RemindAfterNews();
        QTest::qWait(800);
        QVERIFY(!s.ReminderShown());
        QVERIFY(s.NewsShown());
        QCOMPARE(s.w->LMDMessageHint1->Text(), QString("You've Got A Message!\nSummer promo"));
        QTest::keyClick(s.w.get(), Qt::Key_Shift);
        QVERIFY(!s.NewsShown());
        QTRY_VERIFY(s.ReminderShown());
        QVERIFY(!s.NewsShown());
        QCOMPARE(s.w->findChildren<TMessageHint *>().size(), 2);
    }

    // Start to balloon: the news tick runs (no news level, a quiet update
    // check), then the reminder.
    void followsTheNewsTick()
    {
        TTempAppFolder dir;
        WriteBook(dir, {{"A", "Due", "9"}});
        THttpTestServer server;
        server.Route("/liveupdate/tarnwick/mainappupdate.inf", THttpTestServer::Answer(404));
        const QDate today(2026, 12, 9);
        TScriptedMessages msgs;
        TfrmMain w(dir.Path(), &msgs);
        w.SetUpdateBaseURL(server.Url("/liveupdate/tarnwick/"));
        w.SetToday([today] { return today; });
        QVERIFY(w.ui().Timer1->isActive());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.hntReminders);
        QTRY_VERIFY_WITH_TIMEOUT(w.hntReminders && w.hntReminders->isVisible(), 10000);
        QCOMPARE(server.requests.size(), 1); // the update check ran first
        QCOMPARE(w.hntReminders->Text(), QString("Payments due: Due (today)"));
        QVERIFY(msgs.shown.isEmpty());
    }

    void layout_survivesCloseAndReopen_data()
    {
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("tree");
        const QRect area = ScreenArea();
        QTest::newRow("wider, narrow tree") << QRect(area.topLeft() + QPoint(40, 30), QSize(1100, 720)) << 150;
        QTest::newRow("smaller, wide tree") << QRect(area.topLeft() + QPoint(200, 120), QSize(860, 640)) << 420;
    }
    void layout_survivesCloseAndReopen()
    {
        QFETCH(QRect, geometry);
        QFETCH(int, tree);
        TTempAppFolder dir;
        const QDate today(2026, 12, 9);
        {
            TStart s(dir, &today);
            s.w->setGeometry(geometry);
            QTRY_COMPARE(s.w->geometry(), geometry);
            QSplitter *splitter = s.w->ui().bsSkinSplitter1;
            QTRY_VERIFY(splitter->width() > geometry.width() - 10); // laid out at the new size
            splitter->setSizes({tree, splitter->width() - tree - splitter->handleWidth()});
            QCOMPARE(splitter->sizes().value(0), tree);
            QVERIFY(s.w->close());
        }
        TStart s(dir, &today);
        QTRY_COMPARE(s.w->geometry(), geometry);
        QCOMPARE(s.w->ui().bsSkinSplitter1->sizes().value(0), tree);
        // The banner centring of showing and resizing saw the final size.
        const QWidget *banner = s.w->ui().imgBanner;
        const QWidget *bar = s.w->ui().panBanner;
        QVERIFY(bar->width() > geometry.width() - 10);
        QCOMPARE(banner->x(), bar->width() / 2 - banner->width() / 2);
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void storedPlace_comesOnScreen_data()
    {
        QTest::addColumn<QRect>("stored");
        QTest::addColumn<QRect>("expected"); // invalid: anywhere wholly on the screen, same size
        const QRect a = ScreenArea();
        const QSize size(800, 600);
        QTest::newRow("on the screen: kept") << QRect(a.topLeft() + QPoint(10, 20), size)
                                             << QRect(a.topLeft() + QPoint(10, 20), size);
        QTest::newRow("right of every screen") << QRect(a.right() + 3000, a.top() + 50, 800, 600) << QRect();
        QTest::newRow("above and left of every screen") << QRect(a.left() - 5000, a.top() - 4000, 800, 600)
                                                        << QRect();
        QTest::newRow("half off the bottom right: moved in")
            << QRect(a.right() - 400, a.bottom() - 300, 800, 600)
            << QRect(QPoint(a.right() - 799, a.bottom() - 599), size);
        QTest::newRow("larger than the screen: shrunk")
            << QRect(a.left() - 100, a.top(), a.width() + 500, a.height() + 400) << a;
    }
    void storedPlace_comesOnScreen()
    {
        QFETCH(QRect, stored);
        QFETCH(QRect, expected);
        TTempAppFolder dir;
        TWindowState state;
        state.geometry = stored;
        QVERIFY(TWindowSettings(dir.Path()).Save(state));
        const QDate today(2026, 12, 9);
        TStart s(dir, &today);
        const QRect area = ScreenArea();
        QTRY_VERIFY2(area.contains(s.w->frameGeometry()),
                     qPrintable(QString("%1,%2 %3x%4")
                                    .arg(s.w->x())
                                    .arg(s.w->y())
                                    .arg(s.w->width())
                                    .arg(s.w->height())));
        if (expected.isValid())
            QCOMPARE(s.w->geometry(), expected);
        else
            QCOMPARE(s.w->size(), stored.size());
    }

    void damagedSettings_giveTheDefaultLayout_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\xFF\xFE\x00[Window\nX=\x01\n", 15);
        QTest::newRow("out of range") << QByteArray("[Window]\nX=0\nY=0\nWidth=-5\nHeight=99999999\n"
                                                    "[Splitters]\nbsSkinSplitter1=abc\n");
        QTest::newRow("pane count of another splitter")
            << QByteArray("[Splitters]\nbsSkinSplitter1=100 200 300\n");
        QTest::newRow("a folder in its place") << QByteArray("folder");
    }
    void damagedSettings_giveTheDefaultLayout()
    {
        QFETCH(QByteArray, ini);
        TTempAppFolder dir;
        if (ini == "folder")
            QVERIFY(QDir(dir.Path()).mkdir("tarnwick.ini"));
        else if (!ini.isEmpty())
            dir.Write("tarnwick.ini", ini);
        const QDate today(2026, 12, 9);
        TStart s(dir, &today);
        QCOMPARE(s.w->size(), QSize(929, 692));
        QCOMPARE(s.w->geometry().center(), ScreenArea().center());
        QCOMPARE(s.w->ui().bsSkinSplitter1->sizes().value(0), 209);
        QVERIFY(s.w->btnReminders->isChecked());
        QVERIFY(s.w->close()); // and a folder that cannot take the file does not stop the close
        QVERIFY(s.msgs.shown.isEmpty());
    }
};

QTEST_MAIN(TestReminders)
#include "test_reminders.moc"
