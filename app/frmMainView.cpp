// The View commands: which table, what its cells show, units, the panels and
// full screen.

#include "app/frmMain.h"

#include "editor/ui/VexorGraph.h"
#include "editor/ui/VexorGrid.h"
#include "editor/ui/frmGraphs.h"
#include "options/ui/frmOptions.h"
#include "rom/ui/frmRebuildTables.h"

#include <QSplitter>
#include <QStackedWidget>
#include <algorithm>

void TMainForm::setViewMode(quint8 mode)
{
    m_display.options().ViewMode = mode;
    m_editor.ViewMode = mode;
}

void TMainForm::selectTable(quint8 table)
{
    if (dgMain->EditorVisible())
        dgMain->CommitEditor(); // the typed value belongs to the table it was typed in
    m_rom.CurrentTable = table;
}

// The one place that decides whether the target and difference views can
// work: the family must keep per-cell targets (OBD0, P13 and Nissan do not)
// and the ROM's map must place them.
bool TMainForm::hasTargetLambdaTable() const
{
    return m_rom.traits().tuningViews && m_rom.traits().targetLambdaTable &&
           m_rom.address(correctionEntry(m_rom.currentCam())) != 0;
}

void TMainForm::ViewTablesExecute()
{
    pnlWork->setCurrentWidget(pnlTables);
    pnlTables->show();
    m_graphs->hide();
    // Structure settings changed since the last offer: rebuild the breakpoints?
    runRebuildQuestion(m_rom, m_marks, m_services, this);
    dgMain->setFocus(Qt::OtherFocusReason);
    refreshViews();
}

void TMainForm::ViewOptionsExecute()
{
    if (showOptionsHook && showOptionsHook())
        return;
    if (dgMain->EditorVisible())
        dgMain->CommitEditor();
    pnlWork->setCurrentWidget(pnlOptionsHost);
    pnlOptionsHost->setUnits(m_display.options().Units);
    pnlOptionsHost->fill();
    // The tree takes the keys first (Enter moves into a page); the simple page its first field.
    QWidget* first = pnlOptionsHost->showsTree() ? pnlOptionsHost->treeWidget() : pnlOptionsHost->simplePage();
    if (first)
        first->setFocus(Qt::OtherFocusReason);
}

void TMainForm::joinViewToggle(TWorkPanel kind, QWidget* panel, std::function<void()> show)
{
    if (pnlWork->indexOf(panel) < 0)
        pnlWork->addWidget(panel);
    m_workPanels[int(kind)] = {panel, std::move(show)};
}

void TMainForm::ViewToggleExecute()
{
    std::optional<TWorkPanel> current;
    std::array<bool, WorkPanelCount> present{};
    for (int i = 0; i < WorkPanelCount; ++i) {
        const TWorkPanelStop& stop = m_workPanels[i];
        present[i] = stop.Panel && stop.Show;
        // The map graphs share the grid's panel: the first stop on it wins here.
        if (present[i] && !current && pnlWork->currentWidget() == stop.Panel)
            current = TWorkPanel(i);
    }
    if (current == TWorkPanel::Tables && mapGraphsShown())
        current = TWorkPanel::Graphs;
    m_workPanels[int(nextWorkPanel(current, present))].Show();
}

void TMainForm::ViewTableExecute(quint8 table)
{
    selectTable(table);
    if (!TRom::isFuelKind(table))
        setViewMode(vmValues); // the lambda and duty views belong to the fuel maps
    refreshViews();
}

void TMainForm::ViewModeExecute(quint8 mode)
{
    // The lambda views need the ROM's target-lambda table.
    if ((mode == vmDifference || mode == vmLambda || mode == vmTargetLambda) && !hasTargetLambdaTable())
        return;
    ViewTablesExecute();
    setViewMode(mode);
    refreshViews();
}

void TMainForm::ViewDutyCycleExecute()
{
    ViewTablesExecute();
    // Duty cycle is a fuel view: show the fuel map of the cam on screen.
    selectTable(TRom::isHighCamKind(m_rom.CurrentTable) ? tkHighFuel : tkLowFuel);
    setViewMode(vmDutyCycle);
    refreshViews();
}

void TMainForm::ViewUnitExecute(bool TViewUnits::*flag)
{
    m_view.*flag = !(m_view.*flag);
    updateDisplayUnits();
}

void TMainForm::updateDisplayUnits()
{
    const TDisplayUnits units = ::displayUnits(m_unitSettings, m_view);
    if (units == m_display.options().Units)
        return;
    m_display.options().Units = units;
    dgMain->Invalidate();
    if (pnlOptionsHost)
        pnlOptionsHost->setUnits(units);
    Q_EMIT displayUnitsChanged(units);
}

void TMainForm::addWorkPanel(QWidget* panel) { pnlWork->addWidget(panel); }

void TMainForm::showWorkPanel(QWidget* panel) { pnlWork->setCurrentWidget(panel ? panel : pnlTables); }

bool TMainForm::workPanelShown(const QWidget* panel) const { return pnlWork->currentWidget() == panel; }

void TMainForm::ViewRefreshExecute() { refreshViews(); }

void TMainForm::ViewFullScreenExecute() { setFullScreen(!m_fullScreen); }

// --- map graphs -------------------------------------------------------------------

bool TMainForm::mapGraphsShown() const
{
    return pnlWork->currentWidget() == pnlTables && m_graphs->isVisibleTo(pnlTables);
}

void TMainForm::focusMapGraph()
{
    (m_prefer3D ? m_graphs->panel3D() : m_graphs->panel2D())->setFocus(Qt::OtherFocusReason);
}

void TMainForm::showMapGraphs()
{
    setViewMode(vmValues);
    pnlWork->setCurrentWidget(pnlTables);
    m_graphs->options().ShowBoostRange = true;
    m_graphs->show();
    // The grid keeps its natural width while the graphs get a usable share.
    constexpr int MinGraphWidth = 340;
    const int total = m_tablesSplit->width();
    const int gridWidth =
        std::clamp(dgMain->sizeHint().width() + 4, total / 2, std::max(total / 2, total - MinGraphWidth));
    m_tablesSplit->setSizes({gridWidth, total - gridWidth});
}

void TMainForm::ViewGraphsExecute()
{
    // Pressed again while the graphs show: the boost columns come and go.
    if (mapGraphsShown())
        m_graphs->options().ShowBoostRange = !m_graphs->options().ShowBoostRange;
    else
        showMapGraphs();
    focusMapGraph();
    refreshViews();
}

void TMainForm::ViewGraphExecute(bool threeD)
{
    m_prefer3D = threeD;
    if (mapGraphsShown())
        m_graphs->options().ShowBoostRange = !m_graphs->options().ShowBoostRange;
    else
        showMapGraphs();
    runRebuildQuestion(m_rom, m_marks, m_services, this);
    focusMapGraph();
    refreshViews();
}

void TMainForm::ViewInjectorDurationExecute()
{
    m_graphs->options().ShowDuration = !m_graphs->options().ShowDuration;
    m_graphs->invalidate();
}

void TMainForm::graphSelect(const TGridRect& r)
{
    dgMain->SelectRange(r.Left + TGridDisplay::FixedCols, r.Top + TGridDisplay::FixedRows,
                        r.Right + TGridDisplay::FixedCols, r.Bottom + TGridDisplay::FixedRows);
    m_selAnchor = QPoint(r.Left + TGridDisplay::FixedCols, r.Top + TGridDisplay::FixedRows);
    refreshViews();
}

void TMainForm::graphDragWrite(const TDragCell& cell)
{
    runCommand(QStringLiteral("pbMainMouseUp"), [&] {
        prepareEditor();
        m_editor.typeValue(cell.Col, cell.Row, cell.Value);
    });
}
