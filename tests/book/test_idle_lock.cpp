// The protected book's idle lock on a clock the test moves: it comes after
// the idle minutes since the last input, never when they are 0, and never
// while typing is unsaved.
#include "book/idle_lock.h"

#include <QTest>

class TestIdleLock : public QObject
{
    Q_OBJECT
private slots:
    void due_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<qint64>("idleMs");
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<bool>("due");
        QTest::newRow("default, just short") << -2 << qint64(10 * 60000 - 1) << false << false;
        QTest::newRow("default, reached") << -2 << qint64(10 * 60000) << false << true;
        QTest::newRow("one minute passed") << 1 << qint64(60001) << false << true;
        QTest::newRow("never") << 0 << qint64(1000LL * 3600 * 24 * 30) << false << false;
        QTest::newRow("unsaved typing waits") << 1 << qint64(3600000) << true << false;
        QTest::newRow("a day at most, else the default") << 100000 << qint64(10 * 60000) << false << true;
    }
    void due()
    {
        QFETCH(int, minutes);
        QFETCH(qint64, idleMs);
        QFETCH(bool, unsaved);
        QFETCH(bool, due);
        qint64 now = 5000;
        TIdleLock lock([&now] { return now; });
        if (minutes != -2)
            lock.SetMinutes(minutes);
        now += 30000;
        lock.Touch(); // the idle time counts from the last input
        now += idleMs;
        QCOMPARE(lock.Due(unsaved), due);
    }

    void input_restartsTheIdleTime()
    {
        qint64 now = 0;
        TIdleLock lock([&now] { return now; });
        lock.SetMinutes(2);
        now = 119000;
        lock.Touch();
        now = 200000;
        QVERIFY(!lock.Due(false));
        QCOMPARE(lock.MillisecondsLeft(), qint64(39000));
        // Typing saved after the time has passed: the lock comes at once.
        now = 500000;
        QVERIFY(!lock.Due(true));
        QVERIFY(lock.Due(false));
    }
};

QTEST_GUILESS_MAIN(TestIdleLock)
#include "test_idle_lock.moc"
