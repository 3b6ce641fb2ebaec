#include "datalog/mdlDatalog.h"

#include "rom/clsRom.h"

#include <cmath>
#include <cstdio>

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
        mapLookup[static_cast<size_t>(b)] = static_cast<qint16>(sensorByteToMbar(b));
}

TSampleContext sampleContextFor(const TRom* rom)
{
    TSampleContext ctx;
    if (!rom || !rom->isLoaded())
        return ctx;
    for (int b = 0; b < 256; ++b)
        ctx.mapLookup[static_cast<size_t>(b)] = rom->lookupSensor(static_cast<quint8>(b));
    const int gearAt = rom->address(aeGearTable);
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
    return periodWordToRpm(p);
}

int speedKmh(const DatalogSample& s) { return s.u8(DatalogSample::Speed); }

double speedMph(const DatalogSample& s) { return s.u8(DatalogSample::Speed) * MphPerKmh; }

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

double injectorMs(const DatalogSample& s) { return (s.u16(DatalogSample::Injector) / 4.0) * InjectorMsPerUnit; }

double dutyCycle(const DatalogSample& s)
{
    const int r = rpm(s);
    return r == 0 ? 0.0 : injectorMs(s) / (1200.0 / r);
}

double ignition(const DatalogSample& s, const TSampleContext& ctx)
{
    return (s.u8(DatalogSample::Ignition) - IgnitionZeroByte) / IgnitionBytesPerDegree + ctx.ignitionOffset;
}

double knockRetard(const DatalogSample& s) { return s.u8(DatalogSample::Knock) / 4.0; }

double o2Volts(const DatalogSample& s) { return sensorByteToVolts(s.u8(DatalogSample::O2)); }

double fuelTrim(const DatalogSample& s) { return s.u16(DatalogSample::FuelTrim) / FuelTrimWordsPerPercent - 100.0; }

double batteryVolts(const DatalogSample& s)
{
    return s.u8(DatalogSample::Battery) * BatteryVoltsPerBit + BatteryZeroVolts;
}

int mapMbar(const DatalogSample& s, const TSampleContext& ctx) { return ctx.mapLookup[s.u8(DatalogSample::Map)]; }

double tpsVolts(const DatalogSample& s) { return sensorByteToVolts(s.u8(DatalogSample::TpsVolts)); }

double throttlePercent(const DatalogSample& s) { return throttleByteToPercent(s.u8(DatalogSample::Throttle)); }

double airTempC(const DatalogSample& s) { return TemperatureTable[s.u8(DatalogSample::AirTemp)]; }

int atmosphericMbar(const DatalogSample& s) { return sensorByteToMbar(s.u8(DatalogSample::Atmospheric)); }

double coolantTempC(const DatalogSample& s) { return TemperatureTable[s.u8(DatalogSample::Coolant)]; }

int boostMbar(const DatalogSample& s, const TSampleContext& ctx, int atmospheric)
{
    const int b = mapMbar(s, ctx) - atmospheric;
    return b > 0 ? b : 0;
}

} // namespace datalog
