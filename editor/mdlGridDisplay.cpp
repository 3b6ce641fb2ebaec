#include "editor/mdlGridDisplay.h"

#include "editor/mdlColorScales.h"
#include "rom/clsRom.h"

#include <cmath>
#include <exception>

namespace {

// Colour of the offset cells of byte-per-cell (Nissan) tables.
TColor offsetCellColor(double shown) { return RGB(80, 176, static_cast<long long>(roundEven(shown / 2)) - 16); }

double periodMs(int rpm) { return rpm == 0 ? 120000.0 : 120000.0 / rpm; }

} // namespace

bool TGridDisplay::active() const { return m_rom != nullptr && !m_options.Loading && m_rom->isLoaded(); }

int TGridDisplay::gridColCount() const
{
    if (!active())
        return NoRomCols;
    try {
        return m_rom->columns() + FixedCols;
    } catch (const std::exception&) {
        return NoRomCols;
    }
}

int TGridDisplay::gridRowCount() const
{
    if (!active())
        return NoRomRows;
    try {
        return m_rom->rows() + FixedRows;
    } catch (const std::exception&) {
        return NoRomRows;
    }
}

bool TGridDisplay::highCamTable() const { return m_rom != nullptr && TRom::isHighCamKind(m_rom->CurrentTable); }

int TGridDisplay::dataCam() const { return highCamTable() ? 1 : 0; }

bool TGridDisplay::insideTable(int col, int row) const
{
    return col >= 0 && row >= 0 && col < m_rom->columns() && row < m_rom->rows();
}

bool TGridDisplay::isThrottleColumn(int col) const
{
    if (!active() || !m_rom->hasFlag(ffITB))
        return false;
    try {
        return m_rom->throttleLoad(highCamTable(), col) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

// --- fixed cells ------------------------------------------------------------

void TGridDisplay::fixedCell(int ACol, int ARow, QString& Caption, TAlignment& AlignTo) const
{
    if (!active())
        return;
    try {
        TAlignment align = AlignTo;
        Caption = fixedCaption(ACol, ARow, align);
        AlignTo = align;
    } catch (const std::exception&) {
        Caption.clear();
    }
}

QString TGridDisplay::fixedCaption(int col, int row, TAlignment& align) const
{
    const bool nissan = m_rom->traits().nissanEncodings;
    const bool high = highCamTable();
    const int atm = m_options.Units.atmospheric;
    if (col == 0) {
        switch (row) {
        case 0: align = taLeftJustify; return QStringLiteral("Col");
        case 1: align = taLeftJustify; return nissan ? QStringLiteral("TTP") : QStringLiteral("mbar");
        case 2: align = taLeftJustify; return nissan ? QString() : QStringLiteral("vac/bst");
        default:
            align = taRightJustify;
            if (row - FixedRows >= m_rom->rows())
                return {};
            return QString::asprintf("%d", m_rom->rpm(high, row - FixedRows));
        }
    }
    const int c = col - FixedCols;
    if (row >= FixedRows || c >= m_rom->columns())
        return {};
    if (row == 0 && nissan) {
        align = taLeftJustify;
        return QString::asprintf("+%x", c);
    }
    if (row == 2 && nissan) {
        align = taRightJustify;
        return {};
    }
    const bool tp = isThrottleColumn(c);
    if (tp) {
        align = row == 0 ? taLeftJustify : taRightJustify;
        if (row == 0)
            return QString::asprintf("TP%d", col);
        if (row == 1)
            return QString::asprintf("%d%%", m_rom->throttleLoad(high, c));
        return {};
    }
    const int load = static_cast<qint16>(m_rom->load(high, c));
    switch (row) {
    case 0: align = taLeftJustify; return QString::asprintf(load > atm ? "B%d" : "%d", col);
    case 1: align = taRightJustify; return QString::asprintf("%d", load);
    default:
        align = taRightJustify;
        if (load <= atm)
            return QString::asprintf("%.2f\"", std::abs(load - atm) * InHgPerMbar);
        // Boost carries its unit like the vacuum's inch sign, so a bare
        // number is never read in the wrong unit.
        if (m_options.Units.psi)
            return QString::asprintf("%.1fpsi", (load - atm) / 1000.0 * PsiPerBar);
        return QString::asprintf("%.2fkg", (load - atm) * KgPerCm2PerMbar);
    }
}

// --- data cells -------------------------------------------------------------

void TGridDisplay::colorCell(int Col, int Row, QString& Caption, TColor& BkgndColor, TColor& FontColor,
                             TAlignment& AlignTo, bool Selected) const
{
    if (!active())
        return;
    AlignTo = taRightJustify;
    TColor viewColor = BkgndColor;
    try {
        if (!insideTable(Col, Row))
            return;
        dataCaption(Col, Row, Caption, viewColor);
    } catch (const std::exception&) {
        Caption.clear();
    }
    // Cells with no caption keep the grid's colours; selected cells keep the
    // highlight.
    if (!Caption.isEmpty() && !Selected)
        BkgndColor = viewColor;
    if (isTracked(Col, Row)) {
        BkgndColor = Selected ? VexorColors::clSilver : VexorColors::clFuchsia;
        FontColor = VexorColors::clBlack;
    }
    // Decided last: a cell kept out of tuning looks greyed out whatever else
    // applies to it.
    if (!isTunable(Col, Row)) {
        BkgndColor = Selected ? VexorColors::clSilver : VexorColors::clWhite;
        FontColor = Selected ? VexorColors::clGray : VexorColors::clSilver;
    }
}

void TGridDisplay::dataCaption(int col, int row, QString& caption, TColor& bkgnd) const
{
    const bool afr = m_options.Units.afr;
    const double stoich = m_options.Units.stoich;
    const int cam = dataCam();
    switch (m_options.ViewMode) {
    case vmValues: valuesCell(col, row, caption, bkgnd); return;
    case vmDutyCycle:
        // Duty cycle is a fuel view; on an ignition table show the values.
        if (TRom::isFuelKind(m_rom->CurrentTable))
            dutyCell(col, row, caption, bkgnd);
        else
            valuesCell(col, row, caption, bkgnd);
        return;
    case vmDifference: {
        if (!m_cellData || m_cellData->samples(cam, col, row) != TCellSamples::Enough)
            return;
        const double target = m_rom->correctionCell(m_rom->currentCam(), col, row);
        if (target == 0) // no target table, or a cell that cannot be a target
            return;
        const double diff = (target - m_cellData->measuredLambda(cam, col, row)) / target * 100;
        if (!std::isfinite(diff))
            return;
        caption = QString::asprintf("%.2f%%", diff);
        bkgnd = DifferenceColor(diff, 20, 3, -20);
        return;
    }
    case vmLambda: {
        if (!m_cellData)
            return;
        const TCellSamples s = m_cellData->samples(cam, col, row);
        if (s == TCellSamples::None)
            return;
        const double lambda = m_cellData->measuredLambda(cam, col, row);
        const double shown = afr ? lambda * stoich : lambda;
        const char* fmt = s == TCellSamples::Few ? (afr ? "(%.2f)" : "(%.3f)") : (afr ? "%.2f" : "%.3f");
        caption = QString::asprintf(fmt, shown);
        bkgnd = LambdaColor(lambda);
        return;
    }
    case vmTargetLambda: {
        if (m_rom->address(correctionEntry(m_rom->currentCam())) == 0)
            return; // the ROM has no target-lambda table
        const double target = m_rom->correctionCell(m_rom->currentCam(), col, row);
        caption = QString::asprintf("%.2f", afr ? target * stoich : target);
        bkgnd = LambdaColor(target);
        return;
    }
    case vmKnock: {
        if (!m_cellData)
            return;
        const double knock = m_cellData->knockByte(cam, col, row) / 4.0;
        if (knock <= 0)
            return;
        caption = QString::asprintf("-%.2f", knock);
        bkgnd = IgnitionColor(knock * 6 + 16);
        return;
    }
    default: return;
    }
}

void TGridDisplay::valuesCell(int col, int row, QString& caption, TColor& bkgnd) const
{
    const int kind = m_rom->CurrentTable;
    const bool fuel = TRom::isFuelKind(kind);
    const double v = cellValue(col, row);
    if (m_rom->traits().nissanEncodings) {
        // Byte cells with an offset: 128 and above carry a second range.
        if (v >= 128) {
            const double shown = v - (fuel ? 192 : 128);
            caption = QString::asprintf("%.0f", shown);
            bkgnd = offsetCellColor(shown);
        } else {
            caption = QString::asprintf("%.0f", v);
            bkgnd = fuel ? FuelColor(10 * v) : IgnitionColor(v);
        }
        return;
    }
    if (fuel) {
        caption = QString::asprintf("%.0f", v);
        bkgnd = FuelColor(m_rom->finalMultiplier() * v);
    } else {
        caption = QString::asprintf("%.2f", v);
        bkgnd = IgnitionColor(v);
    }
}

void TGridDisplay::dutyCell(int col, int row, QString& caption, TColor& bkgnd) const
{
    const double v = m_rom->tableValue(col, row, m_rom->CurrentTable);
    if (m_rom->traits().nissanEncodings) {
        const bool offset = v > 128;
        const double shown = offset ? v - 192 : v;
        caption = QString::asprintf("%.0f%%", dutyCycle(col, row));
        bkgnd = offset ? offsetCellColor(shown) : FuelColor(10 * v);
        return;
    }
    caption = QString::asprintf("%.0f%%", dutyCycle(col, row));
    bkgnd = FuelColor(m_rom->finalMultiplier() * v);
}

double TGridDisplay::cellValue(int col, int row) const
{
    const std::optional<TDragCell>& drag = m_options.Drag;
    if (drag && drag->Col == col && drag->Row == row)
        return drag->Value;
    return m_rom->tableValue(col, row, m_rom->CurrentTable);
}

double TGridDisplay::injectorDuration(double fuelValue) const
{
    const double fm = m_rom ? m_rom->finalMultiplier() : 1.0;
    const int latency = active() ? m_options.InjectorLatency : 148;
    return InjectorMsPerUnit * (fm * fuelValue + latency / 4.0);
}

double TGridDisplay::dutyCycle(int col, int row) const
{
    if (!active())
        return 0;
    try {
        if (!insideTable(col, row))
            return 0;
        const bool high = highCamTable();
        const double v = m_rom->tableValue(col, row, m_rom->CurrentTable);
        const double period = periodMs(m_rom->rpm(high, row));
        if (m_rom->traits().nissanEncodings) {
            const double shown = v > 128 ? v - 192 : v;
            return m_rom->load(high, col) * 0.125 * (shown / 128 + 1) / period * 100;
        }
        return injectorDuration(v) / period * 100;
    } catch (const std::exception&) {
        return 0;
    }
}

// --- overlays ---------------------------------------------------------------

bool TGridDisplay::isTracked(int col, int row) const
{
    if (!m_live || !m_rom)
        return false;
    const TLivePosition live = m_live->livePosition();
    if (!live.Active || live.HighCam != highCamTable())
        return false;
    const bool sameCol = col == live.Col;
    const bool sameRow = row == live.Row;
    const bool pairCol = sameCol || col == live.Col + 1;
    const bool pairRow = sameRow || row == live.Row + 1;
    switch (live.TrackMode) {
    case tmSingleCell: return sameCol && sameRow;
    case tmQuadCell: return pairCol && pairRow;
    case tmSingleColumn: return sameCol;
    case tmSingleRow: return sameRow;
    case tmDoubleColumn: return pairCol;
    case tmDoubleRow: return pairRow;
    default: return false;
    }
}

bool TGridDisplay::isTunable(int col, int row) const
{
    return !m_cellData || m_cellData->isTunable(dataCam(), col, row);
}

// --- in-place editor ----------------------------------------------------------

bool TGridDisplay::acceptEditKey(QChar key)
{
    const char16_t k = key.unicode();
    return k == 8 || k == 13 || k == 27 || k == 127 || k == u'%' || k == u'.' || (k >= u'0' && k <= u'9');
}

bool TGridDisplay::editText(int ACol, int ARow, int valueCol, int valueRow, QString& Text) const
{
    const quint8 mode = m_options.ViewMode;
    if (!active() || (mode != vmValues && mode != vmTargetLambda))
        return false;
    try {
        const bool high = highCamTable();
        if (ACol == 0 && ARow >= FixedRows) {
            if (ARow - FixedRows >= m_rom->rows())
                return false;
            Text = QString::asprintf("%d", m_rom->rpm(high, ARow - FixedRows));
            return true;
        }
        if (ARow == 1 && ACol >= FixedCols) {
            if (ACol - FixedCols >= m_rom->columns())
                return false;
            Text = QString::asprintf("%d", static_cast<int>(static_cast<qint16>(m_rom->load(high, ACol - FixedCols))));
            return true;
        }
        if (ACol < FixedCols || ARow < FixedRows || !insideTable(valueCol, valueRow))
            return false;
        if (mode == vmValues) {
            Text = QString::asprintf("%.2f", m_rom->tableValue(valueCol, valueRow, m_rom->CurrentTable));
        } else {
            if (m_rom->address(correctionEntry(m_rom->currentCam())) == 0)
                return false;
            const double target = m_rom->correctionCell(m_rom->currentCam(), valueCol, valueRow);
            Text = QString::asprintf("%.2f", m_options.Units.afr ? target * m_options.Units.stoich : target);
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
