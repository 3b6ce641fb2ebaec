// The lambda lookup from the settings curve: interpolation between points,
// exact values at the points, clamping outside the curve, the offset, and
// which source the sensor index selects.

#include "datalog/mdlLambdaCurve.h"

#include <gtest/gtest.h>

namespace {

TLambdaPoints linearCurve()
{
    // 0.0 V -> 0.68 ... 4.4 V -> 1.36, points 0.4 V apart; points 12..15 unused.
    TLambdaPoints p{};
    for (int i = 0; i < 12; ++i)
        p[size_t(i)] = {i * 0.4, 0.68 + i * 0.0618};
    p[12] = {4.8, 9.9};
    return p;
}

} // namespace

TEST(LambdaCurve, InterpolatesBetweenPointsWithOffset)
{
    const TLambdaPoints p = linearCurve();
    const TLambdaLookup none = lambdaLookupFromCurve(p, 0.0);
    const TLambdaLookup off = lambdaLookupFromCurve(p, 0.05);
    EXPECT_FLOAT_EQ(none[0], 0.68f); // first point at 0 V
    EXPECT_FLOAT_EQ(off[0], 0.73f);
    const double v = 51 * 0.01961; // 1.00011 V, between points 2 and 3
    const double expected = p[2].lambda + (v - p[2].voltage) * (p[3].lambda - p[2].lambda) / 0.4;
    EXPECT_FLOAT_EQ(none[51], float(expected));
    for (int b = 1; b < 256; ++b)
        EXPECT_GE(none[size_t(b)], none[size_t(b - 1)]) << b; // monotonic curve, monotonic table
    // At or above the twelfth point (4.4 V = byte 224.4): its lambda; point 12 is not used.
    EXPECT_FLOAT_EQ(none[255], float(p[11].lambda));
    EXPECT_FLOAT_EQ(none[230], float(p[11].lambda));
}

TEST(LambdaCurve, ByteOnAPointTakesThatPointsLambda)
{
    TLambdaPoints p{};
    for (int i = 0; i < 12; ++i)
        p[size_t(i)] = {i * 50 * 0.01961, 0.7 + i * 0.05}; // every 50th byte lies on a point
    const TLambdaLookup t = lambdaLookupFromCurve(p, 0.0);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(t[size_t(i * 50)], 0.7 + i * 0.05, 1e-6) << i;
}

TEST(LambdaCurve, BelowTheFirstPointClampsToIt)
{
    TLambdaPoints p = linearCurve();
    for (auto& point : p)
        point.voltage += 1.0; // curve starts at 1 V
    const TLambdaLookup t = lambdaLookupFromCurve(p, 0.0);
    EXPECT_FLOAT_EQ(t[0], 0.68f);
    EXPECT_FLOAT_EQ(t[50], 0.68f); // 0.98 V
}

TEST(LambdaCurve, SensorIndexSelectsTheSource)
{
    TSettings s;
    s.lambdaConversion = linearCurve();
    s.tuning.lambdaOffset = 0.02;
    const TLambdaLookup curve = lambdaLookupFromCurve(s.lambdaConversion, 0.02);
    const struct {
        int sensorIndex, sections, scripts;
        bool script;
    } cases[] = {
        {0, 2, 0, false},                  // a definition-file section: the settings curve
        {1, 2, 1, false}, {2, 2, 1, true}, // the first script conversion: not evaluable here
        {3, 2, 1, false},                  // names nothing: the curve rather than zeros
        {0, 0, 0, false},                  // no definition file, no scripts
    };
    for (const auto& c : cases) {
        s.tuning.sensorIndex = c.sensorIndex;
        bool script = !c.script;
        const TLambdaLookup t = lambdaLookupFromSettings(s, c.sections, c.scripts, &script);
        EXPECT_EQ(script, c.script) << c.sensorIndex;
        if (c.script) {
            for (float v : t)
                ASSERT_FLOAT_EQ(v, 0.02f);
        } else {
            EXPECT_EQ(t, curve) << c.sensorIndex;
        }
    }
}
