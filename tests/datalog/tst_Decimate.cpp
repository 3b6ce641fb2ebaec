// Per-pixel min/max decimation of the data graphs: what is drawn must keep
// every column's extremes and its joins to the neighbouring columns, stay in
// time order, and shrink a long series to a few points per pixel.

#include "datalog/mdlDecimate.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <cmath>
#include <limits>
#include <vector>

using datalog::decimateMinMax;

namespace {

struct TSeries {
    std::vector<double> x;
    std::vector<float> y;
};

TSeries noisy(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    TSeries s;
    double t = 0;
    for (int i = 0; i < n; ++i) {
        t += 0.01 + rng.bounded(10) / 1000.0; // irregular sample spacing
        s.x.push_back(t);
        s.y.push_back(static_cast<float>(std::sin(t) * 100 + rng.bounded(50)));
    }
    return s;
}

} // namespace

TEST(Decimate, DegenerateInputsGiveNothing)
{
    const TSeries s = noisy(100, 1);
    EXPECT_TRUE(decimateMinMax({}, {}, 0, 10, 100).isEmpty());
    EXPECT_TRUE(decimateMinMax(s.x, s.y, 0, 10, 0).isEmpty());
    EXPECT_TRUE(decimateMinMax(s.x, s.y, 5, 5, 100).isEmpty());
    EXPECT_TRUE(decimateMinMax(s.x, s.y, 6, 5, 100).isEmpty());
}

TEST(Decimate, FewPointsAreDrawnAsTheyAre)
{
    const TSeries s = noisy(300, 2);
    const QList<QPointF> all = decimateMinMax(s.x, s.y, s.x.front(), s.x.back(), 100);
    ASSERT_EQ(all.size(), 300);
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(all[i], QPointF(s.x[size_t(i)], s.y[size_t(i)]));
}

TEST(Decimate, RangeInsideTheSeriesReachesItsNeighbours)
{
    TSeries s;
    for (int i = 0; i < 10; ++i) {
        s.x.push_back(i);
        s.y.push_back(float(i * 10));
    }
    const QList<QPointF> part = decimateMinMax(s.x, s.y, 3.5, 6.5, 100);
    // 4, 5, 6 inside; 3 and 7 so the line runs to both edges.
    ASSERT_EQ(part.size(), 5);
    EXPECT_EQ(part.front(), QPointF(3, 30));
    EXPECT_EQ(part.back(), QPointF(7, 70));
}

TEST(Decimate, LongSeriesKeepsEveryColumnsExtremesAndJoins)
{
    const TSeries s = noisy(200000, 3);
    const int pixels = 800;
    const double x0 = s.x.front(), x1 = s.x.back();
    const QList<QPointF> out = decimateMinMax(s.x, s.y, x0, x1, pixels);
    EXPECT_LE(out.size(), 4 * pixels + 2);
    EXPECT_GE(out.size(), 2 * pixels);
    for (int i = 1; i < out.size(); ++i)
        ASSERT_LT(out[i - 1].x(), out[i].x()) << "points must stay in time order";

    // Brute force per column: the first, last, lowest and highest sample must
    // all be among the points drawn.
    std::vector<int> first(pixels, -1), last(pixels, -1), lo(pixels, -1), hi(pixels, -1);
    for (size_t i = 0; i < s.x.size(); ++i) {
        const int c = std::min(pixels - 1, int((s.x[i] - x0) * (pixels / (x1 - x0))));
        if (first[c] < 0)
            first[c] = lo[c] = hi[c] = int(i);
        if (s.y[i] < s.y[size_t(lo[c])])
            lo[c] = int(i);
        if (s.y[i] > s.y[size_t(hi[c])])
            hi[c] = int(i);
        last[c] = int(i);
    }
    auto drawn = [&](int i) { return out.contains(QPointF(s.x[size_t(i)], s.y[size_t(i)])); };
    for (int c = 0; c < pixels; ++c) {
        if (first[c] < 0)
            continue;
        EXPECT_TRUE(drawn(first[c]) && drawn(last[c]) && drawn(lo[c]) && drawn(hi[c])) << "column " << c;
    }
}

TEST(Decimate, ZoomedSpanUsesOnlyItsSamples)
{
    const TSeries s = noisy(100000, 4);
    const double x0 = s.x[50000], x1 = s.x[50000 + 20000];
    const QList<QPointF> out = decimateMinMax(s.x, s.y, x0, x1, 500);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(out.front(), QPointF(s.x[49999], s.y[49999]));
    EXPECT_EQ(out.back(), QPointF(s.x[70001], s.y[70001]));
    EXPECT_LE(out.size(), 4 * 500 + 2);
}

TEST(Decimate, MarkersWithoutValueAreSkipped)
{
    TSeries s = noisy(10000, 5);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (size_t i = 0; i < s.y.size(); i += 3)
        s.y[i] = nan;
    s.y.back() = nan;
    for (int pixels : {50, 5000}) {
        const QList<QPointF> out = decimateMinMax(s.x, s.y, s.x.front(), s.x.back(), pixels);
        ASSERT_FALSE(out.isEmpty());
        for (const QPointF& p : out)
            EXPECT_FALSE(std::isnan(p.y()));
    }
    const std::vector<float> none(s.x.size(), nan);
    EXPECT_TRUE(decimateMinMax(s.x, none, s.x.front(), s.x.back(), 100).isEmpty());
}
