#pragma once

#include <QtGlobal>
#include <deque>

// First-in first-out queue of image changes waiting to be sent to the ROM
// emulator: the edit buffer fills it, the emulator link drains it.
struct TRTPCommand {
    quint16 address = 0;
    quint8 value = 0;
};

class TRTPCommandQueue {
public:
    void push(quint16 address, quint8 value) { m_items.push_back({address, value}); }
    [[nodiscard]] bool isEmpty() const { return m_items.empty(); }
    [[nodiscard]] int count() const { return static_cast<int>(m_items.size()); }
    [[nodiscard]] const TRTPCommand& front() const { return m_items.front(); }
    [[nodiscard]] const TRTPCommand& at(int i) const { return m_items.at(static_cast<size_t>(i)); }
    TRTPCommand pop()
    {
        TRTPCommand c = m_items.front();
        m_items.pop_front();
        return c;
    }
    void clear() { m_items.clear(); }

private:
    std::deque<TRTPCommand> m_items;
};
