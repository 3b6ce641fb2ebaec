#pragma once

#include "editor/mdlGridTypes.h"

#include <QPoint>

// The keyboard moves of the table selection used while a graph has the
// focus. Grid coordinates: data cells are columns FirstCol..LastCol and rows
// FirstRow..LastRow. "Up" in rpm is towards higher rpm (the next grid row);
// "up" in load is towards higher load, the next grid column of a fuel table
// and the previous one of an ignition table.
struct TSelectionState {
    TGridRect Sel;
    QPoint Anchor; // the corner the selection extends from
};

struct TSelectionBounds {
    int FirstCol = 1;
    int FirstRow = 3;
    int LastCol = 1;
    int LastRow = 3;
};

// Collapses the selection to its top-left cell moved one row (dir +1: higher
// rpm), if that row exists; the anchor follows.
[[nodiscard]] TSelectionState navigateRpm(const TSelectionState& s, int dir, const TSelectionBounds& b);
// Moves the whole selection one column in the load direction (dir +1: higher
// load), if the column exists; the anchor becomes the new top-left cell.
[[nodiscard]] TSelectionState navigateColumn(const TSelectionState& s, int dir, bool fuelTable,
                                             const TSelectionBounds& b);
// Shift + arrow: the edge away from the anchor moves by one row (column);
// a selection one row (column) thick grows from the anchor. Never leaves the
// data cells.
[[nodiscard]] TSelectionState extendRpm(const TSelectionState& s, int dir, const TSelectionBounds& b);
[[nodiscard]] TSelectionState extendMap(const TSelectionState& s, int dir, bool fuelTable, const TSelectionBounds& b);
