#include "app/frmMainDatalog.h"

#include "app/frmMain.h"
#include "app/mdlAutoTuneCommands.h"
#include "app/mdlDatalogCommands.h"
#include "app/mdlLiveDisplay.h"
#include "app/mdlPlaybackControl.h"
#include "settings/mdlClock.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QEvent>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

TMainDatalog::TMainDatalog(TMainForm& form, const TServices& services, TSettingsStore* store, TDatalogDevices devices)
    : QObject(nullptr), m_form(form), m_services(services), m_settingsStore(store)
{
    setObjectName(QStringLiteral("TunerSide"));
    IClock* clock = services.clock;
    if (!clock) {
        m_ownClock = std::make_unique<TSystemClock>();
        clock = m_ownClock.get();
    }
    ITimerFactory* timers = devices.timers;
    if (!timers) {
        m_ownTimers = std::make_unique<TQtTimerFactory>();
        timers = m_ownTimers.get();
    }
    m_ports = devices.ports;
    if (!m_ports) {
        m_ownPorts = std::make_unique<TPortList>();
        m_ports = m_ownPorts.get();
    }
    ISerialPort* port = devices.port;
    if (!port) {
        m_ownPort = std::make_unique<TQtSerialPort>();
        port = m_ownPort.get();
    }

    m_store = std::make_unique<TCuddleCore>(*clock);
    m_tuner = std::make_unique<TTunerForm>(*clock, *timers, port, services.messages);
    m_session =
        std::make_unique<TDatalogSession>(*m_tuner, *m_store, *clock, *timers, services.messages, services.fileDialogs);
    auto makeTestPort = devices.makeTestPort;
    if (!makeTestPort)
        makeTestPort = [] { return std::unique_ptr<ISerialPort>(std::make_unique<TQtSerialPort>()); };
    m_tester = std::make_unique<TDatalogConnectionTester>(*clock, *timers, makeTestPort, m_ports);

    m_display = std::make_unique<TLiveDisplay>(form, *m_tuner, *m_store, *m_session, services.messages);
    m_playback = std::make_unique<TPlaybackControl>(form, *m_tuner, *m_store, *m_session);
    m_commands = std::make_unique<TDatalogCommands>(
        form, services, store,
        TDatalogCommands::TParts{*m_tuner, *m_store, *m_session, *m_ports, *m_display, *m_playback});
    TLiveDisplay* display = m_display.get();
    TPlaybackControl* playback = m_playback.get();
    TDatalogCommands* commands = m_commands.get();

    m_session->exportCsv = [commands](const QString& path) { commands->exportCsv(path); };
    m_session->locateSample = [display](const DatalogSample& s) { display->locateSample(s); };
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
    m_tester->beforeTest = [this, playback] {
        // The test opens the configured port itself.
        if (m_tuner->isActive())
            m_tuner->close();
        playback->update();
    };

    connect(m_session.get(), &TDatalogSession::refreshRequested, display, &TLiveDisplay::scheduleRefresh);
    connect(m_session.get(), &TDatalogSession::playbackBarChanged, playback, &TPlaybackControl::update);
    connect(m_session.get(), &TDatalogSession::busyChanged, playback, &TPlaybackControl::setInputBlocked);
    connect(m_session.get(), &TDatalogSession::graphCursorMoved, display, &TLiveDisplay::setCursorTime);
    connect(m_session.get(), &TDatalogSession::replayFinished, commands, [display, commands] {
        display->scheduleGraphRefresh();
        commands->updateCommandStates();
    });
    connect(m_tuner.get(), &TTunerForm::stateChanged, commands, [display, commands] {
        display->scheduleRefresh();
        commands->updateCommandStates();
    });
    connect(m_tuner.get(), &TTunerForm::warning, this,
            [this](const QString& text) { m_form.statusBar()->showMessage(text, 5000); });
    connect(playback, &TPlaybackControl::updated, commands, &TDatalogCommands::updateCommandStates);
    connect(playback, &TPlaybackControl::hidden, display, [display] { display->setCursorTime(-1); });
    connect(display, &TLiveDisplay::visibilityChanged, commands, &TDatalogCommands::updateCommandStates);
    // The units arrive typed from the window; the refresh command repaints.
    connect(&m_form, &TMainForm::displayUnitsChanged, display, &TLiveDisplay::setUnits);
    if (QAction* refresh = m_form.action(QStringLiteral("ViewRefresh")))
        connect(refresh, &QAction::triggered, display, [display] {
            display->scheduleRefresh();
            display->scheduleGraphRefresh();
        });

    if (m_settingsStore) {
        m_settingsStore->addConsumer([this](const TSettings& s) { applySettings(s); },
                                     [this](TSettings& s) { collectSettings(s); }, this);
        applySettings(m_settingsStore->values());
    } else {
        applySettings(TSettings{});
    }

    // The accumulator takes the pipeline's samples and the settings after the parts above.
    m_autoTune = std::make_unique<TAutoTuneCommands>(form, *this, services, store);

    // Closing the window asks about the recording first; a replay holds it back.
    m_form.installEventFilter(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, commands, &TDatalogCommands::updateCommandStates);
}

TMainDatalog::~TMainDatalog()
{
    m_form.removeEventFilter(this);
    m_autoTune.reset();
    // Closing reports a state change: the parts still listen.
    m_tuner->close();
    m_commands.reset();
    m_playback.reset();
    m_display.reset();
}

void TMainDatalog::applySettings(const TSettings& s)
{
    m_session->samplingPriority = s.tuning.samplingPriority;
    m_session->recordMode = s.tuning.recordMode;
    m_session->autoSaveLogs = s.tuning.autoSaveLogs;
    m_display->setSmartTrack(s.tuning.smartTrack);
    m_display->setTrackMode(static_cast<quint8>(std::clamp(s.tuning.trackMode, 0, 5)));
    m_display->setMinimal(s.general.minimalLiveView);
    m_display->setTuning(s.tuning);
    m_display->setGraphChannels(s.dataGraphs.graph1, s.dataGraphs.graph2);
    m_display->setLambda(lambdaLookupFromSettings(s, m_settingsStore ? m_settingsStore->widebands().count() : 0));
    // A stored port path joins the numbered list and selects its entry.
    TSettings t = s;
    const int port = m_ports->indexOfChoice(s.tunerCom.portIndex, s.tunerCom.portPath);
    if (port != s.tunerCom.portIndex) {
        t.tunerCom.portIndex = port;
        if (m_settingsStore)
            m_settingsStore->values().tunerCom.portIndex = port;
    }
    m_commands->setSettings(t);
}

void TMainDatalog::collectSettings(TSettings& s) const
{
    s.tuning.recordMode = m_session->recordMode;
    s.tuning.smartTrack = m_display->smartTrack();
    s.tuning.trackMode = m_display->trackMode();
    s.general.minimalLiveView = m_display->minimal();
}

bool TMainDatalog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_form && event->type() == QEvent::Close) {
        // The recording is asked about before the ROM; a replay finishes first.
        if (m_playback->inputBlocked() || !m_session->unsavedRecordingCheck()) {
            event->ignore();
            return true;
        }
    }
    return false;
}

QToolBar* TMainDatalog::toolBar() const { return m_commands->toolBar(); }
QToolBar* TMainDatalog::playbackToolBar() const { return m_playback->toolBar(); }
QScrollBar* TMainDatalog::playbackBar() const { return m_playback->bar(); }
QDockWidget* TMainDatalog::liveViewDock() const { return m_display->dock(); }
TLiveViewPanel* TMainDatalog::liveView() const { return m_display->liveView(); }
TDataGraphsPanel* TMainDatalog::dataGraphs() const { return m_display->graphs(); }
QMenu* TMainDatalog::menu() const { return m_commands->menu(); }
const TLiveCell& TMainDatalog::liveCell() const { return m_display->liveCell(); }
const TLambdaLookup& TMainDatalog::lambdaLookup() const { return m_display->lambda(); }
bool TMainDatalog::replayBlocksInput() const { return m_playback->inputBlocked(); }
int TMainDatalog::refreshCount() const { return m_display->refreshCount(); }
void TMainDatalog::updateCommandStates() { m_commands->updateCommandStates(); }
void TMainDatalog::refreshNow() { m_display->refreshNow(); }
