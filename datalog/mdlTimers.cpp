#include "datalog/mdlTimers.h"

#include <QTimer>
#include <algorithm>

namespace {
class TQtLinkTimer : public ILinkTimer {
public:
    TQtLinkTimer()
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (onTimeout)
                onTimeout();
        });
    }
    void start(int ms) override { m_timer.start(std::max(0, ms)); }
    void stop() override { m_timer.stop(); }
    [[nodiscard]] bool isActive() const override { return m_timer.isActive(); }
    [[nodiscard]] int interval() const override { return m_timer.interval(); }

private:
    QTimer m_timer;
};
} // namespace

std::unique_ptr<ILinkTimer> TQtTimerFactory::createTimer() { return std::make_unique<TQtLinkTimer>(); }

class TManualTimer : public ILinkTimer {
public:
    explicit TManualTimer(TManualClock* clock) : m_clock(clock) { clock->m_timers.push_back(this); }
    ~TManualTimer() override
    {
        if (m_clock) {
            auto& v = m_clock->m_timers;
            v.erase(std::remove(v.begin(), v.end(), this), v.end());
        }
    }
    void start(int ms) override
    {
        if (!m_clock)
            return;
        m_interval = std::max(0, ms);
        m_due = m_clock->m_absolute + static_cast<quint64>(m_interval);
        m_order = ++m_clock->m_sequence;
        m_active = true;
    }
    void stop() override { m_active = false; }
    [[nodiscard]] bool isActive() const override { return m_active; }
    [[nodiscard]] int interval() const override { return m_interval; }

    TManualClock* m_clock;
    quint64 m_due = 0;
    quint64 m_order = 0;
    int m_interval = 0;
    bool m_active = false;
};

TManualClock::~TManualClock()
{
    for (TManualTimer* t : m_timers)
        t->m_clock = nullptr;
}

std::unique_ptr<ILinkTimer> TManualClock::createTimer() { return std::make_unique<TManualTimer>(this); }

bool TManualClock::fireNext()
{
    TManualTimer* next = nullptr;
    for (TManualTimer* t : m_timers)
        if (t->m_active && (!next || t->m_due < next->m_due || (t->m_due == next->m_due && t->m_order < next->m_order)))
            next = t;
    if (!next)
        return false;
    if (next->m_due > m_absolute) {
        m_now += static_cast<quint32>(next->m_due - m_absolute);
        m_absolute = next->m_due;
    }
    next->m_active = false;
    if (next->onTimeout)
        next->onTimeout();
    return true;
}

void TManualClock::advance(quint32 ms)
{
    const quint64 end = m_absolute + ms;
    for (;;) {
        TManualTimer* next = nullptr;
        for (TManualTimer* t : m_timers)
            if (t->m_active && t->m_due <= end &&
                (!next || t->m_due < next->m_due || (t->m_due == next->m_due && t->m_order < next->m_order)))
                next = t;
        if (!next)
            break;
        fireNext();
    }
    m_now += static_cast<quint32>(end - m_absolute);
    m_absolute = end;
}
