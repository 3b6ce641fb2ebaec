// The tuning tools on generated images: the worked examples, one undo step
// per tool, and every refusal leaving the image untouched.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"
#include "settings/mdlInjectors.h"
#include "tools/mdlTuningTools.h"

#include <gtest/gtest.h>

namespace {

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override { load("vexorau"); }
    void load(const char* family)
    {
        rom.reset();
        rom.buffer().loadBytes(generateRom({QString::fromLatin1(family)}));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        rom.buffer().clearUndo();
    }
    int word(TRomEntry e) const { return rom.wordAt(rom.address(e)); }
    // Exactly one undo step, which restores the image.
    void expectOneUndoStep(const QByteArray& before)
    {
        ASSERT_NE(rom.buffer().fileBytes(), before);
        rom.buffer().undo();
        EXPECT_EQ(rom.buffer().fileBytes(), before);
        EXPECT_FALSE(rom.buffer().canUndo());
    }
    // Ramps the load axis of both cams so that column c holds loads[c].
    void setLoads(const QVector<double>& loads)
    {
        for (bool high : {false, true})
            for (int c = 0; c < loads.size(); ++c)
                rom.setLoad(high, c, loads[c]);
        rom.buffer().clearUndo();
    }
    TRom rom;
};

TEST(ToolsMath, MultiplierAndWords)
{
    struct Case {
        TMultiplierInputs in;
        double expected;
    };
    const Case cases[] = {
        {{240, 440, 45, 45, 1595, 1595}, 0.545}, {{240, 240, 45, 55, 1595, 1595}, 0.905},
        {{240, 240, 45, 45, 1595, 1800}, 1.129}, {{240, 0, 45, 45, 1595, 1595}, 1.0}, // division by zero shows 1
        {{240, 240, 45, 0, 1595, 1595}, 1.0},    {{240, 240, 45, 45, 0, 1595}, 1.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QString::asprintf("%.3f", fuelMultiplier(c.in)), QString::asprintf("%.3f", c.expected));

    EXPECT_EQ(scalarWordFloor(1.1), 36044);
    EXPECT_EQ(scalarWordFloor(2.0), 65535); // would wrap to 0 in 16 bits
    EXPECT_EQ(scalarWordRound(240.0 / 1), 65535);
    EXPECT_EQ(scalarWordRound(0.5), 16384);
    EXPECT_EQ(scalarWordFloor(-1), 0);
    EXPECT_EQ(offsetWord(2.5), 10);
    EXPECT_THROW((void)scalarWordFloor(std::numeric_limits<double>::infinity()), EVexorError);
    EXPECT_THROW((void)offsetWord(std::nan("")), EVexorError);
    EXPECT_FALSE(isBoostLoad(1080, 1013));
    EXPECT_TRUE(isBoostLoad(1081, 1013));
    EXPECT_DOUBLE_EQ(boostPsi(2013), 14.5);
    for (auto [in, out] : {std::pair{-45LL, -30}, {45LL, 30}, {-30LL, -30}, {7LL, 7}, {1LL << 40, 30}})
        EXPECT_EQ(clampIgnitionOffset(in), out);
}

TEST_F(ToolsTest, MultiplierScalesBothFuelMapsWithoutCorrectionItems)
{
    ASSERT_EQ(rom.fuelCorrectionCount(), 0);
    rom.CurrentTable = tkHighIgn;
    TRom reference;
    reference.buffer().loadBytes(rom.buffer().fileBytes());
    ASSERT_EQ(reference.loadFromBuffer(), TRom::LoadResult::Ok);
    const QByteArray before = rom.buffer().fileBytes();
    applyFuelMultiplier(rom, 1.1);
    EXPECT_EQ(rom.CurrentTable, tkHighIgn);
    for (int kind : {tkLowFuel, tkHighFuel})
        for (int row = 0; row < rom.rows(kind); ++row)
            for (int col = 0; col < rom.columns(kind); ++col)
                EXPECT_NEAR(rom.tableValue(col, row, kind), reference.tableValue(col, row, kind) * 1.1,
                            reference.tableValue(col, row, kind) * 0.02 + 0.02)
                    << kind << " " << col << " " << row;
    expectOneUndoStep(before);
}

TEST_F(ToolsTest, CorrectionItemsTakeScalarAndOffsetWords)
{
    rom.setFeatureFlag(ffFinalMultiplier, true);
    ASSERT_GT(rom.fuelCorrectionCount(), 1);
    const QByteArray before = rom.buffer().fileBytes();
    applyFuelMultiplier(rom, 0.545);
    EXPECT_EQ(rom.wordAt(rom.fuelCorrection(0).scalarAddress), 17858); // floor(0.545 x 32768)
    expectOneUndoStep(before);

    applyFuelCorrections(rom, {{1.5, 0}, {2.5, 9}});
    EXPECT_EQ(rom.wordAt(rom.fuelCorrection(0).scalarAddress), 49152);
    EXPECT_EQ(rom.wordAt(rom.fuelCorrection(1).scalarAddress), 65535); // clamped, not wrapped
    EXPECT_DOUBLE_EQ(fuelCorrectionValue(rom, 0).scalar, 1.5);
    expectOneUndoStep(before);

    EXPECT_THROW(applyFuelMultiplier(rom, std::nan("")), EVexorError);
    EXPECT_THROW(applyFuelCorrections(rom, {{1.0, 0}, {std::numeric_limits<double>::infinity(), 0}}), EVexorError);
    EXPECT_EQ(rom.buffer().fileBytes(), before);
}

TEST_F(ToolsTest, InjectorChoiceWritesScalarsIndexAndDeadTime)
{
    TInjectorDefinitions defs;
    defs.loadText(QStringLiteral("[Stock 240]\nSize=240\n[Big 480]\nSize=480\nOffset=100,200,300,400,500,600,700\n"));
    const QByteArray before = rom.buffer().fileBytes();
    applyInjectorByName(rom, defs, QStringLiteral("Big 480"));
    for (TRomEntry e : {aeMainFuel, aeO2Correction, aeStartupFuel, aeTipInFuel, aePostStartFuel})
        EXPECT_EQ(word(e), 16384) << e;
    EXPECT_EQ(injectorIndex(rom), 2);
    EXPECT_DOUBLE_EQ(injectorSizeCc(rom), 480);
    const QByteArray latency = rom.buffer().fileBytes().mid(rom.address(aeBatteryLatency), 21);
    EXPECT_EQ(latency, *TInjectorDefinitions::deadTimeBlockFromText(QStringLiteral("100,200,300,400,500,600,700")));
    EXPECT_EQ(quint8(latency[0]), 0xFF);
    EXPECT_EQ(quint8(latency[1]) | quint8(latency[2]) << 8, 162);
    EXPECT_EQ(injectorText(rom, defs), QStringLiteral("Big 480"));
    expectOneUndoStep(before);
    EXPECT_EQ(injectorText(rom, defs), QStringLiteral("240"));
    applyInjectorText(rom, defs, QStringLiteral("Stock 240"));
    EXPECT_EQ(injectorIndex(rom), 1);
    rom.buffer().undo();

    // A typed size: index 0, latency table untouched; text that is no number: factor 1.
    applyCustomInjector(rom, QStringLiteral("480"));
    EXPECT_EQ(word(aeMainFuel), 16384);
    EXPECT_EQ(injectorIndex(rom), 0);
    EXPECT_EQ(rom.buffer().fileBytes().mid(rom.address(aeBatteryLatency), 21),
              before.mid(rom.address(aeBatteryLatency), 21));
    expectOneUndoStep(before);
    applyCustomInjector(rom, QStringLiteral("big"));
    EXPECT_EQ(word(aeMainFuel), 32768);

    rom.buffer().undo();
    for (const QString& size : {QStringLiteral("0"), QStringLiteral("-20")})
        EXPECT_THROW(applyCustomInjector(rom, size), EVexorError) << size.toStdString();
    EXPECT_THROW(applyInjectorByName(rom, defs, QStringLiteral("Missing")), EVexorError);
    EXPECT_THROW(applyInjectorChoice(rom, 1, 0.0, std::nullopt), EVexorError);
    EXPECT_EQ(rom.buffer().fileBytes(), before);
    EXPECT_FALSE(rom.buffer().canUndo());
}

TEST_F(ToolsTest, BoostColumns)
{
    ASSERT_TRUE(rom.hasLoadScales());
    const int cols = rom.columns(tkLowIgn);
    QVector<double> loads;
    for (int c = 0; c < cols; ++c)
        loads << 300 + c * (1713.0 / (cols - 1)); // last column 2013 mbar
    setLoads(loads);
    const int first = firstBoostColumn(rom, tkLowIgn, 1013);
    ASSERT_GT(first, 0);
    ASSERT_LT(first, cols - 1);
    const int last = cols - 1;
    const int lastLoad = rom.load(false, last);
    const QByteArray before = rom.buffer().fileBytes();

    applyBoost(rom, {TIgnitionBoost::Retard, 1.0, TFuelBoost::Initialize, 0, 1013});
    for (int row = 0; row < rom.rows(tkLowIgn); row += 5) {
        const double na = rom.tableValue(first - 1, row, tkLowIgn);
        EXPECT_NEAR(rom.tableValue(last, row, tkLowIgn), std::max(na - boostPsi(lastLoad), -6.0), 0.5) << row;
        EXPECT_NEAR(rom.tableValue(first, row, tkLowFuel), rom.tableValue(first - 1, row, tkLowFuel), 0.05);
    }
    expectOneUndoStep(before);

    applyBoost(rom, {TIgnitionBoost::Initialize, 0, TFuelBoost::Efficiency, 50, 1013});
    const double n = rom.load(false, first - 1);
    for (int row = 0; row < rom.rows(tkLowFuel); row += 5) {
        const double v = rom.tableValue(first - 1, row, tkLowFuel);
        EXPECT_NEAR(rom.tableValue(last, row, tkLowFuel), v * (1 + 0.5 * (lastLoad - n) / n), v * 0.02 + 0.02);
        EXPECT_NEAR(rom.tableValue(last, row, tkHighIgn), rom.tableValue(first - 1, row, tkHighIgn), 0.3);
    }
    expectOneUndoStep(before);

    // Refusals: a first column already boosted, an NA load of 0 for the efficiency.
    setLoads({1200});
    const QByteArray boostedFirst = rom.buffer().fileBytes();
    EXPECT_THROW(applyBoost(rom, {TIgnitionBoost::Initialize, 0, TFuelBoost::NoChange, 0, 1013}), EVexorError);
    EXPECT_EQ(rom.buffer().fileBytes(), boostedFirst);
    QVector<double> zeroNa(cols, 0.0);
    zeroNa[cols - 1] = 2013;
    setLoads(zeroNa);
    const QByteArray zeroBefore = rom.buffer().fileBytes();
    EXPECT_THROW(applyBoost(rom, {TIgnitionBoost::NoChange, 0, TFuelBoost::Efficiency, 50, 1013}), EVexorError);
    EXPECT_EQ(rom.buffer().fileBytes(), zeroBefore);
}

TEST_F(ToolsTest, IgnitionOffsetAndThrottleCalibration)
{
    struct Case {
        const char* text;
        int stored;
        bool refused;
    };
    for (const Case& c : {Case{"-45", -30, false}, Case{"12", 12, false}, Case{" 99 ", 30, false},
                          Case{"abc", 30, true}, Case{"", 30, true}}) {
        if (c.refused)
            EXPECT_THROW(setIgnitionOffset(rom, QString::fromLatin1(c.text)), EVexorError) << c.text;
        else
            setIgnitionOffset(rom, QString::fromLatin1(c.text));
        EXPECT_EQ(rom.IgnitionOffset, c.stored) << c.text;
    }

    const int at = rom.address(aeTpsVoltagePair);
    const QByteArray before = rom.buffer().fileBytes();
    TTpsCalibration still; // never moved: refused, nothing written
    still.observe(128);
    EXPECT_THROW(still.apply(rom), EVexorError);
    EXPECT_EQ(rom.buffer().fileBytes(), before);

    TTpsCalibration cal;
    for (quint8 b : {120, 25, 90, 230, 200})
        cal.observe(b);
    EXPECT_EQ(cal.minText(), QStringLiteral("Min. Throttle: 0.49V"));
    EXPECT_EQ(cal.maxText(), QStringLiteral("Max. Throttle: 4.49V"));
    cal.apply(rom);
    EXPECT_EQ(rom.byteAt(at), 230);
    EXPECT_EQ(rom.byteAt(at + 2), 25);
    EXPECT_EQ(rom.byteAt(at + 1), quint8(before[at + 1]));
    expectOneUndoStep(before);
}

} // namespace
