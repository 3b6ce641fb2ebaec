// The emulator link against the in-process emulator model: transfers for
// each hardware code, the retry rules, the automatic update and the sharing
// of the port with a datalog session.

#include "datalog/frmTuner.h"
#include "emulator/frmRTP.h"
#include "emulator/mdlRTPTester.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlPortLists.h"
#include "sim/mdlEcuSim.h"
#include "support/EmuPort.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

using namespace rtp;

namespace {

QByteArray randomImage(int size, quint32 seed)
{
    QByteArray b(size, '\0');
    QRandomGenerator g(seed);
    for (auto& c : b)
        c = static_cast<char>(g.bounded(256));
    return b;
}

struct TLinkRig {
    TEmuModel model;
    TEmuPort port{model};
    TQtTimerFactory timers;
    TScriptedMessages messages;
    TRTPForm link{timers, &port, &messages};

    TLinkRig(int hardware, char letter = 'O', TEmuFaults faults = {}, int maxTries = 3)
        : model(hardware, letter, faults)
    {
        TRTPLinkSettings s;
        s.hardwareCode = hardware;
        s.timeout = 30;
        s.maxTries = maxTries;
        s.port.portName = QStringLiteral("emu");
        s.port.baudRate = hardware == 0 ? 38400 : HighSpeedBaud;
        link.setSettings(s);
        messages.setDefaultAnswer(mrOk);
        EXPECT_TRUE(link.openPort());
    }

    TRTPResult run(int kind, const QByteArray& image, bool quiet = true)
    {
        TRTPResult out;
        bool ended = false;
        EXPECT_TRUE(link.start(
            kind, image,
            [&](const TRTPResult& r) {
                out = r;
                ended = true;
            },
            quiet));
        waitFor([&] { return ended; });
        return out;
    }

    static void waitFor(const std::function<bool()>& done, int ms = 60000)
    {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        EXPECT_TRUE(done()) << "timed out";
    }
};

// ------------------------------------------------------------ wire format

TEST(RTPProtocol, CommandsOfEachFamily)
{
    const QByteArray data(256, '\x01');
    struct Row {
        int kind, code;
        bool use512K;
        QByteArray head; // the command without data and sum
    } rows[] = {
        {KindRead, 2, false, QByteArray("R\0\x12\x34", 4)},
        {KindRead, 3, false, QByteArray("R\0\x92\x34", 4)},
        {KindRead, 4, false, QByteArray("R\0\x12\x34", 4)},
        {KindRead, 5, true, QByteArray("5R\0\x92\x34", 5)},
        {KindRead, 6, false, QByteArray("R\0\x92\x34", 4)},
        {KindWrite, 5, false, QByteArray("2W\0\x92\x34", 5)},
        {KindChipRead, 3, true, QByteArray("5R\0\x92\x34", 5)},
        {KindChipWrite, 6, false, QByteArray("2W\0\x92\x34", 5)},
        {KindChipVerify, 4, false, QByteArray("R\0\x12\x34", 4)},
        {KindChipVerify, 6, true, QByteArray("5R\0\x92\x34", 5)},
    };
    for (const Row& r : rows) {
        const QByteArray cmd = blockCommand(r.kind, r.code, r.use512K, 0x1234, data);
        SCOPED_TRACE(testing::Message() << "kind " << r.kind << " code " << r.code);
        EXPECT_TRUE(cmd.startsWith(r.head));
        EXPECT_EQ(cmd.size(), r.head.size() + (isWrite(r.kind) ? 256 : 0) + 1);
        EXPECT_EQ(static_cast<quint8>(cmd.back()), sum(cmd.left(cmd.size() - 1)));
    }
    struct ByteRow {
        int code;
        QByteArray head;
    } bytes[] = {{2, QByteArray("w\x01\x12\x34\x56", 5)},
                 {3, QByteArray("W\x01\x92\x34\x56", 5)},
                 {4, QByteArray("W\x01\x12\x34\x56", 5)},
                 {5, QByteArray("2W\x01\x92\x34\x56", 6)},
                 {6, QByteArray("w\x01\x12\x34\x56", 5)}};
    for (const ByteRow& r : bytes)
        EXPECT_EQ(byteCommand(r.code, false, 0x1234, 0x56), withSum(r.head)) << r.code;
    EXPECT_EQ(code0Write(0x1234, 0x56), QByteArray("\x04\x12\x34\x56\xA0", 5));

    struct Hs {
        int code;
        QByteArray reply;
        int result;
    } hs[] = {{0, "\xCD", 0}, {0, "O", -1},  {2, "O", 2},   {3, "VVO", 3},  {3, "VVD", 4},
              {3, "VVB", 5},  {3, "VVF", 5}, {3, "VVA", 6}, {3, "VVX", -1}, {5, "VVA", 6}};
    for (const Hs& h : hs)
        EXPECT_EQ(acceptHandshake(h.code, h.reply), h.result) << h.code << " " << h.reply.toStdString();
}

TEST(RTPProtocol, ErrorMessages)
{
    struct Row {
        int error;
        const char* text;
        const char* title;
    } rows[] = {{2, "The reply from device is not the one expected.", "Bad Reply"},
                {4, "The data received failed to match the checksum", "Checksum Failure"},
                {7, "The operation failed after 3 attempt(s) with 250 milliseconds between each attempt.", "Timed Out"},
                {8, "No RTP connection was detected .", "No Connection"},
                {10, "The ECU was unsuccessful in writing the data.", "Write Failure"},
                {12, "Failed to upgrade hardware to High Speed protocol.", "Upgrade Failure"},
                {13, "An unknown error occured.", "Whoops!"}};
    for (const Row& r : rows) {
        EXPECT_EQ(errorText(r.error, 3, 250), QLatin1String(r.text));
        EXPECT_EQ(errorTitle(r.error), QLatin1String(r.title));
    }
}

// ------------------------------------------------------------ transfers

TEST(RTPLink, PutGetVerifyForEachHardware)
{
    struct Row {
        int hardware;
        char model;
        int size;
    } rows[] = {{0, 'O', 0x8000},  {0, 'O', 0x10000}, {2, 'O', 0x8000}, {2, 'O', 0x10000}, {3, 'O', 0x8000},
                {3, 'O', 0x10000}, {3, 'D', 0x10000}, {3, 'B', 0x8000}, {3, 'A', 0x8000},  {3, 'A', 0x10000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "hardware " << r.hardware << r.model << " size " << r.size);
        TLinkRig rig(r.hardware, r.model);
        EXPECT_EQ(rig.port.dtr() && rig.port.rts(), r.hardware == 2) << "raised for code 2 only";
        const QByteArray image = randomImage(r.size, static_cast<quint32>(r.size + r.hardware + r.model));
        EXPECT_TRUE(rig.run(KindWrite, image).ok());
        // A code 5 device is a chip programmer: its "emulator" is the chip.
        EXPECT_EQ(rig.model.imageView(r.size, rig.model.code() == 5), image);
        EXPECT_EQ(rig.link.hardwareCode(), rig.model.code());
        const TRTPResult got = rig.run(KindRead, QByteArray(r.size, '\0'));
        EXPECT_TRUE(got.ok());
        EXPECT_EQ(got.image, image);
        EXPECT_TRUE(rig.run(KindVerify, image).ok());
        QByteArray changed = image;
        changed[r.size - 1] = static_cast<char>(~changed.at(r.size - 1));
        EXPECT_EQ(rig.run(KindVerify, changed).state, StateMismatch);
    }
}

TEST(RTPLink, BadSumsAreRetriedAndNeverReachTheImage)
{
    const QByteArray image = randomImage(0x8000, 7);
    {
        TLinkRig rig(3, 'O', TEmuFaults{3});
        rig.model.loadImage(image);
        const TRTPResult r = rig.run(KindRead, QByteArray(image.size(), '\0'));
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(r.image, image);
        EXPECT_GT(rig.link.resends(), 0u);
    }
    {
        // Every reply bad: the first block fails with error 4 once its tries are used up.
        TLinkRig rig(3, 'O', TEmuFaults{1}, 2);
        rig.model.loadImage(image);
        const TRTPResult r = rig.run(KindRead, QByteArray(image.size(), '\0'), false);
        EXPECT_EQ(r.state, StateFailed);
        EXPECT_EQ(r.error, ErrorReadSum);
        EXPECT_EQ(r.image, QByteArray(image.size(), '\0')) << "no block of a failed sum was copied in";
        ASSERT_EQ(rig.messages.count(), 1);
        EXPECT_EQ(rig.messages.last().title, QStringLiteral("Checksum Failure"));
    }
}

TEST(RTPLink, NoiseAndRefusedWritesAreRetried)
{
    const QByteArray image = randomImage(0x8000, 9);
    TEmuFaults faults;
    faults.noise = true;
    faults.rejectWritesEvery = 5;
    TLinkRig rig(3, 'O', faults, 6); // a reply is lost one time in five: more tries
    const TRTPResult w = rig.run(KindWrite, image);
    EXPECT_TRUE(w.ok()) << w.state << " " << w.error << " at " << rig.link.address();
    EXPECT_EQ(rig.model.imageView(image.size()), image);
    const TRTPResult r = rig.run(KindRead, QByteArray(image.size(), '\0'));
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.image, image);
    EXPECT_GT(rig.model.stats().noiseBytes, 0u);
}

TEST(RTPLink, FailuresAndTheirCodes)
{
    struct Row {
        int hardware;
        TEmuFaults faults;
        int kind;
        int error;
        qint32 endBaud;
    } rows[] = {
        // Silence at 920000: once more at 115200 before "no connection".
        {3, TEmuFaults{0, 0, 0}, KindDetect, ErrorNoConnection, FallbackBaud},
        {2, TEmuFaults{0, 0, 0}, KindDetect, ErrorNoConnection, HighSpeedBaud},
        {3, TEmuFaults{0, 1}, KindWrite, ErrorWriteRefused, HighSpeedBaud},
        {3, TEmuFaults{0, 0, 5}, KindWrite, ErrorTimedOut, HighSpeedBaud},
        {0, TEmuFaults{0, 1}, KindWrite, ErrorEcuWrite, 38400},
        // A code 0 read cannot be asked twice: the first time-out fails it.
        {0, TEmuFaults{0, 0, 4}, KindRead, ErrorTimedOut, 38400},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "hardware " << r.hardware << " kind " << r.kind);
        TLinkRig rig(r.hardware, 'O', r.faults);
        const int writesBefore = static_cast<int>(rig.port.writes().size());
        const TRTPResult res = rig.run(r.kind, QByteArray(0x8000, '\x11'), false);
        EXPECT_EQ(res.state, StateFailed);
        EXPECT_EQ(res.error, r.error);
        EXPECT_EQ(rig.port.baudRate(), r.endBaud);
        ASSERT_EQ(rig.messages.count(), 1);
        EXPECT_EQ(rig.messages.last().text, errorText(r.error, 3, 30));
        if (r.kind == KindRead && r.hardware == 0) {
            EXPECT_EQ(rig.port.writes().size() - writesBefore, 5) << "handshake and four reads, no resend";
        }
        EXPECT_FALSE(rig.link.busy());
    }
}

TEST(RTPLink, SecondCommandRefusedAndEscapeCancels)
{
    TLinkRig rig(3);
    const QByteArray image = randomImage(0x8000, 3);
    bool ended = false;
    TRTPResult result;
    ASSERT_TRUE(rig.link.start(KindWrite, image, [&](const TRTPResult& r) {
        result = r;
        ended = true;
    }));
    EXPECT_FALSE(rig.link.start(KindRead, image));
    EXPECT_FALSE(rig.link.start(KindDetect, {}));
    // Escape arrives as an event between two blocks; polling the address from the test
    // could miss the whole transfer on a busy machine, so press it from the event loop.
    bool pressed = false;
    QObject::connect(&rig.link, &TRTPForm::progress, &rig.link, [&](int address, int) {
        if (address >= 0x1000 && !pressed) {
            pressed = true;
            QTimer::singleShot(0, &rig.link, [&] { rig.link.cancel(); });
        }
    });
    TLinkRig::waitFor([&] { return ended; });
    EXPECT_TRUE(pressed);
    EXPECT_EQ(result.state, StateCancelled);
    EXPECT_FALSE(rig.link.busy());
    EXPECT_LT(rig.model.stats().blockWrites, 128u);
}

TEST(RTPLink, BurnErasesWritesAndVerifiesTheChip)
{
    TLinkRig rig(3, 'A');
    TRTPLinkSettings s = rig.link.settings();
    s.use512K = true;
    rig.link.setSettings(s);
    rig.model.eraseMs = 40; // longer than the 30 ms reply time-out: the erase waits longer
    const QByteArray image = randomImage(0x8000, 5);
    const TRTPResult r = rig.run(KindChipWrite, image, false);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.afterBurn);
    EXPECT_EQ(rig.model.stats().erases, 1u);
    EXPECT_EQ(rig.model.imageView(image.size(), true), image);
    ASSERT_EQ(rig.messages.count(), 1);
    EXPECT_EQ(rig.messages.last().text, QStringLiteral("ROM data successfully written."));
    EXPECT_EQ(rig.messages.last().title, QStringLiteral("Burning Success"));
    const TRTPResult grabbed = rig.run(KindChipRead, QByteArray(image.size(), '\0'));
    EXPECT_EQ(grabbed.image, image);
}

// ------------------------------------------------------------ automatic update

// A datalog session that records how the link shares the port with it.
class TFakeDatalog : public IDatalogLink {
public:
    bool active = true;
    bool paused = false;
    int pauses = 0;
    int resumes = 0;
    QByteArray received;
    [[nodiscard]] bool isActive() const override { return active; }
    [[nodiscard]] bool isPaused() const override { return paused; }
    [[nodiscard]] bool usesSharedPort() const override { return true; }
    void pause(std::function<void()> settled) override
    {
        paused = true;
        ++pauses;
        settled();
    }
    void resume() override
    {
        paused = false;
        ++resumes;
    }
    void receive(const QByteArray& bytes) override { received += bytes; }
};

TEST(RTPLink, EveryEditAndUndoReachesTheEmulatorInOrder)
{
    for (int hardware : {0, 3}) {
        SCOPED_TRACE(hardware);
        TLinkRig rig(hardware);
        TRom rom;
        rom.buffer().loadBytes(generateRom(TRomGenOptions{}));
        TFakeDatalog datalog;
        rig.link.setDatalog(&datalog);
        rig.link.setEditBuffer(&rom.buffer());
        rig.link.setAutoUpdate(true);
        rom.buffer().writeByte(0x100, 0x42);
        EXPECT_TRUE(rig.link.queue().isEmpty()) << "not connected: nothing is queued";

        ASSERT_TRUE(
            rig.run(KindWrite, QByteArray(reinterpret_cast<const char*>(rom.buffer().data()), rom.buffer().size()))
                .ok());
        rig.link.setConnected(true);
        std::vector<std::pair<quint16, quint8>> stored;
        rig.model.onStore = [&](quint16 a, quint8 v, bool) { stored.emplace_back(a, v); };
        std::vector<std::pair<quint16, quint8>> sent;
        QRandomGenerator g(hardware + 1);
        for (int i = 0; i < 1000; ++i) {
            const auto a = static_cast<quint16>(g.bounded(rom.buffer().size()));
            const auto v = static_cast<quint8>(g.bounded(256));
            if (rom.buffer().readByte(a) != v)
                sent.emplace_back(a, v);
            rom.buffer().writeByte(a, v);
            if (i % 100 == 0)
                QCoreApplication::processEvents();
        }
        for (int i = 0; i < 300; ++i) {
            const int pos = rom.buffer().undoStack().position() - 1;
            const TBinUndoRecord rec = rom.buffer().undoStack().at(pos);
            sent.emplace_back(rec.position, rec.oldByte);
            rom.buffer().undo();
        }
        TLinkRig::waitFor([&] { return rig.link.queue().isEmpty() && !rig.link.busy(); });
        EXPECT_EQ(rig.link.statusText(), QStringLiteral("Ready"));
        const quint16 offset = rig.model.imageOffset();
        ASSERT_EQ(stored.size(), sent.size());
        for (size_t i = 0; i < sent.size(); ++i)
            ASSERT_EQ(stored[i], std::make_pair(static_cast<quint16>(sent[i].first + offset), sent[i].second)) << i;
        EXPECT_EQ(rig.model.imageView(rom.buffer().size()),
                  QByteArray(reinterpret_cast<const char*>(rom.buffer().data()), rom.buffer().size()));
        EXPECT_GE(datalog.pauses, 2);
        EXPECT_EQ(datalog.pauses, datalog.resumes);
        EXPECT_FALSE(datalog.paused);
        rig.link.setEditBuffer(nullptr); // the ROM goes first
    }
}

TEST(RTPLink, FailedUpdateSwitchesItOffAndResumesTheDatalog)
{
    TLinkRig rig(3, 'O', TEmuFaults{0, 1});
    TRom rom;
    rom.buffer().loadBytes(generateRom(TRomGenOptions{}));
    TFakeDatalog datalog;
    rig.link.setDatalog(&datalog);
    rig.link.setEditBuffer(&rom.buffer());
    rig.link.setAutoUpdate(true);
    rig.link.setConnected(true);
    EXPECT_TRUE(rig.link.recording());
    bool switchedOff = false;
    QObject::connect(&rig.link, &TRTPForm::autoUpdateSwitchedOff, [&] { switchedOff = true; });
    rom.buffer().writeByte(0x200, static_cast<quint8>(rom.buffer().readByte(0x200) + 1));
    TLinkRig::waitFor([&] { return switchedOff && !rig.link.busy(); });
    EXPECT_FALSE(rig.link.autoUpdate());
    EXPECT_FALSE(rig.link.recording());
    EXPECT_TRUE(rig.link.statusText().isEmpty());
    EXPECT_EQ(rig.messages.last().title, QStringLiteral("Checksum Failure"));
    EXPECT_FALSE(datalog.paused);
    // Idle bytes go to the datalog session on the same port.
    rig.port.inject("xy");
    EXPECT_EQ(datalog.received, QByteArray("xy"));
    rig.link.setEditBuffer(nullptr);
}

// ------------------------------------------------------------ settings page

TEST(RTPTester, TestAndDetectReachTheEmulator)
{
    TEmuModel model(3, 'O');
    TQtTimerFactory timers;
    TPortList ports([] { return QStringList{"/dev/a", "/dev/b", "/dev/c", "/dev/d"}; });
    QStringList opened;
    TRTPConnectionTester tester(
        timers,
        [&] {
            auto p = std::make_unique<TEmuPort>(model);
            p->onlyName = QStringLiteral("/dev/c");
            return std::unique_ptr<ISerialPort>(std::move(p));
        },
        &ports);
    tester.portExists = [&](const QString& name) {
        opened << name;
        return name != QLatin1String("/dev/b");
    };
    int before = 0;
    tester.beforeTest = [&] { ++before; };
    TSettings s;
    s.rtp.hardware = 2;
    std::optional<int> found = -1;
    tester.detectEmulator(s, [&](std::optional<int> index) { found = index; });
    TLinkRig::waitFor([&] { return found != std::optional<int>(-1); });
    EXPECT_EQ(found, std::optional<int>(2));
    EXPECT_EQ(opened, (QStringList{"/dev/a", "/dev/b", "/dev/c"}));
    EXPECT_EQ(before, 1);

    struct Row {
        int portIndex;
        bool connected;
    } rows[] = {{2, true}, {0, false}};
    for (const Row& r : rows) {
        s.rtpCom.portIndex = r.portIndex;
        std::optional<bool> result;
        tester.testEmulator(s, [&](bool ok) { result = ok; });
        TLinkRig::waitFor([&] { return result.has_value(); });
        EXPECT_EQ(result, std::optional<bool>(r.connected)) << r.portIndex;
    }
}

// ------------------------------------------------------------ one cable

// The emulator and, behind it, the ECU on one line: while the link runs an
// operation the emulator answers, otherwise the ECU (protocol 2 adapter).
class TSharedLine : public TFakeSerialPort {
public:
    TSharedLine(TEmuModel& emu, std::function<bool()> emulatorTalking)
        : m_emu(emu), m_talking(std::move(emulatorTalking)), m_ecu(2, m_engine)
    {}
    qint64 write(const QByteArray& bytes) override
    {
        const qint64 n = TFakeSerialPort::write(bytes);
        const QByteArray reply = m_talking() ? m_emu.receive(bytes) : m_ecu.receive(bytes, m_ms += 50);
        if (!reply.isEmpty())
            QTimer::singleShot(1, this, [this, reply] { inject(reply); });
        return n;
    }

private:
    TEmuModel& m_emu;
    std::function<bool()> m_talking;
    TEngineModel m_engine;
    TEcuResponder m_ecu;
    quint64 m_ms = 0;
};

TEST(RTPLink, DatalogSessionOnTheSameCablePausesAroundATransfer)
{
    TEmuModel model(3, 'O');
    TRTPForm* link = nullptr;
    TSharedLine line(model, [&] { return link && link->busy(); });
    TQtTimerFactory timers;
    TSystemClock clock;
    TScriptedMessages messages;
    TRTPForm emulator(timers, &line, &messages);
    link = &emulator;
    TRTPLinkSettings s;
    s.hardwareCode = 3;
    s.timeout = 30;
    s.port.portName = QStringLiteral("cable");
    emulator.setSettings(s);
    ASSERT_TRUE(emulator.openPort());
    emulator.setConnected(true);

    TTunerForm tuner(clock, timers, nullptr, &messages);
    TTunerSettings t;
    t.protocolIndex = 2;
    tuner.setSettings(t);
    tuner.setEmulator(&emulator);
    emulator.setDatalog(&tuner);
    int samples = 0;
    QObject::connect(&tuner, &TTunerForm::sampleReady, [&] { ++samples; });
    tuner.open();
    ASSERT_TRUE(tuner.usesSharedPort());
    TLinkRig::waitFor([&] { return samples >= 3; }, 10000);

    bool pausedDuringTransfer = false;
    QObject::connect(&emulator, &TRTPForm::progress, [&] { pausedDuringTransfer = tuner.isPaused(); });
    const QByteArray image = randomImage(0x8000, 11);
    TRTPResult result;
    bool ended = false;
    ASSERT_TRUE(emulator.start(KindWrite, image, [&](const TRTPResult& r) {
        result = r;
        ended = true;
    }));
    TLinkRig::waitFor([&] { return ended; });
    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(pausedDuringTransfer);
    EXPECT_EQ(model.imageView(image.size()), image);
    const int before = samples;
    TLinkRig::waitFor([&] { return samples >= before + 3; }, 10000);
    EXPECT_FALSE(tuner.isPaused());
    EXPECT_EQ(messages.count(), 0);
    tuner.close();
    emulator.setDatalog(nullptr);
}

} // namespace
