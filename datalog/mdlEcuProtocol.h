#pragma once

// The three ECU datalog wire protocols as pure functions over bytes: what the
// host sends, how replies are recognised and how they fill a DatalogSample.
// The connection (frmTuner) owns timing and retries; the simulator uses the
// encoding side.

#include "datalog/mdlDatalog.h"

#include <QByteArray>
#include <array>

namespace ecu {

constexpr int FramePayload = 38;
constexpr int Protocol1FrameLength = 41; // "F&" + 38 + checksum
constexpr int Protocol2FrameLength = 44; // "OF&" + 38 + checksum + "O" + 1

constexpr quint8 P0Handshake = 0xAB;
constexpr quint8 P0HandshakeReply = 0xCD;
constexpr quint8 P0NextByteRequest = 0x08; // the byte after the one the previous request read
constexpr quint8 P1HandshakeReply = 0xBC;
constexpr quint8 P2HandshakeReply = 'O';

[[nodiscard]] bool isSupported(int protocol); // 0, 1 and 2

// The handshake request; empty for protocols without one.
[[nodiscard]] QByteArray handshakeRequest(int protocol);
// The data request of the framed protocols ("F", "d"); empty otherwise.
[[nodiscard]] QByteArray frameRequest(int protocol);
// Reply bytes to wait for before the decoder runs.
[[nodiscard]] int expectedReplyLength(int protocol, bool handshake);

enum class THandshake { Accepted, Rejected, Ignored };
// Judges a handshake reply buffer (at least one byte). Protocol 0 rejects any
// byte but 0xCD (a failed try); the framed protocols ignore anything that
// does not start with their reply byte.
[[nodiscard]] THandshake checkHandshake(int protocol, const QByteArray& buffer);

// ------------------------------------------------------------ protocol 0

struct TP0Slot {
    quint8 request = 0;
    int sampleByte = -1; // -1: the reply is not stored
};

// Slots by number (0..30); numbers 7, 10 and 18 are unused and return an empty slot.
[[nodiscard]] const TP0Slot& p0Slot(int slot);
// The slot polled at a cycle position (0..14) for a cycle counter (0..6).
[[nodiscard]] int p0SlotForPosition(int position, int cycle);

// The position machine of protocol 0: one reply byte per request, fifteen
// positions per sample, slow channels rotating over seven cycles.
class TP0Decoder {
public:
    enum class TSlot0 { None, Good, Bad }; // outcome of a re-synchronisation reply

    // Back to position 0 with the re-synchronisation slot 0 next.
    void resync();
    // Continues at a position of the current cycle (after a recovery).
    void resumeAt(int position);
    void reset()
    {
        resync();
        m_cycle = 0;
    }
    [[nodiscard]] quint8 request() const { return p0Slot(m_slot).request; }
    [[nodiscard]] int position() const { return m_position; }
    [[nodiscard]] int cycle() const { return m_cycle; }
    [[nodiscard]] int slot() const { return m_slot; }

    // Stores one reply byte for the current position and advances. Returns
    // true when the byte completed a sample.
    bool consume(quint8 reply, DatalogSample& sample, TSlot0& slot0);

private:
    int m_position = 0;
    int m_cycle = 0;
    int m_slot = 0;
};

// ------------------------------------------------------------ framed protocols

enum class TFrameStep {
    Accepted, // one valid frame removed from the buffer; payload filled
    Rejected, // a complete frame failed its checks; its header was dropped
    NeedMore, // no complete frame yet (noise before any header was dropped)
};

struct TFrameStats {
    quint64 frames = 0;
    quint64 corrupt = 0;
    quint64 noiseBytes = 0;
};

// One decoding step over the receive buffer. A frame is examined only when
// it is complete counted from its own header; everything before the header
// is noise and is dropped with it.
TFrameStep frameStep(int protocol, QByteArray& buffer, std::array<quint8, FramePayload>& payload, TFrameStats& stats);

// Copies a payload into the sample bytes that protocol fills.
void mapPayload(int protocol, const std::array<quint8, FramePayload>& payload, DatalogSample& sample);

// 8-bit sum of the 40 bytes from "F" through the last payload byte.
[[nodiscard]] quint8 frameChecksum(const std::array<quint8, FramePayload>& payload);

// Whether a sample byte is filled by the protocol (bytes it never fills keep
// whatever the assembly buffer held).
[[nodiscard]] bool fillsSampleByte(int protocol, int offset);

// The receive buffer never holds more than this many bytes.
constexpr int MaxReceiveBuffer = 4 * Protocol2FrameLength;

} // namespace ecu
