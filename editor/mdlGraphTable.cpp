#include "editor/mdlGraphTable.h"

#include "editor/mdlColorScales.h"
#include "rom/clsRom.h"

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr quint16 BoostedFlags = ffBoost1 | ffBoost2 | ffBoost3 | ffVexorAuFamily;

// The largest fuel value a cell can reach: the highest multiplier with a full cell.
constexpr double FuelCellMax = 255 * FuelUnitsPerMultiplier;

// Byte cells of the Nissan ignition maps at 128 and above carry a second
// range; they count less 128.
constexpr int NissanIgnitionOffset = 128;

QString rangeText(int a, int b, const char* one, const char* two)
{
    if (a == b)
        return QString::asprintf(one, a);
    return QString::asprintf(two, std::min(a, b), std::max(a, b));
}

} // namespace

TGraphTable TGraphTable::build(const TGridDisplay& display, const TGraphOptions& options)
{
    const std::optional<TDragCell>& drag = display.options().Drag;
    TGraphTable t;
    const TRom* rom = display.rom();
    if (!display.active())
        return t;
    try {
        t.m_kind = rom->CurrentTable;
        t.m_highCam = TRom::isHighCamKind(t.m_kind);
        t.m_nissan = rom->traits().nissanEncodings;
        t.m_finalMultiplier = rom->finalMultiplier();
        t.m_latency = display.options().InjectorLatency;
        const bool fuel = TRom::isFuelKind(t.m_kind);
        t.m_unit = !fuel ? TGraphUnit::Ignition : options.ShowDuration ? TGraphUnit::Duration : TGraphUnit::FuelValue;
        if (t.m_nissan) {
            t.m_minCell = 0;
            t.m_maxCell = 255;
        } else if (!fuel) {
            const double off = rom->IgnitionOffset;
            t.m_minCell = off + (rom->OBDMode != 0 ? -IgnitionZeroByte / IgnitionBytesPerDegree
                                                   : -Obd0IgnitionZeroByte * Obd0IgnitionDegreesPerBit);
            t.m_maxCell = off + (rom->OBDMode != 0 ? (255 - IgnitionZeroByte) / IgnitionBytesPerDegree
                                                   : (255 - Obd0IgnitionZeroByte) * Obd0IgnitionDegreesPerBit);
        } else {
            t.m_minCell = 0;
            t.m_maxCell = rom->WideRevScalar ? 255 : FuelCellMax;
        }

        const int cols = rom->columns();
        const int rows = rom->rows();
        t.m_tableCols = cols;
        t.m_load.resize(cols);
        t.m_throttle.resize(cols);
        for (int c = 0; c < cols; ++c) {
            t.m_load[c] = static_cast<qint16>(rom->load(t.m_highCam, c));
            t.m_throttle[c] = display.isThrottleColumn(c) ? rom->throttleLoad(t.m_highCam, c) : 0;
        }
        int shown = cols;
        if ((rom->FeatureFlags & BoostedFlags) != 0 && !options.ShowBoostRange) {
            const int limit = display.options().Units.atmospheric + BoostMarginMbar;
            shown = 0;
            for (int c = 0; c < cols; ++c)
                if (t.m_load[c] <= limit)
                    shown = c + 1;
        }
        t.m_rpm.resize(rows);
        for (int r = 0; r < rows; ++r)
            t.m_rpm[r] = rom->rpm(t.m_highCam, r);
        t.m_values.resize(shown * rows);
        t.m_offsetCell.resize(shown * rows);
        double highest = 0;
        for (int c = 0; c < shown; ++c) {
            for (int r = 0; r < rows; ++r) {
                double v = display.cellValue(c, r);
                const bool offset = t.m_nissan && !fuel && v >= NissanIgnitionOffset;
                if (offset)
                    v -= NissanIgnitionOffset;
                t.m_offsetCell[c * rows + r] = offset;
                t.m_values[c * rows + r] = v;
                highest = (c == 0 && r == 0) ? v : std::max(highest, v);
            }
        }
        t.m_cols = shown;
        t.m_rows = rows;
        t.m_drag = drag;
        t.m_range = t.isEmpty() ? 0 : t.toPlotted(highest);
    } catch (const std::exception&) {
        return TGraphTable{};
    }
    return t;
}

double TGraphTable::toPlotted(double v) const
{
    switch (m_unit) {
    case TGraphUnit::Ignition: return v + IgnitionLift;
    case TGraphUnit::Duration: return InjectorMsPerUnit * (m_finalMultiplier * v + m_latency / 4.0);
    case TGraphUnit::FuelValue: return m_finalMultiplier * v;
    }
    return v;
}

double TGraphTable::fromPlotted(double p) const
{
    switch (m_unit) {
    case TGraphUnit::Ignition: return p - IgnitionLift;
    case TGraphUnit::Duration:
        return m_finalMultiplier == 0 ? 0 : (p / InjectorMsPerUnit - m_latency / 4.0) / m_finalMultiplier;
    case TGraphUnit::FuelValue: return m_finalMultiplier == 0 ? 0 : p / m_finalMultiplier;
    }
    return p;
}

double TGraphTable::clampToCell(double value) const
{
    if (!std::isfinite(value))
        return value > 0 ? m_maxCell : m_minCell;
    return std::clamp(value, m_minCell, m_maxCell);
}

double TGraphTable::cellWriteValue(int col, int row, double value) const
{
    if (m_offsetCell.value(col * m_rows + row))
        return std::clamp(value, 0.0, 255.0 - NissanIgnitionOffset) + NissanIgnitionOffset;
    return clampToCell(value);
}

TColor TGraphTable::colorOf(double storedMean) const
{
    if (m_unit == TGraphUnit::Ignition)
        return IgnitionColor(storedMean);
    return FuelColor(m_nissan ? 10 * storedMean : m_finalMultiplier * storedMean);
}

QString TGraphTable::title() const
{
    switch (m_kind) {
    case tkLowFuel: return QString::asprintf("Low Cam Fuel x %4.3f", m_finalMultiplier);
    case tkHighFuel: return QString::asprintf("High Cam Fuel x %4.3f", m_finalMultiplier);
    case tkLowIgn: return QStringLiteral("Low Cam Ignition");
    default: return QStringLiteral("High Cam Ignition");
    }
}

QString TGraphTable::valueCaption() const
{
    switch (m_unit) {
    case TGraphUnit::FuelValue: return QStringLiteral("Fuel Value");
    case TGraphUnit::Duration: return QStringLiteral("Duration (ms)");
    case TGraphUnit::Ignition: return QStringLiteral("Advance (°)");
    }
    return {};
}

QVector<TGraphTick> TGraphTable::valueTicks() const
{
    QVector<TGraphTick> ticks;
    if (m_range <= 0 || !std::isfinite(m_range))
        return ticks;
    switch (m_unit) {
    case TGraphUnit::FuelValue:
        for (int k = 0; k <= int(std::ceil(m_range / 100)); ++k)
            ticks.append({k * 100.0, QString::number(k * 100)});
        break;
    case TGraphUnit::Duration:
        for (int k = 0; k <= int(std::ceil(m_range / 2)); ++k)
            ticks.append({k * 2.0, QString::number(k * 2)});
        break;
    case TGraphUnit::Ignition:
        for (int k = 0; k < int(std::lround(m_range / 11)) + 1; ++k)
            ticks.append({k * 10.0, QString::number(k * 10 - int(IgnitionLift))});
        break;
    }
    return ticks;
}

QString TGraphTable::selectionText(const TGridRect& sel) const
{
    if (sel.isEmpty() || sel.Left < 0 || sel.Right >= m_tableCols || sel.Top < 0 || sel.Bottom >= m_rows)
        return {};
    QString load;
    if (sel.Left == sel.Right && m_throttle.value(sel.Left) != 0)
        load = QString::asprintf("%d %% throttle", m_throttle.value(sel.Left));
    else
        load = rangeText(m_load.value(sel.Left), m_load.value(sel.Right), "%d mbar", "%d to %d mbar");
    const QString rpm = rangeText(m_rpm.value(sel.Top), m_rpm.value(sel.Bottom), "%d rpm", "%d to %d rpm");
    return load + QStringLiteral(",  ") + rpm;
}

QString TGraphTable::dragText(double original, double value) const
{
    // Fuel is shown as the user reads it on the axis; ignition in degrees.
    const double shown = m_unit == TGraphUnit::Ignition ? value : toPlotted(value);
    if (original == 0)
        return QString::asprintf("%.2f", shown);
    return QString::asprintf("%.2f (%.0f%%)", shown, (value - original) / std::abs(original) * 100);
}

double TGraphTable::livePlotted(const TLivePosition& live) const
{
    switch (m_unit) {
    case TGraphUnit::FuelValue: return live.InjectorRaw;
    case TGraphUnit::Duration: return live.InjectorMs;
    case TGraphUnit::Ignition: return live.Ignition + IgnitionLift;
    }
    return 0;
}

bool TGraphTable::showsLiveCell(const TLivePosition& live) const
{
    return live.Active && live.HighCam == m_highCam && live.Col >= 0 && live.Col < m_cols && live.Row >= 0 &&
           live.Row < m_rows;
}

// --- drag ---------------------------------------------------------------------

void TGraphDrag::start(int col, int row, double value)
{
    m_dragging = true;
    m_moved = false;
    m_original = value;
    m_cell = {col, row, value};
}

void TGraphDrag::follow(double value)
{
    if (!m_dragging)
        return;
    m_moved = true;
    m_cell.Value = value;
}

std::optional<TDragCell> TGraphDrag::release()
{
    const bool write = m_dragging && m_moved;
    m_dragging = false;
    m_moved = false;
    if (!write)
        return std::nullopt;
    return m_cell;
}

std::optional<TDragCell> TGraphDrag::cell() const
{
    if (!m_dragging)
        return std::nullopt;
    return m_cell;
}
