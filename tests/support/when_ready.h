#pragma once

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <functional>

// For a test that must act while the code under test waits in its own event
// loop (a request to a silent server, a modal window): checks `ready` every
// 10 ms from the event loop, so the wait can begin first, and runs `action`
// once it holds, or after `timeoutMs` whatever it says. `end` then runs
// however `action` returned: a failed QCOMPARE returns early, and the wait
// that `end` finishes must not outlive it, or the suite hangs until CTest
// ends it.
inline void WhenReady(std::function<bool()> ready, std::function<void()> action, std::function<void()> end,
                      int timeoutMs = 10000)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        if (!ready() && clock.elapsed() < timeoutMs)
            return;
        poll->stop();
        poll->deleteLater();
        const auto guard = qScopeGuard(end);
        action();
    });
    poll->start();
}
