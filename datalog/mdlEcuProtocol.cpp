#include "datalog/mdlEcuProtocol.h"

#include <algorithm>

namespace ecu {

namespace {
const std::array<TP0Slot, 31> P0Slots = {{
    {0xAB, -1},                                                                         // 0: re-synchronisation
    {0x10, 0},  {0x08, 1},  {0x12, 2},  {0x08, 3},  {0x14, 22}, {0x15, 24}, {0x00, -1}, // 7 unused
    {0x16, 4},  {0x1A, 8},  {0x00, -1},                                                 // 10 unused
    {0x17, 5},  {0x08, 6},  {0x19, 7},  {0x1B, 25}, {0x1D, 29}, {0x1C, 19}, {0x1F, 20}, {0x00, -1}, // 18 unused
    {0x1E, 26}, {0x21, 17}, {0x22, 18}, {0x23, 15}, {0x24, 16}, {0x25, 32}, {0x26, 33}, {0x27, 34},
    {0x28, 35}, {0x20, 10}, {0x29, 11}, {0x08, 12},
}};

// Positions 1..13; 0 and 14 rotate through the slow slots.
const std::array<int, 13> P0Fixed = {1, 2, 3, 4, 5, 6, 8, 11, 12, 13, 29, 30, 28};
const std::array<int, 7> P0SlowA = {15, 20, 22, 16, 19, 24, 26};
const std::array<int, 7> P0SlowB = {14, 21, 23, 17, 9, 25, 27};

const QByteArray P2Handshake = QByteArray::fromHex("4452001700000201014600281f");
} // namespace

bool isSupported(int protocol) { return protocol >= 0 && protocol <= 2; }

QByteArray handshakeRequest(int protocol)
{
    switch (protocol) {
    case 0:
    case 1: return QByteArray(1, static_cast<char>(P0Handshake));
    case 2: return P2Handshake;
    default: return {};
    }
}

QByteArray frameRequest(int protocol)
{
    switch (protocol) {
    case 1: return QByteArray("F");
    case 2: return QByteArray("d");
    default: return {};
    }
}

int expectedReplyLength(int protocol, bool handshake)
{
    if (handshake)
        return 1;
    switch (protocol) {
    case 1: return Protocol1FrameLength;
    case 2: return Protocol2FrameLength;
    default: return 1;
    }
}

THandshake checkHandshake(int protocol, const QByteArray& buffer)
{
    if (buffer.isEmpty())
        return THandshake::Ignored;
    const auto first = static_cast<quint8>(buffer.at(0));
    switch (protocol) {
    case 0: return first == P0HandshakeReply ? THandshake::Accepted : THandshake::Rejected;
    case 1: return first == P1HandshakeReply ? THandshake::Accepted : THandshake::Ignored;
    case 2: return first == P2HandshakeReply ? THandshake::Accepted : THandshake::Ignored;
    default: return THandshake::Ignored;
    }
}

// ------------------------------------------------------------ protocol 0

const TP0Slot& p0Slot(int slot)
{
    static const TP0Slot none{};
    return slot >= 0 && slot < static_cast<int>(P0Slots.size()) ? P0Slots[static_cast<size_t>(slot)] : none;
}

int p0SlotForPosition(int position, int cycle)
{
    const auto r = static_cast<size_t>(((cycle % 7) + 7) % 7);
    if (position == 0)
        return P0SlowA[r];
    if (position == 14)
        return P0SlowB[r];
    if (position >= 1 && position <= 13)
        return P0Fixed[static_cast<size_t>(position - 1)];
    return 0;
}

void TP0Decoder::resync()
{
    m_position = 0;
    m_slot = 0;
}

void TP0Decoder::resumeAt(int position)
{
    m_position = position >= 0 && position < 15 ? position : 0;
    m_slot = p0SlotForPosition(m_position, m_cycle);
}

bool TP0Decoder::consume(quint8 reply, DatalogSample& sample, TSlot0& slot0)
{
    slot0 = TSlot0::None;
    const TP0Slot& s = p0Slot(m_slot);
    if (m_slot == 0)
        slot0 = reply == P0HandshakeReply ? TSlot0::Good : TSlot0::Bad;
    else if (s.sampleByte >= 0)
        sample.setU8(s.sampleByte, reply);
    bool complete = false;
    if (++m_position >= 15) {
        m_position = 0;
        m_cycle = (m_cycle + 1) % 7;
        complete = true;
    }
    m_slot = p0SlotForPosition(m_position, m_cycle);
    return complete;
}

// ------------------------------------------------------------ framed protocols

namespace {
QByteArray header(int protocol) { return protocol == 2 ? QByteArray("OF&") : QByteArray("F&"); }
} // namespace

quint8 frameChecksum(const std::array<quint8, FramePayload>& payload)
{
    unsigned sum = 'F' + '&';
    for (quint8 b : payload)
        sum += b;
    return static_cast<quint8>(sum);
}

TFrameStep frameStep(int protocol, QByteArray& buffer, std::array<quint8, FramePayload>& payload, TFrameStats& stats)
{
    const QByteArray hdr = header(protocol);
    const int frameLen = protocol == 2 ? Protocol2FrameLength : Protocol1FrameLength;
    const qsizetype at = buffer.indexOf(hdr);
    if (at < 0) {
        // Keep a header cut at the end of the buffer; the rest is noise.
        qsizetype keep = std::min<qsizetype>(hdr.size() - 1, buffer.size());
        while (keep > 0 && !buffer.endsWith(hdr.left(keep)))
            --keep;
        stats.noiseBytes += static_cast<quint64>(buffer.size() - keep);
        buffer.remove(0, buffer.size() - keep);
        return TFrameStep::NeedMore;
    }
    if (at > 0) {
        stats.noiseBytes += static_cast<quint64>(at);
        buffer.remove(0, at);
    }
    if (buffer.size() < frameLen)
        return TFrameStep::NeedMore;

    const auto* p = reinterpret_cast<const quint8*>(buffer.constData());
    const int payloadAt = static_cast<int>(hdr.size());
    for (int i = 0; i < FramePayload; ++i)
        payload[static_cast<size_t>(i)] = p[payloadAt + i];
    const bool sumOk = frameChecksum(payload) == p[payloadAt + FramePayload];
    const bool trailerOk = protocol != 2 || p[42] == 'O';
    if (!sumOk || !trailerOk) {
        // Drop only the header's first byte: a good frame may follow inside.
        ++stats.corrupt;
        buffer.remove(0, 1);
        return TFrameStep::Rejected;
    }
    buffer.remove(0, frameLen);
    ++stats.frames;
    return TFrameStep::Accepted;
}

void mapPayload(int protocol, const std::array<quint8, FramePayload>& payload, DatalogSample& s)
{
    const auto put = [&](int from, int to, int count) {
        for (int i = 0; i < count; ++i)
            s.setU8(to + i, payload[static_cast<size_t>(from + i)]);
    };
    put(0, 0, 9);   // 0..8   -> 0..8
    put(9, 10, 11); // 9..19  -> 10..20
    put(20, 22, 7); // 20..26 -> 22..28
    if (protocol == 2) {
        s.setU8(21, payload[26]);
        put(31, 29, 7); // 31..37 -> 29..35
    } else {
        s.setU8(29, payload[31]);
        put(34, 32, 4); // 34..37 -> 32..35
    }
}

bool fillsSampleByte(int protocol, int offset)
{
    if (offset >= DatalogSample::ChannelBytes)
        return true; // the time stamp is always written
    switch (protocol) {
    case 0:
        for (int never : {9, 13, 14, 21, 23, 27, 28, 30, 31})
            if (offset == never)
                return false;
        return true;
    case 1: return offset != 9 && offset != 21 && offset != 30 && offset != 31;
    case 2: return offset != 9;
    default: return false;
    }
}

} // namespace ecu
