// Auto-tune: the accumulator's conditions and limits, the statistics filter,
// the smart fill walk, the corrections and their undo steps.

#include "datalog/mdlAutoTune.h"
#include "datalog/mdlLiveCell.h"
#include "datalog/mdlWidebandConv.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "sim/mdlEcuSim.h"

#include <gtest/gtest.h>

#include <QSet>
#include <cmath>

namespace {

void loadRom(TRom& rom, const char* family)
{
    TRomGenOptions o;
    o.family = QLatin1String(family);
    rom.buffer().loadBytes(generateRom(o));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok) << family;
}

QByteArray image(const TRom& rom) { return rom.buffer().readString(0, rom.buffer().size()); }

// Part throttle at 3000 rpm, warm, in a gear the conditions accept.
TEngineState cruise()
{
    TEngineState st;
    st.rpm = 3000;
    st.mapMbar = 500;
    st.throttlePct = 30;
    st.injectorMs = 3;
    st.coolantC = 80;
    return st;
}

DatalogSample sampleWithLambda(TEngineState st, double lambda)
{
    st.o2Volts = TEngineModel::widebandVolts(lambda);
    return TEngineModel::encode(st, 0);
}

class AutoTune : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadRom(rom, "p28");
        tuner.setRom(&rom);
        tuner.Conditions.gearSet = QStringLiteral("012345");
        for (int b = 0; b < 256; ++b) // the shipped linear 0-5 V conversion
            tuner.Lambda[static_cast<size_t>(b)] = static_cast<float>(0.5 + 0.2 * sensorByteToVolts(b));
    }
    // Adds the sample after a steady one, so no throttle transient is seen.
    bool addSteady(const DatalogSample& s)
    {
        tuner.addSample(s);
        return tuner.addSample(s);
    }
    TRom rom;
    TVEXORTuner tuner;
};

TEST(AutoTuneFuel, CorrectionRules)
{
    struct Row {
        double fuel, error, expected;
        const char* why;
    } rows[] = {
        {100, 0.04, 104, "below MinFuelAdj: proportional"},
        {100, 0.05, 105, "exactly MinFuelAdj percent: still proportional"},
        {100, 0.06, 100 / 0.94, "above MinFuelAdj: divided"},
        {100, 0.20, 100 / 0.85, "clamped to MaxFuelAdj"},
        {100, -0.20, 100 / 1.15, "clamped on the rich side too"},
        {200, 0.04, 205, "proportional step limited to 5 units"},
        {200, -0.04, 195, "and to -5"},
    };
    for (const Row& r : rows)
        EXPECT_NEAR(correctedFuel(r.fuel, r.error, 5, 15), r.expected, 1e-9) << r.why;
    // MaxFuelAdj of 100 or more would divide by zero or flip the sign.
    for (double maxAdj : {100.0, 150.0}) {
        const double v = correctedFuel(100, 1.5, 5, maxAdj);
        EXPECT_TRUE(std::isfinite(v) && v > 0) << maxAdj;
    }
}

TEST_F(AutoTune, SampleConditionsCountEachRejection)
{
    struct Row {
        std::function<void(TEngineState&, double&)> change;
        quint64 TTunerRejections::*counter;
        const char* why;
    } rows[] = {
        {[](TEngineState& s, double&) { s.throttlePct = 2; }, &TTunerRejections::throttle, "throttle below 5 %"},
        {[](TEngineState&, double& l) { l = 0.7; }, &TTunerRejections::lambda, "lambda below 0.8"},
        {[](TEngineState&, double& l) { l = 1.3; }, &TTunerRejections::lambda, "lambda above 1.2"},
        {[](TEngineState& s, double&) { s.coolantC = 40; }, &TTunerRejections::temp, "engine cold"},
        {[](TEngineState& s, double&) { s.rpm = 12000; }, &TTunerRejections::rpm, "above MaxRPM"},
    };
    for (const Row& r : rows) {
        tuner.clear();
        TEngineState st = cruise();
        double lambda = 1.0;
        r.change(st, lambda);
        EXPECT_FALSE(addSteady(sampleWithLambda(st, lambda))) << r.why;
        // Counted under the condition, also the first sample, which is a transient too.
        EXPECT_EQ(tuner.rejections().*(r.counter), 2u) << r.why;
        EXPECT_EQ(tuner.rejections().total(), 2u) << r.why;
    }
    tuner.clear();
    tuner.Conditions.gearSet = QStringLiteral("2 3 4");
    EXPECT_FALSE(addSteady(sampleWithLambda(cruise(), 1.0))) << "standing still: gear 0";
    EXPECT_EQ(tuner.rejections().gear, 2u);

    tuner.Conditions.gearSet = QStringLiteral("012345");
    tuner.clear();
    const DatalogSample s = sampleWithLambda(cruise(), 1.0);
    EXPECT_FALSE(tuner.addSample(s)) << "the throttle jumped from 0";
    EXPECT_EQ(tuner.rejections().transient, 1u);
    EXPECT_TRUE(tuner.addSample(s));
    EXPECT_EQ(tuner.accepted(), 1u);
}

TEST_F(AutoTune, CachedCellFinderAgreesWithTheLiveCell)
{
    TEngineModel engine;
    const TSampleContext ctx = sampleContextFor(&rom);
    for (quint8 mode = 0; mode < 6; ++mode) {
        tuner.TrackMode = mode;
        for (int i = 0; i < 1200; ++i) {
            const DatalogSample s = engine.sampleAt(quint64(i) * 50);
            ASSERT_EQ(tuner.cellOf(s), findSampleCell(s, &rom, mode, ctx)) << int(mode) << " sample " << i;
        }
    }
    // An edited rpm scale is seen at once.
    tuner.TrackMode = 0;
    rom.setRpm(false, 3, rom.rpm(false, 4) - 1);
    for (int i = 0; i < 1200; ++i) {
        const DatalogSample s = engine.sampleAt(quint64(i) * 50);
        ASSERT_EQ(tuner.cellOf(s), findSampleCell(s, &rom, tuner.TrackMode, ctx)) << "after the edit, sample " << i;
    }
}

TEST_F(AutoTune, VtecSamplesStayOutOfTheLowCamGrids)
{
    TEngineState st = cruise();
    st.vtec = true;
    ASSERT_TRUE(addSteady(sampleWithLambda(st, 1.0)));
    int low = 0, high = 0;
    for (int c = 0; c < tuner.columns(0); ++c)
        for (int r = 0; r < tuner.rows(0); ++r)
            low += tuner.count(0, c, r);
    for (int c = 0; c < tuner.columns(1); ++c)
        for (int r = 0; r < tuner.rows(1); ++r)
            high += tuner.count(1, c, r);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 1);
}

TEST_F(AutoTune, CellTakesAtMost201Samples)
{
    const DatalogSample s = sampleWithLambda(cruise(), 1.0);
    tuner.addSample(s);
    for (int i = 0; i < 250; ++i)
        tuner.addSample(s);
    const TLiveCell cell = findSampleCell(s, &rom, 0, sampleContextFor(&rom));
    EXPECT_EQ(tuner.count(0, cell.Col, cell.Row), TVEXORTuner::MaxCellSamples);
    EXPECT_EQ(tuner.rejections().full, 250u - TVEXORTuner::MaxCellSamples);
}

TEST_F(AutoTune, QuadTrackingAtTheEdgesStaysInsideTheGrid)
{
    tuner.TrackMode = 1;
    const int C = tuner.columns(0), R = tuner.rows(0);
    struct Row {
        int col, row, cells;
    } rows[] = {{0, 0, 4}, {C - 1, 0, 2}, {0, R - 1, 2}, {C - 1, R - 1, 1}};
    for (const Row& r : rows) {
        tuner.clear();
        DatalogSample s = sampleWithLambda(cruise(), 1.0);
        s.setU8(DatalogSample::LoadColumn, static_cast<quint8>(r.col));
        s.setU8(DatalogSample::LowCamRow, static_cast<quint8>(r.row));
        addSteady(s);
        int filled = 0;
        for (int c = 0; c < C; ++c)
            for (int w = 0; w < R; ++w)
                filled += tuner.count(0, c, w) > 0;
        EXPECT_EQ(filled, r.cells) << r.col << "," << r.row;
    }
}

TEST_F(AutoTune, FilterPromotesSparseCellsAndEmptiesOutliers)
{
    tuner.Conditions.acceptance = 5;
    tuner.setCell(0, 0, 0, 5 * 1.00, 5);
    tuner.setCell(0, 1, 0, 5 * 1.02, 5);
    tuner.setCell(0, 2, 0, 5 * 0.98, 5);
    tuner.setCell(0, 3, 0, 4 * 1.01, 4); // sparse, inside the band
    tuner.setCell(0, 4, 0, 2 * 1.40, 2); // sparse, far off
    EXPECT_EQ(tuner.statistics(0).qualified, 3) << "sparse cells take no part in the statistics";
    EXPECT_EQ(tuner.filter(), 1);
    EXPECT_EQ(tuner.count(0, 3, 0), 5);
    EXPECT_NEAR(tuner.average(0, 3, 0), 1.01, 1e-12);
    EXPECT_EQ(tuner.count(0, 4, 0), 0);
}

// The walk as the rules read, followed until they first lead outside the
// grid or back onto the walk; written apart from the production walk.
QVector<QPoint> ruleWalk(int C, int R, bool* complete)
{
    QSet<int> seen;
    auto V = [&](int c, int r) { return seen.contains(c * 1000 + r); };
    QVector<QPoint> out;
    int c = C / 2 - 1, r = R / 2 - 1;
    char d = 'R';
    for (int k = 1; k <= C * R; ++k) {
        if (c < 0 || r < 0 || c >= C || r >= R || V(c, r))
            break;
        seen.insert(c * 1000 + r);
        out << QPoint(c, r);
        if (d == 'R') {
            if (k % 2 == 0 && r < R - 1 && !V(c, r + 1))
                r++, d = 'D';
            else if (c == C - 1) {
                while (r < R - 1 && V(c - 1, r))
                    r++;
                d = 'L';
            } else
                c++;
        } else if (d == 'D') {
            if (c == 0 || V(c - 1, r)) {
                if (r == R - 1) {
                    while (c > 0 && V(c, r - 1))
                        c--;
                    d = 'U';
                } else
                    r++;
            } else
                c--, d = 'L';
        } else if (d == 'L') {
            if (r > 0 && !V(c, r - 1))
                r--, d = 'U';
            else if (c > 0)
                c--;
            else {
                while (r > 0 && V(c + 1, r))
                    r--;
                d = 'R';
            }
        } else {
            if (c >= C - 1 || V(c + 1, r)) {
                if (r == 0) {
                    while (c < C - 1 && V(c, r + 1))
                        c++;
                    d = 'D';
                } else
                    r--;
            } else
                c++, d = 'R';
        }
    }
    *complete = out.size() == C * R;
    return out;
}

TEST(SmartFillWalk, VisitsEveryCellOnceAndKeepsTheRuleOrder)
{
    int brokenShapes = 0;
    for (int C = 2; C <= 24; ++C)
        for (int R = 2; R <= 24; ++R) {
            const QVector<QPoint> walk = TVEXORTuner::smartFillWalk(C, R);
            QSet<int> cells;
            for (const QPoint& p : walk) {
                ASSERT_TRUE(p.x() >= 0 && p.x() < C && p.y() >= 0 && p.y() < R) << C << "x" << R;
                cells.insert(p.x() * 1000 + p.y());
            }
            ASSERT_EQ(walk.size(), C * R) << C << "x" << R;
            ASSERT_EQ(cells.size(), C * R) << C << "x" << R << ": a cell visited twice";
            bool complete = false;
            const QVector<QPoint> rules = ruleWalk(C, R, &complete);
            ASSERT_EQ(walk.mid(0, rules.size()), rules) << C << "x" << R << ": the rule order is kept";
            brokenShapes += !complete;
        }
    EXPECT_GT(brokenShapes, 0) << "the rules alone miss cells on some shapes";
    // Shapes where the rules alone fail, as found by hand.
    for (QPoint shape : {QPoint(3, 3), QPoint(4, 5), QPoint(15, 17), QPoint(10, 15), QPoint(13, 18)}) {
        bool complete = true;
        (void)ruleWalk(shape.x(), shape.y(), &complete);
        EXPECT_FALSE(complete) << shape.x() << "x" << shape.y();
    }
}

TEST_F(AutoTune, SmartFillReplacesAHoleWithItsNeighbours)
{
    tuner.Conditions.acceptance = 1;
    for (int c = 0; c < tuner.columns(0); ++c)
        for (int r = 0; r < tuner.rows(0); ++r)
            tuner.setCell(0, c, r, 1.0 + 0.001 * ((c + r) % 3), 1);
    tuner.emptyCell(0, 4, 6);
    tuner.filter();
    EXPECT_GE(tuner.smartFillPass(), 1);
    EXPECT_EQ(tuner.count(0, 4, 6), 1);
    EXPECT_NEAR(tuner.average(0, 4, 6), 1.0, 0.003);
}

class AutoTuneMap : public AutoTune {
protected:
    void SetUp() override
    {
        AutoTune::SetUp();
        tuner.Conditions.filterData = false;
        tuner.Conditions.mapSmooth = false;
    }
    void fill(int cam, int col, int row, double lambda)
    {
        tuner.setCell(cam, col, row, lambda * tuner.Conditions.acceptance, tuner.Conditions.acceptance);
    }
};

TEST_F(AutoTuneMap, WholeMapIsOneUndoStep)
{
    TAutoTune tune(rom, tuner);
    const QByteArray before = image(rom);
    const int position = rom.buffer().undoStack().position();
    const TAutoTuneResult empty = tune.adjustMap();
    EXPECT_EQ(empty.status, TAutoTuneStatus::NoData);
    EXPECT_EQ(rom.buffer().undoStack().position(), position) << "nothing qualified: no undo step";

    fill(0, 2, 3, 0.9); // rich by 10 %: leaner fuel
    fill(1, 1, 1, 1.1); // lean by 10 %: more fuel
    const double low = rom.tableValue(2, 3, tkLowFuel), high = rom.tableValue(1, 1, tkHighFuel);
    const TAutoTuneResult r = tune.adjustMap();
    ASSERT_EQ(r.status, TAutoTuneStatus::Done);
    EXPECT_EQ(r.changed[0], 1);
    EXPECT_EQ(r.changed[1], 1);
    // Within one storable step of the exact quotient (fuel writes round up).
    EXPECT_NEAR(rom.tableValue(2, 3, tkLowFuel), low / 1.1, low * 0.03);
    EXPECT_NEAR(rom.tableValue(1, 1, tkHighFuel), high / 0.9, high * 0.03);
    EXPECT_EQ(tuner.count(0, 2, 3), 0) << "ClearLog empties used cells";
    rom.buffer().undo();
    EXPECT_EQ(image(rom), before) << "one undo takes back both maps";
}

TEST_F(AutoTuneMap, ZeroTargetCellIsSkippedAndEmptied)
{
    const int at = rom.address(correctionEntry(0)) + rom.columns(0) * 3 + 2;
    rom.buffer().writeByte(at, 0); // target lambda 0
    fill(0, 2, 3, 0.9);
    const double before = rom.tableValue(2, 3, tkLowFuel);
    TAutoTune tune(rom, tuner);
    const TAutoTuneResult r = tune.adjustMap();
    EXPECT_EQ(r.skippedNoTarget, 1);
    EXPECT_EQ(rom.tableValue(2, 3, tkLowFuel), before);
    EXPECT_EQ(tuner.count(0, 2, 3), 0);
}

TEST_F(AutoTuneMap, RowCorrectionStopsAtTheFirstUntunableCell)
{
    const int C = rom.columns(0);
    fill(0, C - 1, 4, 0.9);
    tuner.setTunable(0, C - 3, 4, false);
    QVector<double> before;
    for (int c = 0; c < C; ++c)
        before << rom.tableValue(c, 4, tkLowFuel);
    TAutoTune tune(rom, tuner);
    ASSERT_EQ(tune.adjustRows().status, TAutoTuneStatus::Done);
    for (int c = 0; c < C; ++c) {
        const bool changed = rom.tableValue(c, 4, tkLowFuel) != before[c];
        EXPECT_EQ(changed, c > C - 3 && before[c] > 0) << "column " << c;
    }
}

TEST_F(AutoTuneMap, KnockLowersTheDisplayedIgnitionMap)
{
    rom.CurrentTable = tkLowIgn;
    TAutoTune tune(rom, tuner);
    EXPECT_EQ(tune.adjustMap().status, TAutoTuneStatus::NoData);
    tuner.setKnock(0, 3, 5, 8); // 2 degrees
    const double before = rom.tableValue(3, 5, tkLowIgn);
    ASSERT_EQ(tune.adjustMap().status, TAutoTuneStatus::Done);
    EXPECT_NEAR(rom.tableValue(3, 5, tkLowIgn), before - 2, 0.26);
    EXPECT_EQ(tuner.knockByte(0, 3, 5), 0);
}

TEST(AutoTuneFamilies, TargetTableTraitMatchesTheAddressMap)
{
    for (const QString& family : romGenFamilies()) {
        TRomGenOptions o;
        o.family = family;
        TRom rom;
        rom.buffer().loadBytes(generateRom(o));
        if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
            continue;
        EXPECT_EQ(rom.traits().targetLambdaTable, rom.address(correctionEntry(0)) != 0) << family.toStdString();
        if (!hasTargetLambdaTable(rom)) {
            TVEXORTuner tuner;
            tuner.setRom(&rom);
            tuner.Conditions.filterData = false;
            tuner.setCell(0, 0, 0, 5, 5);
            TAutoTune tune(rom, tuner);
            EXPECT_EQ(tune.adjustFuelMaps().status, TAutoTuneStatus::NoTargetTable) << family.toStdString();
            EXPECT_EQ(tune.adjustRows().status, TAutoTuneStatus::NoTargetTable) << family.toStdString();
        }
    }
}

class ScriptedConversion : public IWidebandEvaluator {
public:
    bool hasFunction(const QString& name) const override { return name == QLatin1String("conv"); }
    bool evaluate(const QString& expression, double& result) override
    {
        const int b = expression.mid(5).chopped(1).toInt();
        if (b == 200)
            return false; // the function threw
        result = b / 100.0;
        return true;
    }
};

TEST(WidebandConversion, ScriptSourceAndList)
{
    TJsWidebandConvManager scripts;
    scripts.add({QStringLiteral("My sensor"), QStringLiteral("conv")});
    scripts.add({QStringLiteral("Missing"), QStringLiteral("nothere")});
    EXPECT_EQ(scripts.captions(), QStringList({QStringLiteral("JS:My sensor"), QStringLiteral("JS:Missing")}));

    ScriptedConversion eval;
    TSettings s;
    s.tuning.lambdaOffset = 0.05;
    s.tuning.sensorIndex = 2; // two table conversions, then the first script
    const TLambdaLookup l = lambdaLookupFor(s, 2, scripts, eval);
    EXPECT_FLOAT_EQ(l[100], 1.05f);
    EXPECT_FLOAT_EQ(l[200], 0.05f) << "a failing byte gives the offset alone";
    EXPECT_FLOAT_EQ(l[201], 2.06f);
    s.tuning.sensorIndex = 3;
    EXPECT_FLOAT_EQ(lambdaLookupFor(s, 2, scripts, eval)[100], 0.05f) << "no such function: 0";
    TNoScriptEvaluator none;
    s.tuning.sensorIndex = 2;
    EXPECT_FLOAT_EQ(lambdaLookupFor(s, 2, scripts, none)[100], 0.05f) << "no script host yet";
}

} // namespace
