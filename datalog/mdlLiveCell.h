#pragma once

// Finding the map cell a sample was taken in. The ECU reports the row and
// column whose breakpoints lie at or below the engine's speed and load; for
// the single-cell, single-column and single-row track modes the cell whose
// breakpoint is nearer wins, so the highlighted cell is the one the engine
// really sits on.

#include "datalog/mdlDatalog.h"

class TRom;

struct TLiveCell {
    int Col = 255;        // load column of the fuel/ignition maps
    int Row = 255;        // rpm row
    bool HighCam = false; // the sample was taken on the high cam (VTEC engaged)
    // False when the sample has no usable position: no ROM, a marker, or a
    // crank period of 0 (engine speed unknown). The cell is then not shown.
    bool Valid = false;

    friend bool operator==(const TLiveCell&, const TLiveCell&) = default;
};

// The cell of the sample on the open ROM's maps, for the given track mode
// (0 single cell ... 5 double row). Never throws: a breakpoint the ROM cannot
// produce (outside the table, a failing script hook) keeps the ECU's index.
[[nodiscard]] TLiveCell findSampleCell(const DatalogSample& sample, const TRom* rom, quint8 trackMode,
                                       const TSampleContext& ctx);
