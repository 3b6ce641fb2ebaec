#include "datalog/mdlDecimate.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace datalog {

namespace {

// The nearest valid sample at or before `i` (searching down), or -1.
qsizetype validAtOrBefore(std::span<const float> y, qsizetype i)
{
    for (; i >= 0; --i)
        if (!std::isnan(y[static_cast<size_t>(i)]))
            return i;
    return -1;
}

qsizetype validAtOrAfter(std::span<const float> y, qsizetype i, qsizetype end)
{
    for (; i < end; ++i)
        if (!std::isnan(y[static_cast<size_t>(i)]))
            return i;
    return -1;
}

} // namespace

QList<QPointF> decimateMinMax(std::span<const double> x, std::span<const float> y, double x0, double x1, int pixels)
{
    QList<QPointF> out;
    const qsizetype n = static_cast<qsizetype>(std::min(x.size(), y.size()));
    if (n == 0 || pixels <= 0 || !(x1 > x0))
        return out;
    const auto xb = x.begin();
    const qsizetype first = std::lower_bound(xb, xb + n, x0) - xb; // first inside
    const qsizetype end = std::upper_bound(xb, xb + n, x1) - xb;   // one past the last inside
    const auto point = [&](qsizetype i) { return QPointF(x[static_cast<size_t>(i)], y[static_cast<size_t>(i)]); };

    const qsizetype before = validAtOrBefore(y, first - 1);
    if (before >= 0)
        out.append(point(before));

    if (end - first <= 4 * static_cast<qsizetype>(pixels)) {
        for (qsizetype i = first; i < end; ++i)
            if (!std::isnan(y[static_cast<size_t>(i)]))
                out.append(point(i));
    } else {
        out.reserve(out.size() + 4 * pixels + 2);
        const double scale = pixels / (x1 - x0);
        qsizetype i = first;
        while (i < end) {
            const int column = std::min(pixels - 1, static_cast<int>((x[static_cast<size_t>(i)] - x0) * scale));
            // The column's samples: [i, stop).
            qsizetype lo = -1, hi = -1, firstValid = -1, lastValid = -1;
            qsizetype stop = i;
            for (; stop < end; ++stop) {
                const double xs = x[static_cast<size_t>(stop)];
                if (std::min(pixels - 1, static_cast<int>((xs - x0) * scale)) != column)
                    break;
                const float v = y[static_cast<size_t>(stop)];
                if (std::isnan(v))
                    continue;
                if (firstValid < 0) {
                    firstValid = lo = hi = stop;
                } else {
                    if (v < y[static_cast<size_t>(lo)])
                        lo = stop;
                    if (v > y[static_cast<size_t>(hi)])
                        hi = stop;
                }
                lastValid = stop;
            }
            if (firstValid >= 0) {
                std::array<qsizetype, 4> keep{firstValid, lo, hi, lastValid};
                std::sort(keep.begin(), keep.end());
                qsizetype previous = -1;
                for (qsizetype k : keep)
                    if (k != previous) {
                        out.append(point(k));
                        previous = k;
                    }
            }
            i = stop;
        }
    }

    const qsizetype after = validAtOrAfter(y, end, n);
    if (after >= 0)
        out.append(point(after));
    return out;
}

} // namespace datalog
