// The main window's datalog side driven as a user would: the tool bar's
// commands by their action names, an ECU simulated behind a fake serial port
// (the same responder vexor-sim serves on a pseudo-terminal), the scripted
// message and file-dialog services answering the questions.

#include "app/frmMain.h"
#include "app/frmMainDatalog.h"
#include "app/mdlAutoTuneCommands.h"
#include "app/mdlLiveDisplay.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlLiveView.h"
#include "datalog/ui/frmDataGraphs.h"
#include "datalog/ui/frmLiveView.h"
#include "editor/ui/VexorGrid.h"
#include "options/ui/frmOptions.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlSettingsStore.h"
#include "sim/mdlEcuSim.h"
#include "support/FakeSerialPort.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QProcess>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QValueAxis>
#include <memory>
#include <set>
#include <tuple>

namespace {

// A serial port with a simulated ECU behind it: every request is answered on
// the next pass of the event loop, as a real port's receive notification
// arrives. Each request moves the test clock on, so the engine model drives
// through idle, pulls and cruise as the samples come in.
class TEcuPort : public TFakeSerialPort {
public:
    TEcuPort(int protocol, TTestClock& clock, quint32 msPerRequest = 100)
        : m_clock(clock), m_step(msPerRequest), m_responder(protocol, m_engine)
    {}

    bool silent = false;       // never answers
    QByteArray handshakeReply; // answers every request with this instead

    qint64 write(const QByteArray& bytes) override
    {
        const qint64 n = TFakeSerialPort::write(bytes);
        if (silent)
            return n;
        m_clock.advance(m_step);
        m_modelMs += m_step;
        const QByteArray reply = handshakeReply.isEmpty() ? m_responder.receive(bytes, m_modelMs) : handshakeReply;
        if (!reply.isEmpty())
            QTimer::singleShot(0, this, [this, reply] {
                if (isOpen())
                    inject(reply);
            });
        return n;
    }

private:
    TTestClock& m_clock;
    quint32 m_step;
    quint64 m_modelMs = 0;
    TEngineModel m_engine;
    TEcuResponder m_responder;
};

class MainDatalog : public ::testing::Test {
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
        s.tunerCom.protocolIndex = 1;
        s.tunerCom.portIndex = 0;
        s.tunerConnection.timeout = 20;
        s.tuning.samplingPriority = 4;
    }

    void TearDown() override
    {
        if (form) {
            form->rom().buffer().markSaved();
            datalog.reset();
            form.reset();
        }
        if (m_oldHome.isNull())
            qunsetenv("VEXOR_HOME");
        else
            qputenv("VEXOR_HOME", m_oldHome);
    }

    void start(int protocol = 1, bool realPort = false)
    {
        store->values().tunerCom.protocolIndex = protocol;
        port = realPort ? nullptr : std::make_unique<TEcuPort>(protocol, svc.clock);
        form = std::make_unique<TMainForm>(svc.services(), store.get(), romPath);
        TDatalogDevices devices;
        devices.ports = &ports;
        devices.port = port.get();
        devices.makeTestPort = [this] {
            auto p = std::make_unique<TEcuPort>(store->values().tunerCom.protocolIndex, svc.clock);
            p->refuseOpen = refuseTestPort;
            return std::unique_ptr<ISerialPort>(std::move(p));
        };
        // Around the connection's receive handler: the views must never be
        // refreshed from inside it (slots run in the order connected).
        if (port)
            QObject::connect(port.get(), &ISerialPort::bytesReceived,
                             [this] { refreshesBeforeReceive = datalog ? datalog->refreshCount() : 0; });
        datalog = std::make_unique<TMainDatalog>(*form, svc.services(), store.get(), devices);
        if (port)
            QObject::connect(port.get(), &ISerialPort::bytesReceived, [this] {
                if (datalog->refreshCount() != refreshesBeforeReceive)
                    ++refreshesInsideReceive;
            });
        store->apply(); // as the settings window does at start-up
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->started(); }, 5000));
        QTest::qWait(20); // the start-up step after the first activation
    }

    QAction* act(const char* name) const
    {
        QAction* a = form->action(QLatin1String(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    // Runs a command the way a click does, after the idle update.
    void run(const char* name)
    {
        datalog->updateCommandStates();
        QAction* a = act(name);
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }
    void showToolBar()
    {
        run("ToolsTuner");
        QTest::qWait(10); // the recovery check runs after the show
        ASSERT_TRUE(datalog->toolBar()->isVisible());
    }
    bool streamUntil(qint64 samples, int timeoutMs = 30000)
    {
        return QTest::qWaitFor([&] { return datalog->recording().count() >= samples; }, timeoutMs);
    }
    QString liveCaption(int item) const { return datalog->liveView()->grid()->CellCaption(1, 1 + item); }

    QTemporaryDir dir;
    QByteArray m_oldHome;
    QString romPath;
    TTestServices svc;
    std::unique_ptr<TSettingsStore> store;
    TPortList ports{[] { return QStringList{QStringLiteral("/dev/ttyFAKE0")}; }};
    std::unique_ptr<TEcuPort> port;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TMainDatalog> datalog;
    bool refuseTestPort = false;
    int refreshesBeforeReceive = 0;
    int refreshesInsideReceive = 0;
};

} // namespace

TEST_F(MainDatalog, CommandsNeedTheToolBarAndARom)
{
    start();
    datalog->updateCommandStates();
    EXPECT_FALSE(datalog->toolBar()->isVisible());
    EXPECT_TRUE(act("ToolsTuner")->isEnabled());
    for (const char* n : {"TunerStart", "TunerLoad", "TunerSmartTrack"})
        EXPECT_FALSE(act(n)->isEnabled()) << n;
    showToolBar();
    datalog->updateCommandStates();
    EXPECT_TRUE(act("ToolsTuner")->isChecked());
    for (const char* n : {"TunerStart", "TunerLoad", "TunerSmartTrack"})
        EXPECT_TRUE(act(n)->isEnabled()) << n;
    EXPECT_FALSE(act("TunerSave")->isEnabled()) << "nothing recorded yet";
    EXPECT_TRUE(act("TrackSingleCell")->isChecked());
}

TEST_F(MainDatalog, ConnectRecordSaveReloadAndPlayBack)
{
    start();
    showToolBar();
    std::vector<DatalogSample> received;
    QObject::connect(&datalog->tuner(), &TTunerForm::sampleReady,
                     [&](const DatalogSample& s) { received.push_back(s); });
    run("TunerStart");
    EXPECT_TRUE(datalog->tuner().isActive());
    EXPECT_TRUE(datalog->liveViewDock()->isVisible()) << "connecting shows the live view";

    // Samples arrive; the tracked cell follows the engine through the drive.
    std::set<std::tuple<int, int, bool>> cells;
    bool trackedOnGrid = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const TLiveCell& c = datalog->liveCell();
            if (c.Valid) {
                cells.insert({c.Col, c.Row, c.HighCam});
                // The simulator's indices assume a table of its own shape;
                // where they fall inside this ROM's map the grid shows them.
                const int kind = c.HighCam ? 1 : 0;
                if (c.Col < form->rom().columns(kind) && c.Row < form->rom().rows(kind) &&
                    form->display().isTracked(c.Col, c.Row))
                    trackedOnGrid = true;
            }
            return datalog->recording().count() >= 600;
        },
        60000));
    EXPECT_GE(cells.size(), 3u) << "the tracked cell moves with the engine";
    EXPECT_GT(datalog->refreshCount(), 20);
    EXPECT_EQ(refreshesInsideReceive, 0) << "a repaint ran inside the receive handler";
    EXPECT_TRUE(trackedOnGrid) << "the grid highlights the live cell";
    datalog->refreshNow();
    const DatalogSample last = datalog->tuner().sample();
    if (datalog::rpmValid(last)) {
        EXPECT_EQ(liveCaption(lvEngineSpeed), QStringLiteral("%1 rpm").arg(datalog::rpm(last)));
    }
    EXPECT_EQ(liveCaption(lvDuration), QStringLiteral("Recording..."));
    EXPECT_EQ(liveCaption(lvVehicleSpeed),
              QString::asprintf("%.1f Mph", datalog::speedMph(last))); // ShowMph is on by default
    EXPECT_TRUE(form->smartTracking()) << "steps follow the live cell";
    // SmartTrack shows the map of the cam the engine is on.
    if (datalog->liveCell().Valid) {
        EXPECT_EQ(TRom::isHighCamKind(form->rom().CurrentTable), datalog->liveCell().HighCam);
    }

    // Disconnect: every sample the connection delivered was recorded, in order.
    run("TunerStart");
    EXPECT_FALSE(datalog->tuner().isActive());
    QByteArray expected;
    for (const DatalogSample& s : received)
        expected += s.toBytes();
    ASSERT_EQ(datalog->recording().data(), expected);
    const qint64 count = datalog->recording().count();

    // Export CSV: the recording stays.
    const QString csvPath = dir.filePath(QStringLiteral("drive.csv"));
    svc.fileDialogs.answer(csvPath);
    run("TunerSave");
    EXPECT_EQ(datalog->recording().count(), count);
    const QByteArray csv = readBytes(csvPath);
    EXPECT_TRUE(csv.startsWith("Duration,\"Engine Speed (RPM)\",\"Vehicle Speed (Mph)\""));
    EXPECT_EQ(csv.count("\r\n"), count + 1);
    {
        TCsvOptions o;
        o.ctx = sampleContextFor(&form->rom());
        o.lambda = datalog->lambdaLookup();
        o.startTime = datalog->session().recordingStart();
        QFile check(dir.filePath(QStringLiteral("check.csv")));
        exportCsvFile(check.fileName(), datalog->recording().data(), o);
        const QByteArray want = readBytes(check.fileName());
        EXPECT_EQ(csv, want);
        if (csv != want) {
            const QList<QByteArray> a = csv.split('\n'), b = want.split('\n');
            for (int i = 0; i < std::min(a.size(), b.size()); ++i)
                if (a[i] != b[i]) {
                    ADD_FAILURE() << "line " << i << "\n got  " << a[i].toStdString() << "\n want "
                                  << b[i].toStdString();
                    break;
                }
        }
    }

    // Save as a datalog file: written whole, then the store is cleared.
    const QString dlfPath = dir.filePath(QStringLiteral("drive.dlf"));
    svc.fileDialogs.answer(dlfPath);
    run("TunerSave");
    EXPECT_EQ(readBytes(dlfPath), expected);
    EXPECT_TRUE(datalog->recording().isEmpty());
    EXPECT_EQ(svc.fileDialogs.requests().last().request.title, QStringLiteral("Save Datalog File"));
    EXPECT_EQ(svc.fileDialogs.requests().last().request.filter,
              QStringLiteral("Datalog Files|*.dlf|CSV Export|*.csv|All Files|*.*"));

    // Load it again and scrub through it.
    svc.fileDialogs.answer(dlfPath);
    run("TunerLoad");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !datalog->session().isReplaying(); }, 20000));
    EXPECT_EQ(datalog->recording().count(), count);
    QScrollBar* bar = datalog->playbackBar();
    EXPECT_TRUE(datalog->playbackToolBar()->isVisible());
    EXPECT_EQ(bar->maximum(), count - 1);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(datalog->tuner().sample(), received.front());
    const int at = int(count / 2);
    bar->setValue(at);
    EXPECT_EQ(datalog->tuner().sample(), received[size_t(at)]);
    datalog->refreshNow();
    EXPECT_EQ(liveCaption(lvDuration),
              playbackDurationText(received[size_t(at)].timeStamp() - received.front().timeStamp()));
    const TLiveCell cell = datalog->liveCell();
    EXPECT_EQ(cell, findSampleCell(received[size_t(at)], &form->rom(), 0, sampleContextFor(&form->rom())));
}

TEST_F(MainDatalog, EveryProtocolStreamsIntoTheLiveView)
{
    for (int protocol : {0, 1, 2}) {
        SCOPED_TRACE(protocol);
        start(protocol);
        showToolBar();
        run("TunerStart");
        ASSERT_TRUE(streamUntil(40)) << "protocol " << protocol;
        datalog->refreshNow();
        EXPECT_FALSE(liveCaption(lvBattery).isEmpty());
        run("TunerStart");
        form->rom().buffer().markSaved();
        datalog.reset();
        form.reset();
        QFile::remove(dir.filePath(QStringLiteral("~temp.dlf"))); // a long session wrote one
    }
}

TEST_F(MainDatalog, ConnectionFailuresInTheUsersWords)
{
    start();
    showToolBar();
    // A port that cannot be opened.
    port->refuseOpen = true;
    svc.messages.answer(mrOk);
    run("TunerStart");
    ASSERT_GE(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("/dev/ttyFAKE0 failed to open."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Bad Port"));
    EXPECT_FALSE(datalog->tuner().isActive());
    port->refuseOpen = false;

    // Silence: the tries run out.
    port->silent = true;
    svc.messages.clear();
    svc.messages.answer(mrOk);
    run("TunerStart");
    ASSERT_TRUE(QTest::qWaitFor([&] { return svc.messages.count() > 0; }, 10000));
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("Connection timed out."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Datalog Error"));
    EXPECT_FALSE(datalog->tuner().isActive());
    port->silent = false;

    // Something answers, but not the ECU (protocol 0 checks the handshake's reply byte).
    store->values().tunerCom.protocolIndex = 0;
    store->apply();
    port->handshakeReply = QByteArray(1, '\x5A');
    svc.messages.clear();
    svc.messages.answer(mrOk);
    run("TunerStart");
    ASSERT_TRUE(QTest::qWaitFor([&] { return svc.messages.count() > 0; }, 10000));
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("Bad response received. Check your settings."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Connection Error"));
}

TEST_F(MainDatalog, CrashRecoveryIsOfferedAtStartUp)
{
    // A recovery file left behind by a session that crashed.
    QByteArray left;
    TEngineModel engine;
    for (int i = 0; i < 250; ++i)
        left += engine.sampleAt(quint64(i) * 40).toBytes();
    const QString recovery = dir.filePath(QStringLiteral("~temp.dlf"));
    {
        QFile f(recovery);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(left);
    }
    svc.messages.answer(mrYes);
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return svc.messages.count() > 0; }, 5000));
    EXPECT_EQ(svc.messages.messages().first().title, QStringLiteral("Unsaved Session Found"));
    EXPECT_EQ(svc.messages.messages().first().text,
              QStringLiteral("There is an unsaved datalogging session found.\r\nDo you want to load it?"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return datalog->recording().count() == 250; }, 5000));
    EXPECT_EQ(datalog->recording().data(), left);
    EXPECT_TRUE(datalog->toolBar()->isVisible());
    EXPECT_TRUE(datalog->recording().unsaved()) << "a recovered session still needs saving";
    EXPECT_TRUE(datalog->playbackToolBar()->isVisible());

    // Closing the window asks about it before anything else; Cancel keeps the window.
    svc.messages.answer(mrCancel);
    form->close();
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Unsaved Data"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(datalog->recording().count(), 250);

    // No at exit used to leave the file, and the offer came back at every start.
    ASSERT_TRUE(QFile::exists(recovery));
    svc.messages.answer(mrNo);
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(QFile::exists(recovery));
}

TEST_F(MainDatalog, DecliningTheRecoveryDeletesTheFile)
{
    const QString recovery = dir.filePath(QStringLiteral("~temp.dlf"));
    {
        QFile f(recovery);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(TEngineModel().sampleAt(0).toBytes());
    }
    svc.messages.answer(mrNo);
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(recovery); }, 5000));
    EXPECT_TRUE(datalog->recording().isEmpty());
}

TEST_F(MainDatalog, ReplayHoldsInputButKeepsPainting)
{
    // A long file, replayed in slices.
    const QString path = dir.filePath(QStringLiteral("long.dlf"));
    {
        TEngineModel engine;
        QByteArray bytes;
        for (int i = 0; i < 120000; ++i)
            bytes += engine.sampleAt(quint64(i) * 20).toBytes();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    start();
    showToolBar();
    int painted = 0;
    struct TPaintCounter : QObject {
        int* n;
        explicit TPaintCounter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                ++*n;
            return false;
        }
    } counter(&painted);
    datalog->liveView()->grid()->viewport()->installEventFilter(&counter);

    svc.fileDialogs.answer(path);
    run("TunerLoad");
    ASSERT_TRUE(datalog->session().isReplaying());
    EXPECT_TRUE(datalog->replayBlocksInput());
    const int refreshesBefore = datalog->refreshCount();
    // A shortcut typed meanwhile is held back (F9 would connect).
    QTest::keyClick(form.get(), Qt::Key_F9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !datalog->session().isReplaying(); }, 60000));
    EXPECT_FALSE(datalog->tuner().isActive()) << "input reached the window during the replay";
    EXPECT_GT(datalog->refreshCount(), refreshesBefore + 1) << "the views were refreshed between slices";
    EXPECT_GT(painted, 0);
    EXPECT_FALSE(datalog->replayBlocksInput());
    EXPECT_EQ(datalog->recording().count(), 120000);
    EXPECT_EQ(datalog->playbackBar()->pageStep(), 50); // 50 samples per second
}

TEST_F(MainDatalog, DataGraphsDrawTheRecordingDecimated)
{
    store->values().dataGraphs.graph1 = (1 << dgRPM) | (1 << dgMAP);
    store->values().dataGraphs.graph2 = 1 << dgECT;
    const QString path = dir.filePath(QStringLiteral("long.dlf"));
    {
        TEngineModel engine;
        QByteArray bytes;
        for (int i = 0; i < 60000; ++i)
            bytes += engine.sampleAt(quint64(i) * 20).toBytes();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    start();
    showToolBar();
    svc.fileDialogs.answer(path);
    run("TunerLoad");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !datalog->session().isReplaying(); }, 60000));
    run("TunerDataGraphs");
    auto* work = qobject_cast<QStackedWidget*>(form->centralWidget());
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(work->currentWidget(), datalog->dataGraphs());
    TDataGraphView* g1 = datalog->dataGraphs()->graph(0);
    TDataGraphView* g2 = datalog->dataGraphs()->graph(1);
    ASSERT_NE(g1->seriesOf(dgRPM), nullptr);
    ASSERT_NE(g1->seriesOf(dgMAP), nullptr);
    ASSERT_NE(g2->seriesOf(dgECT), nullptr);
    EXPECT_EQ(g2->seriesOf(dgRPM), nullptr);
    const qsizetype drawn = g1->pointCount(dgRPM);
    EXPECT_GT(drawn, 100);
    EXPECT_LE(drawn, 4 * std::max(100, g1->width()) + 2) << "60 000 samples reduced to a few per pixel";
    EXPECT_NEAR(g1->timeAxis()->max(), 59999 * 0.02, 1e-6);
    // The playback cursor follows the bar.
    datalog->playbackBar()->setValue(30000);
    QLineSeries* cursor = nullptr;
    for (auto* s : g1->chart()->series())
        if (s->name() == QLatin1String("cursor"))
            cursor = qobject_cast<QLineSeries*>(s);
    ASSERT_NE(cursor, nullptr);
    ASSERT_EQ(cursor->count(), 2);
    EXPECT_NEAR(cursor->at(0).x(), 600.0, 1e-6);
    // The bar was a bare scroll bar: it names itself and tells where it is.
    EXPECT_NE(datalog->playbackToolBar()->findChild<QLabel*>(QStringLiteral("lblPlayback")), nullptr);
    auto* position = datalog->playbackToolBar()->findChild<QLabel*>(QStringLiteral("lblPlaybackPosition"));
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->text(), QStringLiteral("00:10:00.000  Sample 30001 / 60000"));
    // One time axis: the same span over the same pixels (the graphs have a
    // different number of y axes), and a zoom in one acts on both.
    QTest::qWait(50);
    const QPointF at1 = g1->chart()->mapToPosition(QPointF(600, 0), g1->seriesOf(dgRPM));
    const QPointF at2 = g2->chart()->mapToPosition(QPointF(600, 0), g2->seriesOf(dgECT));
    EXPECT_NEAR(at1.x(), at2.x(), 1.0);
    g1->timeAxis()->setRange(100, 200); // as the rubber band does
    EXPECT_TRUE(g2->zoomed());
    EXPECT_DOUBLE_EQ(g2->timeAxis()->min(), 100);
    EXPECT_DOUBLE_EQ(g2->timeAxis()->max(), 200);
    QTest::mouseRelease(g2->viewport(), Qt::RightButton, {}, g2->viewport()->rect().center());
    EXPECT_FALSE(g1->zoomed());
    EXPECT_NEAR(g1->timeAxis()->max(), 59999 * 0.02, 1e-6);
    // Back to the table grid.
    run("TunerDataGraphs");
    EXPECT_NE(work->currentWidget(), datalog->dataGraphs());
}

TEST_F(MainDatalog, CelDetailsOnDoubleClick)
{
    start();
    run("TunerLiveView");
    DatalogSample s = TEngineModel().sampleAt(1000);
    s.setU32(DatalogSample::Errors, (1u << 0) | (1u << 11));
    datalog->tuner().setSample(s);
    datalog->refreshNow();
    svc.messages.answer(mrOk);
    TVexorGrid* grid = datalog->liveView()->grid();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(1, 1 + lvCel).center());
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("CEL"));
    EXPECT_EQ(svc.messages.last().text, errorCodesLong(s.errorWord()));
    // Clicking a row puts it into the single-item display.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(0, 1 + lvEngineLoad).center());
    EXPECT_EQ(datalog->liveView()->selectedItem(), int(lvEngineLoad));
}

TEST_F(MainDatalog, UnitCommandsRepaintTheLiveView)
{
    start();
    run("TunerLiveView");
    datalog->refreshNow();
    // Before the first sample it showed conversions of zeros ("284.00 °F").
    for (int i = 0; i < lvItemCount; ++i)
        EXPECT_TRUE(liveCaption(i).isEmpty()) << liveCaption(i).toStdString();
    DatalogSample s = TEngineModel().sampleAt(20000);
    s.setU8(DatalogSample::Speed, 100);
    datalog->tuner().setSample(s);
    datalog->refreshNow();
    EXPECT_EQ(liveCaption(lvVehicleSpeed), QStringLiteral("62.0 Mph"));
    act("ViewMph")->trigger();
    datalog->refreshNow();
    EXPECT_EQ(liveCaption(lvVehicleSpeed), QStringLiteral("100 kph"));
    act("ViewTempF")->trigger();
    act("ViewPsi")->trigger();
    datalog->refreshNow();
    EXPECT_TRUE(liveCaption(lvCoolantTemp).endsWith(QStringLiteral("\u00B0C")));
    EXPECT_TRUE(liveCaption(lvBoost).endsWith(QStringLiteral("kg/cm\u00B2"))) << liveCaption(lvBoost).toStdString();
    // The CSV export and vexor-cli dlf2csv (from the settings the window saves)
    // use the same units: psi used to come from the menu in one and from the
    // settings in the other.
    store->collect();
    EXPECT_EQ(datalog->display().sampleDisplay().units, displayUnits(store->values().general));
    EXPECT_FALSE(store->values().general.showPsi);
}

TEST_F(MainDatalog, HidingTheToolBarClosesTheConnection)
{
    start();
    showToolBar();
    run("TunerStart");
    ASSERT_TRUE(streamUntil(20));
    run("ToolsTuner");
    EXPECT_FALSE(datalog->toolBar()->isVisible());
    EXPECT_FALSE(datalog->tuner().isActive());
}

TEST_F(MainDatalog, SettingsTestUsesTheRealLink)
{
    start();
    showToolBar();
    run("TunerStart");
    ASSERT_TRUE(streamUntil(10));
    IConnectionTester* tester = datalog->connectionTester();
    std::optional<bool> result;
    tester->testDatalog(store->values(), [&](bool ok) { result = ok; });
    EXPECT_FALSE(datalog->tuner().isActive()) << "the test closes the running connection first";
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_TRUE(*result);

    refuseTestPort = true;
    result.reset();
    tester->testDatalog(store->values(), [&](bool ok) { result = ok; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_FALSE(*result);
    EXPECT_EQ(svc.messages.count(), 0) << "the settings window reports the outcome, not the link";
}

TEST_F(MainDatalog, TypedPortJoinsThePortList)
{
    start();
    svc.messages.answerInput(QStringLiteral("/dev/pts/77"));
    run("TunerPort");
    ASSERT_EQ(svc.messages.inputs().size(), 1);
    EXPECT_EQ(svc.messages.inputs().first().value, QStringLiteral("/dev/ttyFAKE0"));
    EXPECT_EQ(ports.nameAt(store->values().tunerCom.portIndex), QStringLiteral("/dev/pts/77"));
    port->refuseOpen = true;
    showToolBar();
    svc.messages.answer(mrOk);
    run("TunerStart");
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("/dev/pts/77 failed to open."));

    // A restart: the path was lost (only PortIndex was stored, an index into
    // the typed paths of the last run) and F9 opened a port named "".
    store->collect();
    ASSERT_TRUE(store->save());
    datalog.reset();
    form.reset();
    store = std::make_unique<TSettingsStore>(dir.path());
    ASSERT_TRUE(store->load());
    ports = TPortList([] { return QStringList{QStringLiteral("/dev/ttyFAKE0")}; });
    start();
    port->refuseOpen = true;
    showToolBar();
    svc.messages.answer(mrOk);
    run("TunerStart");
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("/dev/pts/77 failed to open."));
}

// The first Connect after a streaming session failed with "Bad response
// received": the reply to the last request came in before the new handshake.
TEST_F(MainDatalog, ConnectRightAfterStreamingConnectsAtOnce)
{
    start();
    showToolBar();
    run("TunerStart");
    ASSERT_TRUE(streamUntil(20));
    run("TunerStart"); // disconnect while a reply is on its way
    svc.messages.clear();
    svc.messages.answer(mrNo); // the recording is not wanted
    run("TunerStart");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return datalog->recording().count() >= 20 || !datalog->tuner().isActive(); }, 30000));
    EXPECT_TRUE(datalog->tuner().isActive());
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Unsaved Data"));
}

// The real serial port against vexor-sim on a pseudo-terminal, as a user
// connects to the simulator.
TEST_F(MainDatalog, ConnectsToTheSimulatorOnAPseudoTerminal)
{
    const QString bin = qEnvironmentVariableIsSet("VEXOR_BIN") ? qEnvironmentVariable("VEXOR_BIN")
                                                               : QCoreApplication::applicationDirPath();
    const QString simPath = bin + QStringLiteral("/vexor-sim");
    if (!QFile::exists(simPath))
        GTEST_SKIP() << "vexor-sim not built";
    QProcess sim;
    sim.start(simPath, {QStringLiteral("ecu"), QStringLiteral("--protocol"), QStringLiteral("1")});
    ASSERT_TRUE(sim.waitForStarted(10000));
    QDeadlineTimer deadline(10000);
    while (!sim.canReadLine() && !deadline.hasExpired())
        sim.waitForReadyRead(100);
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/"))) << device.toStdString();

    start(1, true);
    svc.messages.answerInput(device);
    run("TunerPort");
    showToolBar();
    run("TunerStart");
    ASSERT_TRUE(streamUntil(100, 60000));
    datalog->refreshNow();
    EXPECT_EQ(liveCaption(lvDuration), QStringLiteral("Recording..."));
    EXPECT_FALSE(liveCaption(lvBattery).isEmpty());
    run("TunerStart");
    EXPECT_FALSE(datalog->tuner().isActive());
    EXPECT_EQ(datalog->tuner().stats().corruptFrames, 0u);
    // Connecting again at once: the simulator's answer to the last request
    // must not fail the handshake.
    svc.messages.answer(mrNo);
    run("TunerStart");
    const qint64 more = datalog->recording().count() + 50;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return datalog->recording().count() >= more || !datalog->tuner().isActive(); }, 60000));
    EXPECT_TRUE(datalog->tuner().isActive());
    run("TunerStart");
    sim.terminate();
    sim.waitForFinished(5000);
}

TEST_F(MainDatalog, PlaybackBarFollowsANewRecording)
{
    const QString path = dir.filePath(QStringLiteral("old.dlf"));
    {
        TEngineModel engine;
        QByteArray bytes;
        for (int i = 0; i < 500; ++i)
            bytes += engine.sampleAt(quint64(i) * 20).toBytes();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    start();
    showToolBar();
    svc.fileDialogs.answer(path);
    run("TunerLoad");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !datalog->session().isReplaying(); }, 20000));
    EXPECT_EQ(datalog->playbackBar()->maximum(), 499);

    run("TunerStart");
    EXPECT_FALSE(datalog->playbackToolBar()->isVisible()) << "no scrubbing while connected";
    ASSERT_TRUE(streamUntil(30));
    run("TunerStart");
    const qint64 count = datalog->recording().count();
    ASSERT_LT(count, 500);
    EXPECT_EQ(datalog->playbackBar()->maximum(), count - 1);
    datalog->playbackBar()->setValue(int(count - 1));
    DatalogSample last;
    ASSERT_TRUE(datalog->recording().readAt(count - 1, last));
    EXPECT_EQ(datalog->tuner().sample(), last);
}

TEST_F(MainDatalog, AWideMapFitsBesideTheLiveViewAndTheGridTakesTheRoom)
{
    // At 960 x 680 the datalog tool bar hid its last commands in the overflow,
    // the live view pushed map columns out of sight, and a larger window was
    // left half white beside a grid of fixed-size cells.
    TRomGenOptions o;
    o.family = QStringLiteral("vexorau");
    QFile f(romPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(generateRom(o));
    f.close();
    start();
    form->resize(1344, 680); // the default, whatever the test screen's size
    showToolBar();
    run("TunerLiveView");
    TVexorGrid* grid = form->grid();
    ASSERT_TRUE(QTest::qWaitFor([&] { return datalog->liveViewDock()->isVisible(); }, 2000));
    QTest::qWait(20);
    for (QAction* a : datalog->toolBar()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_TRUE(datalog->toolBar()->widgetForAction(a)->isVisible()) << qPrintable(a->text());
        }
    }
    ASSERT_EQ(grid->ColCount(), 25);
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0) << "every column in sight";

    run("TunerLiveView");
    form->resize(1400, 900);
    QTest::qWait(20);
    EXPECT_EQ(grid->contentSize().width(), grid->viewport()->width());
    EXPECT_GT(grid->CellRect(1, 3).width(), grid->DefaultColWidth() * 3 / 4);

    // ViewToggle used to flip to the data graphs: they are not in its cycle.
    auto* work = qobject_cast<QStackedWidget*>(form->centralWidget());
    ASSERT_NE(work, nullptr);
    QWidget* tables = work->currentWidget();
    run("ViewToggle");
    EXPECT_EQ(work->currentWidget(), tables) << "the map graphs beside the grid";
    run("ViewToggle");
    EXPECT_EQ(work->currentWidget(), static_cast<QWidget*>(form->optionsPanel())) << "the option pages, not the graphs";
    run("TunerDataGraphs");
    run("ViewToggle");
    EXPECT_EQ(work->currentWidget(), tables) << "from the data graphs back to the grid";
}

// Auto-tune from a replayed log: the same accumulator as live data, every
// adjustment one undo step, the dialog's choices applied to the selection.
TEST_F(MainDatalog, AutoTuneFromAReplayedLogUndoesInOneStep)
{
    TSettings& s = store->values();
    s.tuning.gearSet = QStringLiteral("012345");
    s.tuning.acceptance = 1;
    s.tuning.filterData = false;
    s.tuning.mapSmooth = false;
    for (int i = 0; i < 12; ++i) // the simulator's wideband output: linear 0-5 V over lambda 0.5-1.5
        s.lambdaConversion[size_t(i)] = TLambdaPoint{5.0 * i / 11, 0.5 + 1.0 * i / 11};
    start();
    showToolBar();
    TEngineModel engine;
    engine.richCells = {{6, 6, false, 0.9}, {6, 5, false, 0.9}};
    QByteArray log;
    for (int i = 0; i < 1200; ++i)
        log += engine.sampleAt(quint64(i) * 50).toBytes();
    const QString logPath = dir.filePath(QStringLiteral("drive.dlf"));
    writeBytes(logPath, log);
    ASSERT_TRUE(datalog->session().loadDatalog(logPath, false));
    TAutoTuneCommands& tune = datalog->autoTune();
    EXPECT_GT(tune.tuner().accepted(), 0u);
    EXPECT_TRUE(tune.rejectionSummary().contains(QLatin1String("throttle"))) << "idle samples were not used";

    TRom& rom = form->rom();
    const QByteArray before = rom.buffer().readString(0, rom.buffer().size());
    run("TunerAutoAdjustMap");
    const QByteArray tuned = rom.buffer().readString(0, rom.buffer().size());
    EXPECT_NE(tuned, before);
    form->amMainOnUpdate();
    run("EditUndo");
    EXPECT_EQ(rom.buffer().readString(0, rom.buffer().size()), before) << "one undo takes the whole adjustment back";

    // Everything was used and emptied (ClearLog): now there is nothing to do.
    svc.messages.answer(mrOk);
    run("TunerAutoAdjustMap");
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("No data was recorded. Auto-tune process will be halted."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("No Available Data"));

    // The dialog: a percent over the selection, one undo step too.
    TTunerAdjustSummary shown;
    tune.askAdjustment = [&shown](const TTunerAdjustSummary& summary) {
        shown = summary;
        return std::optional<TTunerAdjustChoice>(TTunerAdjustChoice{TTunerAdjustOption::Percent, 10});
    };
    form->grid()->SelectCell(TGridDisplay::FixedCols + 2, TGridDisplay::FixedRows + 3);
    const double cell = rom.tableValue(2, 3, tkLowFuel);
    run("TunerAdjust");
    EXPECT_EQ(shown.averageText, QStringLiteral("No available data from selection."));
    EXPECT_NEAR(rom.tableValue(2, 3, tkLowFuel), cell * 1.1, cell * 0.03);
    form->amMainOnUpdate();
    run("EditUndo");
    EXPECT_EQ(rom.tableValue(2, 3, tkLowFuel), cell);
}

// Live automatic adjustment: once enough samples came in at light load, the
// maps are corrected, the ROM quick-saved and the recording saved beside it
// under the same name.
TEST_F(MainDatalog, LiveAutoAdjustQuickSavesRomAndRecording)
{
    TSettings& s = store->values();
    s.tuning.gearSet = QStringLiteral("012345");
    s.tuning.acceptance = 1;
    s.tuning.filterData = false;
    s.tuning.minSample = 40;
    s.tuning.minInterval = 0;
    for (int i = 0; i < 12; ++i)
        s.lambdaConversion[size_t(i)] = TLambdaPoint{5.0 * i / 11, 0.4 + 1.0 * i / 11}; // reads 10 % rich
    start();
    showToolBar();
    run("TunerLiveAutoAdjust");
    EXPECT_TRUE(datalog->autoTune().liveAutoAdjust());
    const QByteArray before = form->rom().buffer().readString(0, form->rom().buffer().size());
    run("TunerStart");
    const QDir folder(dir.path());
    const auto saved = [&] { return folder.entryList({QStringLiteral("demo.*.dlf")}, QDir::Files); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !saved().isEmpty(); }, 30000));
    run("TunerStart"); // disconnect
    const QString log = saved().first();
    QString image = log;
    image.replace(QLatin1String(".dlf"), QLatin1String(".bin"));
    EXPECT_TRUE(folder.exists(image)) << "the tuned ROM beside its log";
    EXPECT_NE(readBytes(folder.filePath(image)).left(before.size()), before);
    EXPECT_TRUE(svc.messages.messages().isEmpty());
}
