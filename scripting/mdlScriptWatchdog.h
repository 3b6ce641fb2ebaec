#pragma once

// The watchdog of the script host. Its thread does one thing only: when the
// armed call into script code runs past its deadline, it asks the engine to
// interrupt (QJSEngine::setInterrupted is made for that). Everything else
// stays on the GUI thread: arming, disarming, pausing for a dialog and
// clearing the interruption afterwards.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QJSEngine;

class TScriptWatchdog {
public:
    TScriptWatchdog();
    ~TScriptWatchdog();
    TScriptWatchdog(const TScriptWatchdog&) = delete;
    TScriptWatchdog& operator=(const TScriptWatchdog&) = delete;

    // Starts watching a call into the engine; limitMs <= 0 watches nothing.
    void arm(QJSEngine* engine, int limitMs);
    // Ends the watch. True when the watchdog interrupted the call; the
    // engine's interruption is cleared again either way.
    bool disarm();
    // Time between pause and resume does not count (nested pairs allowed).
    void pause();
    void resume();

private:
    using Clock = std::chrono::steady_clock;
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    QJSEngine* m_engine = nullptr;
    bool m_armed = false;
    bool m_fired = false;
    bool m_quit = false;
    bool m_idle = false;                                         // waiting without a deadline
    Clock::time_point m_waitingUntil = Clock::time_point::max(); // the deadline it sleeps towards
    int m_paused = 0;
    Clock::time_point m_deadline;
    Clock::duration m_remaining{}; // left when paused
    std::thread m_thread;
};
