#include "app/mdlDatalogCommands.h"

#include "app/frmMain.h"
#include "app/mdlActionManager.h"
#include "app/mdlLiveDisplay.h"
#include "app/mdlPlaybackControl.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlDatalogSession.h"
#include "settings/mdlMessages.h"
#include "settings/mdlPortLists.h"
#include "settings/mdlSettingsStore.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <optional>

namespace {

const char* const TrackCommands[] = {"TrackSingleCell", "TrackQuadCell",     "TrackSingleColumn",
                                     "TrackSingleRow",  "TrackDoubleColumn", "TrackDoubleRow"};

} // namespace

TDatalogCommands::TDatalogCommands(TMainForm& form, const TServices& services, TSettingsStore* settingsStore,
                                   TParts parts)
    : m_form(form), m_services(services), m_settingsStore(settingsStore), m_parts(parts)
{
    createActions();
    createMenus();
    QTimer::singleShot(0, this, &TDatalogCommands::startupStep);
}

TDatalogCommands::~TDatalogCommands()
{
    // The commands stay with the window's action manager and do nothing from now on.
    m_form.setSmartTracking(false);
    delete m_toolBar;
    delete m_menu;
}

QAction* TDatalogCommands::addCommand(const char* name, const QString& text, std::function<void()> execute,
                                      bool checkable)
{
    QAction* a = addGroupCommand(*m_form.actionManager(), this, name, text, std::move(execute), checkable);
    m_form.addAction(a);
    return a;
}

void TDatalogCommands::createActions()
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
}

void TDatalogCommands::createMenus()
{
    auto act = [this](const char* name) { return m_form.action(QLatin1String(name)); };

    m_menu = m_form.menuBar()->addMenu(tr("&Datalog"));
    m_menu->setObjectName(QStringLiteral("mnuTuner"));
    for (const char* n :
         std::initializer_list<const char*>{"ToolsTuner", nullptr, "TunerStart", "TunerClose", "TunerRecord", nullptr,
                                            "TunerLoad", "TunerSave", nullptr, "TunerLiveView", "TunerViewMinimal",
                                            "TunerDataGraphs", "TunerSmartTrack", nullptr, "TunerPort"}) {
        if (n)
            m_menu->addAction(act(n));
        else
            m_menu->addSeparator();
    }
    QMenu* track = m_menu->addMenu(tr("Track &Mode"));
    track->setObjectName(QStringLiteral("mnuTrackMode"));
    for (const char* n : TrackCommands)
        track->addAction(act(n));
    if (QMenu* tools = m_form.toolsMenu())
        tools->addAction(act("ToolsTuner"));

    m_toolBar = new QToolBar(tr("Datalog"), &m_form);
    m_toolBar->setObjectName(QStringLiteral("tbTuner"));
    for (const char* n : {"TunerStart", "TunerClose", "TunerRecord", "TunerLoad", "TunerSave", "TunerLiveView",
                          "TunerDataGraphs", "TunerSmartTrack"})
        m_toolBar->addAction(act(n));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_form.addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->hide();
    connect(m_toolBar, &QToolBar::visibilityChanged, this, &TDatalogCommands::toolbarVisibilityChanged);
}

void TDatalogCommands::updateCommandStates()
{
    TTunerForm& tuner = m_parts.tuner;
    TDatalogSession& session = m_parts.session;
    TLiveDisplay& display = m_parts.display;
    const bool bar = !m_toolBar->isHidden();
    const bool rom = m_form.rom().isLoaded();
    const bool active = tuner.isActive();
    const bool replaying = session.isReplaying();
    const bool hasData = !m_parts.store.isEmpty();
    TCommandStates st;
    auto set = [&st](const char* name, bool enabled, std::optional<bool> checked = std::nullopt) {
        st[QLatin1String(name)] = TCommandState{enabled, true, checked};
    };
    set("ToolsTuner", !replaying, bar);
    set("TunerStart", bar && rom && !replaying, active);
    set("TunerClose", bar && rom && !replaying && (active || hasData));
    set("TunerLoad", bar && rom && !active && !replaying);
    set("TunerSave", bar && rom && hasData && !replaying);
    set("TunerRecord", bar, session.recordMode);
    set("TunerSmartTrack", bar && rom, display.smartTrack());
    set("TunerViewMinimal", true, display.minimal());
    set("TunerPort", !active && !replaying);
    set("TunerLiveView", true, display.liveViewVisible());
    set("TunerDataGraphs", true, display.graphsShown());
    for (quint8 m = 0; m < 6; ++m)
        set(TrackCommands[m], true, display.trackMode() == m);
    m_form.actionManager()->apply(st);
    if (QAction* start = m_form.action(QStringLiteral("TunerStart")))
        start->setText(active ? tr("Dis&connect") : tr("&Connect"));
    // While connected with smart tracking, the step commands change the
    // cells around the live cell.
    m_form.setSmartTracking(display.smartTrack() && active);
}

void TDatalogCommands::ToolsTunerExecute() { m_toolBar->setVisible(m_toolBar->isHidden()); }

void TDatalogCommands::toolbarVisibilityChanged(bool visible)
{
    // The tool bar also reports showing again with its window; only a change
    // of its own visibility counts.
    if (visible == m_toolbarShown)
        return;
    m_toolbarShown = visible;
    if (visible) {
        // Not from inside the show event: the offer is a modal question.
        QTimer::singleShot(0, this, [this] {
            m_parts.session.crashRecoveryCheck();
            if (!m_parts.store.isEmpty())
                m_parts.display.showLiveView();
            m_parts.playback.update();
        });
    } else if (m_form.started()) {
        m_parts.tuner.close();
        m_parts.playback.update();
    }
    updateCommandStates();
}

void TDatalogCommands::startupStep()
{
    // Once the window has run its first activation (ROM from the command line).
    if (!m_form.started()) {
        QTimer::singleShot(10, this, &TDatalogCommands::startupStep);
        return;
    }
    // After a crash the recovery file is still there: offer it at once by
    // showing the datalog tool bar, which runs the recovery check.
    if (QFile::exists(m_parts.store.recoveryFilePath()) && m_toolBar->isHidden())
        m_toolBar->show();
}

void TDatalogCommands::afterSessionChange()
{
    m_parts.playback.update();
    m_parts.display.scheduleRefresh();
    m_parts.display.scheduleGraphRefresh();
}

void TDatalogCommands::TunerStartExecute()
{
    TTunerForm& tuner = m_parts.tuner;
    if (!tuner.isActive())
        tuner.setSettings(tunerSettingsFrom(m_settings, m_parts.ports.nameAt(m_settings.tunerCom.portIndex)));
    m_parts.session.tunerStart();
    if (tuner.isActive())
        m_parts.display.showLiveView();
    afterSessionChange();
}

void TDatalogCommands::TunerCloseExecute()
{
    m_parts.session.tunerClose();
    afterSessionChange();
}

void TDatalogCommands::TunerRecordExecute() { m_parts.session.recordMode = !m_parts.session.recordMode; }

void TDatalogCommands::TunerSaveExecute()
{
    m_parts.session.tunerSave();
    afterSessionChange();
}

void TDatalogCommands::TunerLoadExecute()
{
    m_parts.session.tunerLoad();
    if (m_parts.session.isReplaying() || !m_parts.store.isEmpty())
        m_parts.display.showLiveView();
    m_parts.playback.update();
    m_parts.display.scheduleGraphRefresh();
}

void TDatalogCommands::TunerSmartTrackExecute() { m_parts.display.setSmartTrack(!m_parts.display.smartTrack()); }

void TDatalogCommands::TunerViewMinimalExecute() { m_parts.display.setMinimal(!m_parts.display.minimal()); }

void TDatalogCommands::TunerLiveViewExecute() { m_parts.display.toggleLiveView(); }

void TDatalogCommands::TunerDataGraphsExecute() { m_parts.display.toggleGraphs(); }

void TDatalogCommands::TrackModeExecute(quint8 mode) { m_parts.display.setTrackMode(mode); }

void TDatalogCommands::TunerPortExecute()
{
    if (!m_services.messages)
        return;
    TPortList& ports = m_parts.ports;
    const std::optional<QString> typed = m_services.messages->inputQuery(
        tr("Datalog Port"), tr("Serial device of the ECU link:"), ports.nameAt(m_settings.tunerCom.portIndex));
    if (!typed || typed->trimmed().isEmpty())
        return;
    const int index = ports.indexOfOrAdd(*typed);
    if (index < 0)
        return;
    // By path too: the numbered list of the next run will not hold it.
    for (TComSettings* com : {&m_settings.tunerCom, m_settingsStore ? &m_settingsStore->values().tunerCom : nullptr})
        if (com) {
            com->portIndex = index;
            com->portPath = ports.nameAt(index);
        }
}

void TDatalogCommands::exportCsv(const QString& path)
{
    TCsvOptions o;
    static_cast<TSampleDisplay&>(o) = m_parts.display.sampleDisplay();
    o.startTime = m_parts.session.recordingStart();
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
    exportCsvFile(path, m_parts.store.data(), o);
}
