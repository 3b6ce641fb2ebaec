#include "app/mdlLiveDisplay.h"

#include "app/frmMain.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlDatalogSession.h"
#include "datalog/mdlLiveView.h"
#include "datalog/ui/frmDataGraphs.h"
#include "datalog/ui/frmLiveView.h"
#include "options/ui/frmOptions.h"
#include "settings/mdlMessages.h"

#include <QAction>
#include <QDockWidget>
#include <QTimer>

namespace {

// Milliseconds between two redraws of the data graphs while samples stream in.
constexpr int GraphRefreshMs = 100;

} // namespace

TLiveDisplay::TLiveDisplay(TMainForm& form, TTunerForm& tuner, TCuddleCore& store, TDatalogSession& session,
                           IMessageService* messages)
    : m_form(form), m_tuner(tuner), m_store(store), m_session(session), m_messages(messages)
{
    m_sample.units = form.displayUnits();

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &TLiveDisplay::refresh);
    m_graphTimer = new QTimer(this);
    m_graphTimer->setSingleShot(true);
    m_graphTimer->setInterval(GraphRefreshMs);
    connect(m_graphTimer, &QTimer::timeout, this, &TLiveDisplay::refreshGraphs);

    m_dock = new QDockWidget(tr("Live View"), &m_form);
    m_dock->setObjectName(QStringLiteral("dkLiveView"));
    m_liveView = new TLiveViewPanel(m_dock);
    m_dock->setWidget(m_liveView);
    m_form.addDockWidget(Qt::RightDockWidgetArea, m_dock);
    m_dock->hide();
    connect(m_dock, &QDockWidget::visibilityChanged, this, [this] {
        scheduleRefresh();
        Q_EMIT visibilityChanged();
    });
    connect(m_liveView, &TLiveViewPanel::doubleClicked, this, &TLiveDisplay::celDetails);

    m_graphs = new TDataGraphsPanel(&m_form);
    m_form.addWorkPanel(m_graphs);
}

TLiveDisplay::~TLiveDisplay()
{
    // The window outlives this object: take the widgets along.
    m_refreshTimer->stop();
    m_graphTimer->stop();
    delete m_dock;
    delete m_graphs;
}

void TLiveDisplay::setUnits(const TDisplayUnits& units)
{
    m_sample.units = units;
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TLiveDisplay::setLambda(const TLambdaLookup& lambda)
{
    m_sample.lambda = lambda;
    scheduleRefresh();
    scheduleGraphRefresh();
}

void TLiveDisplay::setTuning(const TTuningConditions& tuning)
{
    m_tuning = tuning;
    scheduleRefresh();
}

void TLiveDisplay::setGraphChannels(int graph1, int graph2)
{
    m_graph1 = graph1;
    m_graph2 = graph2;
    scheduleGraphRefresh();
}

void TLiveDisplay::setTrackMode(quint8 mode)
{
    m_trackMode = mode;
    scheduleRefresh();
}

void TLiveDisplay::setMinimal(bool on)
{
    m_minimal = on;
    m_liveView->setMinimal(on);
}

TSampleDisplay TLiveDisplay::sampleDisplay() const
{
    TSampleDisplay d = m_sample;
    d.ctx = sampleContextFor(&m_form.rom());
    return d;
}

bool TLiveDisplay::liveViewVisible() const { return !m_dock->isHidden(); }

bool TLiveDisplay::graphsShown() const { return m_form.workPanelShown(m_graphs); }

void TLiveDisplay::showLiveView()
{
    m_dock->show();
    scheduleRefresh();
}

void TLiveDisplay::toggleLiveView()
{
    m_dock->setVisible(m_dock->isHidden());
    scheduleRefresh();
}

void TLiveDisplay::toggleGraphs()
{
    if (graphsShown()) {
        if (QAction* tables = m_form.action(QStringLiteral("ViewTables")); tables && tables->isEnabled())
            tables->trigger();
        else
            m_form.showWorkPanel(nullptr);
        return;
    }
    m_form.showWorkPanel(m_graphs);
    m_graphTimer->stop();
    refreshGraphs();
}

void TLiveDisplay::setCursorTime(double seconds) { m_graphs->setCursorTime(seconds); }

void TLiveDisplay::locateSample(const DatalogSample& s)
{
    m_cell = findSampleCell(s, &m_form.rom(), m_trackMode, sampleContextFor(&m_form.rom()));
    if (m_smartTrack && m_cell.Valid)
        smartTrackSwitch(m_cell.HighCam);
}

void TLiveDisplay::scheduleRefresh()
{
    if (!m_refreshTimer->isActive())
        m_refreshTimer->start();
}

void TLiveDisplay::scheduleGraphRefresh()
{
    if (!m_graphTimer->isActive())
        m_graphTimer->start();
}

void TLiveDisplay::refreshNow()
{
    m_refreshTimer->stop();
    refresh();
}

void TLiveDisplay::refresh()
{
    ++m_refreshCount;
    const TSampleDisplay display = sampleDisplay();
    const DatalogSample& s = m_tuner.sample();
    const bool live = m_tuner.isActive();
    m_cell = findSampleCell(s, &m_form.rom(), m_trackMode, display.ctx);
    if (live && m_smartTrack && m_cell.Valid)
        smartTrackSwitch(m_cell.HighCam);

    TLivePosition position;
    position.Active = (live || liveViewVisible()) && m_cell.Valid;
    position.Col = m_cell.Col;
    position.Row = m_cell.Row;
    position.HighCam = m_cell.HighCam;
    position.TrackMode = m_trackMode;
    position.Rpm = datalog::rpm(s);
    position.LoadMbar = datalog::mapMbar(s, display.ctx);
    position.InjectorRaw = s.u16(DatalogSample::Injector);
    position.InjectorMs = datalog::injectorMs(s);
    position.Ignition = datalog::ignition(s, display.ctx);
    m_form.setLivePosition(position);
    // The correction grids of the option pages mark the break point the engine is at.
    if (TOptionsPanel* options = m_form.optionsPanel(); options && m_form.workPanelShown(options))
        options->setLiveSensors(position.Active, s.u8(DatalogSample::Coolant), s.u8(DatalogSample::AirTemp));

    if (liveViewVisible()) {
        TLiveViewOptions o;
        static_cast<TSampleDisplay&>(o) = display;
        o.tuning = m_tuning;
        o.connectionActive = live;
        o.startTime = m_session.recordingStart();
        // Before the first sample there is nothing to show: a marker blanks
        // every value instead of converting a sample of zeros.
        DatalogSample none;
        none.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
        m_liveView->setRows(liveViewRows(m_tuner.hasSample() ? s : none, o));
    }
    if (m_graphs->isVisible())
        scheduleGraphRefresh();
}

void TLiveDisplay::refreshGraphs()
{
    if (!m_graphs->isVisible())
        return;
    m_graphs->refresh(m_store.data(), sampleDisplay(), m_graph1, m_graph2);
}

void TLiveDisplay::smartTrackSwitch(bool highCam)
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

void TLiveDisplay::celDetails()
{
    const DatalogSample& s = m_tuner.sample();
    if (s.isMarker() || s.errorWord() == 0 || !m_messages)
        return;
    m_messages->showMessage(errorCodesLong(s.errorWord()), QStringLiteral("CEL"), TMsgKind::Information,
                            TMsgButton::OK);
}
