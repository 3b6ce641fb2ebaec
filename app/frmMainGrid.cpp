// The handlers of the table grid dgMain and its in-place editor. Captions
// and colours come from the grid display; typed values go to the ROM model.

#include "app/frmMain.h"

#include "editor/ui/VexorGrid.h"

#include <QLocale>
#include <QMenu>

namespace {

// The editor's key filter lets only digits, '.' and '%' through, so the text
// is read the same way in every locale.
bool parseReal(const QString& text, double& value)
{
    bool ok = false;
    value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

bool parseInt(const QString& text, int& value)
{
    bool ok = false;
    value = QLocale::c().toInt(text.trimmed(), &ok);
    return ok;
}

} // namespace

void TMainForm::dgMainFixedCell(int ACol, int ARow, QString& Caption, TAlignment& AlignTo)
{
    m_display.options().Loading = m_doc.loading();
    m_display.fixedCell(ACol, ARow, Caption, AlignTo);
}

void TMainForm::dgMainColorCell(int Col, int Row, QString& Caption, TColor& BkgndColor, TColor& FontColor,
                                TAlignment& AlignTo, bool Selected)
{
    m_display.options().Loading = m_doc.loading();
    m_display.colorCell(Col, Row, Caption, BkgndColor, FontColor, AlignTo, Selected);
}

void TMainForm::dgMainCellClick(int ACol, int ARow)
{
    // The grid itself selects whole rows and columns from their headers; the
    // corner cell is the select-all command.
    if (ACol < TGridDisplay::FixedCols && ARow < TGridDisplay::FixedRows) {
        runCommand(QStringLiteral("EditSelectAll"), [this] { EditSelectAllExecute(); });
        return;
    }
    m_selAnchor = QPoint(std::max(ACol, int(TGridDisplay::FixedCols)), std::max(ARow, int(TGridDisplay::FixedRows)));
}

void TMainForm::dgMainCellDblClick(int ACol, int ARow)
{
    const quint8 mode = viewMode();
    if (mode != vmValues && mode != vmTargetLambda)
        return;
    dgMain->ShowEditor(ACol, ARow);
}

void TMainForm::dgMainGetEditText(int ACol, int ARow, QString& Text, bool& CanEdit)
{
    const TGridRect sel = dataSelection();
    CanEdit = m_display.editText(ACol, ARow, sel.Left, sel.Top, Text);
}

void TMainForm::txtCellEditExit(int ACol, int ARow, const QString& Text)
{
    if (!m_rom.isLoaded())
        return;
    const bool high = TRom::isHighCamKind(m_rom.CurrentTable);
    const int col = ACol - TGridDisplay::FixedCols;
    const int row = ARow - TGridDisplay::FixedRows;
    const TGridDisplayOptions& o = m_display.options();
    double real = 0;
    int whole = 0;

    if (o.ViewMode == vmTargetLambda) {
        // Header cells take no value in this view.
        if (col >= 0 && row >= 0 && parseReal(Text, real)) {
            const double lambda = o.Units.afr ? real / o.Units.stoich : real;
            reportTypedValue(Text, ACol, ARow, m_editor.typeValue(col, row, lambda));
            refreshViews();
        }
        return;
    }
    if (ARow == 1 && col >= 0) {
        // A load header: millibar, or a throttle percentage ending in "%".
        const QString t = Text.trimmed();
        if (t.endsWith(QLatin1Char('%'))) {
            // Only a throttle column holds a percentage; elsewhere the number
            // would be written as a load byte and mean something else.
            if (!m_display.isThrottleColumn(col))
                showStatus(tr("Column %1 is not a throttle column: type its load in mbar.").arg(ACol));
            else if (parseReal(t.chopped(1), real))
                m_rom.setThrottleLoad(high, col, real);
        } else if (parseInt(t, whole)) {
            m_rom.setLoad(high, col, whole);
        }
        refreshViews();
        return;
    }
    if (ACol == 0 && row >= 0) {
        if (row < m_rom.rows() && parseInt(Text, whole))
            m_rom.setRpm(high, row, whole);
        refreshViews();
        return;
    }
    if (col >= 0 && row >= 0 && o.ViewMode == vmValues && parseReal(Text, real)) {
        // The value goes to the selection's top-left cell, where typing started.
        const TGridRect sel = dataSelection();
        const TTableEditor::TTypedValue kept = m_editor.typeValue(sel.Left, sel.Top, real);
        reportTypedValue(Text, sel.Left + TGridDisplay::FixedCols, sel.Top + TGridDisplay::FixedRows, kept);
        dgMain->Invalidate();
    }
}

void TMainForm::reportTypedValue(const QString& typed, int ACol, int ARow, const TTableEditor::TTypedValue& kept)
{
    // The cell shows what the encoding kept; say so when that is not what
    // was typed, so a clamped or rounded value never passes unnoticed.
    const QString shown = dgMain->CellCaption(ACol, ARow).trimmed();
    const qsizetype point = shown.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : int(shown.size() - point - 1);
    double typedValue = 0;
    const bool same = parseReal(typed, typedValue) && QString::number(typedValue, 'f', decimals) == shown;
    if (kept.Limited)
        showStatus(tr("%1 is beyond what this table can hold: stored %2.").arg(typed.trimmed(), shown));
    else if (!same)
        showStatus(tr("Stored %1, the nearest value this table can hold to %2.").arg(shown, typed.trimmed()));
}

void TMainForm::dgMainContextMenu(const QPoint& pos)
{
    amMainOnUpdate();
    pmGrid->popup(dgMain->viewport()->mapToGlobal(pos));
}
