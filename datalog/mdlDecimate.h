#pragma once

// Drawing a long recording: a chart one thousand pixels wide cannot show more
// than a few points per pixel column, so each column keeps only the samples
// that shape it — its first, lowest, highest and last — in time order. The
// drawn line is then the same as with every sample (same extremes, same joins
// between columns) at a cost independent of the recording's length.

#include <QList>
#include <QPointF>
#include <span>

namespace datalog {

// x must be ascending (time); y may hold NaN for samples without a value
// (markers), which are skipped. Returns the points to draw for the x range
// [x0, x1] on `pixels` columns: every point inside when there are few, else
// up to four per column; plus the nearest point on either side of the range
// so the line runs to the edges. An empty range or no pixels give nothing.
[[nodiscard]] QList<QPointF> decimateMinMax(std::span<const double> x, std::span<const float> y, double x0, double x1,
                                            int pixels);

} // namespace datalog
