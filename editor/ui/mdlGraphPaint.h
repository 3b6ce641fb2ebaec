#pragma once

// The painters of the map graphs: they draw what the geometry classes
// computed (mdlGraphGeometry.h) and decide nothing themselves.

#include "editor/mdlGraphGeometry.h"

#include <QColor>

class QPainter;

// What the graphs mark besides the table: the grid's selection (data
// coordinates), the live engine position, the value a drag started from.
struct TGraphMarks {
    TGridRect Selection;
    TLivePosition Live;
    double DragOriginal = 0; // table value of the dragged cell before the drag
    QColor Highlight{0, 120, 215};
};

void paintGraph2D(QPainter& p, const TGraph2D& g, const TGraphMarks& marks);
void paintGraph3D(QPainter& p, const TGraph3D& g, const TGraphMarks& marks);

// The colours the graphs draw with, public for the tests' pixel probes.
namespace GraphColors {
inline const QColor Background2D{0, 0, 0};
inline const QColor Background3D{0x4F, 0x4F, 0x4F};
inline const QColor GridLine{0x4F, 0x4F, 0x4F};
inline const QColor Text3D{0xFE, 0xCC, 0x21};
inline const QColor SurfaceEdge{0x80, 0, 0};
inline const QColor Live{0xFF, 0, 0xFF};
} // namespace GraphColors
