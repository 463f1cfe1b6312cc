#include "idle_lock.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>

TIdleLock::TIdleLock(Clock clock) : m_clock(std::move(clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer] { return timer->elapsed(); };
    }
    m_last = m_clock();
}

void TIdleLock::SetMinutes(int minutes)
{
    m_minutes = minutes >= 0 && minutes <= 24 * 60 ? minutes : kDefaultMinutes;
}

void TIdleLock::Touch()
{
    m_last = m_clock();
}

qint64 TIdleLock::MillisecondsLeft() const
{
    if (m_minutes == 0)
        return -1;
    return std::max<qint64>(0, m_last + qint64(m_minutes) * 60000 - m_clock());
}

bool TIdleLock::Due(bool unsavedTyping) const
{
    return !unsavedTyping && MillisecondsLeft() == 0;
}
