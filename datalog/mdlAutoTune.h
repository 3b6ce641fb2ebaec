#pragma once

// The auto-tune corrections: accumulated lambda against the ROM's target
// lambdas turns into fuel-map changes, recorded knock retard into
// ignition-map changes. Every command writes through the ROM model as one
// undo step. The main window, the adjustment dialog and `vexor-cli autotune`
// all run these; they only decide what to tell the user.

#include "datalog/clsVexorTuner.h"
#include "editor/mdlGridTypes.h"

#include <QString>

class TRom;

// Undo group kinds of the auto-tune commands.
enum TAutoTuneGroup : quint8 {
    ugAutoTuneFuel = 30,
    ugAutoTuneKnock = 31,
};

// What the user is told when a command cannot work.
inline const char* const NoDataText = "No data was recorded. Auto-tune process will be halted.";
inline const char* const NoDataTitle = "No Available Data";
inline const char* const NoTargetTableText = "This ROM has no target lambda table.";

enum class TAutoTuneStatus : quint8 {
    Done,
    NoData,        // no cell qualified (or no knock recorded for an ignition map)
    NoTargetTable, // the family keeps no target lambdas
};

struct TAutoTuneResult {
    TAutoTuneStatus status = TAutoTuneStatus::Done;
    int filled = 0;                 // cells smart fill replaced
    std::array<int, 2> qualified{}; // per cam, after filter and fill
    std::array<int, 2> changed{};   // table cells written per cam
    int skippedNoTarget = 0;        // qualified cells whose target lambda is 0
    double maxChangePct = 0;        // largest relative change of a written cell
};

// One cell's corrected fuel for a relative lambda error (measured - target) /
// target. Above `minAdj` percent the fuel is divided by (1 - error), with the
// error clamped to `maxAdj` percent (and always below 100 %); otherwise a
// proportional step of at most 5 fuel units.
[[nodiscard]] double correctedFuel(double fuel, double error, double minAdj, double maxAdj);

// The ROM's family keeps per-cell target lambdas and this ROM's map has them.
[[nodiscard]] bool hasTargetLambdaTable(const TRom& rom);

class TAutoTune {
public:
    TAutoTune(TRom& rom, TVEXORTuner& tuner) : m_rom(rom), m_tuner(tuner) {}

    // Smoothing strength of "General Settings" (thousandths).
    int MapSmoothing = 30;
    // A live adjustment empties the cells it used whatever ClearLog says.
    bool Live = false;

    // The filter and smart fill sequence before a fuel correction (when the
    // conditions ask for it); returns the cells smart fill replaced.
    int prepare();
    bool start(TAutoTuneResult& result);
    // TunerSmartFill: filter, then the bounded smart fill passes.
    int smartFill();

    // TunerAutoAdjustMap for the displayed map (CurrentTable).
    TAutoTuneResult adjustMap();
    // Both fuel maps, whatever is displayed (the command line's run).
    TAutoTuneResult adjustFuelMaps();
    // Both ignition maps by their recorded knock.
    TAutoTuneResult adjustIgnitionMaps();
    // TunerAdjustRow / TunerAdjustColumn: both fuel maps, whole map.
    TAutoTuneResult adjustRows() { return adjustLines(true); }
    TAutoTuneResult adjustColumns() { return adjustLines(false); }
    // The adjustment dialog's row and column choices over a rectangle of the
    // displayed fuel map, and TunerAdjustSelection (cell by cell, no filter).
    TAutoTuneResult adjustRowsIn(const TGridRect& area) { return adjustLinesIn(area, true); }
    TAutoTuneResult adjustColumnsIn(const TGridRect& area) { return adjustLinesIn(area, false); }
    TAutoTuneResult adjustSelection(const TGridRect& area);

    // Smooths a rectangle of a table (MapSmooth); returns whether a cell changed.
    bool smooth(int kind, const TGridRect& area);

private:
    TAutoTuneResult adjustLines(bool rows);
    TAutoTuneResult adjustLinesIn(const TGridRect& area, bool rows);
    // Corrects one cell (qualified, tunable, target known); empties it when
    // asked. Returns whether the table cell changed.
    bool correctCell(int cam, int col, int row, TAutoTuneResult& result);
    void applyError(int kind, int col, int row, double error, TAutoTuneResult& result);
    void lowerByKnock(int kind, const TGridRect& area, TAutoTuneResult& result);
    void lineCorrection(int cam, const TGridRect& area, bool rows, TAutoTuneResult& result);
    [[nodiscard]] bool emptyAfterUse() const;
    [[nodiscard]] TGridRect wholeMap(int kind) const;
    [[nodiscard]] double clampedMaxAdj() const;

    TRom& m_rom;
    TVEXORTuner& m_tuner;
};
