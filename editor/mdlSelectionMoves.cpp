#include "editor/mdlSelectionMoves.h"

#include <algorithm>

namespace {

// The moving end of one axis: the edge that is not the anchor's.
int movingEnd(int lo, int hi, int anchor) { return anchor == lo ? hi : lo; }

TGridRect spanning(QPoint a, QPoint b)
{
    return {std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::max(a.x(), b.x()), std::max(a.y(), b.y())};
}

} // namespace

TSelectionState navigateRpm(const TSelectionState& s, int dir, const TSelectionBounds& b)
{
    const int row = s.Sel.Top + dir;
    if (row < b.FirstRow || row > b.LastRow)
        return s;
    const QPoint cell(s.Sel.Left, row);
    return {{cell.x(), cell.y(), cell.x(), cell.y()}, cell};
}

TSelectionState navigateColumn(const TSelectionState& s, int dir, bool fuelTable, const TSelectionBounds& b)
{
    const int d = fuelTable ? dir : -dir;
    if (s.Sel.Left + d < b.FirstCol || s.Sel.Right + d > b.LastCol)
        return s;
    const TGridRect r{s.Sel.Left + d, s.Sel.Top, s.Sel.Right + d, s.Sel.Bottom};
    return {r, QPoint(r.Left, r.Top)};
}

TSelectionState extendRpm(const TSelectionState& s, int dir, const TSelectionBounds& b)
{
    const int anchorRow = std::clamp(s.Anchor.y(), s.Sel.Top, s.Sel.Bottom);
    const int end = std::clamp(movingEnd(s.Sel.Top, s.Sel.Bottom, anchorRow) + dir, b.FirstRow, b.LastRow);
    const QPoint anchor(s.Anchor.x(), anchorRow);
    TGridRect r = spanning(QPoint(s.Sel.Left, anchorRow), QPoint(s.Sel.Right, end));
    return {r, anchor};
}

TSelectionState extendMap(const TSelectionState& s, int dir, bool fuelTable, const TSelectionBounds& b)
{
    const int d = fuelTable ? dir : -dir;
    const int anchorCol = std::clamp(s.Anchor.x(), s.Sel.Left, s.Sel.Right);
    const int end = std::clamp(movingEnd(s.Sel.Left, s.Sel.Right, anchorCol) + d, b.FirstCol, b.LastCol);
    const QPoint anchor(anchorCol, s.Anchor.y());
    TGridRect r = spanning(QPoint(anchorCol, s.Sel.Top), QPoint(end, s.Sel.Bottom));
    return {r, anchor};
}
