#include "app/frmMainDatalog.h"

#include "app/frmMain.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlLiveView.h"
#include "datalog/ui/frmDataGraphs.h"
#include "datalog/ui/frmLiveView.h"
#include "editor/ui/VexorGrid.h"
#include "rom/mdlErrors.h"
#include "settings/mdlClock.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <climits>
#include <optional>

namespace {

// Milliseconds between two redraws of the data graphs while samples stream in.
constexpr int GraphRefreshMs = 100;

const char* const TrackCommands[] = {"TrackSingleCell", "TrackQuadCell",     "TrackSingleColumn",
                                     "TrackSingleRow",  "TrackDoubleColumn", "TrackDoubleRow"};

} // namespace

TMainDatalog::TMainDatalog(TMainForm& form, const TServices& services, TSettingsStore* store, TDatalogDevices devices)
    : QObject(nullptr), m_form(form), m_services(services), m_store_settings(store)
{
    setObjectName(QStringLiteral("TunerSide"));
    if (services.clock) {
        m_clock = services.clock;
    } else {
        m_ownClock = std::make_unique<TSystemClock>();
        m_clock = m_ownClock.get();
    }
    if (devices.timers) {
        m_timers = devices.timers;
    } else {
        m_ownTimers = std::make_unique<TQtTimerFactory>();
        m_timers = m_ownTimers.get();
    }
    if (devices.ports) {
        m_ports = devices.ports;
    } else {
        m_ownPorts = std::make_unique<TPortList>();
        m_ports = m_ownPorts.get();
    }
    ISerialPort* port = devices.port;
    if (!port) {
        m_ownPort = std::make_unique<TQtSerialPort>();
        port = m_ownPort.get();
    }

    m_store = std::make_unique<TCuddleCore>(*m_clock);
    m_tuner = std::make_unique<TTunerForm>(*m_clock, *m_timers, port, services.messages);
    m_session = std::make_unique<TDatalogSession>(*m_tuner, *m_store, *m_clock, *m_timers, services.messages,
                                                  services.fileDialogs);
    m_session->exportCsv = [this](const QString& path) { exportCsv(path); };
    m_session->locateSample = [this](const DatalogSample& s) {
        m_cell = findSampleCell(s, &m_form.rom(), m_trackMode, sampleContext());
        if (m_smartTrack && m_cell.Valid)
            smartTrackSwitch(m_cell.HighCam);
    };
    m_store->onRecoveryFailed = [this](const QString& error) {
        // Reported from the sample path: the message box waits for the next
        // pass of the event loop instead of running one inside the receiver.
        QTimer::singleShot(0, this, [this, error] {
            if (m_services.messages)
                m_services.messages->showMessage(
                    QStringLiteral("The recovery file of the recording could not be written: %1").arg(error),
                    QStringLiteral("Datalog Error"), TMsgKind::Error, TMsgButton::OK);
        });
    };

    auto makeTestPort = devices.makeTestPort;
    if (!makeTestPort)
        makeTestPort = [] { return std::unique_ptr<ISerialPort>(std::make_unique<TQtSerialPort>()); };
    m_tester = std::make_unique<TDatalogConnectionTester>(*m_clock, *m_timers, makeTestPort, m_ports);
    m_tester->beforeTest = [this] {
        // The test opens the configured port itself.
        if (m_tuner->isActive())
            m_tuner->close();
        updatePlaybackBar();
    };

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &TMainDatalog::refresh);
    m_graphTimer = new QTimer(this);
    m_graphTimer->setSingleShot(true);
    m_graphTimer->setInterval(GraphRefreshMs);
    connect(m_graphTimer, &QTimer::timeout, this, &TMainDatalog::refreshGraphs);

    connect(m_session.get(), &TDatalogSession::refreshRequested, this, &TMainDatalog::scheduleRefresh);
    connect(m_session.get(), &TDatalogSession::playbackBarChanged, this, &TMainDatalog::updatePlaybackBar);
    connect(m_session.get(), &TDatalogSession::busyChanged, this, &TMainDatalog::setInputBlocked);
    connect(m_session.get(), &TDatalogSession::graphCursorMoved, this,
            [this](double seconds) { m_graphs->setCursorTime(seconds); });
    connect(m_session.get(), &TDatalogSession::replayFinished, this, [this] {
        scheduleGraphRefresh();
        updateCommandStates();
    });
    connect(m_tuner.get(), &TTunerForm::stateChanged, this, [this] {
        scheduleRefresh();
        updateCommandStates();
    });
    connect(m_tuner.get(), &TTunerForm::warning, this,
            [this](const QString& text) { m_form.statusBar()->showMessage(text, 5000); });

    createActions();
    createWidgets();

    if (m_store_settings) {
        m_store_settings->addConsumer([this](const TSettings& s) { applySettings(s); },
                                      [this](TSettings& s) { collectSettings(s); }, this);
        applySettings(m_store_settings->values());
    } else {
        applySettings(TSettings{});
    }

    // While connected with smart tracking, the step commands change the
    // cells around the live cell.
    m_form.SmartTrackActive = [this] { return m_smartTrack && m_tuner->isActive(); };

    // Closing the window asks about the recording first; a replay holds
    // input back.
    m_form.installEventFilter(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainDatalog::updateCommandStates);
    QTimer::singleShot(0, this, &TMainDatalog::startupStep);
}

TMainDatalog::~TMainDatalog()
{
    if (m_inputBlocked) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    m_form.removeEventFilter(this);
    m_form.SmartTrackActive = nullptr;
    m_tuner->close();
    // The window outlives this object: take the widgets along. The commands
    // stay with the window's action manager and do nothing from now on.
    m_refreshTimer->stop();
    m_graphTimer->stop();
    delete dkLiveView;
    delete tbTuner;
    delete tbPlayback;
    delete m_graphs;
    delete mnuTuner;
}

QAction* TMainDatalog::addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable)
{
    const QPointer<TMainDatalog> self(this);
    QAction* a = m_form.actionManager()->add(
        QLatin1String(name), text,
        [self, execute = std::move(execute)] {
            if (!self)
                return;
            execute();
            self->updateCommandStates();
        },
        {}, checkable);
    m_form.addAction(a);
    return a;
}

void TMainDatalog::createActions()
{
    addCommand(
        "ToolsTuner", tr("&Datalog Tool Bar"), [this] { ToolsTunerExecute(); }, true);
    addCommand(
        "TunerStart", tr("&Connect"), [this] { TunerStartExecute(); }, true)
        ->setShortcut(QKeySequence(Qt::Key_F9));
    addCommand("TunerClose", tr("Close &Session"), [this] { TunerCloseExecute(); });
    addCommand(
        "TunerRecord", tr("&Record"), [this] { TunerRecordExecute(); }, true);
    addCommand("TunerLoad", tr("&Load Datalog..."), [this] { TunerLoadExecute(); });
    addCommand("TunerSave", tr("&Save Datalog..."), [this] { TunerSaveExecute(); });
    addCommand(
        "TunerLiveView", tr("&Live View"), [this] { TunerLiveViewExecute(); }, true);
    addCommand(
        "TunerDataGraphs", tr("Data &Graphs"), [this] { TunerDataGraphsExecute(); }, true);
    addCommand(
        "TunerViewMinimal", tr("&Minimal Live View"), [this] { TunerViewMinimalExecute(); }, true);
    addCommand(
        "TunerSmartTrack", tr("Smart &Track"), [this] { TunerSmartTrackExecute(); }, true);
    addCommand("TunerPort", tr("Datalog &Port..."), [this] { TunerPortExecute(); });
    const QString trackTexts[] = {tr("Track Single Cell"), tr("Track Quad Cell"),     tr("Track Single Column"),
                                  tr("Track Single Row"),  tr("Track Double Column"), tr("Track Double Row")};
    for (quint8 m = 0; m < 6; ++m)
        addCommand(
            TrackCommands[m], trackTexts[m], [this, m] { TrackModeExecute(m); }, true);

    // Unit changes and the refresh command repaint the live view and graphs.
    // These run after the window's own handler, which has updated the flags.
    for (const char* name : {"ViewMph", "ViewTempF", "ViewPsi", "ViewAFR", "ViewRefresh"})
        if (QAction* a = m_form.action(QLatin1String(name)))
            connect(a, &QAction::triggered, this, [this] {
                if (QAction* mph = m_form.action(QStringLiteral("ViewMph")))
                    m_settings.general.showMph = mph->isChecked();
                if (QAction* f = m_form.action(QStringLiteral("ViewTempF")))
                    m_settings.general.showFahrenheit = f->isChecked();
                scheduleRefresh();
                scheduleGraphRefresh();
            });
}

void TMainDatalog::createWidgets()
{
    auto act = [this](const char* name) { return m_form.action(QLatin1String(name)); };

    mnuTuner = m_form.menuBar()->addMenu(tr("&Datalog"));
    mnuTuner->setObjectName(QStringLiteral("mnuTuner"));
    for (const char* n :
         std::initializer_list<const char*>{"ToolsTuner", nullptr, "TunerStart", "TunerClose", "TunerRecord", nullptr,
                                            "TunerLoad", "TunerSave", nullptr, "TunerLiveView", "TunerViewMinimal",
                                            "TunerDataGraphs", nullptr, "TunerSmartTrack", "TunerPort"}) {
        if (n)
            mnuTuner->addAction(act(n));
        else
            mnuTuner->addSeparator();
    }
    QMenu* track = mnuTuner->addMenu(tr("Track &Mode"));
    track->setObjectName(QStringLiteral("mnuTrackMode"));
    for (const char* n : TrackCommands)
        track->addAction(act(n));
    if (auto* tools = m_form.findChild<QMenu*>(QStringLiteral("mnuTools")))
        tools->addAction(act("ToolsTuner"));

    tbTuner = new QToolBar(tr("Datalog"), &m_form);
    tbTuner->setObjectName(QStringLiteral("tbTuner"));
    for (const char* n : {"TunerStart", "TunerClose", "TunerRecord", "TunerLoad", "TunerSave", "TunerLiveView",
                          "TunerDataGraphs", "TunerSmartTrack"})
        tbTuner->addAction(act(n));
    tbTuner->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_form.addToolBar(Qt::TopToolBarArea, tbTuner);
    tbTuner->hide();
    connect(tbTuner, &QToolBar::visibilityChanged, this, &TMainDatalog::toolbarVisibilityChanged);

    tbPlayback = new QToolBar(tr("Playback"), &m_form);
    tbPlayback->setObjectName(QStringLiteral("tbPlayback"));
    sbPlayback = new QScrollBar(Qt::Horizontal, tbPlayback);
    sbPlayback->setObjectName(QStringLiteral("sbPlayback"));
    sbPlayback->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sbPlayback->setMinimumWidth(300);
    tbPlayback->addWidget(sbPlayback);
    m_form.addToolBar(Qt::BottomToolBarArea, tbPlayback);
    tbPlayback->hide();
    connect(sbPlayback, &QScrollBar::valueChanged, this, [this](int position) {
        if (!m_updatingBar)
            m_session->playbackMove(position);
    });

    dkLiveView = new QDockWidget(tr("Live View"), &m_form);
    dkLiveView->setObjectName(QStringLiteral("dkLiveView"));
    m_liveView = new TLiveViewPanel(dkLiveView);
    dkLiveView->setWidget(m_liveView);
    m_form.addDockWidget(Qt::RightDockWidgetArea, dkLiveView);
    dkLiveView->hide();
    connect(dkLiveView, &QDockWidget::visibilityChanged, this, [this] {
        scheduleRefresh();
        updateCommandStates();
    });
    connect(m_liveView, &TLiveViewPanel::doubleClicked, this, &TMainDatalog::celDetails);

    m_graphs = new TDataGraphsPanel(&m_form);
    if (auto* work = qobject_cast<QStackedWidget*>(m_form.centralWidget()))
        work->addWidget(m_graphs);
    else
        m_graphs->hide();
}

// --- settings ------------------------------------------------------------------

void TMainDatalog::applySettings(const TSettings& s)
{
    m_settings = s;
    m_session->samplingPriority = s.tuning.samplingPriority;
    m_session->recordMode = s.tuning.recordMode;
    m_session->autoSaveLogs = s.tuning.autoSaveLogs;
    m_smartTrack = s.tuning.smartTrack;
    m_trackMode = static_cast<quint8>(std::clamp(s.tuning.trackMode, 0, 5));
    m_minimal = s.general.minimalLiveView;
    m_liveView->setMinimal(m_minimal);
    m_lambda = lambdaLookupFromSettings(s, m_store_settings ? m_store_settings->widebands().count() : 0);
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TMainDatalog::collectSettings(TSettings& s) const
{
    s.tuning.recordMode = m_session->recordMode;
    s.tuning.smartTrack = m_smartTrack;
    s.tuning.trackMode = m_trackMode;
    s.general.minimalLiveView = m_minimal;
}

TTunerSettings TMainDatalog::connectionSettings() const
{
    return tunerSettingsFrom(m_settings, m_ports->nameAt(m_settings.tunerCom.portIndex));
}

TSampleContext TMainDatalog::sampleContext() const { return sampleContextFor(&m_form.rom()); }

bool TMainDatalog::liveViewVisible() const { return dkLiveView && !dkLiveView->isHidden(); }

// --- refresh -------------------------------------------------------------------

void TMainDatalog::scheduleRefresh()
{
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void TMainDatalog::scheduleGraphRefresh()
{
    if (!m_graphTimer->isActive())
        m_graphTimer->start();
}

void TMainDatalog::refreshNow()
{
    m_refreshTimer->stop();
    refresh();
}

void TMainDatalog::refresh()
{
    ++m_refreshCount;
    const TSampleContext ctx = sampleContext();
    const DatalogSample& s = m_tuner->sample();
    const bool live = m_tuner->isActive();
    m_cell = findSampleCell(s, &m_form.rom(), m_trackMode, ctx);
    if (live && m_smartTrack && m_cell.Valid)
        smartTrackSwitch(m_cell.HighCam);

    TLivePosition position;
    position.Active = (live || liveViewVisible()) && m_cell.Valid;
    position.Col = m_cell.Col;
    position.Row = m_cell.Row;
    position.HighCam = m_cell.HighCam;
    position.TrackMode = m_trackMode;
    m_form.setLivePosition(position);

    if (liveViewVisible()) {
        const TGridDisplayOptions& d = m_form.display().options();
        TLiveViewOptions o;
        o.mph = m_settings.general.showMph;
        o.fahrenheit = m_settings.general.showFahrenheit;
        o.psi = d.ShowPsi;
        o.afr = d.ShowAFR;
        o.atmospheric = m_settings.general.atmospheric;
        o.stoich = static_cast<float>(m_settings.general.stoichValue);
        o.ctx = ctx;
        o.lambda = m_lambda;
        o.tuning = m_settings.tuning;
        o.connectionActive = live;
        o.startTime = m_session->recordingStart();
        m_liveView->setRows(liveViewRows(s, o));
    }
    if (m_graphs->isVisible())
        scheduleGraphRefresh();
}

void TMainDatalog::refreshGraphs()
{
    if (!m_graphs->isVisible())
        return;
    const TGridDisplayOptions& d = m_form.display().options();
    TDataGraphUnits u;
    u.mph = m_settings.general.showMph;
    u.fahrenheit = m_settings.general.showFahrenheit;
    u.psi = d.ShowPsi;
    u.afr = d.ShowAFR;
    u.atmospheric = m_settings.general.atmospheric;
    u.stoich = static_cast<float>(m_settings.general.stoichValue);
    u.ctx = sampleContext();
    u.lambda = m_lambda;
    m_graphs->refresh(m_store->data(), u, m_settings.dataGraphs.graph1, m_settings.dataGraphs.graph2);
}

void TMainDatalog::smartTrackSwitch(bool highCam)
{
    const quint8 table = m_form.rom().CurrentTable;
    int target = -1;
    if (highCam && (table == 0 || table == 2))
        target = table + 1;
    else if (!highCam && (table == 1 || table == 3))
        target = table - 1;
    if (target < 0)
        return;
    static const char* const views[] = {"ViewLCF", "ViewHCF", "ViewLCI", "ViewHCI"};
    QAction* a = m_form.action(QLatin1String(views[target]));
    if (a && a->isEnabled())
        a->trigger();
}

void TMainDatalog::showLiveView()
{
    dkLiveView->show();
    scheduleRefresh();
}

void TMainDatalog::updatePlaybackBar()
{
    const TPlaybackBar& b = m_session->playbackBar();
    const bool show = b.visible && !m_tuner->isActive() && !m_store->isEmpty();
    m_updatingBar = true;
    // The range follows the store: after a file was played back and a new
    // session recorded, the bar scrubs the new recording, never past its end.
    sbPlayback->setRange(0, static_cast<int>(std::min<qint64>(std::max<qint64>(m_store->count() - 1, 0), INT_MAX)));
    sbPlayback->setPageStep(std::max(1, b.pageSize));
    sbPlayback->setSingleStep(1);
    sbPlayback->setValue(static_cast<int>(std::min<qint64>(b.position, INT_MAX)));
    m_updatingBar = false;
    tbPlayback->setVisible(show);
    if (!show)
        m_graphs->setCursorTime(-1);
    updateCommandStates();
}

// --- commands --------------------------------------------------------------------

void TMainDatalog::updateCommandStates()
{
    if (!tbTuner)
        return;
    const bool bar = !tbTuner->isHidden();
    const bool rom = m_form.rom().isLoaded();
    const bool active = m_tuner->isActive();
    const bool replaying = m_session->isReplaying();
    const bool hasData = !m_store->isEmpty();
    auto* work = qobject_cast<QStackedWidget*>(m_form.centralWidget());
    TCommandStates st;
    auto set = [&st](const char* name, bool enabled, std::optional<bool> checked = std::nullopt) {
        st[QLatin1String(name)] = TCommandState{enabled, true, checked};
    };
    set("ToolsTuner", !replaying, bar);
    set("TunerStart", bar && rom && !replaying, active);
    set("TunerClose", bar && rom && !replaying && (active || hasData));
    set("TunerLoad", bar && rom && !active && !replaying);
    set("TunerSave", bar && rom && hasData && !replaying);
    set("TunerRecord", bar, m_session->recordMode);
    set("TunerSmartTrack", bar && rom, m_smartTrack);
    set("TunerViewMinimal", true, m_minimal);
    set("TunerPort", !active && !replaying);
    set("TunerLiveView", true, liveViewVisible());
    set("TunerDataGraphs", work != nullptr, work && work->currentWidget() == m_graphs);
    for (quint8 m = 0; m < 6; ++m)
        set(TrackCommands[m], true, m_trackMode == m);
    m_form.actionManager()->apply(st);
    if (QAction* start = m_form.action(QStringLiteral("TunerStart")))
        start->setText(active ? tr("Dis&connect") : tr("&Connect"));
}

void TMainDatalog::ToolsTunerExecute() { tbTuner->setVisible(tbTuner->isHidden()); }

void TMainDatalog::toolbarVisibilityChanged(bool visible)
{
    // The tool bar also reports showing again with its window; only a change
    // of its own visibility counts.
    if (visible == m_toolbarShown)
        return;
    m_toolbarShown = visible;
    if (visible) {
        // Not from inside the show event: the offer is a modal question.
        QTimer::singleShot(0, this, [this] {
            m_session->crashRecoveryCheck();
            if (!m_store->isEmpty())
                showLiveView();
            updatePlaybackBar();
        });
    } else if (m_form.started()) {
        m_tuner->close();
        updatePlaybackBar();
    }
    updateCommandStates();
}

void TMainDatalog::startupStep()
{
    // Once the window has run its first activation (ROM from the command line).
    if (!m_form.started()) {
        QTimer::singleShot(10, this, &TMainDatalog::startupStep);
        return;
    }
    m_startupDone = true;
    // After a crash the recovery file is still there: offer it at once by
    // showing the datalog tool bar, which runs the recovery check.
    if (QFile::exists(m_store->recoveryFilePath()) && tbTuner->isHidden())
        tbTuner->show();
}

void TMainDatalog::TunerStartExecute()
{
    if (!m_tuner->isActive())
        m_tuner->setSettings(connectionSettings());
    m_session->tunerStart();
    if (m_tuner->isActive())
        showLiveView();
    updatePlaybackBar();
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TMainDatalog::TunerCloseExecute()
{
    m_session->tunerClose();
    updatePlaybackBar();
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TMainDatalog::TunerRecordExecute() { m_session->recordMode = !m_session->recordMode; }

void TMainDatalog::TunerSaveExecute()
{
    m_session->tunerSave();
    updatePlaybackBar();
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TMainDatalog::TunerLoadExecute()
{
    m_session->tunerLoad();
    if (m_session->isReplaying() || !m_store->isEmpty())
        showLiveView();
    updatePlaybackBar();
    scheduleGraphRefresh();
}

void TMainDatalog::TunerSmartTrackExecute() { m_smartTrack = !m_smartTrack; }

void TMainDatalog::TunerViewMinimalExecute()
{
    m_minimal = !m_minimal;
    m_liveView->setMinimal(m_minimal);
}

void TMainDatalog::TunerLiveViewExecute()
{
    dkLiveView->setVisible(dkLiveView->isHidden());
    scheduleRefresh();
}

void TMainDatalog::TunerDataGraphsExecute()
{
    auto* work = qobject_cast<QStackedWidget*>(m_form.centralWidget());
    if (!work)
        return;
    if (work->currentWidget() == m_graphs) {
        if (QAction* tables = m_form.action(QStringLiteral("ViewTables")); tables && tables->isEnabled())
            tables->trigger();
        else
            work->setCurrentIndex(0);
        return;
    }
    work->setCurrentWidget(m_graphs);
    m_graphTimer->stop();
    refreshGraphs();
}

void TMainDatalog::TrackModeExecute(quint8 mode)
{
    m_trackMode = mode;
    scheduleRefresh();
}

void TMainDatalog::TunerPortExecute()
{
    if (!m_services.messages)
        return;
    const std::optional<QString> typed = m_services.messages->inputQuery(
        tr("Datalog Port"), tr("Serial device of the ECU link:"), m_ports->nameAt(m_settings.tunerCom.portIndex));
    if (!typed || typed->trimmed().isEmpty())
        return;
    const int index = m_ports->indexOfOrAdd(*typed);
    if (index < 0)
        return;
    m_settings.tunerCom.portIndex = index;
    if (m_store_settings)
        m_store_settings->values().tunerCom.portIndex = index;
}

void TMainDatalog::celDetails()
{
    const DatalogSample& s = m_tuner->sample();
    if (s.isMarker() || s.errorWord() == 0 || !m_services.messages)
        return;
    m_services.messages->showMessage(errorCodesLong(s.errorWord()), QStringLiteral("CEL"), TMsgKind::Information,
                                     TMsgButton::OK);
}

void TMainDatalog::exportCsv(const QString& path)
{
    TCsvOptions o;
    const TGridDisplayOptions& d = m_form.display().options();
    o.mph = m_settings.general.showMph;
    o.fahrenheit = m_settings.general.showFahrenheit;
    o.psi = d.ShowPsi;
    o.atmospheric = m_settings.general.atmospheric;
    o.stoich = static_cast<float>(m_settings.general.stoichValue);
    o.ctx = sampleContext();
    o.lambda = m_lambda;
    o.startTime = m_session->recordingStart();
    // The window waits, disabled and with a busy cursor, while the file is written.
    m_form.setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestore {
        TMainForm& form;
        ~TRestore()
        {
            QApplication::restoreOverrideCursor();
            form.setEnabled(true);
        }
    } restore{m_form};
    exportCsvFile(path, m_store->data(), o);
}

// --- input while replaying ------------------------------------------------------

void TMainDatalog::setInputBlocked(bool on)
{
    if (on == m_inputBlocked)
        return;
    m_inputBlocked = on;
    if (on) {
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::BusyCursor);
    } else {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
    updateCommandStates();
}

bool TMainDatalog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_form && event->type() == QEvent::Close) {
        // The recording is asked about before the ROM; a replay finishes first.
        if (m_inputBlocked || !m_session->unsavedRecordingCheck()) {
            event->ignore();
            return true;
        }
        return false;
    }
    if (!m_inputBlocked)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: return true; // painting, timers and the rest go on
    default: return false;
    }
}
