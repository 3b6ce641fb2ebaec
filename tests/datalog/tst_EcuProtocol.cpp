// The wire protocols and sample conversions as pure functions.

#include "datalog/mdlEcuProtocol.h"
#include "sim/mdlEcuSim.h"

#include <gtest/gtest.h>

#include <set>

namespace {

DatalogSample engineSample(quint64 ms) { return TEngineModel().sampleAt(ms); }

// Decodes everything in the buffer the way the connection does.
struct TDecodeRun {
    std::vector<DatalogSample> samples;
    ecu::TFrameStats stats;
};

TDecodeRun decodeAll(int protocol, QByteArray buffer)
{
    TDecodeRun run;
    DatalogSample assembly;
    std::array<quint8, ecu::FramePayload> payload{};
    for (;;) {
        const auto step = ecu::frameStep(protocol, buffer, payload, run.stats);
        if (step == ecu::TFrameStep::NeedMore)
            break;
        if (step == ecu::TFrameStep::Accepted) {
            ecu::mapPayload(protocol, payload, assembly);
            run.samples.push_back(assembly);
        }
    }
    return run;
}

} // namespace

TEST(EcuProtocol, RequestsAndReplyLengths)
{
    EXPECT_EQ(ecu::handshakeRequest(0), QByteArray("\xAB", 1));
    EXPECT_EQ(ecu::handshakeRequest(1), QByteArray("\xAB", 1));
    EXPECT_EQ(ecu::handshakeRequest(2), QByteArray::fromHex("4452001700000201014600281f"));
    EXPECT_TRUE(ecu::handshakeRequest(3).isEmpty());
    EXPECT_EQ(ecu::frameRequest(1), QByteArray("F"));
    EXPECT_EQ(ecu::frameRequest(2), QByteArray("d"));
    EXPECT_EQ(ecu::expectedReplyLength(1, false), 41);
    EXPECT_EQ(ecu::expectedReplyLength(2, false), 44);
    EXPECT_EQ(ecu::expectedReplyLength(0, false), 1);
    EXPECT_EQ(ecu::expectedReplyLength(2, true), 1);
}

TEST(EcuProtocol, HandshakeReplies)
{
    struct Row {
        int protocol;
        QByteArray reply;
        ecu::THandshake expected;
    };
    const Row rows[] = {
        {0, QByteArray("\xCD", 1), ecu::THandshake::Accepted},
        {0, QByteArray("\xBC", 1), ecu::THandshake::Rejected}, // any other byte is a failed try
        {1, QByteArray("\xBC", 1), ecu::THandshake::Accepted},
        {1, QByteArray("\x00\xBC", 2), ecu::THandshake::Ignored}, // must be the first byte
        {2, QByteArray("O"), ecu::THandshake::Accepted},
        {2, QByteArray("o"), ecu::THandshake::Ignored},
        {4, QByteArray("\xCD", 1), ecu::THandshake::Ignored}, // protocols 3..5 never connect
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ecu::checkHandshake(r.protocol, r.reply), r.expected)
            << r.protocol << " " << r.reply.toHex().constData();
    }
}

TEST(EcuProtocol, Protocol0CycleRefreshesEveryChannelWithinSevenSamples)
{
    // Across seven cycles every byte protocol 0 carries is requested, the
    // fast ones in every cycle; the ones it never fills are never written.
    std::set<int> written;
    std::map<int, int> perCycle;
    for (int r = 0; r < 7; ++r)
        for (int pos = 0; pos < 15; ++pos) {
            const int slot = ecu::p0SlotForPosition(pos, r);
            const int at = ecu::p0Slot(slot).sampleByte;
            ASSERT_GE(at, 0) << "position " << pos << " cycle " << r;
            written.insert(at);
            ++perCycle[at];
        }
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(written.count(i) == 1, ecu::fillsSampleByte(0, i)) << "byte " << i;
    }
    for (int fast : {0, 1, 2, 3, 22, 24, 4, 5, 6, 7, 11, 12, 10}) {
        EXPECT_EQ(perCycle[fast], 7) << "fast byte " << fast;
    }
}

TEST(EcuProtocol, Protocol0HighByteRequestFollowsItsLowByte)
{
    // Request 0x08 reads "the next byte" of the previous request, so it must
    // directly follow the request that fills the byte before it.
    for (int r = 0; r < 7; ++r)
        for (int pos = 1; pos < 15; ++pos) {
            const auto& s = ecu::p0Slot(ecu::p0SlotForPosition(pos, r));
            if (s.request != 0x08)
                continue;
            const auto& prev = ecu::p0Slot(ecu::p0SlotForPosition(pos - 1, r));
            EXPECT_EQ(prev.sampleByte + 1, s.sampleByte) << "position " << pos;
        }
}

TEST(EcuProtocol, Protocol0DecoderMatchesTheEcuSideByteForByte)
{
    // The host's position machine against the simulated ECU's own register
    // map: the sample the host assembles equals what the ECU sent.
    TEngineModel engine;
    TEcuResponder ecuSide(0, engine);
    std::vector<DatalogSample> sent;
    ecuSide.onSampleSent = [&](const DatalogSample& s) { sent.push_back(s); };
    ASSERT_EQ(ecuSide.receive(QByteArray("\xAB", 1), 0), QByteArray("\xCD", 1));

    ecu::TP0Decoder dec;
    dec.reset();
    DatalogSample assembly;
    std::vector<DatalogSample> got;
    for (int i = 0; i < 15 * 21; ++i) {
        const QByteArray reply = ecuSide.receive(QByteArray(1, static_cast<char>(dec.request())), 10 * i);
        ASSERT_EQ(reply.size(), 1);
        ecu::TP0Decoder::TSlot0 s0;
        if (dec.consume(static_cast<quint8>(reply[0]), assembly, s0))
            got.push_back(assembly);
        if (i == 0) {
            EXPECT_EQ(s0, ecu::TP0Decoder::TSlot0::Good); // the re-synchronisation slot
        }
    }
    ASSERT_EQ(got.size(), 21u);
    ASSERT_EQ(sent.size(), 21u);
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_TRUE(got[k].sameChannels(sent[k])) << "sample " << k;
    }
}

TEST(EcuProtocol, FramesDecodeToTheBytesTheProtocolCarries)
{
    for (int protocol : {1, 2}) {
        const DatalogSample s = engineSample(24500); // a VTEC pull: every channel busy
        const QByteArray frame = TEcuResponder::frame(protocol, s);
        ASSERT_EQ(frame.size(), ecu::expectedReplyLength(protocol, false));
        const TDecodeRun run = decodeAll(protocol, frame);
        ASSERT_EQ(run.samples.size(), 1u) << protocol;
        EXPECT_TRUE(run.samples[0].sameChannels(TEcuResponder::carried(protocol, s))) << protocol;
        EXPECT_EQ(run.samples[0].u8(21), protocol == 2 ? s.u8(28) : 0) << "payload 26 copied to byte 21";
        for (int i = 0; i < 36; ++i)
            if (!ecu::fillsSampleByte(protocol, i)) {
                EXPECT_EQ(run.samples[0].u8(i), 0) << "protocol " << protocol << " byte " << i;
            }
    }
}

TEST(EcuProtocol, FrameReaderCases)
{
    // Table of line conditions, each checked for both framed protocols.
    struct Row {
        const char* what;
        std::function<QByteArray(int protocol)> buffer;
        size_t samples;
        quint64 corrupt;
        bool leavesBytes; // a partial frame waits for the rest
    };
    const DatalogSample a = engineSample(1000);
    const DatalogSample b = engineSample(25000);
    const auto f = [&](int p, const DatalogSample& s, bool bad = false) { return TEcuResponder::frame(p, s, bad); };
    const Row rows[] = {
        {"clean frame", [&](int p) { return f(p, a); }, 1, 0, false},
        {"noise before the frame", [&](int p) { return QByteArray("\x01\x02\x99\x00\x13", 5) + f(p, a); }, 1, 0, false},
        {"header split at the end waits", [&](int p) { return f(p, a).left(p == 2 ? 2 : 1); }, 0, 0, true},
        {"partial frame waits", [&](int p) { return f(p, a).left(30); }, 0, 0, true},
        {"checksum off by one is rejected", [&](int p) { return f(p, a, true); }, 0, 1, false},
        {"good frame after a bad one is found", [&](int p) { return f(p, a, true) + f(p, b); }, 1, 1, false},
        {"a cut frame followed by a full one", [&](int p) { return f(p, a).left(20) + f(p, b); }, 1, 1, false},
        {"two frames in one chunk", [&](int p) { return f(p, a) + f(p, b); }, 2, 0, false},
        {"noise only", [&](int) { return QByteArray(60, '\x11'); }, 0, 0, false},
    };
    for (int protocol : {1, 2})
        for (const Row& r : rows) {
            QByteArray buf = r.buffer(protocol);
            TDecodeRun run;
            DatalogSample assembly;
            std::array<quint8, ecu::FramePayload> payload{};
            for (;;) {
                const auto step = ecu::frameStep(protocol, buf, payload, run.stats);
                if (step == ecu::TFrameStep::NeedMore)
                    break;
                if (step == ecu::TFrameStep::Accepted) {
                    ecu::mapPayload(protocol, payload, assembly);
                    run.samples.push_back(assembly);
                }
            }
            EXPECT_EQ(run.samples.size(), r.samples) << r.what << " p" << protocol;
            EXPECT_EQ(run.stats.corrupt, r.corrupt) << r.what << " p" << protocol;
            EXPECT_EQ(!buf.isEmpty(), r.leavesBytes) << r.what << " p" << protocol;
            EXPECT_LT(buf.size(), ecu::expectedReplyLength(protocol, false)) << r.what;
            if (!run.samples.empty()) {
                EXPECT_TRUE(run.samples.back().sameChannels(
                    TEcuResponder::carried(protocol, r.samples == 2 || r.corrupt ? b : a)))
                    << r.what << " p" << protocol;
            }
        }
}

TEST(EcuProtocol, Protocol2NeedsItsTrailer)
{
    QByteArray frame = TEcuResponder::frame(2, engineSample(5000));
    frame[42] = 'X'; // the "O" after the checksum
    EXPECT_TRUE(decodeAll(2, frame).samples.empty());
}

TEST(EcuProtocol, FrameSplitIntoSingleBytesDecodesOnce)
{
    for (int protocol : {1, 2}) {
        const QByteArray frame = QByteArray("\x55\x66", 2) + TEcuResponder::frame(protocol, engineSample(30000));
        QByteArray buf;
        int decoded = 0;
        ecu::TFrameStats st;
        std::array<quint8, ecu::FramePayload> payload{};
        for (char c : frame) {
            buf += c;
            while (ecu::frameStep(protocol, buf, payload, st) == ecu::TFrameStep::Accepted)
                ++decoded;
        }
        EXPECT_EQ(decoded, 1) << protocol;
        EXPECT_EQ(st.noiseBytes, 2u) << protocol;
    }
}

TEST(DatalogSample, Conversions)
{
    DatalogSample s;
    s.setU16(DatalogSample::CrankPeriod, 1875); // 1000 rpm
    s.setU16(DatalogSample::Injector, 400);     // 100 x 0.0173 ms
    s.setU8(DatalogSample::Ignition, 24 + 40);  // 10 degrees
    s.setU8(DatalogSample::Speed, 100);
    s.setU8(DatalogSample::Atmospheric, 148);
    s.setU8(DatalogSample::Throttle, 24);
    s.setU16(DatalogSample::FuelTrim, 32768);
    s.setU8(DatalogSample::Map, 0);
    TSampleContext ctx;
    ctx.ignitionOffset = 2;
    EXPECT_EQ(datalog::rpm(s), 1000);
    EXPECT_DOUBLE_EQ(datalog::injectorMs(s), 100 * 0.0173);
    EXPECT_NEAR(datalog::dutyCycle(s), 1.73 / 1.2, 1e-12);
    EXPECT_DOUBLE_EQ(datalog::ignition(s, ctx), 12.0);
    EXPECT_EQ(datalog::atmosphericMbar(s), 1010); // 148 x 7.221 = 1068.7 -> 1069 - 59
    EXPECT_DOUBLE_EQ(datalog::throttlePercent(s), 0.0);
    EXPECT_NEAR(datalog::fuelTrim(s), 0.0, 1e-12);
    EXPECT_EQ(datalog::mapMbar(s, ctx), -59); // no ROM: the sensor formula
    EXPECT_EQ(datalog::boostMbar(s, ctx, 1013), 0);
    EXPECT_DOUBLE_EQ(datalog::speedMph(s), 62.0);

    // A zero crank period is no engine speed, not a division by zero.
    s.setU16(DatalogSample::CrankPeriod, 0);
    EXPECT_FALSE(datalog::rpmValid(s));
    EXPECT_EQ(datalog::rpm(s), 0);
    EXPECT_EQ(datalog::dutyCycle(s), 0.0);
}

TEST(DatalogSample, GearFromThresholds)
{
    TSampleContext ctx;
    ctx.hasGearTable = true;
    ctx.gearThresholds = {10, 20, 30, 40};
    struct Row {
        int speed;
        int period;
        int gear;
    };
    // x = (period x speed) >> 8 against 10, 20, 30, 40
    const Row rows[] = {
        {0, 5000, 0},    // standing still
        {1, 9 << 8, 1},  // x = 9
        {1, 10 << 8, 2}, // x = 10: reaching a threshold passes it
        {2, 29 << 7, 3}, // x = 29
        {4, 30 << 6, 4}, // x = 30
        {1, (39 << 8) + 255, 4},
        {1, 40 << 8, 5},
        {255, 65535, 5}, // x = 65280: at most 5
    };
    for (const Row& r : rows) {
        DatalogSample s;
        s.setU8(DatalogSample::Speed, static_cast<quint8>(r.speed));
        s.setU16(DatalogSample::CrankPeriod, static_cast<quint16>(r.period));
        EXPECT_EQ(datalog::gear(s, ctx), r.gear) << r.speed << " " << r.period;
    }
    // Thresholds are walked in order: a low later threshold does not count
    // once an earlier one stopped the walk.
    ctx.gearThresholds = {10, 50, 5, 5};
    DatalogSample s;
    s.setU8(DatalogSample::Speed, 1);
    s.setU16(DatalogSample::CrankPeriod, 20 << 8); // x = 20
    EXPECT_EQ(datalog::gear(s, ctx), 2);
    // No ROM: gear table absent, gear 0.
    EXPECT_EQ(datalog::gear(s, TSampleContext()), 0);
}

TEST(DatalogSample, TemperatureTableAndReverse)
{
    EXPECT_EQ(TemperatureTable[0], 140);
    EXPECT_EQ(TemperatureTable[199], 0);
    EXPECT_EQ(TemperatureTable[255], -30);
    struct Row {
        double c;
        int raw;
    };
    const Row rows[] = {
        {150, 0},                            // above the first entry
        {140, 0},   {-31, 255},              // below the last entry
        {-30, 255}, {0, 199},   {0.05, 199}, // between 0.1 (198) and 0 (199): equal distance -> higher index
        {139, 1},                            // 140 and 138 are equally far: the higher index
        {77.9, 39},                          // nearest of 78.4 / 77.8
    };
    for (const Row& r : rows) {
        EXPECT_EQ(celsiusToByte(r.c), r.raw) << r.c;
    }
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(TemperatureTable[celsiusToByte(TemperatureTable[b])], TemperatureTable[b]) << b;
    }
}

TEST(DatalogSample, ErrorCodeTexts)
{
    EXPECT_EQ(errorCodesShort(0x00000005), QStringLiteral("1 3 "));
    EXPECT_EQ(errorCodesShort(0), QString());
    EXPECT_EQ(errorCodesShort(0x80000000u), QStringLiteral("32 "));
    EXPECT_EQ(errorCodesLong(0x00000201), QStringLiteral(" 1 : O2 Sensor A                             \r\n"
                                                         "10 : Intake Air Temp Sensor                  \r\n"));
    EXPECT_STREQ(DiagnosticCodeNames[18], "Auto Trans Lockup Control Solenoid");
    DatalogSample marker;
    marker.setU32(DatalogSample::Errors, 0xFFFFFFFF);
    EXPECT_TRUE(marker.isMarker());
    marker.setU8(DatalogSample::Errors + 3, 0x7F);
    EXPECT_FALSE(marker.isMarker());
}

TEST(EngineModel, DriveLoopIsPlausible)
{
    TEngineModel engine;
    bool sawVtec = false, sawIdle = false, sawCut = false, sawCruise = false;
    int maxRpm = 0;
    for (quint64 ms = 0; ms < TEngineModel::LoopMs; ms += 50) {
        const DatalogSample s = engine.sampleAt(ms);
        const int r = datalog::rpm(s);
        maxRpm = std::max(maxRpm, r);
        sawVtec |= s.vtec();
        sawIdle |= r < 900 && datalog::speedKmh(s) == 0;
        sawCut |= s.u16(DatalogSample::Injector) == 0 && r > 2000;
        sawCruise |= datalog::speedKmh(s) >= 45 && datalog::throttlePercent(s) < 20 && datalog::throttlePercent(s) > 5;
        EXPECT_EQ(s.errorWord(), 1u << (TEngineModel::StoredCode - 1));
        if (s.vtec()) {
            EXPECT_GE(r, 5400) << ms;
        }
    }
    EXPECT_TRUE(sawVtec && sawIdle && sawCut && sawCruise);
    EXPECT_GE(maxRpm, 7900);
}
