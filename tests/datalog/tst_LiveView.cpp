// The live view's rows: texts in both unit sets, the single-item values, the
// red flags of the tuning conditions, the knock and lambda colours, and the
// blank values of markers and of a zero crank period.

#include "datalog/mdlLiveView.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

DatalogSample reading()
{
    DatalogSample s;
    s.setU16(DatalogSample::CrankPeriod, 1875); // 1000 rpm
    s.setU16(DatalogSample::Injector, 800);     // 3.46 ms
    s.setU8(DatalogSample::Ignition, 88);       // 16 degrees
    s.setU8(DatalogSample::Knock, 8);
    s.setU8(DatalogSample::O2, 51);
    s.setU16(DatalogSample::FuelTrim, 32768); // 0 %
    s.setU8(DatalogSample::Speed, 100);
    s.setU8(DatalogSample::Battery, 150);  // 14.06 V
    s.setU8(DatalogSample::Map, 150);      // 1024 mbar
    s.setU8(DatalogSample::TpsVolts, 102); // 2.00 V
    s.setU8(DatalogSample::Throttle, 100);
    s.setU8(DatalogSample::AirTemp, 128);     // 28.7 C
    s.setU8(DatalogSample::Atmospheric, 148); // 1010 mbar
    s.setU8(DatalogSample::Coolant, 32);      // 85 C
    s.setTimeStamp(10000 + 3723004);
    return s;
}

TLiveViewOptions imperial()
{
    TLiveViewOptions o;
    o.lambda.fill(0.0f);
    o.lambda[51] = 0.9f;
    o.startTime = 10000;
    o.tuning.minRPM = 0;
    o.tuning.maxRPM = 11000;
    o.tuning.gearSet = QStringLiteral("012345");
    return o;
}

} // namespace

TEST(LiveView, RowsInMphPsiFahrenheit)
{
    const QVector<TLiveViewRow> r = liveViewRows(reading(), imperial());
    ASSERT_EQ(r.size(), lvItemCount);
    const struct {
        int item;
        const char* label;
        QString value;
        QString single;
    } rows[] = {
        {lvEngineSpeed, "Engine Speed", QStringLiteral("1000 rpm"), QStringLiteral("1000")},
        {lvVehicleSpeed, "Vehicle Speed", QStringLiteral("62.0 Mph"), QStringLiteral("62.0")},
        {lvGear, "Gear", QStringLiteral("0"), QStringLiteral("0")},
        {lvDutyCycle, "Duty Cycle", QStringLiteral("3%"), QStringLiteral("3")},
        {lvInjector, "Injector Duration", QStringLiteral("3.46 ms"), QStringLiteral("3.46")},
        {lvIgnition, "Ignition Advance", QStringLiteral("16.00\u00B0"), QStringLiteral("16.00\u00B0")},
        {lvThrottle, "Throttle Position", QStringLiteral("37%"), QStringLiteral("37")},
        {lvTpsVoltage, "TPS Voltage", QStringLiteral("2.00 V"), QStringLiteral("2.00")},
        {lvEngineLoad, "Engine Load", QStringLiteral("1024 mbar"), QStringLiteral("1024")},
        {lvBoost, "Boost Pressure", QStringLiteral("0.2 psi"), QStringLiteral("0.2")},
        {lvAtmospheric, "Atmospheric Pressure", QStringLiteral("1010 mbar"), QStringLiteral("1010")},
        {lvAirTemp, "Air Temperature", QStringLiteral("83.66 \u00B0F"), QStringLiteral("83.66")},
        {lvCoolantTemp, "Coolant Temperature", QStringLiteral("185.00 \u00B0F"), QStringLiteral("185.00")},
        {lvKnock, "Knock Retard", QStringLiteral("NONE"), QStringLiteral("NONE")},
        {lvFuelTrim, "S. Fuel Trim", QStringLiteral("0 %"), QStringLiteral("0")},
        {lvLambda, "Lambda", QStringLiteral("0.90"), QStringLiteral("0.90")},
        {lvO2Voltage, "O2 Voltage", QStringLiteral("1.00 V"), QStringLiteral("1.00")},
        {lvBattery, "Battery Voltage", QStringLiteral("14.06 V"), QStringLiteral("14.06")},
        {lvVtec, "VTEC", QStringLiteral("OFF"), QStringLiteral("OFF")},
        {lvCel, "CEL", QStringLiteral("OFF"), QStringLiteral("OFF")},
        {lvDuration, "Playback Duration", QStringLiteral("01:02:03.004"), QStringLiteral("01:02:03.004")},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(r[row.item].label, QLatin1String(row.label)) << row.item;
        EXPECT_EQ(r[row.item].value, row.value) << row.label;
        EXPECT_EQ(r[row.item].item, row.single) << row.label;
    }
}

TEST(LiveView, RowsInKphKgCelsiusAfrAndKnockSensor)
{
    TLiveViewOptions o = imperial();
    o.units.mph = o.units.psi = o.units.fahrenheit = false;
    o.units.afr = true;
    o.ctx.knockSensor = true;
    const QVector<TLiveViewRow> r = liveViewRows(reading(), o);
    EXPECT_EQ(r[lvVehicleSpeed].value, QStringLiteral("100 kph"));
    EXPECT_EQ(r[lvBoost].value, QStringLiteral("0.01 kg/cm\u00B2"));
    EXPECT_EQ(r[lvBoost].item, QStringLiteral("0.01"));
    EXPECT_EQ(r[lvAirTemp].value, QStringLiteral("28.70 \u00B0C"));
    EXPECT_EQ(r[lvCoolantTemp].value, QStringLiteral("85.00 \u00B0C"));
    EXPECT_EQ(r[lvKnock].value, QStringLiteral("2.00 \u00B0"));
    EXPECT_EQ(r[lvLambda].label, QStringLiteral("Air Fuel Ratio"));
    EXPECT_EQ(r[lvLambda].value, QStringLiteral("13.23"));
}

TEST(LiveView, RedFlagsFollowTheTuningConditions)
{
    const DatalogSample s = reading(); // 1000 rpm, gear 0, 3 % duty, 1024 mbar, 85 C
    const struct {
        const char* why;
        std::function<void(TLiveViewOptions&, DatalogSample&)> change;
        int item;
        bool red;
    } cases[] = {
        {"rpm inside", [](TLiveViewOptions&, DatalogSample&) {}, lvEngineSpeed, false},
        {"rpm below MinRPM", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.minRPM = 1001; }, lvEngineSpeed, true},
        {"rpm above MaxRPM", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.maxRPM = 999; }, lvEngineSpeed, true},
        {"gear in the set", [](TLiveViewOptions&, DatalogSample&) {}, lvGear, false},
        {"gear not in the set", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.gearSet = QStringLiteral("234"); },
         lvGear, true},
        {"duty at most 100", [](TLiveViewOptions&, DatalogSample&) {}, lvDutyCycle, false},
        {"duty above 100", [](TLiveViewOptions&, DatalogSample& d) { d.setU16(DatalogSample::Injector, 65535); },
         lvDutyCycle, true},
        {"load inside", [](TLiveViewOptions&, DatalogSample&) {}, lvEngineLoad, false},
        {"load below MinLoad", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.minLoad = 1025; }, lvEngineLoad,
         true},
        {"load above MaxLoad", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.maxLoad = 1023; }, lvEngineLoad,
         true},
        {"coolant inside", [](TLiveViewOptions&, DatalogSample&) {}, lvCoolantTemp, false},
        {"coolant above MaxTemp", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.maxTemp = 84; }, lvCoolantTemp,
         true},
        {"coolant below MinTemp", [](TLiveViewOptions& o, DatalogSample&) { o.tuning.minTemp = 86; }, lvCoolantTemp,
         true},
    };
    for (const auto& c : cases) {
        TLiveViewOptions o = imperial();
        DatalogSample d = s;
        c.change(o, d);
        const TLiveViewRow row = liveViewRows(d, o)[c.item];
        EXPECT_EQ(row.background.has_value() && *row.background == liveview::Red, c.red) << c.why;
    }
}

TEST(LiveView, ColoursOfKnockLambdaVtecAndCel)
{
    DatalogSample s = reading();
    QVector<TLiveViewRow> r = liveViewRows(s, imperial());
    EXPECT_EQ(r[lvKnock].background, IgnitionColor(8 * 1.5 + 16));
    EXPECT_EQ(r[lvLambda].background, LambdaColor(double(0.9f)));
    EXPECT_FALSE(r[lvVtec].background.has_value());
    EXPECT_EQ(r[lvCel].font, liveview::Green);
    EXPECT_FALSE(r[lvCel].background.has_value());

    s.setU8(DatalogSample::Flags, 1);
    s.setU32(DatalogSample::Errors, 1u << 11);
    r = liveViewRows(s, imperial());
    EXPECT_EQ(r[lvVtec].value, QStringLiteral("ON"));
    EXPECT_EQ(r[lvVtec].font, liveview::Olive);
    EXPECT_EQ(r[lvVtec].background, liveview::Lime);
    EXPECT_EQ(r[lvCel].value, QStringLiteral("ON"));
    EXPECT_EQ(r[lvCel].font, liveview::Red);
    EXPECT_EQ(r[lvCel].background, liveview::Orange);
}

TEST(LiveView, BlankValues)
{
    DatalogSample marker = reading();
    marker.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
    for (const TLiveViewRow& row : liveViewRows(marker, imperial())) {
        EXPECT_FALSE(row.label.isEmpty());
        EXPECT_TRUE(row.value.isEmpty()) << row.label.toStdString();
        EXPECT_FALSE(row.background.has_value()) << row.label.toStdString();
    }

    // A zero crank period: engine speed and duty cycle are unknown, the rest is read.
    DatalogSample stopped = reading();
    stopped.setU16(DatalogSample::CrankPeriod, 0);
    TLiveViewOptions o = imperial();
    o.tuning.minRPM = 500;
    const QVector<TLiveViewRow> r = liveViewRows(stopped, o);
    EXPECT_TRUE(r[lvEngineSpeed].value.isEmpty());
    EXPECT_FALSE(r[lvEngineSpeed].background.has_value()) << "an unknown speed is not flagged";
    EXPECT_TRUE(r[lvDutyCycle].value.isEmpty());
    EXPECT_EQ(r[lvInjector].value, QStringLiteral("3.46 ms"));
}

// A sample from before the recording start showed "1193:02:30.476" (the
// negative difference wrapped), and a trim just below zero read "-0 %".
TEST(LiveView, NoWrappedTimeAndNoNegativeZero)
{
    TLiveViewOptions o = imperial();
    DatalogSample s = reading();
    s.setU16(DatalogSample::FuelTrim, 32767); // -0.003 %
    s.setTimeStamp(o.startTime - 1);
    const QVector<TLiveViewRow> r = liveViewRows(s, o);
    EXPECT_EQ(r[lvFuelTrim].value, QStringLiteral("0 %"));
    EXPECT_EQ(r[lvFuelTrim].item, QStringLiteral("0"));
    EXPECT_TRUE(r[lvDuration].value.isEmpty()) << r[lvDuration].value.toStdString();
    s.setU16(DatalogSample::FuelTrim, 32600); // -0.5 %: still a reading of its own
    EXPECT_EQ(liveViewRows(s, o)[lvFuelTrim].value, QStringLiteral("-1 %"));
}

TEST(LiveView, RecordingInsteadOfTheTimeWhileConnected)
{
    TLiveViewOptions o = imperial();
    o.connectionActive = true;
    EXPECT_EQ(liveViewRows(reading(), o)[lvDuration].value, QStringLiteral("Recording..."));
    EXPECT_EQ(playbackDurationText(3723004), QStringLiteral("01:02:03.004"));
    EXPECT_EQ(liveViewHeader(0), QStringLiteral("Data Type"));
    EXPECT_EQ(liveViewHeader(1), QStringLiteral("Value"));
}
