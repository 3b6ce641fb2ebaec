#pragma once

// The clock service: a monotonic 32-bit millisecond tick counter since program
// start. It wraps after about 49.7 days, so intervals are always computed as
// unsigned differences (elapsedTicks), never by comparing two tick values.
// Tests install a clock they advance by hand.

#include <QElapsedTimer>
#include <QtGlobal>

class IClock {
public:
    virtual ~IClock() = default;
    [[nodiscard]] virtual quint32 tickCount() const = 0;
};

// Milliseconds from `since` to `now`, correct across one wrap of the counter.
[[nodiscard]] constexpr quint32 elapsedTicks(quint32 since, quint32 now) noexcept { return now - since; }

// True once at least `interval` ms have passed since `since`.
[[nodiscard]] constexpr bool ticksPassed(quint32 since, quint32 now, quint32 interval) noexcept
{
    return elapsedTicks(since, now) >= interval;
}

// The real clock: milliseconds since it was created, from a monotonic source.
class TSystemClock : public IClock {
public:
    TSystemClock() { m_timer.start(); }
    [[nodiscard]] quint32 tickCount() const override
    {
        return static_cast<quint32>(static_cast<quint64>(m_timer.elapsed()));
    }

private:
    QElapsedTimer m_timer;
};
