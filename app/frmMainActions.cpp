// The main window's controls: the action list, menus, tool bars, the grid
// with its popup menu and the status panes.

#include "app/frmMain.h"

#include "editor/ui/VexorGrid.h"
#include "editor/ui/frmGraphs.h"
#include "options/ui/frmOptions.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QList<QKeySequence> keys(std::initializer_list<QKeySequence> list) { return QList<QKeySequence>(list); }

} // namespace

void TMainForm::createGrid()
{
    pnlWork = new QStackedWidget(this);
    pnlWork->setObjectName(QStringLiteral("pnlWork"));
    pnlTables = new QWidget(pnlWork);
    pnlTables->setObjectName(QStringLiteral("pnlTables"));
    auto* layout = new QVBoxLayout(pnlTables);
    layout->setContentsMargins(0, 0, 0, 0);
    dgMain = new TVexorGrid(pnlTables);
    dgMain->setObjectName(QStringLiteral("dgMain"));
    dgMain->setFixedCols(TGridDisplay::FixedCols);
    dgMain->setFixedRows(TGridDisplay::FixedRows);
    dgMain->setColCount(TGridDisplay::NoRomCols);
    dgMain->setRowCount(TGridDisplay::NoRomRows);
    dgMain->setAlignment(taRightJustify);
    dgMain->setStretchToFit(true);
    // One point below the window's text: the numbers stay legible and a
    // 24-column map fits beside the live view on a 1366-pixel screen.
    QFont gridFont = dgMain->font();
    gridFont.setPointSizeF(std::max(6.0, gridFont.pointSizeF() - 1));
    dgMain->setFont(gridFont);
    // The map graphs sit beside the grid, one above the other, so the whole
    // of a 20 x 24 map and both graphs fit a 1366 x 768 screen.
    m_tablesSplit = new QSplitter(Qt::Horizontal, pnlTables);
    m_tablesSplit->setObjectName(QStringLiteral("splTables"));
    m_tablesSplit->setChildrenCollapsible(false);
    m_tablesSplit->addWidget(dgMain);
    m_graphs = new TGraphsPanel(m_display, &m_live, m_tablesSplit);
    m_graphs->setOrientation(Qt::Vertical);
    m_tablesSplit->addWidget(m_graphs);
    m_tablesSplit->setStretchFactor(0, 3);
    m_tablesSplit->setStretchFactor(1, 2);
    m_graphs->hide();
    m_graphs->GetSelection = [this] { return dataSelection(); };
    m_graphs->OnSelect = [this](const TGridRect& r) { graphSelect(r); };
    m_graphs->OnDragWrite = [this](const TDragCell& cell) { graphDragWrite(cell); };
    m_graphs->OnDragChanged = [this] { dgMain->Invalidate(); };
    layout->addWidget(m_tablesSplit);
    setCentralWidget(pnlWork);
    joinViewToggle(TWorkPanel::Tables, pnlTables, [this] { ViewTablesExecute(); });
    m_workPanels[int(TWorkPanel::Graphs)] = {pnlTables, [this] { ViewGraphsExecute(); }};
    pnlOptionsHost = new TOptionsPanel(m_rom, m_marks, m_services.messages, pnlWork);
    pnlOptionsHost->onChanged = [this] { refreshViews(); };
    joinViewToggle(TWorkPanel::Options, pnlOptionsHost, [this] { ViewOptionsExecute(); });

    dgMain->OnFixedCell = [this](TVexorGrid*, int c, int r, QString& caption, TAlignment& align) {
        dgMainFixedCell(c, r, caption, align);
    };
    dgMain->OnColorCell = [this](TVexorGrid*, int c, int r, QString& caption, TColor& bk, TColor& font, TFontStyles&,
                                 TAlignment& align,
                                 bool selected) { dgMainColorCell(c, r, caption, bk, font, align, selected); };
    dgMain->OnCellClick = [this](TVexorGrid*, int c, int r) { dgMainCellClick(c, r); };
    dgMain->OnCellDblClick = [this](TVexorGrid*, int c, int r) { dgMainCellDblClick(c, r); };
    dgMain->OnAcceptEditKey = [](TVexorGrid*, QChar key, bool& accept) { accept = TGridDisplay::acceptEditKey(key); };
    dgMain->OnGetEditText = [this](TVexorGrid*, int c, int r, QString& text, bool& canEdit) {
        dgMainGetEditText(c, r, text, canEdit);
    };
    dgMain->OnEditCommit = [this](TVexorGrid*, int c, int r, const QString& text) {
        runCommand(QStringLiteral("txtCellEditExit"), [&] { txtCellEditExit(c, r, text); });
    };
    dgMain->OnSelectionChange = [this](TVexorGrid*) {
        m_graphs->invalidate();
        amMainOnUpdate();
    };
    dgMain->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dgMain, &QWidget::customContextMenuRequested, this, &TMainForm::dgMainContextMenu);
}

void TMainForm::createActions()
{
    QStyle* st = style();
    auto* a = amMain;
    // File
    a->add(
         QStringLiteral("FileNew"), tr("&New..."), [this] { FileNewExecute(); }, keys({QKeySequence::New}))
        ->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    a->add(
         QStringLiteral("FileOpen"), tr("&Open..."), [this] { FileOpenExecute(); }, keys({QKeySequence::Open}))
        ->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    a->add(QStringLiteral("FileReopen"), tr("&Reopen"), {});
    a->add(
         QStringLiteral("FileSave"), tr("&Save"), [this] { FileSaveExecute(); }, keys({QKeySequence::Save}))
        ->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    a->add(
        QStringLiteral("FileSaveAs"), tr("Save &As..."), [this] { FileSaveAsExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+Shift+S"))}));
    a->add(
        QStringLiteral("FileQuickSave"), tr("&Quick Save"), [this] { FileQuickSaveExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+Alt+S"))}));
    a->add(QStringLiteral("FileReload"), tr("Re&load"), [this] { FileReloadExecute(); });
    a->add(QStringLiteral("FileImport"), tr("&Import Tables..."), [this] { FileImportExecute(); });
    a->add(QStringLiteral("FileExport"), tr("&Export Tables..."), [this] { FileExportExecute(); });
    a->add(
        QStringLiteral("FileClose"), tr("&Close"), [this] { FileCloseExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+W"))}));
    a->add(
        QStringLiteral("FileExit"), tr("E&xit"), [this] { FileExitExecute(); }, keys({QKeySequence::Quit}));

    // Edit
    a->add(
         QStringLiteral("EditUndo"), tr("&Undo"), [this] { EditUndoExecute(); }, keys({QKeySequence::Undo}))
        ->setIcon(st->standardIcon(QStyle::SP_ArrowBack));
    a->add(
         QStringLiteral("EditRedo"), tr("&Redo"), [this] { EditRedoExecute(); },
         keys({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))}))
        ->setIcon(st->standardIcon(QStyle::SP_ArrowForward));
    a->add(
        QStringLiteral("EditCut"), tr("Cu&t"), [this] { EditCutExecute(); }, keys({QKeySequence::Cut}));
    a->add(
        QStringLiteral("EditCopy"), tr("&Copy"), [this] { EditCopyExecute(); }, keys({QKeySequence::Copy}));
    a->add(
        QStringLiteral("EditPaste"), tr("&Paste"), [this] { EditPasteExecute(); }, keys({QKeySequence::Paste}));
    a->add(
        QStringLiteral("EditDelete"), tr("&Delete"), [this] { EditDeleteExecute(); },
        keys({QKeySequence(Qt::Key_Delete)}));
    a->add(
        QStringLiteral("EditSelectAll"), tr("Select &All"), [this] { EditSelectAllExecute(); },
        keys({QKeySequence::SelectAll}));
    a->add(
         QStringLiteral("EditIncrease"), tr("&Increase"), [this] { EditIncreaseExecute(); },
         keys({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)}))
        ->setIconText(QStringLiteral("+"));
    a->add(
         QStringLiteral("EditDecrease"), tr("&Decrease"), [this] { EditDecreaseExecute(); },
         keys({QKeySequence(Qt::Key_Minus)}))
        ->setIconText(QStringLiteral("-"));
    a->add(
        QStringLiteral("EditIncrementSmall"), tr("Increment (Small Step)"), [this] { EditStepExecute(true, isSmall); },
        keys({QKeySequence(QStringLiteral("Ctrl+PgUp"))}));
    a->add(
        QStringLiteral("EditDecrementSmall"), tr("Decrement (Small Step)"), [this] { EditStepExecute(false, isSmall); },
        keys({QKeySequence(QStringLiteral("Ctrl+PgDown"))}));
    a->add(
        QStringLiteral("EditIncrementLarge"), tr("Increment (Large Step)"), [this] { EditStepExecute(true, isLarge); },
        keys({QKeySequence(Qt::Key_PageUp)}));
    a->add(
        QStringLiteral("EditDecrementLarge"), tr("Decrement (Large Step)"), [this] { EditStepExecute(false, isLarge); },
        keys({QKeySequence(Qt::Key_PageDown)}));
    a->add(
        QStringLiteral("EditAdjustments"), tr("Ad&justments..."), [this] { EditAdjustmentsExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+J"))}));
    a->add(
         QStringLiteral("EditInterpolate"), tr("I&nterpolate"), [this] { EditInterpolateExecute(); },
         keys({QKeySequence(QStringLiteral("Ctrl+I"))}))
        ->setIconText(tr("Interpolate"));
    a->add(
         QStringLiteral("EditSmoothSelection"), tr("Smooth &Selection"), [this] { EditSmoothSelectionExecute(); },
         keys({QKeySequence(QStringLiteral("Ctrl+M"))}))
        ->setIconText(tr("Smooth"));
    a->add(
        QStringLiteral("EditSmoothMap"), tr("Smooth &Map"), [this] { EditSmoothMapExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+Shift+M"))}));
    // The selection moves of a focused graph: arrows, shift extends.
    const struct {
        const char* name;
        QKeySequence key;
    } moves[] = {
        {"NavigateUpRpm", QKeySequence(Qt::Key_Down)},
        {"NavigateDownRpm", QKeySequence(Qt::Key_Up)},
        {"NavigateUpColumn", QKeySequence(Qt::Key_Right)},
        {"NavigateDownColumn", QKeySequence(Qt::Key_Left)},
        {"NavigateSelectRpmUp", QKeySequence(Qt::SHIFT | Qt::Key_Down)},
        {"NavigateSelectRpmDn", QKeySequence(Qt::SHIFT | Qt::Key_Up)},
        {"NavigateSelectMapUp", QKeySequence(Qt::SHIFT | Qt::Key_Right)},
        {"NavigateSelectMapDn", QKeySequence(Qt::SHIFT | Qt::Key_Left)},
    };
    for (const auto& m : moves) {
        const QString name = QLatin1String(m.name);
        a->add(
            name, name, [this, name] { NavigateExecute(name); }, keys({m.key}));
    }

    // Tools of the ROM model
    a->add(QStringLiteral("ToolsNotes"), tr("&Notes..."), [this] { ToolsNotesExecute(); });
    a->add(QStringLiteral("ToolsRebuildTables"), tr("&Rebuild Tables..."), [this] { ToolsRebuildTablesExecute(); });

    // View
    a->add(
        QStringLiteral("ViewTables"), tr("&Tables"), [this] { ViewTablesExecute(); }, {}, true);
    a->add(
        QStringLiteral("ViewOptions"), tr("&Options"), [this] { ViewOptionsExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+P"))}));
    a->add(
        QStringLiteral("ViewToggle"), tr("Toggle &View"), [this] { ViewToggleExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+T"))}));
    a->add(
        QStringLiteral("ViewGraphs"), tr("&Graphs"), [this] { ViewGraphsExecute(); },
        keys({QKeySequence(QStringLiteral("Ctrl+G"))}), true);
    a->add(QStringLiteral("ViewGraph2D"), tr("Focus &2D Graph"), [this] { ViewGraphExecute(false); });
    a->add(QStringLiteral("ViewGraph3D"), tr("Focus &3D Graph"), [this] { ViewGraphExecute(true); });
    a->add(
        QStringLiteral("ViewInjectorDuration"), tr("Fuel as Injector &Duration"),
        [this] { ViewInjectorDurationExecute(); }, {}, true);
    a->add(
        QStringLiteral("ViewRefresh"), tr("&Refresh"), [this] { ViewRefreshExecute(); },
        keys({QKeySequence(Qt::Key_F5)}));
    a->add(
         QStringLiteral("ViewLCF"), tr("Low Cam &Fuel"), [this] { ViewTableExecute(tkLowFuel); },
         keys({QKeySequence(QStringLiteral("Ctrl+1"))}), true)
        ->setIconText(QStringLiteral("LCF"));
    a->add(
         QStringLiteral("ViewHCF"), tr("High Cam F&uel"), [this] { ViewTableExecute(tkHighFuel); },
         keys({QKeySequence(QStringLiteral("Ctrl+2"))}), true)
        ->setIconText(QStringLiteral("HCF"));
    a->add(
         QStringLiteral("ViewLCI"), tr("Low Cam &Ignition"), [this] { ViewTableExecute(tkLowIgn); },
         keys({QKeySequence(QStringLiteral("Ctrl+3"))}), true)
        ->setIconText(QStringLiteral("LCI"));
    a->add(
         QStringLiteral("ViewHCI"), tr("High Cam I&gnition"), [this] { ViewTableExecute(tkHighIgn); },
         keys({QKeySequence(QStringLiteral("Ctrl+4"))}), true)
        ->setIconText(QStringLiteral("HCI"));
    a->add(
         QStringLiteral("ViewIgnFuel"), tr("Ignition / Fuel &Values"), [this] { ViewModeExecute(vmValues); },
         keys({QKeySequence(QStringLiteral("Alt+1"))}), true)
        ->setIconText(tr("Values"));
    a->add(
         QStringLiteral("ViewDifference"), tr("Lambda &Difference"), [this] { ViewModeExecute(vmDifference); },
         keys({QKeySequence(QStringLiteral("Alt+2"))}), true)
        ->setIconText(tr("Diff"));
    a->add(
         QStringLiteral("ViewLambda"), tr("Measured &Lambda"), [this] { ViewModeExecute(vmLambda); },
         keys({QKeySequence(QStringLiteral("Alt+3"))}), true)
        ->setIconText(tr("Lambda"));
    a->add(
         QStringLiteral("ViewTargetLambda"), tr("&Target Lambda"), [this] { ViewModeExecute(vmTargetLambda); },
         keys({QKeySequence(QStringLiteral("Alt+4"))}), true)
        ->setIconText(tr("Target"));
    a->add(
         QStringLiteral("ViewKnock"), tr("&Knock"), [this] { ViewModeExecute(vmKnock); },
         keys({QKeySequence(QStringLiteral("Alt+5"))}), true)
        ->setIconText(tr("Knock"));
    a->add(
         QStringLiteral("ViewDutyCycle"), tr("Injector Duty &Cycle"), [this] { ViewDutyCycleExecute(); },
         keys({QKeySequence(QStringLiteral("Alt+6"))}), true)
        ->setIconText(tr("Duty"));
    a->add(
        QStringLiteral("ViewAFR"), tr("Lambda as &AFR"), [this] { ViewUnitExecute(&TViewUnits::afr); }, {}, true);
    a->add(
        QStringLiteral("ViewPsi"), tr("Boost in &psi"), [this] { ViewUnitExecute(&TViewUnits::psi); }, {}, true);
    a->add(
        QStringLiteral("ViewMph"), tr("Speed in &mph"), [this] { ViewUnitExecute(&TViewUnits::mph); }, {}, true);
    a->add(
        QStringLiteral("ViewTempF"), tr("Temperature in °&F"), [this] { ViewUnitExecute(&TViewUnits::fahrenheit); }, {},
        true);
    a->add(
        QStringLiteral("ViewFullScreen"), tr("&Full Screen"), [this] { ViewFullScreenExecute(); },
        keys({QKeySequence(Qt::Key_F11)}), true);

    // The window holds every action, so the shortcuts work wherever the
    // focus is inside it, menus shown or not.
    addActions(amMain->actions());
}

void TMainForm::createMenus()
{
    auto act = [this](const char* name) { return amMain->action(QLatin1String(name)); };
    auto addAll = [&](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* n : names) {
            if (n == nullptr)
                menu->addSeparator();
            else
                menu->addAction(act(n));
        }
    };

    mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFile->addAction(act("FileNew"));
    mnuFile->addAction(act("FileOpen"));
    mnuReopen = new QMenu(tr("&Reopen"), this);
    mnuReopen->setObjectName(QStringLiteral("mnuReopen"));
    act("FileReopen")->setMenu(mnuReopen);
    mnuFile->addAction(act("FileReopen"));
    addAll(mnuFile, {nullptr, "FileSave", "FileSaveAs", "FileQuickSave", nullptr, "FileImport", "FileExport", nullptr,
                     "FileReload", "FileClose", nullptr, "FileExit"});

    mnuEdit = menuBar()->addMenu(tr("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    addAll(mnuEdit, {"EditUndo",
                     "EditRedo",
                     nullptr,
                     "EditCut",
                     "EditCopy",
                     "EditPaste",
                     "EditDelete",
                     "EditSelectAll",
                     nullptr,
                     "EditIncrease",
                     "EditDecrease",
                     "EditIncrementSmall",
                     "EditDecrementSmall",
                     "EditIncrementLarge",
                     "EditDecrementLarge",
                     nullptr,
                     "EditAdjustments",
                     "EditInterpolate",
                     "EditSmoothSelection",
                     "EditSmoothMap"});

    mnuView = menuBar()->addMenu(tr("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    addAll(mnuView,
           {"ViewTables", "ViewOptions", "ViewGraphs", "ViewGraph2D", "ViewGraph3D", "ViewInjectorDuration", nullptr});
    addAll(mnuView, {"ViewToggle", "ViewRefresh",   nullptr,         "ViewLCF",        "ViewHCF",    "ViewLCI",
                     "ViewHCI",    nullptr,         "ViewIgnFuel",   "ViewDifference", "ViewLambda", "ViewTargetLambda",
                     "ViewKnock",  "ViewDutyCycle", nullptr,         "ViewAFR",        "ViewPsi",    "ViewMph",
                     "ViewTempF",  nullptr,         "ViewFullScreen"});

    mnuTools = menuBar()->addMenu(tr("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    addAll(mnuTools, {"ToolsNotes", "ToolsRebuildTables"});

    pmGrid = new QMenu(this);
    pmGrid->setObjectName(QStringLiteral("pmGrid"));
    addAll(pmGrid, {"EditCut", "EditCopy", "EditPaste", "EditDelete", "EditSelectAll", nullptr, "EditIncrease",
                    "EditDecrease", "EditAdjustments", "EditInterpolate", "EditSmoothSelection", "EditSmoothMap",
                    nullptr, "EditUndo", "EditRedo"});
}

void TMainForm::createToolBars()
{
    auto act = [this](const char* name) { return amMain->action(QLatin1String(name)); };
    tbFile = addToolBar(tr("File"));
    tbFile->setObjectName(QStringLiteral("tbFile"));
    tbFile->addAction(act("FileOpen"));
    // The recent files drop down from the open button.
    if (auto* open = qobject_cast<QToolButton*>(tbFile->widgetForAction(act("FileOpen")))) {
        open->setMenu(mnuReopen);
        open->setPopupMode(QToolButton::MenuButtonPopup);
    }
    tbFile->addAction(act("FileSave"));
    tbFile->addAction(act("FileQuickSave"));

    tbEdit = addToolBar(tr("Edit"));
    tbEdit->setObjectName(QStringLiteral("tbEdit"));
    for (const char* n :
         {"EditUndo", "EditRedo", "EditIncrease", "EditDecrease", "EditInterpolate", "EditSmoothSelection"})
        tbEdit->addAction(act(n));

    addToolBarBreak();
    tbView = addToolBar(tr("View"));
    tbView->setObjectName(QStringLiteral("tbView"));
    for (const char* n : {"ViewLCF", "ViewHCF", "ViewLCI", "ViewHCI"})
        tbView->addAction(act(n));
    tbView->addSeparator();
    tbView->addAction(act("ViewGraphs"));
    tbView->addSeparator();
    for (const char* n :
         {"ViewIgnFuel", "ViewTargetLambda", "ViewDutyCycle", "ViewDifference", "ViewLambda", "ViewKnock"})
        tbView->addAction(act(n));
    for (QToolBar* tb : {tbFile, tbEdit, tbView})
        tb->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
}

void TMainForm::createStatusBar()
{
    auto pane = [this](const char* name, int minWidth) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setMinimumWidth(minWidth);
        statusBar()->addWidget(l);
        return l;
    };
    spRomType = pane("spRomType", 140);
    spOptions = pane("spOptions", 240);
    spRTPUpdate = pane("spRTPUpdate", 160);
}

void TMainForm::rebuildRecentMenu()
{
    mnuReopen->clear();
    const QStringList& paths = m_doc.recentFiles();
    const QString current = m_doc.hasFile() ? QDir::cleanPath(m_doc.path()) : QString();
    int shown = 0;
    for (const QString& path : paths) {
        QAction* entry = mnuReopen->addAction(QDir::toNativeSeparators(path));
        entry->setObjectName(QStringLiteral("FileReopenItem"));
        entry->setData(path);
        // The open file is not offered again.
        entry->setVisible(QDir::cleanPath(path) != current);
        if (entry->isVisible())
            ++shown;
        connect(entry, &QAction::triggered, this, [this, path] {
            // The menu is rebuilt by the flow; run it after the click returns.
            QTimer::singleShot(0, this, [this, path] { FileReopenExecute(path); });
        });
    }
    if (shown == 0)
        mnuReopen->addAction(tr("(none)"))->setEnabled(false);
}
