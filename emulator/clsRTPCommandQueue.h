#pragma once

#include "rom/mdlImageObserver.h"

#include <QtGlobal>
#include <deque>

// First-in first-out queue of image changes waiting to be sent to the ROM
// emulator: subscribed to the edit buffer, it collects every byte the buffer
// announces; the emulator link drains it.
struct TRTPCommand {
    quint16 address = 0;
    quint8 value = 0;
};

class TRTPCommandQueue : public IImageChangeObserver {
public:
    void imageByteChanged(quint16 address, quint8 value) override { push(address, value); }
    void imageChangesDiscarded() override { clear(); }

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
