#include "sim/mdlEcuSim.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct TKey {
    double t; // seconds into the loop
    double rpm;
    double speed;
    double throttle;
};

// The drive loop: idle, pulling away through the gears, cruise, a
// full-throttle pull in third through the VTEC point, a lift-off with fuel
// cut, cruise, a pull in second to the limiter, deceleration to a stop, idle.
const std::array<TKey, 23> Loop = {{
    {0.0, 800, 0, 0},       {8.0, 800, 0, 0},     {8.5, 1500, 2, 25},    {11.0, 3500, 26, 35},   {11.5, 2100, 26, 10},
    {14.0, 3300, 41, 25},   {14.5, 2300, 41, 10}, {16.0, 2700, 49, 15},  {22.0, 2700, 49, 15},   {22.2, 2750, 49, 100},
    {27.0, 8000, 144, 100}, {27.3, 7800, 143, 0}, {31.0, 3300, 60, 0},   {31.5, 2500, 60, 15},   {37.0, 2500, 60, 15},
    {39.0, 1800, 32, 0},    {39.5, 2600, 32, 20}, {40.0, 2600, 32, 100}, {43.5, 8200, 102, 100}, {43.7, 8000, 101, 0},
    {49.0, 1500, 20, 0},    {51.0, 800, 0, 0},    {60.0, 800, 0, 0},
}};

double clampd(double v, double lo, double hi) { return std::min(hi, std::max(lo, v)); }

quint8 byteOf(double v) { return static_cast<quint8>(clampd(std::lround(v), 0, 255)); }

quint16 wordOf(double v) { return static_cast<quint16>(clampd(std::lround(v), 0, 65535)); }

constexpr double Pi = 3.14159265358979323846;

} // namespace

TEngineState TEngineModel::stateAt(quint64 ms) const
{
    const double t = static_cast<double>(ms % LoopMs) / 1000.0;
    const double abs = static_cast<double>(ms) / 1000.0;
    size_t i = 0;
    while (i + 2 < Loop.size() && Loop[i + 1].t <= t)
        ++i;
    const TKey& a = Loop[i];
    const TKey& b = Loop[i + 1];
    const double f = b.t > a.t ? clampd((t - a.t) / (b.t - a.t), 0, 1) : 0;

    TEngineState s;
    s.rpm = a.rpm + (b.rpm - a.rpm) * f;
    s.speedKmh = a.speed + (b.speed - a.speed) * f;
    s.throttlePct = a.throttle + (b.throttle - a.throttle) * f;
    if (s.speedKmh < 1 && s.throttlePct < 1)
        s.rpm += 25 * std::sin(abs * 2 * Pi * 0.7); // idle hunting

    const bool closed = s.throttlePct < 1;
    const bool fuelCut = closed && s.rpm > 1800;
    s.mapMbar = closed ? (s.rpm > 1000 ? 220 : 330) : 300 + 690 * std::pow(std::min(1.0, s.throttlePct / 60), 0.8);
    s.vtec = s.rpm >= 5500 && s.throttlePct > 60;
    s.injectorMs = fuelCut ? 0 : 0.8 + s.mapMbar / 1000 * 9 * (s.vtec ? 1.1 : 1.0);
    s.ignitionDeg = 12 + 22 * std::min(s.rpm, 6000.0) / 6000 - 10 * s.mapMbar / 1000;
    const bool wot = s.throttlePct > 90;
    s.knockDeg = wot && s.rpm > 6000 && static_cast<int>(abs * 10) % 17 == 0 ? 1.0 : 0.0;
    // Fuel cut reads as free air (the sensor's lean end), full throttle runs
    // rich by design, part throttle at stoichiometry.
    if (fuelCut)
        s.lambda = 1.5;
    else if (wot)
        s.lambda = 0.86;
    else
        s.lambda = 1.0;
    s.o2Volts = widebandVolts(s.lambda);
    s.fuelTrimPct = wot || fuelCut ? 0 : 4 * std::sin(abs * 2 * Pi * 0.1);
    s.batteryVolts = 14.1 + 0.1 * std::sin(abs * 2 * Pi * 0.05);
    s.airTempC = 28 + 6 * (1 - std::min(s.speedKmh, 150.0) / 150);
    s.coolantC = std::min(88.0, 70 + abs * 0.3);
    s.atmosphericMbar = 1013;
    s.errorWord = 1u << (StoredCode - 1);
    return s;
}

DatalogSample TEngineModel::encode(const TEngineState& st, quint64 ms)
{
    DatalogSample s;
    const double rpm = std::max(st.rpm, 30.0);
    s.setU16(DatalogSample::CrankPeriod, wordOf(crankPeriodRatio(rpm)));
    s.setU8(DatalogSample::LowCamRow, byteOf(clampd((rpm - 500) / 400, 0, 19)));
    s.setU8(DatalogSample::HighCamRow, byteOf(clampd((rpm - 1000) / 400, 0, 19)));
    s.setU8(DatalogSample::LoadColumn, byteOf(clampd((st.mapMbar - 138) / 69, 0, 14)));
    s.setU16(DatalogSample::Injector, wordOf(st.injectorMs / InjectorMsPerUnit * 4));
    s.setU8(DatalogSample::Ignition, byteOf(st.ignitionDeg * IgnitionBytesPerDegree + IgnitionZeroByte));
    s.setU8(DatalogSample::Knock, byteOf(st.knockDeg * IgnitionBytesPerDegree));
    s.setU8(DatalogSample::O2, byteOf(sensorVoltsToByte(st.o2Volts)));
    s.setU16(DatalogSample::FuelTrim, wordOf((st.fuelTrimPct + 100) * FuelTrimWordsPerPercent));
    s.setU8(13, byteOf(rpm / 64));
    s.setU8(14, 0x40);
    s.setU8(DatalogSample::Status15, st.throttlePct < 1 ? 0x01 : 0x00);
    s.setU8(DatalogSample::Status16, 0x20);
    s.setU8(DatalogSample::Status17, st.speedKmh > 0 ? 0x04 : 0x00);
    s.setU8(DatalogSample::Flags, static_cast<quint8>((st.vtec ? 0x01 : 0x00) | (st.throttlePct > 90 ? 0x02 : 0x00)));
    s.setU8(DatalogSample::Speed, byteOf(st.speedKmh));
    s.setU8(DatalogSample::Battery, byteOf((st.batteryVolts - BatteryZeroVolts) / BatteryVoltsPerBit));
    s.setU8(DatalogSample::Map, byteOf((st.mapMbar - MapZeroMbar) / MapMbarPerBit));
    s.setU8(DatalogSample::TpsVolts, byteOf(sensorVoltsToByte(0.5 + st.throttlePct / 100 * 4.0)));
    s.setU8(DatalogSample::Throttle, byteOf(throttlePercentToByte(st.throttlePct)));
    s.setU8(DatalogSample::AirTemp, celsiusToByte(st.airTempC));
    s.setU8(DatalogSample::Atmospheric, byteOf((st.atmosphericMbar - MapZeroMbar) / MapMbarPerBit));
    s.setU8(27, 0x10);
    s.setU8(28, static_cast<quint8>(ms / 100));
    s.setU8(DatalogSample::Coolant, celsiusToByte(st.coolantC));
    s.setU8(30, 0x55);
    s.setU8(31, static_cast<quint8>(ms / 1000));
    s.setU32(DatalogSample::Errors, st.errorWord);
    s.setTimeStamp(static_cast<quint32>(ms));
    return s;
}

double TEngineModel::widebandVolts(double lambda) { return clampd((lambda - LambdaAtZeroVolts) / LambdaPerVolt, 0, 5); }

DatalogSample TEngineModel::sampleAt(quint64 ms) const
{
    TEngineState st = stateAt(ms);
    DatalogSample s = encode(st, ms);
    const int col = s.u8(DatalogSample::LoadColumn);
    const int row = s.u8(st.vtec ? DatalogSample::HighCamRow : DatalogSample::LowCamRow);
    for (const TRichCell& c : richCells)
        if (c.col == col && c.row == row && c.highCam == st.vtec && st.injectorMs > 0) {
            st.lambda = c.lambda;
            st.o2Volts = widebandVolts(c.lambda);
            s.setU8(DatalogSample::O2, byteOf(sensorVoltsToByte(st.o2Volts)));
        }
    return s;
}

// ------------------------------------------------------------ responder

namespace {
// Where the ECU keeps each channel the host may ask for (protocol 0).
int p0Offset(quint8 request)
{
    switch (request) {
    case 0x10: return 0;
    case 0x12: return 2;
    case 0x14: return 22;
    case 0x15: return 24;
    case 0x16: return 4;
    case 0x17: return 5;
    case 0x19: return 7;
    case 0x1A: return 8;
    case 0x1B: return 25;
    case 0x1C: return 19;
    case 0x1D: return 29;
    case 0x1E: return 26;
    case 0x1F: return 20;
    case 0x20: return 10;
    case 0x21: return 17;
    case 0x22: return 18;
    case 0x23: return 15;
    case 0x24: return 16;
    case 0x25: return 32;
    case 0x26: return 33;
    case 0x27: return 34;
    case 0x28: return 35;
    case 0x29: return 11;
    default: return -2; // not a known channel
    }
}

bool carries(int protocol, int offset)
{
    if (offset >= DatalogSample::ChannelBytes)
        return true;
    switch (protocol) {
    case 0:
        return (offset >= 0 && offset <= 8) || (offset >= 10 && offset <= 12) || (offset >= 15 && offset <= 20) ||
               offset == 22 || (offset >= 24 && offset <= 26) || offset == 29 || offset >= 32;
    case 1:
        return (offset >= 0 && offset <= 8) || (offset >= 10 && offset <= 20) || (offset >= 22 && offset <= 29) ||
               offset >= 32;
    case 2: return offset != 9;
    default: return false;
    }
}

const QByteArray P2HandshakeBytes = QByteArray::fromHex("4452001700000201014600281f");
} // namespace

int TEcuResponder::p0ReadOffset(quint8 request, quint8 previousRequest)
{
    if (request == 0xAB)
        return -1;
    if (request == 0x08) {
        // The high byte of the word the previous request read (or the high-cam
        // row after the low-cam row).
        const int prev = p0Offset(previousRequest);
        return prev >= 0 ? prev + 1 : -2;
    }
    return p0Offset(request);
}

DatalogSample TEcuResponder::carried(int protocol, const DatalogSample& sample)
{
    DatalogSample out;
    for (int i = 0; i < DatalogSample::Size; ++i)
        if (carries(protocol, i))
            out.bytes[static_cast<size_t>(i)] = sample.bytes[static_cast<size_t>(i)];
    if (protocol == 2)
        out.setU8(21, sample.u8(28));
    return out;
}

QByteArray TEcuResponder::frame(int protocol, const DatalogSample& s, bool corruptChecksum)
{
    std::array<quint8, ecu::FramePayload> p{};
    for (int i = 0; i < 9; ++i)
        p[static_cast<size_t>(i)] = s.u8(i);
    for (int i = 0; i < 11; ++i)
        p[static_cast<size_t>(9 + i)] = s.u8(10 + i);
    for (int i = 0; i < 7; ++i)
        p[static_cast<size_t>(20 + i)] = s.u8(22 + i);
    // Bytes the host does not use still carry something, as a real ECU's would.
    for (int i = 27; i <= 30; ++i)
        p[static_cast<size_t>(i)] = static_cast<quint8>(0xA0 + i);
    if (protocol == 2) {
        for (int i = 0; i < 7; ++i)
            p[static_cast<size_t>(31 + i)] = s.u8(29 + i);
    } else {
        p[31] = s.u8(29);
        p[32] = 0x5A;
        p[33] = 0xC3;
        for (int i = 0; i < 4; ++i)
            p[static_cast<size_t>(34 + i)] = s.u8(32 + i);
    }
    unsigned sum = 'F' + '&';
    for (quint8 b : p)
        sum += b;
    auto cks = static_cast<quint8>(sum);
    if (corruptChecksum)
        ++cks;
    QByteArray out;
    if (protocol == 2)
        out += 'O';
    out += "F&";
    out += QByteArray(reinterpret_cast<const char*>(p.data()), ecu::FramePayload);
    out += static_cast<char>(cks);
    if (protocol == 2) {
        out += 'O';
        out += static_cast<char>(0x0D);
    }
    return out;
}

TEcuResponder::TEcuResponder(int protocol, const TEngineModel& engine, TEcuFaults faults)
    : m_protocol(protocol), m_engine(engine), m_faults(faults), m_rng(faults.seed ? faults.seed : 1)
{}

quint8 TEcuResponder::noiseByte()
{
    for (;;) {
        m_rng ^= m_rng << 13;
        m_rng ^= m_rng >> 17;
        m_rng ^= m_rng << 5;
        const auto b = static_cast<quint8>(m_rng);
        // No frame-start characters: with an 8-bit checksum, noise that forms
        // a header could pass as a frame once in 256 tries.
        if (b != 'F' && b != 'O' && b != '&')
            return b;
    }
}

// Counts a request and says whether it is to be answered.
bool TEcuResponder::consumeRequestFault()
{
    ++m_stats.requests;
    if (m_faults.silenceAfter >= 0 && static_cast<qint64>(m_stats.requests) > m_faults.silenceAfter) {
        ++m_stats.unanswered;
        return false;
    }
    if (m_handshaken) {
        ++m_dataRequests;
        if (m_faults.dropEvery > 0 && m_dataRequests % static_cast<quint64>(m_faults.dropEvery) == 0) {
            ++m_stats.dropped;
            return false;
        }
    }
    return true;
}

QByteArray TEcuResponder::answerFrame(quint64 ms)
{
    ++m_frames;
    QByteArray out;
    if (m_faults.noiseEvery > 0 && m_frames % static_cast<quint64>(m_faults.noiseEvery) == 0) {
        for (int i = 0; i < m_faults.noiseBytes; ++i)
            out += static_cast<char>(noiseByte());
        ++m_stats.noiseBursts;
    }
    const bool corrupt =
        m_faults.badChecksumEvery > 0 && m_frames % static_cast<quint64>(m_faults.badChecksumEvery) == 0;
    const DatalogSample s = m_engine.sampleAt(ms);
    out += frame(m_protocol, s, corrupt);
    if (corrupt) {
        ++m_stats.corruptFrames;
    } else {
        ++m_stats.samples;
        if (onSampleSent)
            onSampleSent(carried(m_protocol, s));
    }
    return out;
}

QByteArray TEcuResponder::answerRequest(quint8 request, quint64 ms)
{
    switch (m_protocol) {
    case 0: {
        if (!m_handshaken) {
            if (request != 0xAB || !consumeRequestFault())
                return {};
            m_handshaken = true;
            m_p0Previous = request;
            return QByteArray(1, static_cast<char>(0xCD));
        }
        // A dropped request is one the ECU never saw: it does not move the
        // "next byte" pointer that request 0x08 reads.
        if (!consumeRequestFault())
            return {};
        const quint8 previous = m_p0Previous;
        const int offset = p0ReadOffset(request, previous);
        m_p0Previous = request;
        quint8 reply = 0;
        if (offset == -1) {
            reply = 0xCD;
        } else if (offset >= 0) {
            reply = m_engine.sampleAt(ms).u8(offset);
            m_p0Image.setU8(offset, reply);
        }
        // The host's position: a stream starts with the re-synchronisation
        // request right after the handshake; one elsewhere is a recovery and
        // no position; a recovery re-reads its position, or the word's first
        // byte before a "next byte" request.
        const auto requestAt = [this](int position) {
            return ecu::p0Slot(ecu::p0SlotForPosition(position, m_p0Cycle)).request;
        };
        bool counts = true;
        if (request == 0xAB) {
            counts = previous == 0xAB;
            if (counts)
                m_p0Position = m_p0Cycle = 0;
        } else if (request != requestAt(m_p0Position) && m_p0Position > 0 && request == requestAt(m_p0Position - 1)) {
            --m_p0Position;
        }
        if (counts && ++m_p0Position == 15) {
            m_p0Position = 0;
            m_p0Cycle = (m_p0Cycle + 1) % 7;
            ++m_stats.samples;
            DatalogSample sent = m_p0Image;
            sent.setTimeStamp(static_cast<quint32>(ms));
            if (onSampleSent)
                onSampleSent(sent);
        }
        return QByteArray(1, static_cast<char>(reply));
    }
    case 1:
        if (request == 0xAB) {
            if (!consumeRequestFault())
                return {};
            m_handshaken = true;
            return QByteArray(1, static_cast<char>(0xBC));
        }
        if (request == 'F' && m_handshaken) {
            if (!consumeRequestFault())
                return {};
            return answerFrame(ms);
        }
        return {};
    default: return {};
    }
}

QByteArray TEcuResponder::receive(const QByteArray& bytes, quint64 ms)
{
    QByteArray out;
    for (char c : bytes) {
        const auto b = static_cast<quint8>(c);
        if (m_protocol == 2) {
            // The adapter watches for its 13-byte handshake; after it, "d" asks for a frame.
            m_p2Pending += c;
            if (m_p2Pending.endsWith(P2HandshakeBytes)) {
                m_p2Pending.clear();
                if (consumeRequestFault()) {
                    m_handshaken = true;
                    out += 'O';
                }
                continue;
            }
            if (m_p2Pending.size() > P2HandshakeBytes.size())
                m_p2Pending.remove(0, m_p2Pending.size() - P2HandshakeBytes.size());
            if (b == 'd' && m_handshaken) {
                m_p2Pending.clear();
                if (consumeRequestFault())
                    out += answerFrame(ms);
            }
            continue;
        }
        out += answerRequest(b, ms);
    }
    m_stats.replyBytes += static_cast<quint64>(out.size());
    return out;
}
