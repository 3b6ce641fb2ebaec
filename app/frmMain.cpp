#include "app/frmMain.h"

#include "app/mdlMainStatus.h"
#include "editor/ui/VexorGrid.h"
#include "editor/ui/frmGraphs.h"
#include "options/ui/frmOptions.h"
#include "rom/mdlCodePatches.h"
#include "rom/mdlRomSettings.h"
#include "rom/ui/frmNotes.h"
#include "settings/mdlClipboard.h"
#include "settings/mdlClock.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

TMainForm::TMainForm(const TServices& services, TSettingsStore* store, const QString& startupFile, QWidget* parent)
    : QMainWindow(parent), m_services(services), m_store(store), m_doc(m_rom, services), m_display(&m_rom),
      m_editor(m_rom), m_startupFile(startupFile)
{
    setObjectName(QStringLiteral("MainForm"));
    // The ROM model starts empty; the window shows no ROM until one is opened.
    m_rom.reset();
    m_display.setLiveSource(&m_live);
    m_editor.setClipboard(m_services.clipboard);
    if (m_services.clock)
        m_startTick = m_services.clock->tickCount();

    amMain = new TActionManager(this);
    amMain->setObjectName(QStringLiteral("amMain"));
    amMain->setRunner([this](const QString& name, const std::function<void()>& body) { runCommand(name, body); });

    createGrid();
    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    if (m_services.messages)
        m_notes = new TNotesForm(m_doc, *m_services.messages, this);

    // Every change of ROM bytes, whoever makes it (a command, a script, the
    // emulator), is drawn on the next paint.
    m_rom.buffer().setOnChange([this](TBinEdit&) {
        dgMain->Invalidate();
        m_graphs->invalidate();
        update();
    });

    m_doc.events.refresh = [this] { refreshViews(); };
    m_doc.events.recentChanged = [this] { rebuildRecentMenu(); };
    m_doc.events.romClosed = [this] { closeRoutine(); };
    m_doc.events.romLoaded = [this] { onRomLoaded(); };
    m_doc.events.saved = [this](const QString& path) {
        showStatus(tr("Saved %1").arg(QDir::toNativeSeparators(QFileInfo(path).fileName())));
    };
    // Extended-family images older than the current code revision are upgraded
    // from the data file beside the program; without it nothing is written.
    m_doc.events.onVexorAuLoaded = [this] { runCodeUpgradeOnLoad(m_rom, m_services.messages); };

    if (m_store) {
        m_store->addConsumer([this](const TSettings& s) { applySettings(s); },
                             [this](TSettings& s) { collectSettings(s); }, this);
        m_store->addConsumer([this](const TSettings& s) { applyToRom(s, m_rom); },
                             [this](TSettings& s) { collectFromRom(m_rom, s); }, this);
        m_doc.bindSettings(*m_store);
        if (m_notes)
            m_notes->bindSettings(*m_store);
    }

    // The command states follow the window whenever the event loop is about
    // to wait for the next event.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TMainForm::amMainOnUpdate);

    setWindowTitle(QStringLiteral("< VEXOR > - ") + QLatin1String(TRomDocument::Untitled));
    // A 24-column map with the live view and both tool bar rows fit a
    // 1366 x 768 screen; a smaller screen gets its available area.
    QSize initial(1344, 680);
    if (const QScreen* screen = this->screen())
        initial = initial.boundedTo(screen->availableGeometry().size());
    resize(initial);
    refreshViews();
    amMainOnUpdate();
}

TMainForm::~TMainForm()
{
    if (m_fullScreen)
        setFullScreen(false);
    m_rom.buffer().setOnChange({});
}

// --- start-up ------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (!m_shownOnce) {
        m_shownOnce = true;
        rebuildRecentMenu();
        // The first activation steps run once the window is on screen.
        QTimer::singleShot(0, this, [this] {
            if (!m_started)
                firstActivation();
        });
    }
}

void TMainForm::firstActivation()
{
    dgMain->setDefaultColWidth(dgMain->fontMetrics().horizontalAdvance(QStringLiteral("10000.00")) + 4);
    closeRoutine();
    if (!m_startupFile.isEmpty() && QFileInfo(m_startupFile).isFile())
        runCommand(QStringLiteral("StartUp"), [this] { m_doc.startupLoad(m_startupFile); });
    m_started = true;
    amMainOnUpdate();
}

void TMainForm::applySettings(const TSettings& s)
{
    const TGeneralSettings& g = s.general;
    m_editor.Steps.IgnitionStep = g.ignitionAdjustment;
    m_editor.Steps.FuelStepPercent = g.fuelAdjustment1;
    m_editor.Steps.FuelMinStep = static_cast<qint16>(g.fuelAdjustment2);
    m_editor.Steps.LambdaStep = g.lambdaAdjustment;
    m_editor.Steps.SmoothingTolerance = static_cast<quint16>(g.mapSmoothing);
    // Applied settings set the unit toggles too (the settings window has them).
    m_unitSettings = g;
    m_view = savedViewUnits(g);
    updateDisplayUnits();
    m_graphs->options().ShowDuration = g.showDuration;
    m_fullScreenResX = g.fullScreenResX;
    m_fullScreenResY = g.fullScreenResY;
    if (g.windowWidth && g.windowHeight && !m_fullScreen && *g.windowWidth > 0 && *g.windowHeight > 0)
        resize(*g.windowWidth, *g.windowHeight);
    refreshViews();
}

void TMainForm::collectSettings(TSettings& s) const
{
    TGeneralSettings& g = s.general;
    storeViewUnits(m_view, g);
    g.showDuration = m_graphs->options().ShowDuration;
    if (!m_fullScreen && !isMaximized()) {
        g.windowWidth = width();
        g.windowHeight = height();
    }
}

// --- routines ------------------------------------------------------------------

void TMainForm::closeRoutine()
{
    setViewMode(vmValues);
    pnlWork->setCurrentWidget(pnlTables);
    m_graphs->hide();
    dgMain->setGridEnabled(false);
    m_marks.clear();
    if (pnlOptionsHost)
        pnlOptionsHost->rebuild();
    rebuildRecentMenu();
    refreshViews();
}

void TMainForm::onRomLoaded()
{
    m_marks.clear();
    if (pnlOptionsHost)
        pnlOptionsHost->rebuild();
    dgMain->setGridEnabled(true);
    const TGridRect sel = dgMain->Selection();
    if (sel.isEmpty() || sel.Left < TGridDisplay::FixedCols || sel.Top < TGridDisplay::FixedRows) {
        dgMain->SelectCell(m_selAnchor.x(), m_selAnchor.y());
        m_selAnchor = QPoint(dgMain->Selection().Left, dgMain->Selection().Top);
    }
    dgMain->setFocus(Qt::OtherFocusReason);
}

void TMainForm::refreshViews()
{
    // The shape follows the ROM even while a load is finishing; only the
    // painting of cells waits for the load to end.
    m_display.options().Loading = false;
    const int cols = m_display.gridColCount();
    const int rows = m_display.gridRowCount();
    if (dgMain->ColCount() != cols)
        dgMain->setColCount(cols);
    if (dgMain->RowCount() != rows)
        dgMain->setRowCount(rows);
    fitGridColumns();
    dgMain->Invalidate();
    m_graphs->invalidate();
    if (pnlOptionsHost && workPanelShown(pnlOptionsHost))
        pnlOptionsHost->fill();
    if (m_notes)
        m_notes->loadNotes();
    updateCaptionAndPanes();
}

void TMainForm::fitGridColumns()
{
    // Columns as narrow as what they show: a 24-column map then fits beside
    // the live view on a 1366-pixel screen, and the grid spreads any room
    // left over its cells. Recomputed whenever the captions may change.
    dgMain->FitColumnsToCaptions(dgMain->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6);
}

void TMainForm::updateCaptionAndPanes()
{
    const QString caption = m_doc.caption();
    if (caption != m_lastCaption) {
        m_lastCaption = caption;
        setWindowTitle(caption);
    }
    const QString type = romTypePaneText(m_rom);
    if (spRomType->text() != type)
        spRomType->setText(type);
    const QString options = optionsPaneText(m_rom);
    if (spOptions->text() != options)
        spOptions->setText(options);
}

void TMainForm::amMainOnUpdate()
{
    TCommandContext c;
    c.RomLoaded = m_rom.isLoaded();
    c.Focused = focusWidget() != nullptr;
    c.GridVisible = pnlWork->currentWidget() == pnlTables && pnlTables->isVisibleTo(this);
    c.GraphsVisible = mapGraphsShown();
    c.GraphFocused = c.GraphsVisible && m_graphs->hasGraphFocus();
    c.ShowDuration = m_graphs->options().ShowDuration;
    c.ViewMode = viewMode();
    c.CurrentTable = m_rom.CurrentTable;
    c.HasTargetLambda = c.RomLoaded && hasTargetLambdaTable();
    auto* focusedGrid = qobject_cast<TVexorGrid*>(focusWidget());
    c.StepGridFocused = focusedGrid && focusedGrid != dgMain;
    if (!m_clipboardAge.isValid() || m_clipboardAge.elapsed() >= 250) {
        m_clipboardHasText = m_services.clipboard && !m_services.clipboard->text().isEmpty();
        m_clipboardAge.start();
    }
    c.ClipboardHasText = m_clipboardHasText;
    const TGridRect sel = dgMain->Selection();
    c.SelRows = sel.height();
    c.SelCols = sel.width();
    c.CanUndo = m_rom.buffer().canUndo();
    c.CanRedo = m_rom.buffer().canRedo();
    c.FeatureFlags = m_rom.FeatureFlags;
    c.FullScreen = m_fullScreen;
    c.ShowAFR = m_view.afr;
    c.ShowPsi = m_view.psi;
    c.ShowMph = m_view.mph;
    c.ShowTempF = m_view.fahrenheit;
    amMain->apply(computeCommandStates(c));
    updateCaptionAndPanes();
}

void TMainForm::runCommand(const QString& name, const std::function<void()>& body)
{
    Q_UNUSED(name);
    auto report = [this](const QString& text) {
        if (m_services.messages)
            m_services.messages->showMessage(text, QString(), TMsgKind::Error, TMsgButton::OK);
    };
    try {
        body();
    } catch (const EVexorError& e) {
        report(e.message());
    } catch (const std::exception& e) {
        report(QString::fromLocal8Bit(e.what()));
    }
    // Every command ends with the refresh routine, failed ones included:
    // part of the work may have been done.
    refreshViews();
    amMainOnUpdate();
}

void TMainForm::showStatus(const QString& text) { statusBar()->showMessage(text, 10000); }

TGridRect TMainForm::dataSelection() const
{
    const TGridRect s = dgMain->Selection();
    if (s.isEmpty())
        return s;
    return {s.Left - TGridDisplay::FixedCols, s.Top - TGridDisplay::FixedRows, s.Right - TGridDisplay::FixedCols,
            s.Bottom - TGridDisplay::FixedRows};
}

void TMainForm::setLivePosition(const TLivePosition& position)
{
    m_live.Position = position;
    fitGridColumns();
    dgMain->Invalidate();
    m_graphs->invalidate();
}

void TMainForm::setCellData(const IGridCellData* cellData)
{
    m_cellData = cellData;
    m_display.setCellData(cellData);
    m_editor.CellData = cellData;
    fitGridColumns();
    dgMain->Invalidate();
}

// --- window events -------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* e)
{
    bool ok = false;
    runCommand(QStringLiteral("FormCloseQuery"), [&] { ok = m_doc.exitQuery(); });
    if (!ok) {
        e->ignore();
        return;
    }
    if (m_fullScreen)
        setFullScreen(false);
    e->accept();
}

void TMainForm::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange)
        m_clipboardAge.invalidate(); // another program may have put text there
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && m_started) {
        // A file changed on disk while the program was in the background.
        runCommand(QStringLiteral("Activate"), [this] { m_doc.onApplicationActivated(); });
        update();
    }
}

void TMainForm::setFullScreen(bool on)
{
    if (on == m_fullScreen)
        return;
    if (on) {
        // X11 and Wayland offer no mode switch: the window takes the screen
        // as it is; the configured resolution stays in the settings.
        m_wasMaximized = isMaximized();
        showFullScreen();
        m_fullScreen = true;
    } else {
        m_fullScreen = false;
        if (m_wasMaximized)
            showMaximized();
        else
            showNormal();
    }
}
