// The datalog connection's state machine on a fake port and a hand-driven clock.

#include "datalog/frmTuner.h"
#include "sim/mdlEcuSim.h"
#include "support/FakeSerialPort.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

namespace {

class TFakeEmulator : public IEmulatorPortShare {
public:
    int code = 3;
    bool toolbar = false;
    TFakeSerialPort serial;
    [[nodiscard]] int hardwareCode() const override { return code; }
    [[nodiscard]] ISerialPort* port() override { return &serial; }
    [[nodiscard]] bool toolbarVisible() const override { return toolbar; }
};

struct TLink {
    TManualClock clock;
    TFakeSerialPort port;
    TScriptedMessages messages;
    TTunerForm tuner{clock, clock, &port, &messages};
    std::vector<DatalogSample> samples;
    TEngineModel engine;

    explicit TLink(int protocol, int maxTries = 3)
    {
        TTunerSettings s;
        s.protocolIndex = protocol;
        s.port.portName = QStringLiteral("/dev/ttyUSB7");
        s.maxTries = maxTries;
        tuner.setSettings(s);
        QObject::connect(&tuner, &TTunerForm::sampleReady, [this](const DatalogSample& d) { samples.push_back(d); });
        port.setPortName(QStringLiteral("/dev/ttyUSB7"));
        messages.setDefaultAnswer(mrOk);
    }
    [[nodiscard]] int interval() const { return tuner.settings().effectiveRequestInterval(); }
    [[nodiscard]] QByteArray handshakeReply() const
    {
        switch (tuner.settings().protocolIndex) {
        case 0: return QByteArray("\xCD", 1);
        case 1: return QByteArray("\xBC", 1);
        default: return QByteArray("O");
        }
    }
    // Open, answer the handshake and let the supervisor start streaming.
    void connect()
    {
        tuner.open();
        clock.advance(250);
        port.inject(handshakeReply());
        clock.advance(250);
        ASSERT_EQ(tuner.state(), TTunerForm::StateStreaming);
    }
    [[nodiscard]] QByteArray frame(quint64 ms, bool bad = false) const
    {
        return TEcuResponder::frame(tuner.settings().protocolIndex, engine.sampleAt(ms), bad);
    }
    [[nodiscard]] int writesOf(const QByteArray& request) const
    {
        return static_cast<int>(std::count(port.writes().begin(), port.writes().end(), request));
    }
};

} // namespace

TEST(TunerForm, HandshakeThenStreamingForEachProtocol)
{
    for (int protocol : {0, 1, 2}) {
        TLink link(protocol);
        link.tuner.open();
        EXPECT_TRUE(link.tuner.isActive());
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateOpen);
        EXPECT_TRUE(link.port.writes().isEmpty()) << "nothing is sent before the supervisor runs";
        link.clock.advance(250);
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateHandshakeSent);
        ASSERT_EQ(link.port.writes().size(), 1);
        EXPECT_EQ(link.port.writes()[0], ecu::handshakeRequest(protocol));
        link.port.inject(link.handshakeReply());
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateHandshakeAccepted);
        link.clock.advance(250);
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateStreaming);
        const QByteArray first = link.port.writes().last();
        if (protocol == 0) {
            EXPECT_EQ(first, QByteArray("\xAB", 1)) << "the first request re-synchronises";
        } else {
            EXPECT_EQ(first, ecu::frameRequest(protocol));
            link.clock.advance(3);
            link.port.inject(link.frame(500));
            ASSERT_EQ(link.samples.size(), 1u);
            EXPECT_EQ(link.samples[0].timeStamp(), link.clock.tickCount());
            EXPECT_TRUE(link.samples[0].sameChannels(TEcuResponder::carried(protocol, link.engine.sampleAt(500))));
            EXPECT_EQ(link.port.writes().last(), ecu::frameRequest(protocol)) << "next request at once";
            EXPECT_EQ(link.tuner.tries(), 1);
        }
        EXPECT_EQ(link.messages.count(), 0);
    }
}

TEST(TunerForm, TimesOutAfterExactlyMaxTriesPlusOneRequests)
{
    // With MaxTries 3: four unanswered requests keep the link alive; the
    // request after the fourth is not sent and the link ends timed out.
    for (int protocol : {0, 1, 2}) {
        TLink link(protocol, 3);
        link.connect();
        link.port.clearWrites();
        int sent = 1; // the first data request went out on the supervisor tick
        for (int i = 0; i < 10 && link.tuner.state() == TTunerForm::StateStreaming; ++i) {
            const int before = static_cast<int>(link.port.writes().size());
            link.clock.advance(static_cast<quint32>(link.interval()));
            sent += static_cast<int>(link.port.writes().size()) - before;
        }
        EXPECT_EQ(sent, 4) << protocol;
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateFailed);
        link.clock.advance(250);
        ASSERT_EQ(link.messages.count(), 1);
        EXPECT_EQ(link.messages.last().text, QStringLiteral("Connection timed out."));
        EXPECT_EQ(link.messages.last().title, QStringLiteral("Datalog Error"));
        EXPECT_FALSE(link.tuner.isActive());
        EXPECT_FALSE(link.port.isOpen());
    }
}

TEST(TunerForm, TryCounterIsWideEnoughForLargeMaxTries)
{
    // An 8-bit counter wraps at 255 and never exceeds 300: the link would poll
    // a dead ECU forever.
    TLink link(1, 300);
    link.connect();
    int requests = 1;
    link.port.clearWrites();
    for (int i = 0; i < 400 && link.tuner.state() == TTunerForm::StateStreaming; ++i)
        link.clock.advance(static_cast<quint32>(link.interval()));
    requests += static_cast<int>(link.port.writes().size());
    EXPECT_EQ(link.tuner.state(), TTunerForm::StateFailed);
    EXPECT_EQ(requests, 301);
}

TEST(TunerForm, MaxTriesZeroNeverTimesOut)
{
    TLink link(2, 0);
    link.connect();
    link.clock.advance(static_cast<quint32>(link.interval() * 500));
    EXPECT_EQ(link.tuner.state(), TTunerForm::StateStreaming);
    EXPECT_GE(link.writesOf("d"), 500);
    link.tuner.close();
    EXPECT_EQ(link.tuner.state(), TTunerForm::StateClosed);
    EXPECT_FALSE(link.port.isOpen());
    EXPECT_EQ(link.messages.count(), 0);
}

TEST(TunerForm, FailureMessages)
{
    struct Row {
        const char* what;
        std::function<void(TLink&)> provoke;
        QString text;
        QString title;
    };
    const Row rows[] = {
        {"port refuses to open",
         [](TLink& l) {
             l.port.refuseOpen = true;
             l.tuner.open();
         },
         QStringLiteral("/dev/ttyUSB7 failed to open."), QStringLiteral("Bad Port")},
        // A typed port path lost at restart used to open a port named "".
        {"no port name",
         [](TLink& l) {
             TTunerSettings t = l.tuner.settings();
             t.port.portName = QStringLiteral(" ");
             l.tuner.setSettings(t);
             l.tuner.open();
         },
         QStringLiteral("No datalog port is chosen. Type one in Datalog > Datalog Port or pick one in the settings."),
         QStringLiteral("Bad Port")},
        {"wrong protocol 0 handshake byte, every time",
         [](TLink& l) {
             l.tuner.open();
             l.clock.advance(250);
             for (int i = 0; i < 10 && l.tuner.isActive(); ++i) {
                 l.port.inject("\x42");
                 l.clock.advance(static_cast<quint32>(l.interval()));
             }
             l.clock.advance(250);
         },
         QStringLiteral("Bad response received. Check your settings."), QStringLiteral("Connection Error")},
        {"silent ECU during the handshake",
         [](TLink& l) {
             l.tuner.open();
             l.clock.advance(3000);
         },
         QStringLiteral("Connection timed out."), QStringLiteral("Datalog Error")},
        {"port lost while streaming",
         [](TLink& l) {
             l.connect();
             l.port.failPort(QStringLiteral("Input/output error"));
             l.clock.advance(250);
         },
         QStringLiteral("An unknown datalogging error occured."), QStringLiteral("Datalog Error")},
    };
    for (const Row& r : rows) {
        TLink link(0);
        r.provoke(link);
        ASSERT_EQ(link.messages.count(), 1) << r.what;
        EXPECT_EQ(link.messages.last().text, r.text) << r.what;
        EXPECT_EQ(link.messages.last().title, r.title) << r.what;
        EXPECT_EQ(link.messages.last().kind, TMsgKind::Error) << r.what;
        EXPECT_FALSE(link.tuner.isActive()) << r.what;
    }
}

// The first Connect after a streaming session failed with "Bad response": the
// reply to the last request arrived before the new handshake was sent.
TEST(TunerForm, StaleReplyBytesNeverReachTheHandshake)
{
    for (int protocol : {0, 1, 2}) {
        TLink link(protocol);
        link.connect();
        link.port.leaveUnread(link.frame(1000)); // still in the driver at the disconnect
        link.tuner.close();
        link.tuner.open();
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateOpen) << protocol;
        link.port.inject(link.frame(1100)); // in flight, delivered before the handshake
        link.port.leaveUnread(link.frame(1200));
        link.clock.advance(250);
        ASSERT_EQ(link.tuner.state(), TTunerForm::StateHandshakeSent) << protocol;
        link.port.deliverUnread(); // nothing: the handshake dropped the driver's input
        link.port.inject(link.handshakeReply());
        link.clock.advance(250);
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateStreaming) << protocol;
        EXPECT_EQ(link.messages.count(), 0) << protocol;
    }
}

// A walkthrough on a loaded machine saw a six-minute stall with nothing
// recorded. When the event loop comes back, the clock is far ahead, the retry
// timer overdue and a reply waits in the driver: the link must stream on.
TEST(TunerForm, StreamsOnAfterALongEventLoopStall)
{
    for (int protocol : {0, 1, 2}) {
        TLink link(protocol);
        TEcuResponder ecu(protocol, link.engine);
        qsizetype answered = 0;
        quint64 modelMs = 0;
        // Answers the requests written so far, or leaves the replies in the driver.
        auto answer = [&](bool deliver) {
            const qsizetype written = link.port.writes().size(); // a reply sends the next request at once
            while (answered < written) {
                modelMs += 20;
                const QByteArray reply = ecu.receive(link.port.writes()[answered++], modelMs);
                if (deliver)
                    link.port.inject(reply);
                else
                    link.port.leaveUnread(reply);
            }
        };
        // Until `count` more samples came in (a protocol 0 sample takes many requests).
        auto stream = [&](size_t count) {
            const size_t target = link.samples.size() + count;
            for (int i = 0; i < 5000 && link.samples.size() < target && link.tuner.isActive(); ++i) {
                link.clock.advance(5);
                answer(true);
            }
        };
        link.tuner.open();
        stream(10);
        ASSERT_EQ(link.tuner.state(), TTunerForm::StateStreaming) << protocol;
        const size_t before = link.samples.size();

        link.clock.advance(2);
        answer(false);
        const quint32 resumed = link.clock.tickCount() + 6 * 60 * 1000;
        link.clock.setTick(resumed);
        while (link.clock.fireNext() && link.port.writes().size() == answered) {} // the overdue timers run first
        link.port.deliverUnread();
        stream(11);
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateStreaming) << protocol;
        EXPECT_EQ(link.messages.count(), 0) << protocol;
        ASSERT_GT(link.samples.size(), before + 10) << protocol;
        EXPECT_GE(link.samples.back().timeStamp(), resumed) << protocol;
    }
}

TEST(TunerForm, Protocol0TwoBytesInOneChunkSendOneRequest)
{
    TLink link(0);
    link.connect();
    link.port.clearWrites();
    link.port.inject(QByteArray("\xCD\x27", 2)); // resync reply + crank period low byte
    EXPECT_EQ(link.tuner.p0().position(), 2);
    ASSERT_EQ(link.port.writes().size(), 1);
    EXPECT_EQ(link.port.writes()[0], QByteArray("\x08", 1)); // position 2: the period's high byte
}

TEST(TunerForm, CorruptFramesAreNeverDispatchedAndTheLinkCarriesOn)
{
    for (int protocol : {1, 2}) {
        TLink link(protocol);
        link.connect();
        link.port.inject(link.frame(1000, true));
        EXPECT_TRUE(link.samples.empty());
        EXPECT_EQ(link.tuner.stats().corruptFrames, 1u);
        // The retry brings a good frame; noise before it is dropped.
        link.clock.advance(static_cast<quint32>(link.interval()));
        link.port.inject(QByteArray("\x13\x37\x00", 3) + link.frame(1100));
        ASSERT_EQ(link.samples.size(), 1u);
        EXPECT_TRUE(link.samples[0].sameChannels(TEcuResponder::carried(protocol, link.engine.sampleAt(1100))));
        EXPECT_EQ(link.tuner.state(), TTunerForm::StateStreaming);
        EXPECT_EQ(link.messages.count(), 0);
    }
}

TEST(TunerForm, EndlessNoiseStillTimesOut)
{
    // Bytes that never form a frame must not keep the request timer alive.
    TLink link(1, 3);
    link.connect();
    for (int i = 0; i < 200 && link.tuner.isActive(); ++i) {
        link.port.inject(QByteArray(17, '\x21'));
        link.clock.advance(10);
    }
    EXPECT_FALSE(link.tuner.isActive());
    EXPECT_EQ(link.messages.last().text, QStringLiteral("Connection timed out."));
    EXPECT_GT(link.tuner.stats().noiseBytes, 0u);
}

TEST(TunerForm, ReceiveBufferIsBounded)
{
    TLink link(2);
    link.connect();
    // A flood in one chunk, and a partial frame left waiting.
    link.port.inject(QByteArray(100000, 'O'));
    link.port.inject(link.frame(3000).left(30));
    link.port.inject(link.frame(3000).mid(30));
    EXPECT_EQ(link.samples.size(), 1u);
    EXPECT_GE(link.tuner.stats().overflowBytes + link.tuner.stats().noiseBytes, 99000u);
}

TEST(TunerForm, ConsumerStoppingTheLinkMidChunk)
{
    // Two frames in one chunk; the consumer closes after the first. The second
    // must not be dispatched, and nothing is sent afterwards.
    TLink link(1);
    link.connect();
    QObject::connect(&link.tuner, &TTunerForm::sampleReady, [&] { link.tuner.close(); });
    link.port.clearWrites();
    link.port.inject(link.frame(100) + link.frame(200));
    EXPECT_EQ(link.samples.size(), 1u);
    EXPECT_TRUE(link.port.writes().isEmpty());
    EXPECT_EQ(link.tuner.state(), TTunerForm::StateClosed);
}

TEST(TunerForm, PauseDiscardsBytesAndResumeStartsOver)
{
    TLink link(1);
    link.connect();
    bool settled = false;
    link.tuner.pause([&] { settled = true; });
    EXPECT_TRUE(link.tuner.isPaused());
    link.clock.advance(199);
    EXPECT_FALSE(settled);
    link.clock.advance(1);
    EXPECT_TRUE(settled);
    link.port.clearWrites();
    link.port.inject(link.frame(100));
    link.clock.advance(2000);
    EXPECT_TRUE(link.samples.empty()) << "bytes that arrive while paused are dropped";
    EXPECT_TRUE(link.port.writes().isEmpty()) << "nothing is sent while paused";
    EXPECT_TRUE(link.tuner.isActive());

    link.tuner.resume();
    EXPECT_EQ(link.tuner.state(), TTunerForm::StateOpen);
    link.clock.advance(250);
    EXPECT_EQ(link.port.writes().last(), ecu::handshakeRequest(1));
}

TEST(TunerForm, SharesTheEmulatorPortByTheRule)
{
    struct Row {
        int hardware;
        int protocol;
        bool shared;
    };
    const Row rows[] = {{3, 2, true}, {3, 1, false}, {2, 0, false}, {0, 0, true}, {1, 1, true},
                        {4, 1, true}, {6, 0, true},  {5, 1, false}, {3, 3, true}};
    for (const Row& r : rows) {
        TLink link(r.protocol);
        TFakeEmulator emu;
        emu.code = r.hardware;
        emu.serial.setPortName(QStringLiteral("/dev/ttyEMU"));
        emu.serial.setBaudRate(920000);
        link.tuner.setEmulator(&emu);
        link.tuner.open();
        link.clock.advance(250);
        EXPECT_EQ(link.tuner.usesSharedPort(), r.shared) << r.hardware << "/" << r.protocol;
        TFakeSerialPort& used = r.shared ? emu.serial : link.port;
        TFakeSerialPort& unused = r.shared ? link.port : emu.serial;
        EXPECT_TRUE(used.isOpen());
        EXPECT_FALSE(unused.isOpen());
        if (r.protocol <= 2) {
            EXPECT_EQ(used.writes().size(), 1);
        }
        EXPECT_TRUE(unused.writes().isEmpty());
        if (r.shared) {
            EXPECT_EQ(emu.serial.baudRate(), 920000) << "the shared port keeps the emulator's settings";
        }
    }
    // Closing leaves a shared port open while the emulator tool bar shows.
    TLink link(2);
    TFakeEmulator emu;
    emu.toolbar = true;
    link.tuner.setEmulator(&emu);
    link.tuner.open();
    link.tuner.close();
    EXPECT_TRUE(emu.serial.isOpen());
    emu.toolbar = false;
    link.tuner.open();
    link.tuner.close();
    EXPECT_FALSE(emu.serial.isOpen());
}

TEST(TunerForm, ForwardedBytesFromTheEmulatorLink)
{
    TLink link(2);
    TFakeEmulator emu;
    link.tuner.setEmulator(&emu);
    link.tuner.open();
    link.clock.advance(250);
    link.tuner.receive("O"); // what the emulator link forwards while it is idle
    link.clock.advance(250);
    link.tuner.receive(link.frame(700));
    EXPECT_EQ(link.samples.size(), 1u);
    link.port.inject(link.frame(800)); // the unused own port is not listened to
    EXPECT_EQ(link.samples.size(), 1u);
}

TEST(TunerForm, TestModeReportsAndRestores)
{
    {
        TLink link(1);
        std::optional<bool> result;
        link.tuner.test([&](bool ok) { result = ok; });
        EXPECT_EQ(link.tuner.settings().timeout, 50);
        EXPECT_EQ(link.tuner.settings().maxTries, 1);
        link.clock.advance(50);
        link.port.inject("\xBC");
        link.clock.advance(50);
        ASSERT_TRUE(result.has_value());
        EXPECT_TRUE(*result);
        EXPECT_EQ(link.messages.last().text, QStringLiteral("Successfully connected to the ECU."));
        EXPECT_EQ(link.messages.last().title, QStringLiteral("Connected"));
        EXPECT_EQ(link.tuner.settings().timeout, 250);
        EXPECT_EQ(link.tuner.settings().maxTries, 3);
        EXPECT_FALSE(link.port.isOpen());
        EXPECT_FALSE(link.tuner.isActive());
        EXPECT_EQ(link.writesOf("F"), 0) << "the test ends at the handshake";
    }
    {
        TLink link(0);
        std::optional<bool> result;
        link.tuner.test([&](bool ok) { result = ok; });
        link.clock.advance(5000);
        ASSERT_TRUE(result.has_value());
        EXPECT_FALSE(*result);
        ASSERT_EQ(link.messages.count(), 1) << "no time-out message in test mode";
        EXPECT_EQ(link.messages.last().text, QStringLiteral("Could not connect to the ECU."));
        EXPECT_EQ(link.messages.last().title, QStringLiteral("Not Connected"));
        EXPECT_EQ(link.tuner.settings().maxTries, 3);
    }
}

TEST(TunerForm, RequestIntervalCoversTheLongestReply)
{
    TTunerSettings s;
    for (qint32 baud : {1200, 9600, 38400, 115200}) {
        s.port.baudRate = baud;
        const double replyMs = 45.0 * 10 * 1000 / baud;
        EXPECT_GE(s.effectiveRequestInterval(), 2 * replyMs) << baud;
        EXPECT_GE(s.effectiveRequestInterval(), 100);
    }
}

TEST(SerialSettings, FromIndices)
{
    const TSerialSettings s = TSerialSettings::fromIndices(QStringLiteral("/dev/ttyS0"), 9600, 3, 0, 1);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.parity, TParity::Even);
    EXPECT_EQ(s.stopBits, TStopBits::OneAndHalf);
    const TSerialSettings d = TSerialSettings::fromIndices(QString(), 0, 9, 7, -1);
    EXPECT_EQ(d.baudRate, 38400);
    EXPECT_EQ(d.dataBits, 8);
    EXPECT_EQ(d.parity, TParity::None);
    EXPECT_EQ(d.stopBits, TStopBits::One);
}

TEST(SerialPort, ModemLineRefusalIsOnlyAWarning)
{
    TFakeSerialPort port;
    port.refuseModemLines = true;
    QStringList warnings;
    QObject::connect(&port, &ISerialPort::warning, [&](const QString& w) { warnings << w; });
    ASSERT_TRUE(port.open());
    EXPECT_FALSE(port.setDtr(true));
    EXPECT_FALSE(port.setRts(true));
    EXPECT_EQ(warnings.size(), 2);
    EXPECT_TRUE(port.isOpen());
}
