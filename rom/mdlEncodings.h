#pragma once

// Engineering constants and the byte <-> value conversions that more than one
// place needs: the ROM model, the datalog sample, the calibration files, the
// generator and the ECU simulator all speak these encodings, so each constant
// has exactly one name here.

#include <QtGlobal>
#include <algorithm>
#include <array>

// Round to nearest with halves to even, as every engineering conversion does.
[[nodiscard]] double roundEven(double x);

// --- crank period -------------------------------------------------------------
// The ECU measures engine speed as a period: rpm = K / period and period = K / rpm.
inline constexpr int CrankPeriodConstant = 1875000;
// OBD0 rev limits and idle speed as a period byte.
inline constexpr int Obd0PeriodConstant = 1848000;
// PM6/PM7 and PR4 rev limit: a 16-bit period split into two bytes.
inline constexpr int SplitPeriodConstant = 1920000;

// K / x as a real number (the rpm scale rounds it, the simulator encodes it).
[[nodiscard]] constexpr double crankPeriodRatio(double x) { return CrankPeriodConstant / x; }
// Integer division both ways; a period of 0 reads as 0 rpm, and an rpm of 0 or
// less stores the slowest period instead of dividing by zero.
[[nodiscard]] constexpr int periodWordToRpm(int period) { return period <= 0 ? 0 : CrankPeriodConstant / period; }
[[nodiscard]] constexpr quint16 rpmToPeriodWord(int rpm)
{
    return rpm <= 0 ? quint16(0xFFFF) : quint16(std::min(0xFFFF, CrankPeriodConstant / rpm));
}
[[nodiscard]] constexpr int obd0PeriodByteToRpm(int b) { return b <= 0 ? 0 : Obd0PeriodConstant / b; }
[[nodiscard]] constexpr quint8 rpmToObd0PeriodByte(int rpm)
{
    return rpm <= 0 ? quint8(0xFF) : quint8(std::min(0xFF, Obd0PeriodConstant / rpm));
}
[[nodiscard]] constexpr int splitPeriodToRpm(int period) { return period <= 0 ? 0 : SplitPeriodConstant / period; }
[[nodiscard]] constexpr int rpmToSplitPeriod(int rpm)
{
    return rpm <= 0 ? 0xFFFF : std::min(0xFFFF, SplitPeriodConstant / rpm);
}

// --- rpm scales and VTEC points -------------------------------------------------
// OBD1 rpm-scale bytes without a period constant in the address map.
inline constexpr double RevScaleRpmPerBit = 35.21259;
// Linear rev-scale encoding (OBDMode 2).
inline constexpr double LinearRevScaleRpmPerBit = 39.2157;
// Nissan rpm-scale bytes.
inline constexpr int NissanRpmPerBit = 50;
// OBD0 VTEC bytes: rpm = (byte - 128) * 62.52.
inline constexpr double Obd0VtecRpmPerBit = 62.52;
inline constexpr int Obd0VtecZeroByte = 128;

// --- throttle -------------------------------------------------------------------
// Throttle bytes: percent = (byte - 24) / 2.07.
inline constexpr int ThrottleZeroByte = 24;
inline constexpr double ThrottleBytesPerPercent = 2.07;
[[nodiscard]] constexpr double throttleByteToPercent(double b)
{
    return (b - ThrottleZeroByte) / ThrottleBytesPerPercent;
}
[[nodiscard]] constexpr double throttlePercentToByte(double percent)
{
    return percent * ThrottleBytesPerPercent + ThrottleZeroByte;
}
// The rounded percent the ECU code and the settings compare against.
[[nodiscard]] int throttlePercentRounded(int b);

// --- sensor volts ---------------------------------------------------------------
// O2 and TPS sensor bytes: volts = byte * 0.01961 (5 V over 255 steps).
inline constexpr double SensorVoltsPerBit = 0.01961;
[[nodiscard]] constexpr double sensorByteToVolts(double b) { return b * SensorVoltsPerBit; }
[[nodiscard]] constexpr double sensorVoltsToByte(double volts) { return volts / SensorVoltsPerBit; }
// The TPS voltage pair of the settings dump uses the shorter factor.
inline constexpr double TpsCalibrationVoltsPerBit = 0.0196;

// --- pressure -------------------------------------------------------------------
// The stock MAP sensor: millibar = round(byte * 7.221) - 59.
inline constexpr double MapMbarPerBit = 7.221;
inline constexpr int MapZeroMbar = -59;
[[nodiscard]] int sensorByteToMbar(int b);
// The scale form of a load-scale byte b is the sensor byte b / 2 + 24.
inline constexpr int LoadScaleZeroByte = 24;
// The 3-bar sensor: millibar = round(byte * 12.0902) + 10.
inline constexpr double Map3BarMbarPerBit = 12.0902;
inline constexpr int Map3BarZeroMbar = 10;
// The custom MAP sensor range entries hold millibar + 0x8000.
inline constexpr int MapSensorRangeOffset = 0x8000;
// The extended family's MAP calibration block.
inline constexpr double MapCalibrationMbarPerBit = 7.2196;
inline constexpr int MapCalibrationTopMbar = 1782;
// Standard atmosphere and the psi conversion of boost values.
inline constexpr double StandardAtmosphereMbar = 1012.95;
inline constexpr double PsiPerBar = 14.5;

// Display conversions of pressure differences and speeds.
inline constexpr double PsiPerMbar = 0.0145;
inline constexpr double KgPerCm2PerMbar = 0.00102;
inline constexpr double InHgPerMbar = 0.02945;
inline constexpr double MphPerKmh = 0.62;

// --- fuel and timing ------------------------------------------------------------
// A fuel cell holds value * 4 / divisor; one multiplier step covers 63.75 units.
inline constexpr double FuelUnitsPerMultiplier = 63.75;
// OBD1 ignition bytes: degrees = (byte - 24) / 4.
inline constexpr int IgnitionZeroByte = 24;
inline constexpr double IgnitionBytesPerDegree = 4;
// OBD0 ignition bytes: degrees = (byte - 15) * 0.36.
inline constexpr int Obd0IgnitionZeroByte = 15;
inline constexpr double Obd0IgnitionDegreesPerBit = 0.36;
// Per-cell correction bytes: factor = 128 / byte.
inline constexpr double CorrectionUnityByte = 128;
// Scalar words: 32768 is a factor of 1.0.
inline constexpr int UnityScalarWord = 32768;
// The eight IACV base words are the base fraction times these factors.
inline constexpr int IacvBaseFactors[8] = {32768, 32768, 34078, 34078, 31621, 31621, 23592, 23592};
// Injector size in cc/min = 7864320 / main fuel word.
inline constexpr double InjectorSizeConstant = 7864320.0;
// Rising rev limit words count 50 rpm each.
inline constexpr int RisingRevLimitRpmPerUnit = 50;
// Standstill boost enrichment words: percent = word * 4.325.
inline constexpr double BoostEnrichPerUnit = 4.325;
// Injector time: milliseconds per quarter unit of injector count.
inline constexpr double InjectorMsPerUnit = 0.0173;
// Fuel-trim words: percent = word / 327.68 - 100.
inline constexpr double FuelTrimWordsPerPercent = 327.68;
// The VTEC solenoid and pressure-switch checks (trouble codes 21 and 22) run
// while their check byte holds this value; any other byte switches them off.
inline constexpr quint8 VtecCheckOnByte = 133;
// The boost solenoid's PWM period is counted in ticks of this timer clock.
inline constexpr int BoostPwmClockHz = 62500;
inline constexpr int BoostPulseMinHz = 10;
inline constexpr int BoostPulseMaxHz = 60;
// Battery bytes: volts = byte * 0.052 + 6.26.
inline constexpr double BatteryVoltsPerBit = 0.052;
inline constexpr double BatteryZeroVolts = 6.26;

// --- temperature ----------------------------------------------------------------
// The ECU's temperature curve: °C for each raw byte.
extern const std::array<double, 256> TemperatureTable;
// Nearest raw byte for a temperature: 0 above the first entry, 255 below the
// last, the higher index on a tie.
[[nodiscard]] quint8 celsiusToByte(double celsius);
