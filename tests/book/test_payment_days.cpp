#include "book/payment_days.h"
#include "support/book_fixture.h"

#include <QTest>

class TestPaymentDays : public QObject
{
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("day");
        QTest::newRow("number") << QByteArray("15") << 15;
        QTest::newRow("ordinal") << QByteArray("15th") << 15;
        QTest::newRow("ordinal st") << QByteArray("1st") << 1;
        QTest::newRow("ordinal nd") << QByteArray("22nd") << 22;
        QTest::newRow("ordinal rd") << QByteArray("3rd") << 3;
        QTest::newRow("with the") << QByteArray("the 15th") << 15;
        QTest::newRow("every") << QByteArray("every 15") << 15;
        QTest::newRow("every the") << QByteArray("Every the 5th") << 5;
        QTest::newRow("on the") << QByteArray("on the 31st") << 31;
        QTest::newRow("with a dot") << QByteArray("15.") << 15;
        QTest::newRow("of each month") << QByteArray("15th of each month") << 15;
        QTest::newRow("every month") << QByteArray("10 every month") << 10;
        QTest::newRow("case and blanks") << QByteArray("  THE  7TH  ") << 7;
        QTest::newRow("leading zero") << QByteArray("05") << 5;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("beyond 31") << QByteArray("32") << 0;
        QTest::newRow("three digits") << QByteArray("115") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("word") << QByteArray("monthly") << 0;
        QTest::newRow("net terms are not a day") << QByteArray("net 30") << 0;
        QTest::newRow("a date") << QByteArray("15/06") << 0;
        QTest::newRow("two days") << QByteArray("1st and 15th") << 0;
        QTest::newRow("negative") << QByteArray("-5") << 0;
        QTest::newRow("trailing words") << QByteArray("15th maybe") << 0;
    }
    void read()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, day);
        QCOMPARE(ReadPaymentDay(text), day);
    }

    void next_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QDate>("next");
        QTest::newRow("later this month") << 15 << QDate(2026, 12, 9) << QDate(2026, 12, 15);
        QTest::newRow("today") << 9 << QDate(2026, 12, 9) << QDate(2026, 12, 9);
        QTest::newRow("passed: next month, across the year") << 1 << QDate(2026, 12, 9) << QDate(2027, 1, 1);
        QTest::newRow("31st in a 30-day month") << 31 << QDate(2026, 4, 10) << QDate(2026, 4, 30);
        QTest::newRow("30th in February") << 30 << QDate(2026, 2, 1) << QDate(2026, 2, 28);
        QTest::newRow("29th in a leap February") << 29 << QDate(2028, 2, 1) << QDate(2028, 2, 29);
        QTest::newRow("on the shortened last day itself") << 31 << QDate(2026, 2, 28) << QDate(2026, 2, 28);
        QTest::newRow("30th passed on the 31st: February's last day") << 30 << QDate(2027, 1, 31)
                                                                      << QDate(2027, 2, 28);
        QTest::newRow("no day") << 0 << QDate(2026, 12, 9) << QDate();
        QTest::newRow("no today") << 5 << QDate() << QDate();
    }
    void next()
    {
        QFETCH(int, day);
        QFETCH(QDate, today);
        QFETCH(QDate, next);
        QCOMPARE(NextPaymentDate(day, today), next);
    }

    void reminder_data()
    {
        QTest::addColumn<QList<QByteArray>>("days");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("text");
        const QDate today(2026, 12, 9);
        QTest::newRow("none due") << QList<QByteArray>{"1st", "20", "monthly"} << today << QString();
        QTest::newRow("today to three days, sorted by date")
            << QList<QByteArray>{"12", "9th", "13", "10", "every 11"} << today
            << "Payments due: B (today), D (tomorrow), E (in 2 days), A (in 3 days)";
        QTest::newRow("same day keeps book order") << QList<QByteArray>{"10", "10"} << today
                                                   << "Payments due: A (tomorrow), B (tomorrow)";
        QTest::newRow("five named, then the rest counted")
            << QList<QByteArray>{"9", "9", "9", "9", "9", "9", "10"} << today
            << "Payments due: A (today), B (today), C (today), D (today), E (today) and 2 more";
        QTest::newRow("across the month's end") << QList<QByteArray>{"31", "1st", "2"} << QDate(2026, 4, 29)
                                                << "Payments due: A (tomorrow), B (in 2 days), C (in 3 days)";
        QTest::newRow("a later item pays first, past the fifth")
            << QList<QByteArray>{"12", "12", "12", "12", "12", "12", "9th"} << today
            << "Payments due: G (today), A (in 3 days), B (in 3 days), C (in 3 days), D (in 3 days) and 2 more";
        QTest::newRow("unreadable and empty days are left alone")
            << QList<QByteArray>{"", "monthly", "0", "net 30", "10th", "9 or 10"} << today
            << "Payments due: E (tomorrow)";
    }
    void reminder()
    {
        QFETCH(QList<QByteArray>, days);
        QFETCH(QDate, today);
        QFETCH(QString, text);
        QList<QByteArray> titles;
        for (qsizetype i = 0; i < days.size(); ++i)
            titles << QByteArray(1, char('A' + i));
        QCOMPARE(ReminderText(titles, DuePayments(days, today), today), text);
        // Walking the book item by item says the same.
        TReminderBuilder builder(today);
        for (qsizetype i = 0; i < days.size(); ++i)
            builder.Add(days[i], titles[i]);
        QCOMPARE(builder.Text(), text);
        QCOMPARE(builder.DueCount(), DuePayments(days, today).size());
    }

    void daysUntilDue_data()
    {
        QTest::addColumn<int>("day");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<int>("daysAhead");
        QTest::addColumn<qint64>("days");
        const QDate today(2026, 12, 9);
        QTest::newRow("today") << 9 << today << 3 << qint64(0);
        QTest::newRow("last day of the window") << 12 << today << 3 << qint64(3);
        QTest::newRow("a day past the window") << 13 << today << 3 << qint64(-1);
        QTest::newRow("yesterday's day is a month away") << 8 << today << 3 << qint64(-1);
        QTest::newRow("short month pays on its last day") << 31 << QDate(2026, 4, 29) << 3 << qint64(1);
        QTest::newRow("no window at all") << 9 << today << 0 << qint64(0);
        QTest::newRow("a negative window holds nothing, today neither") << 9 << today << -1 << qint64(-1);
        QTest::newRow("unreadable day") << 0 << today << 3 << qint64(-1);
        QTest::newRow("no today") << 9 << QDate() << 3 << qint64(-1);
    }
    void daysUntilDue()
    {
        QFETCH(int, day);
        QFETCH(QDate, today);
        QFETCH(int, daysAhead);
        QFETCH(qint64, days);
        QCOMPARE(DaysUntilDue(day, today, daysAhead), days);
        // The list and the builder decide by the same rule.
        const QList<QByteArray> paymentDays{QByteArray::number(day)};
        QCOMPARE(DuePayments(paymentDays, today, daysAhead).size(), days >= 0 ? 1 : 0);
        TReminderBuilder builder(today, daysAhead);
        builder.Add(paymentDays[0], "A");
        QCOMPARE(builder.DueCount(), days >= 0 ? 1 : 0);
    }

    void bookReminder_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QString>("text");
        QTest::newRow("categories in the tree's order, not the file's")
            << QByteArray("B\r\nA\r\n") << R("A|x|||||||||9|note|\r\nB|y|||||||||10th|note|\r\nA|z|||||||||12|note|\r\n")
            << "Payments due: x (today), y (tomorrow), z (in 3 days)";
        QTest::newRow("an item of a missing category is not in the tree")
            << QByteArray("A\r\n") << R("Gone|g|||||||||9|note|\r\nA|x|||||||||10|note|\r\n")
            << "Payments due: x (tomorrow)";
        QTest::newRow("a record cut short before its payment day")
            << QByteArray("A\r\n") << R("A|short|||\r\nA|x|||||||||9||\r\n") << "Payments due: x (today)";
        QTest::newRow("a day in the description is no payment day")
            << QByteArray("A\r\n") << R("A|x||||||||||9|\r\n") << QString();
        QTest::newRow("the payout field is no payment day")
            << QByteArray("A\r\n") << R("A|x||||||||9||note|\r\n") << QString();
        QTest::newRow("titles in Windows-1252")
            << QByteArray("A\r\n") << R("A|caf\xE9|||||||||9|note|\r\n") << QString::fromUtf8("Payments due: café (today)");
    }
    void bookReminder()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(QString, text);
        const TLoadedBook f(categories, items);
        QCOMPARE(BookReminderText(f.book, QDate(2026, 12, 9)), text);
    }

    // The list of payments: whose date passed this month first, then by
    // date, then the payment days that cannot be read, as written.
    void paymentList_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QStringList>("days"); // one item each, titled A, B, C... in book order
        QTest::addColumn<QStringList>("rows"); // "title date days[ overdue]", or "title ? as written"
        QTest::newRow("passed this month first, then by date, unreadable last")
            << QDate(2026, 12, 9) << QStringList{"15", "9th", "1", "monthly", "", "every 10"}
            << QStringList{"C 2027-01-01 23 overdue", "B 2026-12-09 0", "F 2026-12-10 1", "A 2026-12-15 6",
                           "D ? monthly"};
        QTest::newRow("31st in a 30-day month") << QDate(2026, 11, 20) << QStringList{"31st"}
                                                << QStringList{"A 2026-11-30 10"};
        QTest::newRow("31st on the last day of a 30-day month") << QDate(2026, 11, 30) << QStringList{"31"}
                                                                << QStringList{"A 2026-11-30 0"};
        QTest::newRow("31st the day after a 30-day month ended") << QDate(2026, 12, 1) << QStringList{"31"}
                                                                 << QStringList{"A 2026-12-31 30"};
        QTest::newRow("30th in February") << QDate(2026, 2, 10) << QStringList{"30"} << QStringList{"A 2026-02-28 18"};
        QTest::newRow("30th in a leap February") << QDate(2028, 2, 10) << QStringList{"the 30th"}
                                                 << QStringList{"A 2028-02-29 19"};
        QTest::newRow("29th on the last day of February") << QDate(2026, 2, 28) << QStringList{"29"}
                                                          << QStringList{"A 2026-02-28 0"};
        QTest::newRow("passed in January, next at February's end") << QDate(2026, 1, 31) << QStringList{"30"}
                                                                   << QStringList{"A 2026-02-28 28 overdue"};
        QTest::newRow("month end into the next year") << QDate(2026, 12, 31) << QStringList{"1", "31"}
                                                      << QStringList{"A 2027-01-01 1 overdue", "B 2026-12-31 0"};
        QTest::newRow("the passed ones by date too") << QDate(2026, 12, 20) << QStringList{"10", "5", "25"}
                                                     << QStringList{"B 2027-01-05 16 overdue",
                                                                    "A 2027-01-10 21 overdue", "C 2026-12-25 5"};
        QTest::newRow("the same day keeps book order") << QDate(2026, 12, 9) << QStringList{"15", "15th", "15."}
                                                       << QStringList{"A 2026-12-15 6", "B 2026-12-15 6",
                                                                      "C 2026-12-15 6"};
        QTest::newRow("unreadable in book order, blanks left out")
            << QDate(2026, 12, 9) << QStringList{"weekly", "  ", "32nd", "0", "on request"}
            << QStringList{"A ? weekly", "C ? 32nd", "D ? 0", "E ? on request"};
    }
    void paymentList()
    {
        QFETCH(QDate, today);
        QFETCH(QStringList, days);
        QFETCH(QStringList, rows);
        QList<TPaymentRow> items;
        for (qsizetype i = 0; i < days.size(); ++i) {
            TPaymentRow row;
            row.record = i;
            row.title = QByteArray(1, char('A' + i));
            row.paymentDay = days[i].toLatin1();
            items.append(row);
        }
        QStringList got;
        for (const TPaymentRow &row : PaymentList(items, today)) {
            QCOMPARE(row.title, QByteArray(1, char('A' + row.record)));
            if (!row.Readable()) {
                got << QString::fromLatin1(row.title) + " ? " + QString::fromLatin1(row.paymentDay);
                continue;
            }
            QCOMPARE(row.daysLeft, today.daysTo(row.next));
            got << QStringLiteral("%1 %2 %3%4")
                       .arg(QString::fromLatin1(row.title), row.next.toString(Qt::ISODate))
                       .arg(row.daysLeft)
                       .arg(row.overdueLooking ? QStringLiteral(" overdue") : QString());
        }
        QCOMPARE(got, rows);
    }

    // The book's items as the tree shows them, each with what the list shows
    // and the record to select.
    void bookPaymentList()
    {
        const TLoadedBook f(QByteArray("B\r\nA\r\n"),
                            R("A|x||||||||$50|20|note|\r\nGone|g|||||||||9|note|\r\nB|y|||||||||monthly||\r\n"
                              "A|short|||\r\nB|caf\xE9||||||||\x80" "10|1st|note|\r\n"));
        const QList<TPaymentRow> rows = BookPaymentList(f.book, QDate(2026, 12, 9));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].title, QByteArray("caf\xE9"));
        QCOMPARE(rows[0].category, QByteArray("B"));
        QCOMPARE(rows[0].payout, QByteArray("\x80" "10"));
        QVERIFY(rows[0].overdueLooking);
        QCOMPARE(rows[0].record, 4);
        QCOMPARE(rows[1].title, QByteArray("x"));
        QCOMPARE(rows[1].payout, QByteArray("$50"));
        QCOMPARE(rows[1].next, QDate(2026, 12, 20));
        QCOMPARE(rows[1].record, 0);
        QCOMPARE(rows[2].paymentDay, QByteArray("monthly"));
        QVERIFY(!rows[2].Readable());
        QCOMPARE(rows[2].record, 2);
    }

    void onceADay_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QDate>("lastShown");
        QTest::addColumn<bool>("due");
        QTest::newRow("never shown") << true << QDate() << true;
        QTest::newRow("shown yesterday") << true << QDate(2026, 12, 8) << true;
        QTest::newRow("shown today") << true << QDate(2026, 12, 9) << false;
        QTest::newRow("turned off") << false << QDate() << false;
    }
    void onceADay()
    {
        QFETCH(bool, on);
        QFETCH(QDate, lastShown);
        QFETCH(bool, due);
        QCOMPARE(ReminderDue(on, lastShown, QDate(2026, 12, 9)), due);
    }
};

QTEST_GUILESS_MAIN(TestPaymentDays)
#include "test_payment_days.moc"
