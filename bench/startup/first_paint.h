#pragma once

// The end of a timed start: after a window's first paint, prints the time
// since `startNs` (the moment the parent launched this process) in
// milliseconds, the peak memory in KiB and the processor time used in
// milliseconds, then ends the event loop.
#include "bench/support/bench_support.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>

class TFirstPaint : public QObject
{
public:
    explicit TFirstPaint(std::int64_t startNs) : m_startNs(startNs) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued: the paint in hand finishes first.
            QTimer::singleShot(0, qApp, [this] {
                std::printf("%.2f %ld %.2f\n", double(Bench::NowNs() - m_startNs) / 1e6, Bench::PeakMemoryKb(),
                            Bench::CpuMs());
                std::fflush(stdout);
                qApp->quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::int64_t m_startNs;
    bool m_seen = false;
};
