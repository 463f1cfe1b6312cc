// The thread that writes the book's files: one job at a time, in order, a
// waiting job replaced by a newer one, nothing left unwritten at the end.
#include "book/book_saver.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <stdexcept>
#include <condition_variable>
#include <mutex>

namespace {

// Holds a job until the test lets it go.
class TGate
{
public:
    void Pass()
    {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_open; });
    }
    void WaitEntered()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_entered; });
    }
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

} // namespace

class TestBookSaver : public QObject
{
    Q_OBJECT
private slots:
    // Jobs posted while one runs: only the newest of them runs after it.
    void postedWhileBusy_onlyTheNewestRuns_data()
    {
        QTest::addColumn<int>("waiting");
        QTest::newRow("one waits") << 1;
        QTest::newRow("three wait") << 3;
    }
    void postedWhileBusy_onlyTheNewestRuns()
    {
        QFETCH(int, waiting);
        TBookSaver saver;
        QSignalSpy finished(&saver, &TBookSaver::finished);
        TGate gate;
        std::mutex mutex;
        QStringList ran;
        const auto job = [&](const QString &name, bool hold) {
            return [&, name, hold] {
                if (hold)
                    gate.Pass();
                std::lock_guard lock(mutex);
                ran << name;
                return TBookSaver::TReport{name, {}, {}};
            };
        };
        saver.Post(job("first", true));
        gate.WaitEntered();
        QVERIFY(saver.Busy());
        for (int i = 1; i <= waiting; ++i)
            saver.Post(job(QString::number(i), false));
        gate.Open();
        saver.Wait();
        QVERIFY(!saver.Busy());
        QCOMPARE(ran, (QStringList{"first", QString::number(waiting)}));
        // Reports come once each, in order, however they are handed out.
        QCOMPARE(finished.size(), 2);
        QCOMPARE(finished[0][0].toString(), QString("first"));
        QCOMPARE(finished[1][0].toString(), QString::number(waiting));
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 2);
    }

    // Destroying the saver finishes the running and the waiting job.
    void destroyed_finishesWhatWasPosted()
    {
        std::atomic<int> done{0};
        TGate gate;
        {
            TBookSaver saver;
            saver.Post([&] {
                gate.Pass();
                ++done;
                return TBookSaver::TReport{};
            });
            gate.WaitEntered();
            saver.Post([&] {
                done += 10;
                return TBookSaver::TReport{};
            });
            gate.Open();
        }
        QCOMPARE(done.load(), 11);
    }

    // A job that throws is reported like one that says it failed; the
    // saver goes on with the next.
    void failingJob_isReported_andTheNextRuns()
    {
        TBookSaver saver;
        QSignalSpy finished(&saver, &TBookSaver::finished);
        saver.Post([]() -> TBookSaver::TReport { throw std::runtime_error("disk gone"); });
        saver.Wait();
        saver.Post([] { return TBookSaver::TReport{{}, "backups/", "no room"}; });
        saver.Wait();
        QCOMPARE(finished.size(), 2);
        QCOMPARE(finished[0][0].toString(), QString("disk gone"));
        QCOMPARE(finished[1][0].toString(), QString());
        QCOMPARE(finished[1][2].toString(), QString("no room"));
    }
};

QTEST_GUILESS_MAIN(TestBookSaver)
#include "test_book_saver.moc"
