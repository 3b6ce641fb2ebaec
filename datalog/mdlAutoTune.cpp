#include "datalog/mdlAutoTune.h"

#include "editor/mdlTableEdit.h"
#include "rom/clsRom.h"
#include "rom/mdlUndoStep.h"

#include <algorithm>
#include <cmath>

namespace {

// The largest proportional step of a cell, in fuel units.
constexpr double MaxProportionalStep = 5.0;
// Dividing by (1 - error) needs error below 1: a cell must never become
// infinite, zero or negative, whatever MaxFuelAdj says.
constexpr double HighestAdjustmentPct = 99.0;

int fuelKind(int cam) { return cam == 0 ? tkLowFuel : tkHighFuel; }

// Puts the displayed table back on every exit path.
class TShownTable {
public:
    explicit TShownTable(TRom& rom) : m_rom(rom), m_table(rom.CurrentTable) {}
    ~TShownTable() { m_rom.CurrentTable = m_table; }
    TShownTable(const TShownTable&) = delete;
    TShownTable& operator=(const TShownTable&) = delete;

private:
    TRom& m_rom;
    quint8 m_table;
};

} // namespace

double correctedFuel(double fuel, double error, double minAdj, double maxAdj)
{
    const double limit = std::clamp(maxAdj, 0.0, HighestAdjustmentPct) / 100;
    if (std::abs(error) * 100 > minAdj) {
        const double e = std::clamp(error, -limit, limit);
        return fuel / (1 - e);
    }
    const double delta = std::clamp(fuel * error, -MaxProportionalStep, MaxProportionalStep);
    return fuel + delta;
}

bool hasTargetLambdaTable(const TRom& rom)
{
    return rom.isLoaded() && rom.traits().targetLambdaTable && rom.address(correctionEntry(0)) != 0;
}

bool TAutoTune::emptyAfterUse() const { return m_tuner.Conditions.clearLog || Live; }

double TAutoTune::clampedMaxAdj() const { return std::clamp(m_tuner.Conditions.maxFuelAdj, 0.0, HighestAdjustmentPct); }

TGridRect TAutoTune::wholeMap(int kind) const { return TGridRect{0, 0, m_rom.columns(kind) - 1, m_rom.rows(kind) - 1}; }

int TAutoTune::prepare()
{
    const TTuningConditions& c = m_tuner.Conditions;
    if (!c.filterData)
        return 0;
    m_tuner.filter();
    int filled = 0;
    if (c.smartFill)
        for (int pass = 0; pass < c.smartFillPasses; ++pass) {
            const int n = m_tuner.smartFillPass();
            if (n == 0)
                break;
            filled += n;
            m_tuner.filter();
        }
    return filled;
}

int TAutoTune::smartFill()
{
    m_tuner.filter();
    int filled = 0;
    for (int pass = 0; pass < m_tuner.Conditions.smartFillPasses; ++pass) {
        const int n = m_tuner.smartFillPass();
        if (n == 0)
            break;
        filled += n;
        m_tuner.filter();
    }
    return filled;
}

void TAutoTune::applyError(int kind, int col, int row, double error, TAutoTuneResult& result)
{
    const double before = m_rom.tableValue(col, row, kind);
    const double target = correctedFuel(before, error, m_tuner.Conditions.minFuelAdj, clampedMaxAdj());
    if (target == before)
        return;
    m_rom.setTableValue(col, row, target, kind);
    const double after = m_rom.tableValue(col, row, kind);
    if (after == before)
        return;
    ++result.changed[TRom::isHighCamKind(kind) ? 1 : 0];
    if (before != 0)
        result.maxChangePct = std::max(result.maxChangePct, std::abs(after - before) / std::abs(before) * 100);
}

bool TAutoTune::correctCell(int cam, int col, int row, TAutoTuneResult& result)
{
    if (!m_tuner.qualified(cam, col, row) || !m_tuner.isTunable(cam, col, row))
        return false;
    const double target = m_rom.correctionCell(cam, col, row);
    const int changedBefore = result.changed[cam];
    if (target == 0) {
        // No target to divide by: the cell is left as it is.
        ++result.skippedNoTarget;
    } else {
        const double error = (m_tuner.average(cam, col, row) - target) / target;
        applyError(fuelKind(cam), col, row, error, result);
    }
    if (emptyAfterUse())
        m_tuner.emptyCell(cam, col, row);
    return result.changed[cam] != changedBefore;
}

TAutoTuneResult TAutoTune::adjustMap()
{
    if (TRom::isFuelKind(m_rom.CurrentTable))
        return adjustFuelMaps();
    TAutoTuneResult result;
    const int kind = m_rom.CurrentTable;
    const int cam = TRom::isHighCamKind(kind) ? 1 : 0;
    if (m_tuner.knockTotal(cam) == 0) {
        result.status = TAutoTuneStatus::NoData;
        return result;
    }
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneKnock, [&] {
        lowerByKnock(kind, wholeMap(kind), result);
        if (m_tuner.Conditions.mapSmooth)
            smooth(kind, wholeMap(kind));
    });
    return result;
}

// The checks every fuel-map adjustment starts with; false (and the status set)
// when there is nothing to adjust against or nothing to adjust with.
bool TAutoTune::start(TAutoTuneResult& result)
{
    if (!hasTargetLambdaTable(m_rom)) {
        result.status = TAutoTuneStatus::NoTargetTable;
        return false;
    }
    result.filled = prepare();
    for (int cam = 0; cam < 2; ++cam)
        result.qualified[cam] = m_tuner.qualifiedCount(cam);
    if (result.qualified[0] == 0 && result.qualified[1] == 0) {
        result.status = TAutoTuneStatus::NoData;
        return false;
    }
    return true;
}

TAutoTuneResult TAutoTune::adjustFuelMaps()
{
    TAutoTuneResult result;
    if (!start(result))
        return result;
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneFuel, [&] {
        for (int cam = 0; cam < 2; ++cam) {
            const int kind = fuelKind(cam);
            bool changed = false;
            for (int row = 0; row < m_rom.rows(kind); ++row)
                for (int col = 0; col < m_rom.columns(kind); ++col)
                    changed |= correctCell(cam, col, row, result);
            if (changed && m_tuner.Conditions.mapSmooth)
                smooth(kind, wholeMap(kind));
        }
    });
    return result;
}

TAutoTuneResult TAutoTune::adjustIgnitionMaps()
{
    TAutoTuneResult result;
    if (m_tuner.knockTotal(0) == 0 && m_tuner.knockTotal(1) == 0) {
        result.status = TAutoTuneStatus::NoData;
        return result;
    }
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneKnock, [&] {
        for (int kind : {tkLowIgn, tkHighIgn}) {
            lowerByKnock(kind, wholeMap(kind), result);
            if (m_tuner.Conditions.mapSmooth)
                smooth(kind, wholeMap(kind));
        }
    });
    return result;
}

void TAutoTune::lowerByKnock(int kind, const TGridRect& area, TAutoTuneResult& result)
{
    const int cam = TRom::isHighCamKind(kind) ? 1 : 0;
    const TGridRect a{std::max(0, area.Left), std::max(0, area.Top), std::min(area.Right, m_rom.columns(kind) - 1),
                      std::min(area.Bottom, m_rom.rows(kind) - 1)};
    for (int row = a.Top; row <= a.Bottom; ++row)
        for (int col = a.Left; col <= a.Right; ++col) {
            const quint8 knock = m_tuner.knockByte(cam, col, row);
            if (knock == 0)
                continue;
            const double before = m_rom.tableValue(col, row, kind);
            m_rom.setTableValue(col, row, before - knock / 4.0, kind);
            if (m_rom.tableValue(col, row, kind) != before)
                ++result.changed[cam];
            if (m_tuner.Conditions.clearLog)
                m_tuner.setKnock(cam, col, row, 0);
        }
}

void TAutoTune::lineCorrection(int cam, const TGridRect& area, bool rows, TAutoTuneResult& result)
{
    const int kind = fuelKind(cam);
    const int outerFrom = rows ? area.Top : area.Left, outerTo = rows ? area.Bottom : area.Right;
    const int innerFrom = rows ? area.Left : area.Top, innerTo = rows ? area.Right : area.Bottom;
    auto cell = [rows](int outer, int inner) { return rows ? QPoint(inner, outer) : QPoint(outer, inner); };
    const double limit = clampedMaxAdj() / 100;
    for (int outer = outerFrom; outer <= outerTo; ++outer) {
        double total = 0;
        int n = 0;
        for (int inner = innerFrom; inner <= innerTo; ++inner) {
            const QPoint p = cell(outer, inner);
            if (!m_tuner.qualified(cam, p.x(), p.y()) || !m_tuner.isTunable(cam, p.x(), p.y()))
                continue;
            const double target = m_rom.correctionCell(cam, p.x(), p.y());
            if (target == 0) {
                ++result.skippedNoTarget;
            } else {
                total += (m_tuner.average(cam, p.x(), p.y()) - target) / target;
                ++n;
            }
        }
        if (emptyAfterUse())
            for (int inner = innerFrom; inner <= innerTo; ++inner)
                m_tuner.emptyCell(cam, cell(outer, inner).x(), cell(outer, inner).y());
        if (n == 0)
            continue;
        const double error = std::clamp(total / n, -limit, limit);
        // From the far end (rightmost column, bottom row) back to the first
        // cell kept out of tuning.
        for (int inner = innerTo; inner >= innerFrom; --inner) {
            const QPoint p = cell(outer, inner);
            if (!m_tuner.isTunable(cam, p.x(), p.y()))
                break;
            applyError(kind, p.x(), p.y(), error, result);
        }
    }
}

TAutoTuneResult TAutoTune::adjustLines(bool rows)
{
    TAutoTuneResult result;
    if (!TRom::isFuelKind(m_rom.CurrentTable)) {
        result.status = TAutoTuneStatus::NoData;
        return result;
    }
    if (!start(result))
        return result;
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneFuel, [&] {
        for (int cam = 0; cam < 2; ++cam)
            lineCorrection(cam, wholeMap(fuelKind(cam)), rows, result);
    });
    return result;
}

TAutoTuneResult TAutoTune::adjustLinesIn(const TGridRect& area, bool rows)
{
    TAutoTuneResult result;
    const int kind = m_rom.CurrentTable;
    if (!TRom::isFuelKind(kind)) {
        result.status = TAutoTuneStatus::NoData;
        return result;
    }
    const int cam = TRom::isHighCamKind(kind) ? 1 : 0;
    const TGridRect whole = wholeMap(kind);
    const TGridRect a{std::max(area.Left, 0), std::max(area.Top, 0), std::min(area.Right, whole.Right),
                      std::min(area.Bottom, whole.Bottom)};
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneFuel, [&] { lineCorrection(cam, a, rows, result); });
    return result;
}

TAutoTuneResult TAutoTune::adjustSelection(const TGridRect& area)
{
    TAutoTuneResult result;
    const int kind = m_rom.CurrentTable;
    const int cam = TRom::isHighCamKind(kind) ? 1 : 0;
    const TGridRect whole = wholeMap(kind);
    const TGridRect a{std::max(area.Left, 0), std::max(area.Top, 0), std::min(area.Right, whole.Right),
                      std::min(area.Bottom, whole.Bottom)};
    if (!TRom::isFuelKind(kind)) {
        runAsOneUndoStep(m_rom.buffer(), ugAutoTuneKnock, [&] { lowerByKnock(kind, a, result); });
        return result;
    }
    runAsOneUndoStep(m_rom.buffer(), ugAutoTuneFuel, [&] {
        for (int row = a.Top; row <= a.Bottom; ++row)
            for (int col = a.Left; col <= a.Right; ++col)
                correctCell(cam, col, row, result);
    });
    return result;
}

bool TAutoTune::smooth(int kind, const TGridRect& area)
{
    TShownTable restore(m_rom);
    m_rom.CurrentTable = static_cast<quint8>(kind);
    TTableEditor editor(m_rom);
    editor.Steps.SmoothingTolerance = MapSmoothing;
    return editor.smooth(area);
}
