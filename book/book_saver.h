#pragma once

#include <QObject>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Writes files of the book on a thread of its own, one job at a time and in
// the order they were posted. A job posted while another waits replaces it:
// every job writes the whole state it was given, so the newest state wins
// and no older state is ever written after a newer one.
class TBookSaver : public QObject
{
    Q_OBJECT
public:
    // What a job found: `error` when the file could not be written (the old
    // file is then whole), `backupError` when no backup could be kept first.
    struct TReport
    {
        QString error;
        QString backupFolder;
        QString backupError;
    };
    using TJob = std::function<TReport()>;

    explicit TBookSaver(QObject *parent = nullptr);
    // Finishes the running and the waiting job first.
    ~TBookSaver() override;

    void Post(TJob job);
    // Blocks until no job runs or waits, then hands out the reports not yet
    // handed out. Returns at once when there is nothing to wait for.
    void Wait();
    bool Busy() const;

signals:
    // One per job run, in order, on the thread the saver belongs to.
    void finished(const QString &error, const QString &backupFolder, const QString &backupError);

private:
    void Run();
    void Deliver();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    TJob m_waiting;
    bool m_running = false;
    bool m_stop = false;
    std::vector<TReport> m_reports;
    std::thread m_thread;
};
