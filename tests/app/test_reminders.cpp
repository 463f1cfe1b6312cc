// Payment reminders, the list of payments and the remembered window layout,
// on the real main window with a fixed day and a throw-away application
// folder.
#include "app/main_window.h"
#include "app/payments_window.h"
#include "book/category_tree.h"
#include "book/item_record.h"
#include "services/message_hint.h"
#include "settings/branding_settings.h"
#include "support/find_child.h"
#include "support/publisher_wait.h"
#include "support/http_test_server.h"
#include "support/scripted_messages.h"
#include "support/temp_app_folder.h"

#include <QCheckBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

// Items as "category/title/payment day[/payout]"; categories in the order
// they first appear.
void WriteBook(const TTempAppFolder &dir, const QByteArrayList &items)
{
    QByteArrayList categories;
    QByteArray lines;
    for (const QByteArray &item : items) {
        const QByteArrayList f = item.split('/');
        if (!categories.contains(f[0]))
            categories << f[0];
        lines += BuildStoredRecord(f[0], {f[1], "", "", "", "", "", "", "", f.value(3), f[2]}, "") + "\r\n";
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
    // The list of payments, opened as the user opens it.
    TPaymentsWindow *Payments() const
    {
        QTest::mouseClick(Child<QToolButton>(w, "btnReminders"), Qt::LeftButton);
        auto *payments = Child<TPaymentsWindow>(w, "frmPayments");
        if (!QTest::qWaitForWindowExposed(payments))
            qFatal("payments not shown");
        return payments;
    }
    QCheckBox *RemindersSwitch() const { return Child<QCheckBox>(Payments(), "chkReminders"); }

    TScriptedMessages msgs;
    std::unique_ptr<TfrmMain> w;
};

QRect ScreenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

const QDate kToday(2026, 12, 9);
const QString kDueToday = "Payments due: Due (today)";

// The list's rows as "title|category|payout|next|days left", the next
// payment as its date or, when it cannot be read, as the list shows it.
// As a user's double-click arrives: press, release, double-click, release.
void DoubleClick(QTreeView *list, int row)
{
    const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
}

QStringList PaymentRows(const TPaymentsWindow *payments)
{
    const QAbstractItemModel *m = Child<QTreeView>(payments, "lstPayments")->model();
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->index(r, c).data().toString();
        if (const QDate next = m->index(r, 3).data(Qt::UserRole).toDate(); next.isValid())
            cells[3] = next.toString(Qt::ISODate);
        rows << cells.join('|');
    }
    return rows;
}

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

    void switch_isRemembered()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        {
            TStart s(dir, &kToday);
            s.NewsTickDone();
            QVERIFY(!s.Reminder().isEmpty());
            QCheckBox *on = s.RemindersSwitch();
            QVERIFY(on->isChecked() && on->isVisible());
            QTest::mouseClick(on, Qt::LeftButton);
            QVERIFY(!on->isChecked() && s.Reminder().isEmpty());
        }
        QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, false);
        dir.Write("tarnwick.ini", "[Reminders]\nOn=false\n"); // no day used up either
        TStart s(dir, &kToday);
        QCheckBox *on = s.RemindersSwitch();
        QVERIFY(!on->isChecked());
        s.NewsTickDone();
        QVERIFY(s.Reminder().isEmpty());
        QTest::mouseClick(on, Qt::LeftButton);
        QCOMPARE(TWindowSettings(dir.Path()).Load().remindersOn, true);
        s.NewsTickDone();
        QCOMPARE(s.Reminder(), kDueToday);
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void payments_listEveryReadablePaymentFirstDueFirst_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QByteArrayList>("items");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("passed this month first, then by date, unreadable last as written")
            << kToday
            << QByteArrayList{"Shops/Books/20/$50", "Travel/Hotels/5th/100", "Travel/Flights/monthly",
                              "Shops/Music/9", "Travel/Trains/every 31", "Shops/Shoes/"}
            << QStringList{"Hotels|Travel|100|2027-01-05|in 27 days (passed on 5 Dec)", "Music|Shops||2026-12-09|today",
                           "Books|Shops|$50|2026-12-20|in 11 days", "Trains|Travel||2026-12-31|in 22 days",
                           "Flights|Travel||monthly|"};
        QTest::newRow("February: the 31st on its last day, the 1st passed")
            << QDate(2027, 2, 10) << QByteArrayList{"A/End/31", "A/Start/1st", "A/Tenth/the 10th", "A/Next/11"}
            << QStringList{"Start|A||2027-03-01|in 19 days (passed on 1 Feb)", "Tenth|A||2027-02-10|today",
                           "Next|A||2027-02-11|tomorrow", "End|A||2027-02-28|in 18 days"};
        QTest::newRow("a plain book's bytes shown as Windows-1252")
            << kToday << QByteArrayList{"Caf\xE9/\x80uro/the 12th/\xA3" "5"}
            << QStringList{QString::fromUtf8("\u20ACuro|Caf\u00E9|\u00A3" "5|2026-12-12|in 3 days")};
        QTest::newRow("no payment day anywhere") << kToday << QByteArrayList{"A/None/", "A/Blank/ "} << QStringList{};
    }
    void payments_listEveryReadablePaymentFirstDueFirst()
    {
        QFETCH(QDate, today);
        QFETCH(QByteArrayList, items);
        QFETCH(QStringList, rows);
        QLocale::setDefault(QLocale::c());
        TTempAppFolder dir;
        WriteBook(dir, items);
        TStart s(dir, &today);
        const TPaymentsWindow *payments = s.Payments();
        QCOMPARE(payments->windowTitle(), QString("Payments"));
        QCOMPARE(PaymentRows(payments), rows);
        QCOMPARE(Child<QLabel>(payments, "lblNoPayments")->isVisible(), rows.isEmpty());
    }

    void payments_doubleClickSelectsTheItem_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("title");
        QTest::newRow("an item of the second category") << 0 << false << "Hotels";
        QTest::newRow("the first category's") << 1 << false << "Books";
        QTest::newRow("an unreadable payment day, by Enter") << 2 << true << "Flights";
    }
    void payments_doubleClickSelectsTheItem()
    {
        QFETCH(int, row);
        QFETCH(bool, byKey);
        QFETCH(QString, title);
        TTempAppFolder dir;
        WriteBook(dir, {"Shops/Books/20", "Shops/Games/", "Travel/Hotels/5th", "Travel/Flights/monthly"});
        TStart s(dir, &kToday);
        auto *list = Child<QTreeView>(s.Payments(), "lstPayments");
        const QModelIndex index = list->model()->index(row, 0);
        QCOMPARE(index.data().toString(), title);
        if (byKey) {
            list->setCurrentIndex(index);
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            DoubleClick(list, row);
        }
        QCOMPARE(Child<QLineEdit>(s.w, "edtTitle")->text(), title);
        QCOMPARE(TCategoryTree::NodeName(Child<TCategoryTree>(s.w, "tvwMain")->Selected()), title.toLatin1());
        QVERIFY(s.msgs.shown.isEmpty());
    }

    // The list is read again when the book changes while it shows.
    void payments_followTheBook()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"Shops/Books/20", "Shops/Games/11"});
        TStart s(dir, &kToday);
        TPaymentsWindow *payments = s.Payments();
        QCOMPARE(PaymentRows(payments).value(0), QString("Games|Shops||2026-12-11|in 2 days"));
        auto *list = Child<QTreeView>(payments, "lstPayments");
        DoubleClick(list, 1);
        auto *day = Child<QLineEdit>(s.w, "edtPaymentDay");
        QCOMPARE(day->text(), QString("20"));
        day->selectAll();
        QTest::keyClicks(day, "9");
        QTest::mouseClick(Child<QPushButton>(s.w, "btnSave"), Qt::LeftButton);
        QTRY_COMPARE(PaymentRows(payments).value(0), QString("Books|Shops||2026-12-09|today"));
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void balloonClick_opensThePayments()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        TStart s(dir, &kToday);
        s.NewsTickDone();
        auto *hint = Child<TMessageHint>(s.w, "hntReminders");
        QVERIFY(hint->isVisible() && !s.w->findChild<TPaymentsWindow *>("frmPayments"));
        QTest::mouseClick(hint, Qt::LeftButton, {}, hint->rect().center());
        auto *payments = Child<TPaymentsWindow>(s.w, "frmPayments");
        QTRY_VERIFY(payments->isVisible());
        QVERIFY(!hint->isVisible());
        QCOMPARE(PaymentRows(payments), QStringList{"Due|A||2026-12-09|today"});
    }

    // A balloon closed, or never shown because reminders are off, comes back
    // through the list of payments the same day.
    void showReminder_bringsTheBalloonBack_data()
    {
        QTest::addColumn<QByteArrayList>("items");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("text");
        QTest::newRow("closed today") << QByteArrayList{"A/Due/9"} << QByteArray() << kDueToday;
        QTest::newRow("reminders off") << QByteArrayList{"A/Due/9"} << QByteArray("[Reminders]\nOn=false\n")
                                       << kDueToday;
        QTest::newRow("nothing due in three days") << QByteArrayList{"A/Later/13", "A/Before/8"} << QByteArray()
                                                   << QString();
    }
    void showReminder_bringsTheBalloonBack()
    {
        QFETCH(QByteArrayList, items);
        QFETCH(QByteArray, ini);
        QFETCH(QString, text);
        TTempAppFolder dir;
        WriteBook(dir, items);
        if (!ini.isEmpty())
            dir.Write("tarnwick.ini", ini);
        TStart s(dir, &kToday);
        s.NewsTickDone();
        QTest::keyClick(s.w.get(), Qt::Key_Shift); // closes a balloon that showed
        s.NewsTickDone();
        QVERIFY(s.Reminder().isEmpty());
        auto *again = Child<QPushButton>(s.Payments(), "btnShowReminder");
        QCOMPARE(again->isEnabled(), !text.isEmpty());
        QTest::mouseClick(again, Qt::LeftButton);
        QCOMPARE(s.Reminder(), text);
        QVERIFY(s.msgs.shown.isEmpty());
    }

    void unwritableFolder_switchWarns_closeSaysNothing()
    {
        TTempAppFolder dir;
        WriteBook(dir, {"A/Due/9"});
        QVERIFY(QDir(dir.Path()).mkdir("tarnwick.ini")); // nothing can be written there, even as root
        TStart s(dir, &kToday);
        QCheckBox *on = s.RemindersSwitch();
        QTest::mouseClick(on, Qt::LeftButton);
        QVERIFY(!on->isChecked());
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
        QVERIFY(s.RemindersSwitch()->isChecked());
        QVERIFY(s.w->close()); // a folder that cannot take the file does not stop the close
        QVERIFY(s.msgs.shown.isEmpty());
    }
};

QTEST_MAIN(TestReminders)
#include "test_reminders.moc"
