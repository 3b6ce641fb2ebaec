// The data graphs' channels: captions and ranges in each unit set, values of
// a sample, channel order, and the per-channel cache that grows with a
// recording and starts over when the recording or the units change.

#include "datalog/mdlDataGraph.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

QByteArray recording(int n, quint32 start = 1000)
{
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        DatalogSample s;
        s.setU16(DatalogSample::CrankPeriod, quint16(300 + i));
        s.setU8(DatalogSample::Speed, quint8(i));
        s.setU8(DatalogSample::Map, quint8(100 + i));
        s.setU8(DatalogSample::Coolant, 32);
        s.setTimeStamp(start + quint32(i) * 50);
        out += s.toBytes();
    }
    return out;
}

} // namespace

TEST(DataGraph, CaptionsAndRanges)
{
    TSampleDisplay u; // mph, psi, °F, lambda
    const struct {
        int channel;
        const char* caption;
        double min, max;
    } imperial[] = {
        {dgRPM, "RPM", 0, 11000},
        {dgSPD, "SPD", 0, 255 * 0.62},
        {dgGEAR, "GEAR", 0, 5},
        {dgMAP, "MAP", -59, 1782},
        {dgBOOST, "BST", 0, (1782 - 1013) * 0.0145},
        {dgTP, "TP%", 0, 110},
        {dgINJ, "INJ", 0, 20},
        {dgINJDC, "INJ DC", 0, 120},
        {dgIGN, "IGN", -10, 65},
        {dgKNCK, "KNCK", -20, 5},
        {dgIAT, "IAT", -30 * 1.8 + 32, 140 * 1.8 + 32},
        {dgECT, "ECT", -30 * 1.8 + 32, 140 * 1.8 + 32},
        {dgO2V, "O2V", 0, 5},
        {dgAFR, "LMBD", 0.5, 1.5},
        {dgBATT, "BATT", 6, 20},
    };
    for (const auto& c : imperial) {
        const TDataGraphChannelInfo info = dataGraphChannelInfo(c.channel, u);
        EXPECT_EQ(info.caption, QLatin1String(c.caption));
        EXPECT_NEAR(info.min, c.min, 1e-9) << c.caption;
        EXPECT_NEAR(info.max, c.max, 1e-9) << c.caption;
    }
    u.units.mph = u.units.psi = u.units.fahrenheit = false;
    u.units.afr = true;
    EXPECT_NEAR(dataGraphChannelInfo(dgSPD, u).max, 255, 1e-9);
    EXPECT_NEAR(dataGraphChannelInfo(dgBOOST, u).max, (1782 - 1013) * 0.00102, 1e-9);
    EXPECT_NEAR(dataGraphChannelInfo(dgECT, u).min, -30, 1e-9);
    EXPECT_EQ(dataGraphChannelInfo(dgAFR, u).caption, QStringLiteral("AFR"));
    EXPECT_NEAR(dataGraphChannelInfo(dgAFR, u).max, 20, 1e-9);
}

TEST(DataGraph, ValuesAndOrder)
{
    TSampleDisplay u;
    u.lambda.fill(1.0f);
    DatalogSample s;
    s.setU16(DatalogSample::CrankPeriod, 1875);
    s.setU8(DatalogSample::Speed, 100);
    s.setU8(DatalogSample::Map, 200); // 1385 mbar without a ROM
    s.setU8(DatalogSample::Coolant, 32);
    EXPECT_EQ(dataGraphValue(dgRPM, s, u), 1000);
    EXPECT_NEAR(dataGraphValue(dgSPD, s, u), 62, 1e-9);
    EXPECT_NEAR(dataGraphValue(dgBOOST, s, u), (1385 - 1013) * 0.0145, 1e-9);
    EXPECT_NEAR(dataGraphValue(dgECT, s, u), 185, 1e-9);
    EXPECT_NEAR(dataGraphValue(dgAFR, s, u), 1.0, 1e-9);
    u.units.afr = true;
    EXPECT_NEAR(dataGraphValue(dgAFR, s, u), double(14.7f), 1e-6);
    s.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
    EXPECT_TRUE(std::isnan(dataGraphValue(dgRPM, s, u))) << "a marker is not a reading";

    EXPECT_EQ(dataGraphChannels((1 << dgRPM) | (1 << dgBATT) | (1 << dgMAP)), (QList<int>{dgRPM, dgMAP, dgBATT}));
    EXPECT_TRUE(dataGraphChannels(0).isEmpty());
}

TEST(DataGraph, SeriesGrowsWithTheRecordingAndStartsOver)
{
    const TSampleDisplay u;
    const int bits = (1 << dgRPM) | (1 << dgSPD);
    TDataGraphSeries grown;
    const QByteArray all = recording(1000);
    for (int n : {0, 1, 10, 500, 1000})
        grown.update(all.left(n * DatalogSample::Size), u, bits);
    TDataGraphSeries once;
    once.update(all, u, bits);
    EXPECT_EQ(grown.times(), once.times());
    EXPECT_EQ(grown.values(dgRPM), once.values(dgRPM));
    EXPECT_EQ(grown.values(dgSPD), once.values(dgSPD));
    EXPECT_TRUE(grown.values(dgMAP).empty()) << "a channel not chosen has no values";
    EXPECT_DOUBLE_EQ(grown.times()[1], 0.05);
    EXPECT_DOUBLE_EQ(grown.lastTime(), 999 * 0.05);

    // A new recording of the same length, other units, a shorter recording.
    grown.update(recording(1000, 7000), u, bits);
    EXPECT_EQ(grown.count(), 1000);
    EXPECT_DOUBLE_EQ(grown.times()[0], 0.0);
    TSampleDisplay metric = u;
    metric.units.mph = false;
    grown.update(all, metric, bits);
    EXPECT_FLOAT_EQ(grown.values(dgSPD)[100], 100.0f);
    grown.update(all.left(10 * DatalogSample::Size), metric, bits);
    EXPECT_EQ(grown.count(), 10);
}
