#pragma once

// When the idle handler connects the emulator by itself. It tries when the
// configured port appears, and again at most every RetryInterval while the
// port exists and connecting keeps failing; a port that is simply there (the
// user disconnected on purpose) is left alone. A connected link whose port
// disappears is disconnected.

#include "settings/mdlClock.h"

class TRTPAutoConnect {
public:
    static constexpr quint32 RetryInterval = 5000;
    enum TAction { None, Connect, Disconnect };

    // One idle tick: what to do now.
    TAction tick(bool enabled, bool connected, bool portExists, quint32 now)
    {
        if (!enabled) {
            m_present = false; // switching it on counts as the port appearing
            return None;
        }
        if (connected) {
            m_present = portExists;
            m_retrying = false;
            return portExists ? None : Disconnect;
        }
        if (!portExists) {
            m_present = false;
            m_retrying = false;
            return None;
        }
        if (!m_present || (m_retrying && ticksPassed(m_lastAttempt, now, RetryInterval))) {
            m_present = true;
            m_lastAttempt = now;
            return Connect;
        }
        return None;
    }
    // The attempt just made failed: try again after the interval.
    void connectFailed(quint32 now)
    {
        m_retrying = true;
        m_lastAttempt = now;
    }
    // The port setting changed: the new port counts as appearing.
    void reset()
    {
        m_present = false;
        m_retrying = false;
    }

private:
    bool m_present = false;
    bool m_retrying = false;
    quint32 m_lastAttempt = 0;
};
