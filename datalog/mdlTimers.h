#pragma once

// Single-shot timers behind an interface, so the serial links' state machines
// run on QTimer in the program and on a hand-driven clock in tests.

#include "settings/mdlClock.h"

#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

class ILinkTimer {
public:
    virtual ~ILinkTimer() = default;
    // Arms the timer once; a running timer is restarted.
    virtual void start(int ms) = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;
    [[nodiscard]] virtual int interval() const = 0;

    std::function<void()> onTimeout;
};

class ITimerFactory {
public:
    virtual ~ITimerFactory() = default;
    [[nodiscard]] virtual std::unique_ptr<ILinkTimer> createTimer() = 0;
};

// Timers on the event loop (precise timers: the request timer is short).
class TQtTimerFactory : public ITimerFactory {
public:
    [[nodiscard]] std::unique_ptr<ILinkTimer> createTimer() override;
};

// A clock and timers that move only when the test says so. advance() fires
// every timer that falls due, in time order, moving the clock to each expiry.
class TManualClock : public IClock, public ITimerFactory {
public:
    TManualClock() = default;
    ~TManualClock() override;
    TManualClock(const TManualClock&) = delete;
    TManualClock& operator=(const TManualClock&) = delete;

    [[nodiscard]] quint32 tickCount() const override { return m_now; }
    [[nodiscard]] std::unique_ptr<ILinkTimer> createTimer() override;

    void setTick(quint32 now) { m_now = now; }
    void advance(quint32 ms);
    // Fires the earliest armed timer, if any; returns false when none is armed.
    bool fireNext();

private:
    friend class TManualTimer;
    std::vector<class TManualTimer*> m_timers;
    quint32 m_now = 1000;
    quint64 m_absolute = 1000; // unwrapped time
    quint64 m_sequence = 0;
};
