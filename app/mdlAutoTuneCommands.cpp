#include "app/mdlAutoTuneCommands.h"

#include "app/frmMain.h"
#include "app/frmMainDatalog.h"
#include "app/mdlActionManager.h"
#include "app/mdlCommandStates.h"
#include "app/mdlLiveDisplay.h"
#include "datalog/mdlAutoTune.h"
#include "datalog/ui/frmTunerAdjust.h"
#include "rom/clsRomDocument.h"
#include "settings/mdlClock.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTime>
#include <QToolBar>

namespace {

// Light load, where a live adjustment may pause the engine's data: below
// this manifold pressure, or below this throttle byte.
constexpr int LightLoadMbar = 500;
constexpr int LightLoadThrottleByte = 86;

} // namespace

TAutoTuneCommands::TAutoTuneCommands(TMainForm& form, TMainDatalog& datalog, const TServices& services,
                                     TSettingsStore* store)
    : QObject(nullptr), m_form(form), m_datalog(datalog), m_services(services), m_store(store)
{
    setObjectName(QStringLiteral("AutoTune"));
    m_tuner.setRom(&m_form.rom());
    createActions();
    m_form.setCellData(&m_tuner);
    TTableEditor& editor = m_form.tableEditor();
    editor.ClearLambdaSamples = [this](int cam, int col, int row) { m_tuner.emptyCell(cam, col, row); };
    editor.ClearKnock = [this](int cam, int col, int row) { m_tuner.setKnock(cam, col, row, 0); };

    TDatalogSession& session = m_datalog.session();
    session.trackSample = [this](const DatalogSample& s, bool replay) { trackSample(s, replay); };
    session.clearAccumulators = [this] {
        m_tuner.clear();
        rebuildLambda();
    };
    // Loading a ROM resizes the grids and makes every cell tunable again.
    m_previousRomLoaded = m_form.document().events.romLoaded;
    m_form.document().events.romLoaded = [this] {
        if (m_previousRomLoaded)
            m_previousRomLoaded();
        onRomLoaded();
    };

    askAdjustment = [this](const TTunerAdjustSummary& summary) -> std::optional<TTunerAdjustChoice> {
        TTunerAdjustForm dialog(summary, &m_form);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return TTunerAdjustChoice{dialog.option(), dialog.amount()};
    };

    if (m_store) {
        m_store->addConsumer([this](const TSettings& s) { applySettings(s); }, {}, this);
        applySettings(m_store->values());
    } else {
        applySettings(TSettings{});
    }
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TAutoTuneCommands::updateCommandStates);
}

TAutoTuneCommands::~TAutoTuneCommands()
{
    m_form.document().events.romLoaded = m_previousRomLoaded;
    m_form.setCellData(nullptr);
    m_form.tableEditor().ClearLambdaSamples = {};
    m_form.tableEditor().ClearKnock = {};
    m_datalog.session().trackSample = {};
    m_datalog.session().clearAccumulators = {};
    delete m_toolBar;
    delete m_menu;
}

QAction* TAutoTuneCommands::addCommand(const char* name, const QString& text, std::function<void()> execute,
                                       bool checkable)
{
    QAction* a = addGroupCommand(*m_form.actionManager(), this, name, text, std::move(execute), checkable);
    m_form.addAction(a);
    return a;
}

void TAutoTuneCommands::createActions()
{
    addCommand("TunerAutoAdjustMap", tr("Auto-Adjust &Map"), [this] { TunerAutoAdjustMapExecute(); });
    addCommand("TunerAdjustRow", tr("Adjust by &Rows"), [this] { TunerAdjustRowExecute(); });
    addCommand("TunerAdjustColumn", tr("Adjust by &Columns"), [this] { TunerAdjustColumnExecute(); });
    addCommand("TunerAdjustSelection", tr("Adjust &Selection"), [this] { TunerAdjustSelectionExecute(); });
    addCommand("TunerAdjust", tr("&Adjustment..."), [this] { TunerAdjustExecute(); });
    addCommand("TunerFilterData", tr("&Filter Data"), [this] { TunerFilterDataExecute(); });
    addCommand("TunerSmartFill", tr("Smart &Fill"), [this] { TunerSmartFillExecute(); });
    addCommand("TunerClear", tr("C&lear Data"), [this] { TunerClearExecute(); });
    addCommand("TunerToggleTunable", tr("&Toggle Tunable"), [this] { TunerToggleTunableExecute(); });
    addCommand(
        "TunerLiveAutoAdjust", tr("&Live Auto-Adjust"), [this] { TunerLiveAutoAdjustExecute(); }, true);

    const char* const names[] = {"TunerAutoAdjustMap",   "TunerAdjustRow", "TunerAdjustColumn",
                                 "TunerAdjustSelection", "TunerAdjust",    nullptr,
                                 "TunerFilterData",      "TunerSmartFill", "TunerClear",
                                 "TunerToggleTunable",   nullptr,          "TunerLiveAutoAdjust"};
    m_menu = m_form.menuBar()->addMenu(tr("&Auto-Tune"));
    m_menu->setObjectName(QStringLiteral("mnuAutoTune"));
    for (const char* n : names) {
        if (n)
            m_menu->addAction(m_form.action(QLatin1String(n)));
        else
            m_menu->addSeparator();
    }
    // Its own row under the datalog tool bar, shown and hidden with it.
    m_toolBar = new QToolBar(tr("Auto-Tune"), &m_form);
    m_toolBar->setObjectName(QStringLiteral("tbAutoTune"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (const char* n : {"TunerAutoAdjustMap", "TunerAdjust", "TunerFilterData", "TunerSmartFill", "TunerClear",
                          "TunerLiveAutoAdjust"})
        m_toolBar->addAction(m_form.action(QLatin1String(n)));
    m_form.addToolBarBreak(Qt::TopToolBarArea);
    m_form.addToolBar(Qt::TopToolBarArea, m_toolBar);
    m_toolBar->hide();
    if (QToolBar* bar = m_datalog.toolBar())
        connect(bar, &QToolBar::visibilityChanged, m_toolBar, [this](bool visible) {
            if (m_form.isVisible() || !visible)
                m_toolBar->setVisible(visible);
        });
    if (QMenu* popup = m_form.gridPopupMenu()) {
        popup->addSeparator();
        for (const char* n : {"TunerAdjust", "TunerAdjustSelection", "TunerToggleTunable"})
            popup->addAction(m_form.action(QLatin1String(n)));
    }
}

void TAutoTuneCommands::applySettings(const TSettings& s)
{
    m_settings = s;
    m_tuner.Conditions = s.tuning;
    m_tuner.TrackMode = static_cast<quint8>(std::clamp(s.tuning.trackMode, 0, 5));
    rebuildLambda();
}

void TAutoTuneCommands::setWidebandEvaluator(IWidebandEvaluator* evaluator)
{
    m_evaluator = evaluator ? evaluator : &m_noScripts;
    rebuildLambda();
}

void TAutoTuneCommands::rebuildLambda()
{
    const int tables = m_store ? m_store->widebands().count() : 0;
    m_tuner.Lambda = lambdaLookupFor(m_settings, tables, m_conversions, *m_evaluator);
    // The live view and the CSV export show the same lambdas the tuner uses.
    m_datalog.display().setLambda(m_tuner.Lambda);
}

void TAutoTuneCommands::onRomLoaded()
{
    m_tuner.setRom(&m_form.rom());
    m_form.setCellData(&m_tuner);
}

void TAutoTuneCommands::updateCommandStates()
{
    const QToolBar* bar = m_datalog.toolBar();
    const bool enabled = bar && !bar->isHidden() && m_form.rom().isLoaded() && !m_datalog.session().isReplaying();
    const quint8 view = m_form.viewMode();
    TCommandStates st;
    auto set = [&st](const char* name, bool on, std::optional<bool> checked = std::nullopt) {
        st[QLatin1String(name)] = TCommandState{on, true, checked};
    };
    for (const char* n : {"TunerAutoAdjustMap", "TunerAdjustRow", "TunerAdjustColumn", "TunerAdjustSelection",
                          "TunerAdjust", "TunerClear", "TunerToggleTunable"})
        set(n, enabled);
    set("TunerFilterData", enabled && (view == 1 || view == 2));
    set("TunerSmartFill", enabled && (view == 1 || view == 2));
    set("TunerLiveAutoAdjust", enabled, m_liveAutoAdjust);
    m_form.actionManager()->apply(st);
    // The rejection counters, for the tuner to see what the next drive must fix.
    const QString summary = rejectionSummary();
    m_toolBar->setToolTip(summary);
    if (QAction* a = m_form.action(QStringLiteral("TunerAutoAdjustMap")))
        a->setToolTip(summary);
}

QString TAutoTuneCommands::rejectionSummary() const
{
    const TTunerRejections& r = m_tuner.rejections();
    QStringList parts;
    const std::pair<QString, quint64> rows[] = {
        {tr("throttle"), r.throttle},   {tr("lambda"), r.lambda},    {tr("rpm"), r.rpm},
        {tr("load"), r.load},           {tr("temperature"), r.temp}, {tr("gear"), r.gear},
        {tr("transient"), r.transient}, {tr("cell full"), r.full},   {tr("not tunable"), r.untunable},
        {tr("no cell"), r.outside},
    };
    for (const auto& [name, n] : rows)
        if (n)
            parts << QStringLiteral("%1 %2").arg(name).arg(n);
    return tr("Samples %1, used %2; not used: %3")
        .arg(m_tuner.samples())
        .arg(m_tuner.accepted())
        .arg(parts.isEmpty() ? tr("none") : parts.join(QStringLiteral(", ")));
}

void TAutoTuneCommands::report(const TAutoTuneResult& result)
{
    if (!m_services.messages)
        return;
    if (result.status == TAutoTuneStatus::NoData)
        m_services.messages->showMessage(QLatin1String(NoDataText), QLatin1String(NoDataTitle), TMsgKind::Warning,
                                         TMsgButton::OK);
    else if (result.status == TAutoTuneStatus::NoTargetTable)
        m_services.messages->showMessage(QLatin1String(NoTargetTableText), QString(), TMsgKind::Warning,
                                         TMsgButton::OK);
}

void TAutoTuneCommands::TunerAutoAdjustMapExecute()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TAutoTune tune(m_form.rom(), m_tuner);
    tune.MapSmoothing = m_settings.general.mapSmoothing;
    TAutoTuneResult result;
    try {
        result = tune.adjustMap();
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    report(result);
}

void TAutoTuneCommands::TunerAdjustRowExecute()
{
    TAutoTune tune(m_form.rom(), m_tuner);
    tune.MapSmoothing = m_settings.general.mapSmoothing;
    report(tune.adjustRows());
}

void TAutoTuneCommands::TunerAdjustColumnExecute()
{
    TAutoTune tune(m_form.rom(), m_tuner);
    tune.MapSmoothing = m_settings.general.mapSmoothing;
    report(tune.adjustColumns());
}

void TAutoTuneCommands::TunerAdjustSelectionExecute()
{
    TRom& rom = m_form.rom();
    if (TRom::isFuelKind(rom.CurrentTable) && !hasTargetLambdaTable(rom)) {
        report(TAutoTuneResult{TAutoTuneStatus::NoTargetTable});
        return;
    }
    TAutoTune tune(rom, m_tuner);
    tune.adjustSelection(m_form.dataSelection());
}

void TAutoTuneCommands::TunerAdjustExecute()
{
    TRom& rom = m_form.rom();
    const TGridRect sel = m_form.dataSelection();
    if (!askAdjustment)
        return;
    const std::optional<TTunerAdjustChoice> choice = askAdjustment(tunerAdjustSummary(rom, m_tuner, sel));
    if (!choice)
        return;
    // The corrections need targets; percent, add and set work on any family.
    const bool correction = choice->option == TTunerAdjustOption::Automatic ||
                            choice->option == TTunerAdjustOption::Row || choice->option == TTunerAdjustOption::Column;
    if (correction && TRom::isFuelKind(rom.CurrentTable) && !hasTargetLambdaTable(rom)) {
        report(TAutoTuneResult{TAutoTuneStatus::NoTargetTable});
        return;
    }
    applyTunerAdjust(rom, m_tuner, sel, choice->option, choice->amount, m_settings.general.mapSmoothing);
}

void TAutoTuneCommands::TunerFilterDataExecute() { m_tuner.filter(); }

void TAutoTuneCommands::TunerSmartFillExecute()
{
    TAutoTune tune(m_form.rom(), m_tuner);
    tune.smartFill();
}

void TAutoTuneCommands::TunerClearExecute()
{
    m_tuner.clear();
    rebuildLambda();
}

void TAutoTuneCommands::TunerToggleTunableExecute()
{
    const int cam = m_form.rom().currentCam();
    const TGridRect sel = m_form.dataSelection();
    for (int row = sel.Top; row <= sel.Bottom; ++row)
        for (int col = sel.Left; col <= sel.Right; ++col)
            m_tuner.setTunable(cam, col, row, !m_tuner.isTunable(cam, col, row));
}

bool TAutoTuneCommands::lightLoad(const DatalogSample& s) const
{
    return datalog::mapMbar(s, sampleContextFor(&m_form.rom())) < LightLoadMbar ||
           s.u8(DatalogSample::Throttle) < LightLoadThrottleByte;
}

void TAutoTuneCommands::trackSample(const DatalogSample& sample, bool replay)
{
    if (sample.isMarker())
        return;
    const bool live = !replay && m_datalog.tuner().isActive();
    if (live && m_liveAutoAdjust && m_services.clock &&
        m_tuner.samplesSinceReset() >= static_cast<quint64>(std::max(0, m_settings.tuning.minSample)) &&
        m_services.clock->tickCount() - m_lastLiveAdjust > static_cast<quint32>(m_settings.tuning.minInterval) &&
        lightLoad(sample)) {
        liveAdjust();
        return;
    }
    m_tuner.addSample(sample);
}

void TAutoTuneCommands::liveAdjust()
{
    // The interval runs from the last live adjustment, not from start-up.
    m_lastLiveAdjust = m_services.clock->tickCount();
    m_tuner.resetSampleCounter();
    TAutoTune tune(m_form.rom(), m_tuner);
    tune.MapSmoothing = m_settings.general.mapSmoothing;
    tune.Live = true;
    if (tune.adjustFuelMaps().status != TAutoTuneStatus::Done)
        return;
    m_form.refreshViews();

    TRomDocument& doc = m_form.document();
    const QTime now = QTime::currentTime();
    bool saved = false;
    if (doc.hasFile()) {
        // One time for both names, so image and log pair up.
        const auto previous = doc.events.currentTime;
        doc.events.currentTime = [now] { return now; };
        saved = doc.quickSave();
        doc.events.currentTime = previous;
    }
    if (!saved) {
        // The recording stays: it is what the tuned map was made from.
        if (!m_liveSaveFailureTold && m_services.messages)
            m_services.messages->showMessage(
                tr("The automatically tuned map could not be quick-saved; the recording is kept in memory."), QString(),
                TMsgKind::Warning, TMsgButton::OK);
        m_liveSaveFailureTold = true;
        return;
    }
    QString log = quickSaveName(doc.path(), now);
    log.chop(4); // ".bin"
    m_datalog.session().saveDatalog(log + QStringLiteral(".dlf"));
}
