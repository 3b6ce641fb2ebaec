#include "editor/mdlColorScales.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct ColorRow {
    double x;
    int r, g, b;
    const char* why;
};

void expectColor(TColor c, const ColorRow& row, const char* scale)
{
    EXPECT_EQ(RedOf(c), row.r) << scale << " x=" << row.x << " (" << row.why << ")";
    EXPECT_EQ(GreenOf(c), row.g) << scale << " x=" << row.x << " (" << row.why << ")";
    EXPECT_EQ(BlueOf(c), row.b) << scale << " x=" << row.x << " (" << row.why << ")";
}

} // namespace

TEST(ColorScales, RgbKeepsRedInTheLowByteAndWrapsComponents)
{
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(RGB(256 + 5, -1, 300), RGB(5, 255, 44));
    EXPECT_EQ(RGB(0, 255, -16), RGB(0, 255, 240));
}

TEST(ColorScales, Fuel)
{
    const ColorRow rows[] = {
        {0, 0, 255, 240, "zero: cyan, the blue term wraps from -16"},
        {160, 100, 255, 146, "low range: 160/1.6 red, -(94)-16 blue"},
        {399.9, 249, 255, 5, "just below the yellow point"},
        {400, 255, 255, 0, "yellow"},
        {721.6, 255, 155, 0, "orange: 255 - floor(321.6/3.2)"},
        {1199, 255, 6, 0, "last step before red"},
        {1200, 255, 0, 0, "red"},
        {50000, 255, 0, 0, "far above: still red"},
        {-16, 246, 255, 250, "negative: both terms wrap modulo 256"},
    };
    for (const auto& row : rows)
        expectColor(FuelColor(row.x), row, "fuel");
}

TEST(ColorScales, Ignition)
{
    const ColorRow rows[] = {
        {-5, 0, 255, 240, "negative advance: cyan"},
        {0, 0, 255, 240, "zero: cyan"},
        {10, 83, 255, 164, "low range"},
        {29.8, 248, 255, 11, "just below the yellow point"},
        {30, 255, 255, 0, "yellow"},
        {40, 255, 172, 0, "orange: 255 - floor(10/0.12)"},
        {59.9, 255, 6, 0, "last step before red"},
        {60, 255, 0, 0, "red"},
    };
    for (const auto& row : rows)
        expectColor(IgnitionColor(row.x), row, "ignition");
}

TEST(ColorScales, LambdaIsClampedToHalfAndOneAndAHalf)
{
    const ColorRow rows[] = {
        {0.3, 255, 0, 0, "below 0.5 looks like 0.5"},
        {0.5, 255, 0, 0, "rich end: red"},
        {0.75, 255, 127, 0, "orange"},
        {1.0, 255, 255, 0, "stoichiometric: yellow"},
        {1.25, 128, 255, 120, "lean half-way"},
        {1.5, 0, 255, 240, "lean end: cyan"},
        {2.0, 0, 255, 240, "above 1.5 looks like 1.5"},
    };
    for (const auto& row : rows)
        expectColor(LambdaColor(row.x), row, "lambda");
}

TEST(ColorScales, DifferenceWithTheGridBounds)
{
    const ColorRow rows[] = {
        {-25, 0, 255, 240, "below the low bound"},
        {-20, 0, 255, 240, "at the low bound"},
        {-8.5, 125, 255, 122, "middle of the low band; 117.5 rounds to even 118"},
        {3, 255, 255, 0, "at the middle bound: yellow"},
        {11.5, 255, 130, 0, "half-way to red"},
        {20, 255, 0, 0, "at the high bound: red"},
        {35, 255, 0, 0, "above the high bound"},
    };
    for (const auto& row : rows)
        expectColor(DifferenceColor(row.x, 20, 3, -20), row, "difference");
}

TEST(ColorScales, DifferenceRoundsHalvesToEven)
{
    // Bounds 10/4/0 put exact halves on both rounded terms: 62.5 -> 62 and
    // 187.5 -> 188 (away-from-zero rounding would give 63 for the first).
    expectColor(DifferenceColor(1, 10, 4, 0), {1, 62, 255, 181, "62.5 down to even"}, "difference");
    expectColor(DifferenceColor(3, 10, 4, 0), {3, 188, 255, 64, "187.5 up to even"}, "difference");
}

TEST(ColorScales, DegenerateInputsStayDefined)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(FuelColor(nan), FuelColor(0));
    EXPECT_EQ(IgnitionColor(nan), IgnitionColor(0));
    EXPECT_EQ(LambdaColor(nan), LambdaColor(0.5));
    EXPECT_EQ(DifferenceColor(nan, 20, 3, -20), DifferenceColor(-20, 20, 3, -20));
    EXPECT_EQ(FuelColor(inf), RGB(255, 0, 0));
    EXPECT_EQ(IgnitionColor(-inf), RGB(0, 255, 240));
    // A zero-width band must not divide by zero.
    EXPECT_EQ(DifferenceColor(5, 3, 3, -20), RGB(255, 0, 0));
    EXPECT_EQ(DifferenceColor(1e300, 20, 3, -20), RGB(255, 0, 0));
}
