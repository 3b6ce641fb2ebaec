// The main window's emulator commands as a user runs them, against the
// emulator model behind a port, with the scripted message service answering.

#include "app/frmMain.h"
#include "app/frmMainDatalog.h"
#include "app/mdlRTPCommands.h"
#include "emulator/ui/frmRTPTransfer.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlPortLists.h"
#include "settings/mdlSettingsStore.h"
#include "settings/ui/frmSettings.h"
#include "support/EmuPort.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

using namespace rtp;

namespace {

class MainRTP : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        m_oldHome = qgetenv("VEXOR_HOME");
        qputenv("VEXOR_HOME", dir.path().toLocal8Bit());
        romPath = dir.filePath(QStringLiteral("demo.bin"));
        TRomGenOptions o;
        o.family = QStringLiteral("p28");
        QFile f(romPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(generateRom(o));
        store = std::make_unique<TSettingsStore>(dir.path());
        TSettings& s = store->values();
        s.rtp.hardware = 2; // code 3: the model names itself
        s.rtp.autoConnect = false;
        s.rtpConnection.timeout = 20;
        s.rtpCom.portIndex = 0;
        svc.messages.setDefaultAnswer(mrOk);
    }

    void TearDown() override
    {
        if (form)
            form->rom().buffer().markSaved();
        rtpSide.reset();
        form.reset();
        if (m_oldHome.isNull())
            qunsetenv("VEXOR_HOME");
        else
            qputenv("VEXOR_HOME", m_oldHome);
    }

    void start(char model = 'O', int hardware = 3)
    {
        emu = std::make_unique<TEmuModel>(hardware, model);
        port = std::make_unique<TEmuPort>(*emu);
        form = std::make_unique<TMainForm>(svc.services(), store.get(), romPath);
        TRTPDevices devices;
        devices.ports = &ports;
        devices.port = port.get();
        devices.portExists = [this](const QString&) { return portPresent; };
        devices.makeTestPort = [this] { return std::unique_ptr<ISerialPort>(std::make_unique<TEmuPort>(*emu)); };
        rtpSide = std::make_unique<TRTPCommands>(*form, svc.services(), store.get(), devices);
        store->apply();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->started(); }, 5000));
    }

    void trigger(const char* name)
    {
        QAction* a = form->action(QLatin1String(name));
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }
    bool idle()
    {
        return QTest::qWaitFor([this] { return !rtpSide->link().busy(); }, 30000);
    }
    QByteArray image() const
    {
        const TBinEdit& b = form->rom().buffer();
        return QByteArray(reinterpret_cast<const char*>(b.data()), b.size());
    }

    QTemporaryDir dir;
    QString romPath;
    TTestServices svc;
    std::unique_ptr<TSettingsStore> store;
    TPortList ports{[] { return QStringList{QStringLiteral("/dev/ttyEMU0")}; }};
    std::unique_ptr<TEmuModel> emu;
    std::unique_ptr<TEmuPort> port;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TRTPCommands> rtpSide;
    bool portPresent = true;

private:
    QByteArray m_oldHome;
};

TEST_F(MainRTP, ConnectPutVerifyGetAndCommandsByModel)
{
    struct Row {
        char model;
        bool emulator, chip;
    } rows[] = {{'O', true, false}, {'B', false, true}, {'A', true, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.model);
        start(r.model);
        trigger("ToolsRTP");
        ASSERT_TRUE(idle());
        EXPECT_TRUE(rtpSide->connected());
        EXPECT_FALSE(rtpSide->toolBar()->isHidden());
        rtpSide->updateCommandStates();
        EXPECT_EQ(form->action(QStringLiteral("RTPPut"))->isEnabled(), r.emulator);
        EXPECT_EQ(form->action(QStringLiteral("RTPBurn"))->isEnabled(), r.chip);
        if (r.emulator) {
            trigger("RTPPut");
            EXPECT_TRUE(rtpSide->transferWindow()->isVisible());
            EXPECT_FALSE(form->action(QStringLiteral("RTPVerify"))->isEnabled()) << "one operation at a time";
            ASSERT_TRUE(idle());
            EXPECT_FALSE(rtpSide->transferWindow()->isVisible());
            EXPECT_EQ(emu->imageView(image().size()), image());
            trigger("RTPVerify");
            ASSERT_TRUE(idle());
            EXPECT_EQ(svc.messages.last().text, QStringLiteral("Emulator data successfuly verified."));
            EXPECT_EQ(svc.messages.last().title, QStringLiteral("Verify"));
            const QByteArray before = image();
            trigger("RTPGet");
            ASSERT_TRUE(idle());
            EXPECT_TRUE(form->rom().isLoaded());
            EXPECT_EQ(image(), before);
        }
        trigger("ToolsRTP");
        EXPECT_FALSE(rtpSide->connected());
        EXPECT_FALSE(port->isOpen());
        rtpSide.reset();
        form.reset();
    }
}

TEST_F(MainRTP, GetAsksAboutChangesFirst)
{
    start();
    trigger("ToolsRTP");
    ASSERT_TRUE(idle());
    form->rom().buffer().writeByte(0x10, static_cast<quint8>(form->rom().buffer().readByte(0x10) + 1));
    const QByteArray edited = image();
    const quint64 commands = emu->stats().commands;
    svc.messages.answer(mrCancel);
    trigger("RTPGet");
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Changes Made"));
    EXPECT_FALSE(rtpSide->link().busy());
    EXPECT_EQ(image(), edited);
    QTest::qWait(50);
    // Automatic update sent the edit; the cancelled Get sent nothing more.
    EXPECT_LE(emu->stats().commands, commands + 2);
}

TEST_F(MainRTP, EditsStreamOnlyWhileConnectedAndTheStatusSaysSo)
{
    start();
    TRom& rom = form->rom();
    rom.setCellByte(1, 1, 0, static_cast<quint8>(rom.cellByte(1, 1, 0) + 1));
    EXPECT_TRUE(rtpSide->link().queue().isEmpty()) << "tool bar hidden: not queued";
    trigger("ToolsRTP");
    ASSERT_TRUE(idle());
    trigger("RTPPut");
    ASSERT_TRUE(idle());
    auto* pane = form->findChild<QLabel*>(QStringLiteral("spRTPUpdate"));
    ASSERT_NE(pane, nullptr);
    QStringList panes;
    QObject::connect(&rtpSide->link(), &TRTPForm::statusChanged, [&] { panes << pane->text(); });
    for (int c = 0; c < 5; ++c)
        rom.setCellByte(c, 2, 2, static_cast<quint8>(rom.cellByte(c, 2, 2) + 3));
    form->rom().buffer().undo();
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->imageView(image().size()) == image(); }, 5000));
    ASSERT_TRUE(idle());
    EXPECT_EQ(pane->text(), QStringLiteral("Ready"));
    EXPECT_TRUE(panes.contains(QStringLiteral("Sending data... 5 bytes left")) ||
                panes.contains(QStringLiteral("Sending data... 6 bytes left")))
        << panes.join(QLatin1Char('|')).toStdString();

    // A whole-image dump queues every byte.
    QObject::disconnect(&rtpSide->link(), nullptr, nullptr, nullptr);
    trigger("RTPRomDump");
    EXPECT_EQ(rtpSide->link().queue().count(), 32768);
}

TEST_F(MainRTP, AFailedTransferLeavesTheWindowUsable)
{
    start();
    trigger("ToolsRTP");
    ASSERT_TRUE(idle());
    port->silent = true;
    trigger("RTPPut");
    ASSERT_TRUE(idle());
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("No Connection"));
    EXPECT_FALSE(rtpSide->transferWindow()->isVisible());
    EXPECT_TRUE(form->isEnabled());
    EXPECT_TRUE(form->action(QStringLiteral("RTPPut"))->isEnabled());
    EXPECT_TRUE(form->action(QStringLiteral("ToolsRTP"))->isEnabled());
}

TEST_F(MainRTP, SettingsWindowTestsTheEmulatorThroughTheDatalogSide)
{
    store->values().rtp.hardware = 0;
    start('O', 0);
    trigger("ToolsRTP");
    ASSERT_TRUE(idle());
    ASSERT_TRUE(rtpSide->connected());
    TFakeSerialPort datalogPort;
    TDatalogDevices devices;
    devices.ports = &ports;
    devices.port = &datalogPort;
    auto datalog = std::make_unique<TMainDatalog>(*form, svc.services(), store.get(), devices);
    rtpSide->attachDatalog(*datalog);
    TSettingsForm settings(*store, svc.messages, &ports);
    settings.setConnectionTester(datalog->connectionTester());
    ASSERT_TRUE(settings.loadSettings());
    const int before = svc.messages.count();
    settings.btnTestRTPClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return svc.messages.count() > before; }, 5000));
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("Successfully connected to device."));
    EXPECT_FALSE(rtpSide->connected()) << "the test took the port over";
    rtpSide.reset(); // before the datalog side it is attached to
}

TEST_F(MainRTP, IdleHandlerConnectsWhenThePortAppears)
{
    store->values().rtp.autoConnect = true;
    portPresent = false;
    start();
    rtpSide->idleTick();
    EXPECT_FALSE(rtpSide->connected());
    portPresent = true;
    rtpSide->idleTick();
    ASSERT_TRUE(idle());
    EXPECT_TRUE(rtpSide->connected());
    EXPECT_EQ(svc.messages.count(), 0) << "silent";
    // The user disconnects: the port is still there, but nothing reconnects.
    trigger("ToolsRTP");
    for (int i = 0; i < 3; ++i) {
        svc.clock.advance(TRTPAutoConnect::RetryInterval);
        rtpSide->idleTick();
    }
    EXPECT_FALSE(rtpSide->connected());
    // Connected, the port vanishes: disconnected.
    portPresent = false;
    rtpSide->idleTick();
    portPresent = true;
    rtpSide->idleTick();
    ASSERT_TRUE(idle());
    ASSERT_TRUE(rtpSide->connected());
    portPresent = false;
    rtpSide->idleTick();
    EXPECT_FALSE(rtpSide->connected());
    EXPECT_FALSE(port->isOpen());
}

TEST(RTPAutoConnect, TriesOnAppearanceAndRetriesSlowly)
{
    TRTPAutoConnect a;
    using A = TRTPAutoConnect;
    struct Step {
        bool enabled, connected, exists;
        quint32 now;
        bool fail;
        A::TAction expect;
    } steps[] = {
        {true, false, false, 0, false, A::None},      {true, false, true, 100, true, A::Connect},
        {true, false, true, 600, false, A::None},     {true, false, true, 5099, false, A::None},
        {true, false, true, 5100, false, A::Connect}, {true, true, true, 5600, false, A::None},
        {true, false, true, 99999, false, A::None},   {true, true, false, 100000, false, A::Disconnect},
        {false, false, true, 100500, false, A::None}, {true, false, true, 101000, false, A::Connect},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(a.tick(s.enabled, s.connected, s.exists, s.now), s.expect) << s.now;
        if (s.fail)
            a.connectFailed(s.now);
    }
}

} // namespace
