// Table, scale and load encodings: each row gives the byte, the engineering
// value and why the row is there.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TRom& loaded(TRom& rom, const char* family, int rows = 20, int cols = 24)
{
    TRomGenOptions o;
    o.family = QString::fromLatin1(family);
    o.rows = rows;
    o.columns = cols;
    rom.reset();
    rom.buffer().loadBytes(generateRom(o));
    EXPECT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    return rom;
}

} // namespace

TEST(Encoding, ByteToMillibarForms)
{
    TRom rom;
    loaded(rom, "p28");
    struct Row {
        quint16 flags;
        int byte;
        bool sensor;
        int mbar;
        const char* why;
    };
    const Row rows[] = {
        {0, 0, false, 114, "scale form: (0/2+24)*7.221-59 = 114.3"},
        {0, 255, false, 1035, "scale form top: 151.5*7.221 = 1093.98 -> 1094 - 59"},
        {0, 100, true, 663, "sensor form: 722.1 -> 722 - 59"},
        {0, 0, true, -59, "sensor form bottom"},
        {ffBoost1, 100, false, 663, "boost sensor 1 ignores the form"},
        {ffITB, 200, false, 1385, "ITB uses the full linear range: 1444.2 -> 1444 - 59"},
        {ffBoost2, 100, true, 1219, "boost sensor 2: 1209.02 -> 1209 + 10"},
    };
    for (const Row& r : rows) {
        rom.setFeatureFlags(r.flags);
        EXPECT_EQ(rom.byteToMillibar(r.byte, r.sensor), r.mbar) << r.why;
        EXPECT_EQ(rom.millibarToByte(r.mbar, r.sensor), r.byte) << r.why;
    }
    // Custom sensor range: entries 45/46 hold millibar + 0x8000.
    rom.setFeatureFlags(ffBoost3);
    rom.setAddress(aeMapSensorMin, 0x8000 + 100);
    rom.setAddress(aeMapSensorMax, 0x8000 + 2650);
    EXPECT_EQ(rom.byteToMillibar(255, false), 2650);
    EXPECT_EQ(rom.byteToMillibar(51, false), 100 + 510);
    EXPECT_EQ(rom.millibarToByte(610, false), 51);
    rom.setAddress(aeMapSensorMax, 0x8000 + 100); // E46 = E45: the range has no span
    EXPECT_EQ(rom.byteToMillibar(51, false), 100);
    EXPECT_THROW((void)rom.millibarToByte(600, false), EVexorError);
}

TEST(Encoding, MillibarToByteClampsAndRefusesNonFinite)
{
    TRom rom;
    loaded(rom, "p28");
    EXPECT_EQ(rom.millibarToByte(5000, false), 255) << "too high clamps instead of wrapping";
    EXPECT_EQ(rom.millibarToByte(-500, false), 0);
    EXPECT_THROW((void)rom.millibarToByte(NAN, false), EVexorError);
    EXPECT_THROW((void)rom.millibarToByte(INFINITY, true), EVexorError);
}

TEST(Encoding, MapCalibrationBlock)
{
    TRom rom;
    loaded(rom, "vexorau");
    const int at = rom.address(aeMapCalibration);
    // The generator's block spans -59 .. 1782 mbar.
    EXPECT_EQ(rom.mapCalibrationMin(), -59);
    EXPECT_EQ(rom.mapCalibrationMax(), 1782);
    EXPECT_EQ(rom.byteToMillibar(255, false), 1782);
    EXPECT_EQ(rom.byteToMillibar(0, true), -59);
    // 3-bar sensor from -100 mbar: c = round(1882/3100*255) = 155; a < -59 so
    // b2 = max(0, 155 - round(255/3100*1841)) = 155 - 151 = 4, b3 = 0.
    rom.setMapCalibration(-100, 3000);
    EXPECT_EQ(rom.buffer().readByte(at), 155);
    EXPECT_EQ(rom.buffer().readByte(at + 1), 0xFF);
    EXPECT_EQ(rom.buffer().readByte(at + 2), 4);
    EXPECT_EQ(rom.buffer().readByte(at + 3), 0);
    rom.buffer().undo();
    EXPECT_EQ(rom.buffer().readByte(at), 255) << "one undo reverts the block";
    // a >= -59: b2 = 0, b3 = round((a+59)/7.2196).
    rom.setMapCalibration(100, 2000);
    EXPECT_EQ(rom.buffer().readByte(at + 2), 0);
    EXPECT_EQ(rom.buffer().readByte(at + 3), 22);
    EXPECT_THROW(rom.setMapCalibration(500, 500), EVexorError);
    // b0 = b2 would divide by zero: reads give 0.
    rom.buffer().writeByte(at, 9);
    rom.buffer().writeByte(at + 2, 9);
    EXPECT_EQ(rom.mapCalibrationMax(), 0);
    EXPECT_EQ(rom.mapCalibrationMin(), 0);
}

TEST(Encoding, ExponentRpm)
{
    struct Row {
        int byte, rpm;
        const char* why;
    };
    const Row rows[] = {
        {0, 500, "bottom"},
        {63, 992, "top of the first octave: round(63*7.8125) = 492"},
        {64, 1000, "next octave doubles"},
        {100, 1562, "2*(round(36*7.8125)+500) = 2*(281+500)"},
        {255, 7936, "top: 8*(492+500)"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(TRom::decodeExponentRpm(quint8(r.byte)), r.rpm) << r.why;
        EXPECT_EQ(TRom::encodeExponentRpm(r.rpm), r.byte == 0 ? 0 : r.byte) << r.why;
    }
    EXPECT_EQ(TRom::encodeExponentRpm(450), 0);
    EXPECT_EQ(TRom::encodeExponentRpm(995), 64) << "rounds up to the next representable speed";
    EXPECT_EQ(TRom::encodeExponentRpm(9000), 255);
}

TEST(Encoding, RpmScalesPerFamily)
{
    TRom rom;
    loaded(rom, "p28");
    const int lo = rom.address(aeRpmScaleLo), hi = rom.address(aeRpmScaleHi);
    rom.buffer().writeByte(lo + 2, 100);
    EXPECT_EQ(rom.rpm(false, 2), 1562) << "low cam: exponent encoding";
    rom.buffer().writeByte(hi + 2, 100);
    EXPECT_EQ(rom.rpm(true, 2), 3521) << "high cam: 100 * 35.21259";
    EXPECT_EQ(rom.rpm(false, 19), 7936) << "last row reads 0xFF";
    const int depth = rom.buffer().undoStack().position();
    rom.setRpm(false, 19, 3000);
    EXPECT_EQ(rom.buffer().undoStack().position(), depth) << "last row is never written";
    rom.setRpm(false, 2, 3000);
    EXPECT_EQ(rom.rpm(false, 2), TRom::decodeExponentRpm(TRom::encodeExponentRpm(3000)));
    rom.setRpm(true, 2, 20000);
    EXPECT_EQ(rom.buffer().readByte(hi + 2), 255) << "clamped, not wrapped";
    rom.buffer().writeByte(lo + 2, 100);
    rom.setFeatureFlags(ffPeriodRevScale);
    EXPECT_EQ(rom.rpm(false, 2), 3521) << "flag 0x0800 makes the low cam linear too";

    loaded(rom, "vexorau");
    rom.buffer().writeByte(rom.address(aeRpmScaleHi), 100);
    EXPECT_EQ(rom.rpm(true, 0), int(std::nearbyint(100 * 1875000.0 / 0xAA00))) << "period constant of entry 48";

    loaded(rom, "p13");
    rom.buffer().writeWord(rom.address(aeRpmScaleLo) + 4, 625);
    EXPECT_EQ(rom.rpm(false, 2), 3000) << "16-bit period words";
    rom.buffer().writeWord(rom.address(aeRpmScaleLo) + 4, 0);
    EXPECT_EQ(rom.rpm(false, 2), 0) << "a zero period reads 0";
    EXPECT_THROW(rom.setRpm(false, 2, 0), EVexorError);
    rom.setRpm(false, 2, 2500);
    EXPECT_EQ(rom.buffer().readWord(rom.address(aeRpmScaleLo) + 4), 750);

    loaded(rom, "pr3");
    EXPECT_EQ(rom.rpm(false, 0), 450);
    EXPECT_EQ(rom.rpm(false, 16), 7350);
    EXPECT_EQ(rom.rpm(true, 16), 8975);
    rom.setRpm(false, 3, 5000);
    EXPECT_FALSE(rom.buffer().canUndo()) << "no rpm scale in the image";
    loaded(rom, "pm6");
    EXPECT_EQ(rom.rpm(true, 2), 675) << "PM6 uses list A for both cams";

    loaded(rom, "sr");
    rom.buffer().writeByte(rom.address(aeRpmScaleLo) + 1, 40);
    EXPECT_EQ(rom.rpm(false, 1), 2000);
    rom.setRpm(false, 1, 3049);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeRpmScaleLo) + 1), 60);
    rom.OBDMode = 4;
    EXPECT_EQ(rom.rpm(false, 1), 3000) << "Nissan ignores the encoding generation";
    loaded(rom, "p28");
    rom.OBDMode = 4;
    EXPECT_THROW((void)rom.rpm(false, 1), EVexorError);
}

TEST(Encoding, LoadScales)
{
    TRom rom;
    loaded(rom, "p30");
    const int at = rom.address(aeLoadScaleLo);
    rom.buffer().writeByte(at + 9, 12);
    EXPECT_EQ(rom.load(false, 9), rom.lookupScale(0xFF)) << "the last column reads 0xFF";
    rom.setLoad(false, 9, 500);
    EXPECT_EQ(rom.buffer().readByte(at + 9), 0) << "and is written as 0";
    rom.setLoad(false, 3, 663);
    EXPECT_EQ(rom.buffer().readByte(at + 3), 152) << "scale form: x = 722/7.221 = 99.99, (x-24)*2 = 151.97";
    EXPECT_EQ(rom.load(true, 3), rom.load(false, 3)) << "P30 shares one load scale";

    loaded(rom, "pr3");
    EXPECT_EQ(rom.load(false, 0), 138);
    EXPECT_EQ(rom.load(false, 13), 1035);
    EXPECT_EQ(rom.load(false, 14), 1104);

    loaded(rom, "vg");
    rom.buffer().writeByte(rom.address(aeLoadScaleHi) + 15, 77);
    EXPECT_EQ(rom.load(true, 15), 77) << "Nissan loads are raw bytes, last column included";
    rom.setLoad(true, 15, 300);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeLoadScaleHi) + 15), 255);
}

TEST(Encoding, FuelValuesAndColumnRewrite)
{
    TRom rom;
    loaded(rom, "p28");
    const int base = rom.address(aeFuelLo), cols = 10, rows = 20;
    const int multAt = base + cols * rows + 4;
    // Column 4: cells 40 each with multiplier 2 -> 20.0.
    for (int r = 0; r < rows; ++r)
        rom.buffer().writeByte(base + cols * r + 4, 40);
    rom.buffer().writeByte(multAt, 2);
    rom.buffer().markSaved();
    EXPECT_DOUBLE_EQ(rom.tableValue(4, 0, 0), 20.0);

    // A value above the column maximum raises the multiplier to ceil(200/63.75) = 4
    // and rescales every cell, rounding up.
    rom.setTableValue(4, 7, 200, 0);
    EXPECT_EQ(rom.buffer().readByte(multAt), 4);
    EXPECT_EQ(rom.cellByte(4, 7, 0), 200);
    EXPECT_EQ(rom.cellByte(4, 0, 0), 20);
    EXPECT_DOUBLE_EQ(rom.tableValue(4, 0, 0), 20.0);
    rom.buffer().undo();
    EXPECT_EQ(rom.buffer().readByte(multAt), 2) << "one undo restores multiplier and cells";
    EXPECT_EQ(rom.cellByte(4, 7, 0), 40);
    EXPECT_FALSE(rom.buffer().modified());

    // A smaller value never lowers the multiplier.
    rom.buffer().writeByte(multAt, 4);
    rom.setTableValue(4, 0, 5.1, 0);
    EXPECT_EQ(rom.buffer().readByte(multAt), 4);
    EXPECT_EQ(rom.cellByte(4, 0, 0), 6) << "ceil(5.1*4/4) = 6: fuel rounds up";
    rom.setTableValue(4, 0, -3, 0);
    EXPECT_EQ(rom.cellByte(4, 0, 0), 0) << "negative fuel counts as 0";
    rom.setTableValue(4, 0, 1e9, 0);
    EXPECT_EQ(rom.buffer().readByte(multAt), 255);
    EXPECT_EQ(rom.cellByte(4, 0, 0), 255);
    EXPECT_THROW(rom.setTableValue(4, 0, NAN, 0), EVexorError);

    // Multiplier 0 and a value not above the column maximum: refused, not divided by zero.
    for (int r = 0; r < rows; ++r)
        rom.buffer().writeByte(base + cols * r + 5, 0);
    rom.buffer().writeByte(base + cols * rows + 5, 0);
    const int depth = rom.buffer().undoStack().position();
    EXPECT_THROW(rom.setTableValue(5, 0, 0, 0), EVexorError);
    EXPECT_EQ(rom.buffer().undoStack().position(), depth) << "a refused write leaves no open group";
    rom.setTableValue(5, 0, 10, 0);
    EXPECT_EQ(rom.buffer().readByte(base + cols * rows + 5), 1);
}

TEST(Encoding, Obd0FuelExponentMultiplier)
{
    TRom rom;
    loaded(rom, "pr3");
    const int base = rom.address(aeFuelLo), cols = 15, rows = 17;
    const int multAt = base + cols * rows + 2;
    for (int r = 0; r < rows; ++r)
        rom.buffer().writeByte(base + cols * r + 2, 100);
    rom.buffer().writeByte(multAt, 1);
    EXPECT_DOUBLE_EQ(rom.tableValue(2, 0, 0), 50.0) << "100 * 2^1 / 4";
    rom.buffer().writeByte(multAt, 200);
    EXPECT_DOUBLE_EQ(rom.tableValue(2, 0, 0), 25.0) << "a stored exponent above 128 reads as 0";
    // The rewrite uses the same effective exponent 0: values stay, the written cell is ceil(30*4/1).
    rom.setTableValue(2, 3, 30, 0);
    EXPECT_EQ(rom.cellByte(2, 3, 0), 120);
    EXPECT_EQ(rom.cellByte(2, 0, 0), 100);
    EXPECT_DOUBLE_EQ(rom.tableValue(2, 0, 0), 25.0);
    // Above the maximum: f = ceil(130/63.75) = 3, exponent ceil(log2 3) = 2.
    rom.setTableValue(2, 3, 130, 0);
    EXPECT_EQ(rom.buffer().readByte(multAt), 2);
    EXPECT_EQ(rom.cellByte(2, 3, 0), 130);
    EXPECT_EQ(rom.cellByte(2, 0, 0), 25);
}

TEST(Encoding, IgnitionValues)
{
    TRom rom;
    loaded(rom, "p28");
    struct Row {
        double degrees;
        int byte;
        const char* why;
    };
    const Row obd1[] = {
        {10, 64, "10*4+24"},
        {-10, 0, "clamped to -6 -> 0"},
        {99, 255, "clamped to 57.75 -> 255"},
        {10.125, 64, "40.5+24 = 64.5 rounds half to even"},
        {10.375, 66, "65.5 rounds to 66"},
    };
    for (const Row& r : obd1) {
        rom.setTableValue(1, 1, r.degrees, 2);
        EXPECT_EQ(rom.cellByte(1, 1, 2), r.byte) << r.why;
    }
    rom.IgnitionOffset = 4;
    rom.setTableValue(1, 1, 14, 2);
    EXPECT_EQ(rom.cellByte(1, 1, 2), 64) << "the display offset is taken off before encoding";
    EXPECT_DOUBLE_EQ(rom.tableValue(1, 1, 2), 14);

    loaded(rom, "pr3");
    rom.IgnitionOffset = 0;
    const Row obd0[] = {{9, 40, "9/0.36+15"}, {-20, 0, "clamped to -5.4"}, {100, 255, "clamped to 86.4"}};
    for (const Row& r : obd0) {
        rom.setTableValue(1, 1, r.degrees, 2);
        EXPECT_EQ(rom.cellByte(1, 1, 2), r.byte) << r.why;
    }
    EXPECT_NEAR(rom.tableValue(1, 1, 2), (255 - 15) * 0.36, 1e-9);
    EXPECT_THROW((void)rom.tableValue(0, 0, 4), EVexorError);
    EXPECT_THROW(rom.setCellByte(0, 0, 7, 1), EVexorError);
    EXPECT_THROW((void)rom.cellByte(15, 0, 0), EVexorError);
}

TEST(Encoding, InterpolationIsBilinearOnTheImageScales)
{
    TRom rom;
    loaded(rom, "p13"); // fuel cells are the values themselves
    const int c0 = 2, r0 = 3;
    rom.setTableValue(c0, r0, 10, 0);
    rom.setTableValue(c0 + 1, r0, 30, 0);
    rom.setTableValue(c0, r0 + 1, 50, 0);
    rom.setTableValue(c0 + 1, r0 + 1, 70, 0);
    const double la = rom.load(false, c0), lb = rom.load(false, c0 + 1);
    const double ra = rom.rpm(false, r0), rb = rom.rpm(false, r0 + 1);
    const double u = 0.25, v = 0.5;
    const double expected = (10 + 20 * u) + ((50 + 20 * u) - (10 + 20 * u)) * v;
    EXPECT_NEAR(rom.interpolatedValue(0, la + u * (lb - la), ra + v * (rb - ra)), expected, 1e-9);
    EXPECT_NEAR(rom.interpolatedValue(0, lb, rb), 70, 1e-9) << "exactly on a breakpoint";
    EXPECT_THROW((void)rom.interpolatedValue(4, 0, 0), EVexorError);
    // Equal neighbouring breakpoints: fraction 0, no division by zero.
    rom.buffer().writeWord(rom.address(aeRpmScaleLo) + 2 * (r0 + 1), rom.buffer().readWord(rom.address(aeRpmScaleLo) + 2 * r0));
    EXPECT_TRUE(std::isfinite(rom.interpolatedValue(0, la, ra + 1)));
}

TEST(Encoding, CorrectionCellsAndThrottleColumns)
{
    TRom rom;
    loaded(rom, "p28");
    EXPECT_DOUBLE_EQ(rom.correctionCell(0, 1, 1), 1.0);
    rom.setCorrectionCell(1, 2, 2, 0.5);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeCorrectionHi) + 10 * 2 + 2), 255) << "128/0.5 = 256 clamps, never wraps to 0";
    rom.setCorrectionCell(1, 2, 2, 1.6);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeCorrectionHi) + 22), 80);
    EXPECT_THROW(rom.setCorrectionCell(0, 0, 0, 0), EVexorError);
    EXPECT_THROW((void)rom.correctionCell(2, 0, 0), EVexorError);
    rom.CurrentTable = 3;
    EXPECT_EQ(rom.currentCam(), 1);
    rom.CurrentTable = 2;
    EXPECT_EQ(rom.currentCam(), 0);

    // Throttle columns: H = 200, L = 24 (T(L) = 0): byte 255 is 100 %.
    rom.setAddress(aeTpsLoadPair, quint16((200 << 8) | 24));
    EXPECT_EQ(rom.throttleLoad(false, 9), 100) << "the last column reads 0xFF";
    rom.buffer().writeByte(rom.address(aeLoadScaleLo) + 2, 150);
    EXPECT_EQ(rom.throttleLoad(false, 2), 0) << "at or below H: a pressure column";
    rom.setThrottleLoad(false, 2, 50);
    EXPECT_EQ(rom.buffer().readByte(rom.address(aeLoadScaleLo) + 2), 228) << "round(55*50/100)+200 = 227.5 -> 228";
    EXPECT_EQ(rom.throttleLoad(false, 2), 51);
}

// The shared conversions at the edges of their ranges; each row says why.
TEST(Encoding, PeriodThrottleAndVoltsAtTheirBounds)
{
    struct Row {
        int value;
        int expected;
        int actual;
        const char* why;
    };
    const Row rows[] = {
        {0, 0, periodWordToRpm(0), "a period of 0 reads 0 rpm, never divides"},
        {267, 7022, periodWordToRpm(267), "1 875 000 div 267, truncated"},
        {7000, 267, rpmToPeriodWord(7000), "rev limit 7000 stores 267"},
        {28, 0xFFFF, rpmToPeriodWord(28), "66 964 does not fit a word: clamped"},
        {0, 0xFFFF, rpmToPeriodWord(0), "0 rpm stores the slowest period"},
        {231, 8000, obd0PeriodByteToRpm(231), "OBD0 byte: 1 848 000 div 231"},
        {0, 0, obd0PeriodByteToRpm(0), "an OBD0 byte of 0 reads 0"},
        {7000, 0xFF, rpmToObd0PeriodByte(7000), "264 does not fit a byte: clamped"},
        {266, 7218, splitPeriodToRpm(266), "split period: 1 920 000 div 266"},
        {7200, 266, rpmToSplitPeriod(7200), "and back"},
        {24, 0, throttlePercentRounded(24), "throttle byte 24 is 0 %"},
        {231, 100, throttlePercentRounded(231), "byte 231 is 207 / 2.07 = 100 %"},
        {0, -12, throttlePercentRounded(0), "below the zero byte: -11.59 rounds to -12"},
        {100, 231, int(roundEven(throttlePercentToByte(100))), "100 % back to its byte"},
        {0, -59, sensorByteToMbar(0), "sensor form bottom"},
        {255, 1782, sensorByteToMbar(255), "1841.355 rounds to 1841, less 59"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.actual, r.expected) << r.value << ": " << r.why;
    EXPECT_NEAR(sensorByteToVolts(255), 5.0, 0.001) << "the full byte is 5 V";
    EXPECT_NEAR(sensorVoltsToByte(sensorByteToVolts(51)), 51, 1e-9);
    EXPECT_EQ(roundEven(2.5), 2) << "halves round to even";
    EXPECT_EQ(roundEven(-3.5), -4);
}
