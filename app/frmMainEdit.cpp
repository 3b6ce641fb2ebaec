// The Edit commands: block edits of the current table through the table
// editor, undo and redo, the step commands and the selection moves.

#include "app/frmMain.h"

#include "editor/mdlSelectionMoves.h"
#include "editor/ui/VexorGrid.h"
#include "editor/ui/frmAdjustments.h"
#include "editor/ui/frmGraphs.h"
#include "settings/mdlMessages.h"

#include <QApplication>

void TMainForm::prepareEditor()
{
    // An open in-place editor applies its text first, so a command never
    // works on a cell the editor would overwrite a moment later.
    if (dgMain->EditorVisible())
        dgMain->CommitEditor();
    m_editor.ViewMode = viewMode();
}

bool TMainForm::canEditFromHere() const
{
    // The clipboard and undo commands belong to the main window; another
    // window (a tool, the notes) keeps its own.
    return isActiveWindow();
}

void TMainForm::EditUndoExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    m_rom.buffer().undo();
    refreshViews();
}

void TMainForm::EditRedoExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    m_rom.buffer().redo();
    refreshViews();
}

void TMainForm::EditCopyExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    m_editor.copy(dataSelection());
    m_clipboardAge.invalidate();
}

void TMainForm::EditCutExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    m_editor.cut(dataSelection());
    m_clipboardAge.invalidate();
    refreshViews();
}

void TMainForm::EditPasteExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    if (m_editor.paste(dataSelection()) == TPasteResult::DoesNotFit && m_services.messages)
        m_services.messages->showMessage(QStringLiteral("Clipboard data does not fit in selection."), QString(),
                                         TMsgKind::Information, TMsgButton::OK);
    refreshViews();
}

void TMainForm::EditDeleteExecute()
{
    if (!canEditFromHere())
        return;
    prepareEditor();
    m_editor.deleteCells(dataSelection());
    refreshViews();
}

void TMainForm::EditSelectAllExecute()
{
    if (!canEditFromHere())
        return;
    dgMain->SelectAll();
    m_selAnchor = QPoint(TGridDisplay::FixedCols, TGridDisplay::FixedRows);
}

QVector<QPoint> TMainForm::stepTargetCells() const
{
    if (m_smartTracking && m_rom.isLoaded())
        return TTableEditor::trackedCells(m_live.Position, m_rom.columns(), m_rom.rows());
    return TTableEditor::rectCells(dataSelection());
}

void TMainForm::EditIncreaseExecute()
{
    prepareEditor();
    if (focusWidget() != dgMain && !m_graphs->hasGraphFocus())
        return;
    m_editor.increase(stepTargetCells());
    refreshViews();
}

void TMainForm::EditDecreaseExecute()
{
    prepareEditor();
    if (focusWidget() != dgMain && !m_graphs->hasGraphFocus())
        return;
    m_editor.decrease(stepTargetCells());
    refreshViews();
}

void TMainForm::EditStepExecute(bool increment, TIncrementSize size)
{
    // The focused grid decides what a step means; the table grid has no
    // steps of its own (its cells move by Increase and Decrease).
    auto* grid = qobject_cast<TVexorGrid*>(focusWidget());
    if (!grid)
        return;
    if (increment)
        grid->Increment(size);
    else
        grid->Decrement(size);
}

void TMainForm::EditAdjustmentsExecute()
{
    prepareEditor();
    const TGridRect sel = dataSelection();
    TAdjustmentsForm form(m_services.messages, this);
    if (form.exec() != QDialog::Accepted)
        return;
    m_editor.adjust(sel, form.kind(), form.amount());
    refreshViews();
}

void TMainForm::EditInterpolateExecute()
{
    prepareEditor();
    m_editor.interpolate(dataSelection());
    refreshViews();
}

void TMainForm::EditSmoothSelectionExecute()
{
    prepareEditor();
    m_editor.smooth(dataSelection());
    refreshViews();
}

void TMainForm::EditSmoothMapExecute()
{
    prepareEditor();
    m_editor.smooth(m_editor.wholeTable());
    refreshViews();
}

void TMainForm::NavigateExecute(const QString& move)
{
    const TSelectionBounds b{TGridDisplay::FixedCols, TGridDisplay::FixedRows, dgMain->ColCount() - 1,
                             dgMain->RowCount() - 1};
    const TSelectionState s{dgMain->Selection(), m_selAnchor};
    const bool fuel = TRom::isFuelKind(m_rom.CurrentTable);
    TSelectionState n = s;
    if (move == QLatin1String("NavigateUpRpm"))
        n = navigateRpm(s, +1, b);
    else if (move == QLatin1String("NavigateDownRpm"))
        n = navigateRpm(s, -1, b);
    else if (move == QLatin1String("NavigateUpColumn"))
        n = navigateColumn(s, +1, fuel, b);
    else if (move == QLatin1String("NavigateDownColumn"))
        n = navigateColumn(s, -1, fuel, b);
    else if (move == QLatin1String("NavigateSelectRpmUp"))
        n = extendRpm(s, +1, b);
    else if (move == QLatin1String("NavigateSelectRpmDn"))
        n = extendRpm(s, -1, b);
    else if (move == QLatin1String("NavigateSelectMapUp"))
        n = extendMap(s, +1, fuel, b);
    else if (move == QLatin1String("NavigateSelectMapDn"))
        n = extendMap(s, -1, fuel, b);
    dgMain->SelectRange(n.Sel.Left, n.Sel.Top, n.Sel.Right, n.Sel.Bottom);
    m_selAnchor = n.Anchor;
    refreshViews();
}
