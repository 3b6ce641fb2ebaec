#include "datalog/mdlDatalog.h"

#include "rom/clsRom.h"

#include <cmath>
#include <cstdio>

const std::array<double, 256> TemperatureTable = {
    140,   138,   135,   133,   130,   128,   126,   124,   122,   119,   117,   115,   114,   113,   111,   109,
    107,   106,   104,   102,   101,   99,    98,    96,    95,    93,    92,    91,    90,    88,    87,    86,
    85,    84,    82,    81,    80,    79,    78.4,  77.8,  77,    76,    75,    74,    73,    72,    71,    70.4,
    69.8,  69,    68,    67,    66.4,  65.8,  65,    64.4,  63.7,  63,    62,    61.4,  60.7,  60,    59.4,  58.7,
    58.4,  57.7,  57.4,  56.7,  56.4,  55.7,  55,    54.4,  53.8,  53.3,  52.8,  52.3,  51.7,  51,    50.4,  49.8,
    49.4,  48.8,  48.3,  47.7,  47.3,  46.7,  46.4,  45.8,  45.4,  45,    44.7,  44.3,  43.8,  43.3,  42.7,  42.3,
    41.8,  41.4,  41,    40.7,  40.4,  39.8,  39.3,  38.8,  38.4,  37.9,  37.5,  37.2,  36.7,  36.4,  35.8,  35.3,
    34.8,  34.4,  34,    33.7,  33.3,  33,    32.7,  32.3,  31.8,  31.3,  31,    30.7,  30.2,  29.9,  29.5,  29.1,
    28.7,  28.3,  27.8,  27.3,  27,    26.5,  26.2,  25.9,  25.5,  25.1,  24.8,  24.4,  24,    23.7,  23.3,  22.7,
    22.4,  22.1,  21.8,  21.4,  20.9,  20.5,  20.1,  19.6,  19.3,  18.8,  18.4,  17.9,  17.5,  17.2,  16.8,  16.4,
    16,    15.7,  15.3,  14.7,  14.3,  14,    13.8,  13.5,  13.1,  12.7,  12.3,  11.8,  11.5,  11.2,  10.8,  10.4,
    9.8,   9.3,   8.9,   8.5,   8.1,   7.8,   7.3,   6.8,   6.3,   5.8,   5.4,   5,     4.7,   4.4,   3.8,   3.3,
    2.7,   2.3,   2,     1.7,   1.2,   0.5,   0.1,   0,     -1.2,  -1.5,  -1.8,  -2.3,  -2.7,  -3.2,  -3.6,  -4,
    -4.7,  -5.2,  -5.6,  -6.1,  -6.7,  -7.2,  -7.7,  -8.3,  -8.7,  -9.2,  -9.8,  -10.3, -10.8, -11.3, -11.8, -12.3,
    -12.8, -13.3, -13.8, -14.4, -15,   -15.8, -16.3, -16.7, -17.1, -17.7, -18.4, -19.2, -19.8, -20.3, -20.8, -21.3,
    -21.8, -22.3, -22.8, -23.3, -23.8, -24.3, -24.8, -25.3, -25.8, -26.3, -26.8, -27.3, -27.8, -28.4, -29.2, -30,
};

const std::array<const char*, 32> DiagnosticCodeNames = {
    "O2 Sensor A",
    "O2 Sensor B",
    "MAP Sensor",
    "Crankshaft Position Sensor",
    "MAP Sensor",
    "Engine Coolant Temp Sensor",
    "Throttle Position Sensor",
    "Top Dead Center Sensor",
    "Cylinder Position Sensor",
    "Intake Air Temp Sensor",
    "Unknown",
    "EGR Lift Sensor",
    "Atmospheric Pressure Sensor",
    "Idle Air Control Valve",
    "Ignition Output Signal",
    "Fuel Injection System",
    "Vehicle Speed Sensor",
    "Unknown",
    "Auto Trans Lockup Control Solenoid",
    "Electrical Load Detector",
    "VTEC Solenoid",
    "VTEC Oil Pressure",
    "Knock Sensor",
    "Unknown",
    "Unknown",
    "Unknown",
    "Oxygen Sensor Heater Circuit",
    "Unknown",
    "Fuel Supply System",
    "Auto Trans Signal A",
    "Auto Trans Signal B",
    "Unknown",
};

quint8 celsiusToByte(double celsius)
{
    if (celsius > TemperatureTable[0])
        return 0;
    if (celsius < TemperatureTable[255])
        return 255;
    int best = 0;
    double bestDist = std::fabs(TemperatureTable[0] - celsius);
    for (int i = 1; i < 256; ++i) {
        const double d = std::fabs(TemperatureTable[static_cast<size_t>(i)] - celsius);
        if (d <= bestDist) { // later index wins a tie
            best = i;
            bestDist = d;
        }
    }
    return static_cast<quint8>(best);
}

QString errorCodesShort(quint32 errorWord)
{
    QString out;
    for (int i = 0; i < 32; ++i)
        if (errorWord & (1u << i))
            out += QString::number(i + 1) + QLatin1Char(' ');
    return out;
}

QString errorCodesLong(quint32 errorWord)
{
    QString out;
    char line[64];
    for (int i = 0; i < 32; ++i)
        if (errorWord & (1u << i)) {
            std::snprintf(line, sizeof line, "%2d : %-40s\r\n", i + 1, DiagnosticCodeNames[static_cast<size_t>(i)]);
            out += QString::fromLatin1(line);
        }
    return out;
}

TSampleContext::TSampleContext()
{
    for (int b = 0; b < 256; ++b)
        mapLookup[static_cast<size_t>(b)] = static_cast<qint16>(roundEven(b * 7.221) - 59);
}

TSampleContext sampleContextFor(const TRom* rom)
{
    TSampleContext ctx;
    if (!rom || !rom->isLoaded())
        return ctx;
    for (int b = 0; b < 256; ++b)
        ctx.mapLookup[static_cast<size_t>(b)] = rom->lookupSensor(static_cast<quint8>(b));
    const int gearAt = rom->address(37);
    ctx.hasGearTable = gearAt != 0;
    // Four 16-bit thresholds; the ECU compares their low bytes.
    for (int k = 0; k < 4 && ctx.hasGearTable; ++k)
        ctx.gearThresholds[static_cast<size_t>(k)] = rom->byteAt(gearAt + 2 * k);
    ctx.knockSensor = rom->switchValue(TRom::swKnock);
    ctx.ignitionOffset = rom->IgnitionOffset;
    return ctx;
}

namespace datalog {

bool rpmValid(const DatalogSample& s) { return s.crankPeriod() != 0; }

int rpm(const DatalogSample& s)
{
    const quint16 p = s.crankPeriod();
    return p == 0 ? 0 : static_cast<int>(1875000u / p);
}

int speedKmh(const DatalogSample& s) { return s.u8(DatalogSample::Speed); }

double speedMph(const DatalogSample& s) { return s.u8(DatalogSample::Speed) * 0.62; }

int gear(const DatalogSample& s, const TSampleContext& ctx)
{
    const quint32 speed = s.u8(DatalogSample::Speed);
    if (speed == 0 || !ctx.hasGearTable)
        return 0;
    const quint32 x = (static_cast<quint32>(s.crankPeriod()) * speed) >> 8;
    int g = 1;
    for (quint8 t : ctx.gearThresholds) {
        if (x < t)
            break;
        ++g;
    }
    return g;
}

double injectorMs(const DatalogSample& s) { return (s.u16(DatalogSample::Injector) / 4.0) * 0.0173; }

double dutyCycle(const DatalogSample& s)
{
    const int r = rpm(s);
    return r == 0 ? 0.0 : injectorMs(s) / (1200.0 / r);
}

double ignition(const DatalogSample& s, const TSampleContext& ctx)
{
    return (s.u8(DatalogSample::Ignition) - 24) / 4.0 + ctx.ignitionOffset;
}

double knockRetard(const DatalogSample& s) { return s.u8(DatalogSample::Knock) / 4.0; }

double o2Volts(const DatalogSample& s) { return s.u8(DatalogSample::O2) * 0.01961; }

double fuelTrim(const DatalogSample& s) { return s.u16(DatalogSample::FuelTrim) / 327.68 - 100.0; }

double batteryVolts(const DatalogSample& s) { return s.u8(DatalogSample::Battery) * 0.052 + 6.26; }

int mapMbar(const DatalogSample& s, const TSampleContext& ctx) { return ctx.mapLookup[s.u8(DatalogSample::Map)]; }

double tpsVolts(const DatalogSample& s) { return s.u8(DatalogSample::TpsVolts) * 0.01961; }

double throttlePercent(const DatalogSample& s) { return (s.u8(DatalogSample::Throttle) - 24) / 2.07; }

double airTempC(const DatalogSample& s) { return TemperatureTable[s.u8(DatalogSample::AirTemp)]; }

int atmosphericMbar(const DatalogSample& s)
{
    return static_cast<int>(roundEven(s.u8(DatalogSample::Atmospheric) * 7.221)) - 59;
}

double coolantTempC(const DatalogSample& s) { return TemperatureTable[s.u8(DatalogSample::Coolant)]; }

int boostMbar(const DatalogSample& s, const TSampleContext& ctx, int atmospheric)
{
    const int b = mapMbar(s, ctx) - atmospheric;
    return b > 0 ? b : 0;
}

} // namespace datalog
