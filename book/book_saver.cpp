#include "book_saver.h"

#include <exception>

TBookSaver::TBookSaver(QObject *parent) : QObject(parent)
{
}

TBookSaver::~TBookSaver()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TBookSaver::Post(TJob job)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = std::move(job);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_all();
}

void TBookSaver::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return bool(m_waiting) || m_stop; });
        if (!m_waiting)
            return; // stopping, and nothing left to write
        TJob job = std::move(m_waiting);
        m_waiting = nullptr;
        m_running = true;
        lock.unlock();
        TReport report;
        try {
            report = job();
        } catch (const std::exception &e) {
            report.error = QString::fromLocal8Bit(e.what());
        } catch (...) {
            report.error = QStringLiteral("An unknown error occurred.");
        }
        job = nullptr; // the state it held goes before the next is taken
        lock.lock();
        m_running = false;
        m_reports.push_back(std::move(report));
        QMetaObject::invokeMethod(this, &TBookSaver::Deliver, Qt::QueuedConnection);
        m_idle.notify_all();
    }
}

void TBookSaver::Wait()
{
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_waiting && !m_running; });
    }
    Deliver();
}

bool TBookSaver::Busy() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting || m_running;
}

void TBookSaver::Deliver()
{
    std::vector<TReport> reports;
    {
        std::lock_guard lock(m_mutex);
        reports.swap(m_reports);
    }
    for (const TReport &r : reports)
        emit finished(r.error, r.backupFolder, r.backupError);
}
