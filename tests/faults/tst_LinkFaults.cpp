// Line faults against the datalog connection: protocol 0 replies that are
// lost or come late, and a pseudo-terminal whose other end disappears while
// samples stream.

#include "datalog/frmTuner.h"
#include "sim/mdlEcuSim.h"
#include "support/FakeSerialPort.h"
#include "support/TestCli.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <random>

namespace {

// Protocol 0 answers every request with one byte and no checksum: a reply
// that arrives after its request was sent again answers the resend too, and
// one byte more is then on its way than the host asked for. A late reply here
// comes after the request interval but within two. Lost and late
// replies are picked by a seeded generator; the engine stands still (one
// model time), so every sample that completed after the slow channels came
// round once must read the same.
TEST(LinkFaults, Protocol0DroppedAndLateRepliesNeverShiftASample)
{
    struct Row {
        int dropPct, latePct;
        quint32 seed;
    } rows[] = {{0, 0, 1}, {10, 0, 2}, {0, 10, 3}, {8, 8, 4}, {0, 30, 5}};
    std::vector<DatalogSample> reference;
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "drop " << r.dropPct << "% late " << r.latePct << "% seed " << r.seed);
        TManualClock clock;
        TFakeSerialPort port;
        TScriptedMessages messages;
        messages.setDefaultAnswer(mrOk);
        TTunerForm tuner(clock, clock, &port, &messages);
        TTunerSettings s;
        s.protocolIndex = 0;
        s.port.portName = QStringLiteral("fake");
        s.maxTries = 5;
        tuner.setSettings(s);
        std::vector<DatalogSample> samples;
        QObject::connect(&tuner, &TTunerForm::sampleReady, [&](const DatalogSample& d) { samples.push_back(d); });
        TEngineModel engine;
        TEcuResponder ecu(0, engine);
        std::mt19937 random(r.seed);
        std::uniform_int_distribution<int> pct(0, 99);
        struct Reply {
            quint32 due;
            QByteArray bytes;
        };
        std::vector<Reply> line;
        qsizetype answered = 0;
        const int interval = s.effectiveRequestInterval();
        tuner.open();
        for (int ms = 0; ms < 400000 && samples.size() < 60 && tuner.isActive(); ++ms) {
            clock.advance(1);
            while (answered < port.writes().size()) {
                const QByteArray reply = ecu.receive(port.writes()[answered++], 5000);
                const int p = pct(random);
                if (p < r.dropPct)
                    continue;
                const bool late = p < r.dropPct + r.latePct;
                line.push_back({clock.tickCount() + (late ? quint32(interval + 7) : 2u), reply});
            }
            for (auto it = line.begin(); it != line.end();) {
                if (it->due <= clock.tickCount()) {
                    port.inject(it->bytes);
                    it = line.erase(it);
                } else {
                    ++it;
                }
            }
        }
        ASSERT_EQ(samples.size(), 60u) << "the connection kept streaming: state " << tuner.state() << " tries "
                                       << tuner.tries() << " requests " << tuner.stats().requests << " noise "
                                       << tuner.stats().noiseBytes << " now " << clock.tickCount();
        EXPECT_EQ(messages.count(), 0);
        if (reference.empty())
            reference = samples;
        // A slow channel that a recovery skipped may still be unread (0);
        // a byte once read never reads anything but the engine's value.
        std::array<bool, DatalogSample::Size> read{};
        for (size_t i = 0; i < samples.size(); ++i) {
            for (int b = 0; b < DatalogSample::ChannelBytes; ++b) {
                if (!ecu::fillsSampleByte(0, b))
                    continue;
                const auto at = static_cast<size_t>(b);
                read[at] = read[at] || samples[i].u8(b) != 0;
                if (i >= 7 && read[at]) {
                    ASSERT_EQ(samples[i].u8(b), reference[7].u8(b)) << "sample " << i << " byte " << b;
                }
            }
        }
    }
}

} // namespace
