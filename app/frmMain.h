#pragma once

// The main window: owns the open ROM, holds every command as an action of the
// action manager amMain, recomputes their states whenever the event loop goes
// idle, and shows the current table in the grid dgMain. The commands live in
// their own units (frmMainFile.cpp, frmMainEdit.cpp, frmMainView.cpp,
// frmMainGrid.cpp); the window composes the model classes and computes
// nothing itself.

#include "app/mdlActionManager.h"
#include "app/mdlCommandStates.h"
#include "editor/mdlGridDisplay.h"
#include "editor/mdlTableEdit.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlTableRebuild.h"
#include "settings/mdlDisplayUnits.h"
#include "settings/mdlServices.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QVector>
#include <functional>

class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class TGraphsPanel;
class TNotesForm;
class TOptionsPanel;
class TSettingsStore;
class TVexorGrid;
struct TSettings;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `store` may be null (no settings file: defaults throughout). The
    // start-up file is the first command-line argument; it is opened on the
    // window's first activation when it names an existing file.
    TMainForm(const TServices& services, TSettingsStore* store, const QString& startupFile = QString(),
              QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- what the window owns -------------------------------------------------
    [[nodiscard]] TRom& rom() { return m_rom; }
    [[nodiscard]] TRomDocument& document() { return m_doc; }
    [[nodiscard]] TGridDisplay& display() { return m_display; }
    [[nodiscard]] TTableEditor& tableEditor() { return m_editor; }
    [[nodiscard]] TActionManager* actionManager() const { return amMain; }
    [[nodiscard]] QAction* action(const QString& name) const { return amMain->action(name); }
    [[nodiscard]] TVexorGrid* grid() const { return dgMain; }
    // The 2D and 3D map graphs beside the grid (hidden until ViewGraphs).
    [[nodiscard]] TGraphsPanel* mapGraphs() const { return m_graphs; }
    [[nodiscard]] bool mapGraphsShown() const;
    [[nodiscard]] QMenu* gridPopupMenu() const { return pmGrid; }
    [[nodiscard]] QMenu* toolsMenu() const { return mnuTools; }
    [[nodiscard]] TOptionsPanel* optionsPanel() const { return pnlOptionsHost; }
    // The work area shows one panel at a time: the table grid first (a null
    // panel), then the panels others add (the data graphs; see also
    // joinViewToggle).
    void addWorkPanel(QWidget* panel);
    void showWorkPanel(QWidget* panel);
    [[nodiscard]] bool workPanelShown(const QWidget* panel) const;

    // --- state ----------------------------------------------------------------
    [[nodiscard]] bool started() const { return m_started; }
    [[nodiscard]] quint8 viewMode() const { return m_display.options().ViewMode; }
    [[nodiscard]] bool fullScreen() const { return m_fullScreen; }
    // What the table-structure settings changed since the last rebuild
    // offer (set by the option pages, cleared on open and close).
    [[nodiscard]] TTableStructureMarks& tableMarks() { return m_marks; }
    [[nodiscard]] TNotesForm* notesForm() const { return m_notes; }
    // The grid selection in data coordinates (load column, rpm row).
    [[nodiscard]] TGridRect dataSelection() const;
    // Where the engine runs and the per-cell datalog results, fed by the
    // datalog link; they drive the overlays and the tunable check.
    void setLivePosition(const TLivePosition& position);
    void setCellData(const IGridCellData* cellData);
    // Told by the datalog side: true while smart tracking is on and the link
    // is connected; the step commands then change the cells around the live
    // cell (by the track mode) instead of the selection.
    void setSmartTracking(bool on) { m_smartTracking = on; }
    [[nodiscard]] bool smartTracking() const { return m_smartTracking; }
    // The units every view shows now (see mdlDisplayUnits.h: the View menu's
    // toggles over the settings); displayUnitsChanged follows every change.
    [[nodiscard]] const TDisplayUnits& displayUnits() const { return m_display.options().Units; }
    // The cells Increase and Decrease change now (data coordinates).
    [[nodiscard]] QVector<QPoint> stepTargetCells() const;

    // --- routines -------------------------------------------------------------
    // Enabled / visible / checked states of every command, caption and panes.
    void amMainOnUpdate();
    // After every edit and view change: grid shape, then repaint.
    void refreshViews();
    // The no-ROM state.
    void closeRoutine();
    void setFullScreen(bool on);
    // A work panel joins ViewToggle's cycle at its place (added to the work
    // area if it is not there yet); `show` is its view command, ViewTables
    // for the grid. Panels added with addWorkPanel alone (the data graphs)
    // stay outside the cycle.
    void joinViewToggle(TWorkPanel kind, QWidget* panel, std::function<void()> show);
    // Runs a command body the way the actions do: a failure of the model is
    // shown in an error box and the views are refreshed.
    void runCommand(const QString& name, const std::function<void()>& body);
    // A short notice in the status bar (what a command did to the user's input).
    void showStatus(const QString& text);
    // Set by the scripts' show-options hook: true when it handled the
    // show-options command (the option pages stay hidden then).
    std::function<bool()> showOptionsHook;

Q_SIGNALS:
    void displayUnitsChanged(const TDisplayUnits& units);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // Construction (frmMainActions.cpp).
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void createGrid();
    void rebuildRecentMenu();

    // Start-up and settings (frmMain.cpp).
    void firstActivation();
    void applySettings(const TSettings& s);
    void collectSettings(TSettings& s) const;
    void updateCaptionAndPanes();
    void fitGridColumns();
    void onRomLoaded();

    // File commands (frmMainFile.cpp).
    void FileOpenExecute();
    void FileReopenExecute(const QString& path);
    void FileSaveExecute();
    void FileSaveAsExecute();
    void FileQuickSaveExecute();
    void FileCloseExecute();
    void FileReloadExecute();
    void FileExitExecute();
    void FileNewExecute();
    void FileImportExecute();
    void FileExportExecute();

    // Tools of the ROM model (frmMainFile.cpp).
    void ToolsNotesExecute();
    void ToolsRebuildTablesExecute();

    // Edit commands (frmMainEdit.cpp).
    void prepareEditor();
    [[nodiscard]] bool canEditFromHere() const;
    void EditUndoExecute();
    void EditRedoExecute();
    void EditCopyExecute();
    void EditCutExecute();
    void EditPasteExecute();
    void EditDeleteExecute();
    void EditSelectAllExecute();
    void EditIncreaseExecute();
    void EditDecreaseExecute();
    void EditStepExecute(bool increment, TIncrementSize size);
    void EditAdjustmentsExecute();
    void EditInterpolateExecute();
    void EditSmoothSelectionExecute();
    void EditSmoothMapExecute();
    void NavigateExecute(const QString& move);

    // View commands (frmMainView.cpp).
    void setViewMode(quint8 mode);
    void selectTable(quint8 table);
    [[nodiscard]] bool hasTargetLambdaTable() const;
    void ViewTablesExecute();
    void ViewOptionsExecute();
    void ViewToggleExecute();
    void ViewTableExecute(quint8 table);
    void ViewModeExecute(quint8 mode);
    void ViewDutyCycleExecute();
    void ViewUnitExecute(bool TViewUnits::*flag);
    void updateDisplayUnits();
    void ViewRefreshExecute();
    void ViewGraphsExecute();
    void ViewGraphExecute(bool threeD);
    void ViewInjectorDurationExecute();
    void showMapGraphs();
    void focusMapGraph();
    void graphSelect(const TGridRect& dataRect);
    void graphDragWrite(const TDragCell& cell);
    void ViewFullScreenExecute();

    // Grid handlers (frmMainGrid.cpp).
    void dgMainFixedCell(int ACol, int ARow, QString& Caption, TAlignment& AlignTo);
    void dgMainColorCell(int Col, int Row, QString& Caption, TColor& BkgndColor, TColor& FontColor, TAlignment& AlignTo,
                         bool Selected);
    void dgMainCellClick(int ACol, int ARow);
    void dgMainCellDblClick(int ACol, int ARow);
    void dgMainGetEditText(int ACol, int ARow, QString& Text, bool& CanEdit);
    void txtCellEditExit(int ACol, int ARow, const QString& Text);
    void reportTypedValue(const QString& typed, int ACol, int ARow, const TTableEditor::TTypedValue& kept);
    void dgMainContextMenu(const QPoint& pos);

    // Owned model, in the order it is created.
    TServices m_services;
    TSettingsStore* m_store;
    TRom m_rom;
    TRomDocument m_doc;
    TGridDisplay m_display;
    TTableEditor m_editor;
    TLivePositionState m_live;
    const IGridCellData* m_cellData = nullptr;

    // Window state.
    QString m_startupFile;
    bool m_started = false;
    bool m_shownOnce = false;
    TTableStructureMarks m_marks;
    bool m_fullScreen = false;
    bool m_wasMaximized = false;
    TViewUnits m_view;
    TGeneralSettings m_unitSettings; // the references of the display units
    bool m_smartTracking = false;
    bool m_prefer3D = false;
    int m_fullScreenResX = 1024;
    int m_fullScreenResY = 768;
    quint32 m_startTick = 0;
    QPoint m_selAnchor{1, 3};
    QString m_lastCaption;
    // The clipboard is asked at most a few times a second: on X11 another
    // program may own it, and every question is a round trip to it.
    QElapsedTimer m_clipboardAge;
    bool m_clipboardHasText = false;

    struct TWorkPanelStop {
        QPointer<QWidget> Panel;
        std::function<void()> Show;
    };
    std::array<TWorkPanelStop, WorkPanelCount> m_workPanels;

    // Controls.
    TActionManager* amMain;
    QStackedWidget* pnlWork;
    QWidget* pnlTables;
    TOptionsPanel* pnlOptionsHost = nullptr; // the option pages, one of the work panels
    TVexorGrid* dgMain;
    QSplitter* m_tablesSplit;
    TGraphsPanel* m_graphs;
    QMenu* mnuFile;
    QMenu* mnuReopen;
    QMenu* mnuEdit;
    QMenu* mnuView;
    QMenu* mnuTools;
    QMenu* pmGrid;
    QToolBar* tbFile;
    QToolBar* tbEdit;
    QToolBar* tbView;
    QLabel* spRomType;
    QLabel* spOptions;
    QLabel* spRTPUpdate;
    TNotesForm* m_notes = nullptr;
};
