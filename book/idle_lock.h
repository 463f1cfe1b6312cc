#pragma once

#include <QtGlobal>

#include <functional>

// When an unlocked protected book locks itself: after a number of idle
// minutes (0 = never), counted from the user's last input. Never while an
// item holds unsaved typing: the lock waits until that is saved or thrown
// away, and then comes at once, the idle time being long past. The window
// feeds it input and asks it from a timer; the clock is a seam for tests.
class TIdleLock
{
public:
    static constexpr int kDefaultMinutes = 10;
    // Milliseconds of a monotonic clock.
    using Clock = std::function<qint64()>;
    explicit TIdleLock(Clock clock = {});

    // A number out of 0..1440 (a setting edited by hand) takes the default.
    void SetMinutes(int minutes);
    int Minutes() const { return m_minutes; }
    // The user typed, clicked or unlocked: the idle time starts anew.
    void Touch();
    // True when the book should lock now.
    bool Due(bool unsavedTyping) const;
    // How long until Due could first be true; -1 for never.
    qint64 MillisecondsLeft() const;

private:
    Clock m_clock;
    int m_minutes = kDefaultMinutes;
    qint64 m_last = 0;
};
