#include "scripting/mdlScriptWatchdog.h"

#include <QJSEngine>

TScriptWatchdog::TScriptWatchdog() : m_thread([this] { loop(); }) {}

TScriptWatchdog::~TScriptWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TScriptWatchdog::arm(QJSEngine* engine, int limitMs)
{
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_engine = engine;
        m_armed = limitMs > 0 && engine;
        m_fired = false;
        m_paused = 0;
        m_deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        // Hooks evaluate thousands of short calls a second: the thread is
        // woken only when it sleeps without a deadline or past the new one.
        wake = m_armed && (m_idle || m_deadline < m_waitingUntil);
    }
    if (wake)
        m_wake.notify_all();
}

bool TScriptWatchdog::disarm()
{
    QJSEngine* engine = nullptr;
    bool fired = false;
    {
        std::lock_guard lock(m_mutex);
        // Once disarmed under the lock the thread cannot interrupt any more,
        // so clearing afterwards cannot race with a late interruption.
        engine = m_engine;
        fired = m_fired;
        m_armed = false;
        m_fired = false;
        m_engine = nullptr;
    }
    // Not woken: it finds nothing armed at its deadline and goes idle.
    if (engine && engine->isInterrupted())
        engine->setInterrupted(false);
    return fired;
}

void TScriptWatchdog::pause()
{
    std::lock_guard lock(m_mutex);
    if (m_paused++ == 0)
        m_remaining = m_deadline - Clock::now();
}

void TScriptWatchdog::resume()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_paused == 0 || --m_paused > 0)
            return;
        m_deadline = Clock::now() + m_remaining;
        if (!m_idle && m_deadline >= m_waitingUntil)
            return;
    }
    m_wake.notify_all();
}

void TScriptWatchdog::loop()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_armed || m_fired || m_paused > 0) {
            m_idle = true;
            m_wake.wait(lock);
            m_idle = false;
            continue;
        }
        m_waitingUntil = m_deadline;
        m_wake.wait_until(lock, m_waitingUntil);
        m_waitingUntil = Clock::time_point::max();
        if (m_armed && !m_fired && m_paused == 0 && Clock::now() >= m_deadline) {
            m_fired = true;
            m_engine->setInterrupted(true);
        }
    }
}
