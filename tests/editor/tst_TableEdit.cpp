#include "editor/mdlSelectionMoves.h"
#include "editor/mdlTableEdit.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlClipboard.h"
#include "settings/mdlErrors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

class TStringClipboard : public IClipboardService {
public:
    QString Text;
    [[nodiscard]] QString text() const override { return Text; }
    void setText(const QString& t) override { Text = t; }
};

// Cells listed here are not tunable; everything else is.
class TFakeCellData : public IGridCellData {
public:
    std::set<std::pair<int, int>> Untunable;
    [[nodiscard]] TCellSamples samples(int, int, int) const override { return TCellSamples::None; }
    [[nodiscard]] double measuredLambda(int, int, int) const override { return 0; }
    [[nodiscard]] quint8 knockByte(int, int, int) const override { return 0; }
    [[nodiscard]] bool isTunable(int, int col, int row) const override { return !Untunable.count({col, row}); }
};

class TableEdit : public ::testing::Test {
protected:
    void SetUp() override { load(QStringLiteral("p28")); }

    void load(const QString& family)
    {
        TRomGenOptions o;
        o.family = family;
        rom.buffer().loadBytes(generateRom(o));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        ed.setClipboard(&clip);
        ed.setLocale(QLocale::c());
    }
    QByteArray image() const
    {
        return QByteArray(reinterpret_cast<const char*>(rom.buffer().data()), rom.buffer().size());
    }
    double v(int col, int row) const { return rom.tableValue(col, row, rom.CurrentTable); }
    int undoSteps()
    {
        // Counts undo steps by undoing everything, then redoes them all.
        int n = 0;
        while (rom.buffer().canUndo()) {
            rom.buffer().undo();
            ++n;
        }
        for (int i = 0; i < n; ++i)
            rom.buffer().redo();
        return n;
    }

    TRom rom;
    TTableEditor ed{rom};
    TStringClipboard clip;
};

} // namespace

TEST_F(TableEdit, CopyGivesTabSeparatedRowsEachEndingInCrLf)
{
    rom.CurrentTable = tkLowFuel;
    const TGridRect sel{2, 4, 4, 5}; // three columns, two rows
    ed.copy(sel);
    QString expected;
    for (int row = 4; row <= 5; ++row)
        expected += QString::asprintf("%.2f\t%.2f\t%.2f\r\n", v(2, row), v(3, row), v(4, row));
    EXPECT_EQ(clip.Text, expected);

    // Views without an editable value copy empty rows.
    for (quint8 mode : {vmDifference, vmLambda, vmKnock}) {
        ed.ViewMode = mode;
        EXPECT_EQ(ed.copyText(sel), QStringLiteral("\r\n\r\n")) << int(mode);
    }
}

TEST_F(TableEdit, PasteWritesTheBlockAsOneUndoStep)
{
    for (quint8 table : {tkLowFuel, tkHighIgn}) {
        rom.CurrentTable = table;
        const QByteArray before = image();
        const QString text = table == tkLowFuel ? QStringLiteral("100\t200 300\r\n 50.5\t60\t70\r\n")
                                                : QStringLiteral("10\t12.5\t-3\n20\t21\t22");
        ASSERT_EQ(ed.pasteText({1, 2, 3, 3}, text), TPasteResult::Pasted);
        const QVector<QStringList> fields = TTableEditor::splitClipboardText(text);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(v(1 + c, 2 + r), fields[r][c].toDouble(), table == tkLowFuel ? 2.0 : 0.13)
                    << int(table) << " " << c << "," << r;
        rom.buffer().undo();
        EXPECT_EQ(image(), before) << "one undo reverts the whole paste";
    }
}

TEST_F(TableEdit, PasteRefusesTextOfAnotherShapeAndChangesNothing)
{
    const TGridRect sel{0, 0, 2, 2}; // 3 x 3
    const QString texts[] = {
        QStringLiteral("1\t2\t3\r\n4\t5\t6\r\n"),                // two lines for three rows
        QStringLiteral("1\t2\r\n4\t5\t6\r\n7\t8\t9\r\n"),        // first line short
        QStringLiteral("1\t2\t3\r\n4\t5\t6\t99\r\n7\t8\t9\r\n"), // a later line would reach past the selection
        QStringLiteral("1\t2\t3\r\n\r\n7\t8\t9\r\n"),            // an empty line in the middle
        QString(),
    };
    const QByteArray before = image();
    for (const QString& t : texts) {
        EXPECT_EQ(ed.pasteText(sel, t), TPasteResult::DoesNotFit) << t.toStdString();
        EXPECT_EQ(image(), before);
        EXPECT_FALSE(rom.buffer().canUndo());
    }
}

TEST_F(TableEdit, PasteWithANonNumberFieldWritesNothingAndLeavesNoGroupOpen)
{
    const QByteArray before = image();
    try {
        (void)ed.pasteText({0, 0, 1, 1}, QStringLiteral("10\t20\r\n30\tabc\r\n"));
        FAIL() << "expected a conversion error";
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'abc' is not a valid floating point value"));
    }
    EXPECT_EQ(image(), before);
    EXPECT_EQ(rom.buffer().undoStack().top(), 0) << "not even a group marker was pushed";

    // Locale: a comma-decimal locale reads "1,5" and rejects "1.5".
    ed.setLocale(QLocale(QLocale::German));
    rom.CurrentTable = tkLowIgn;
    ASSERT_EQ(ed.pasteText({0, 0, 0, 0}, QStringLiteral("12,5")), TPasteResult::Pasted);
    EXPECT_DOUBLE_EQ(v(0, 0), 12.5);
    EXPECT_EQ(ed.copyText({0, 0, 0, 0}), QStringLiteral("12,50\r\n"));
    EXPECT_THROW((void)ed.pasteText({0, 0, 0, 0}, QStringLiteral("1.234")), EVexorError);
}

TEST_F(TableEdit, DeleteByViewMode)
{
    rom.CurrentTable = tkLowIgn;
    const TGridRect sel{1, 1, 2, 2};
    ed.deleteCells(sel);
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 2; ++c)
            EXPECT_DOUBLE_EQ(v(c, r), 0);
    EXPECT_EQ(undoSteps(), 1);

    // Measured lambda: the samples go, the ROM stays and no undo step is left.
    QVector<QPoint> cleared;
    ed.ClearLambdaSamples = [&](int, int col, int row) { cleared << QPoint(col, row); };
    const QByteArray before = image();
    ed.ViewMode = vmLambda;
    ed.deleteCells(sel);
    EXPECT_EQ(cleared.size(), 4);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(undoSteps(), 1);

    ed.ViewMode = vmDifference;
    ed.deleteCells(sel);
    EXPECT_EQ(image(), before);
}

TEST(TableEditSteps, FuelStepUsesTheMinimumOrThePercentage)
{
    TEditSteps s;
    s.FuelStepPercent = 5;
    s.FuelMinStep = 10;
    struct Row {
        double value, up, down;
    };
    const Row rows[] = {
        {100, 110, 90},         // 5 % of 100 is below the minimum of 10
        {400, 420, 400 / 1.05}, // 5 % of 400 is 20
        {200, 210, 200 / 1.05}, // exactly at the minimum: the percentage applies
        {0, 10, -10},
    };
    for (const Row& r : rows) {
        EXPECT_DOUBLE_EQ(TTableEditor::fuelStepUp(r.value, s), r.up) << r.value;
        EXPECT_DOUBLE_EQ(TTableEditor::fuelStepDown(r.value, s), r.down) << r.value;
    }
    // A decrease undoes an increase where the percentage applies.
    EXPECT_DOUBLE_EQ(TTableEditor::fuelStepDown(TTableEditor::fuelStepUp(400, s), s), 400);
}

TEST_F(TableEdit, IncreaseAndDecreaseStepTheTargetCellsAndSkipUntunableOnes)
{
    rom.CurrentTable = tkLowIgn;
    ed.Steps.IgnitionStep = 0.5;
    TFakeCellData data;
    data.Untunable = {{2, 3}};
    ed.CellData = &data;
    const QVector<QPoint> cells = TTableEditor::rectCells({1, 3, 2, 3});
    const double a = v(1, 3), b = v(2, 3);
    ed.increase(cells);
    EXPECT_DOUBLE_EQ(v(1, 3), a + 0.5);
    EXPECT_DOUBLE_EQ(v(2, 3), b);
    ed.decrease(cells);
    ed.decrease(cells);
    EXPECT_DOUBLE_EQ(v(1, 3), a - 0.5);
    EXPECT_EQ(undoSteps(), 3);

    // Other view modes change nothing.
    const QByteArray before = image();
    ed.ViewMode = vmKnock;
    ed.increase(cells);
    EXPECT_EQ(image(), before);
}

TEST_F(TableEdit, TargetLambdaEditsWhenTheRomHasTheTable)
{
    rom.CurrentTable = tkLowFuel;
    if (rom.address(aeCorrectionLo) == 0)
        GTEST_SKIP() << "generated image has no target-lambda table";
    ed.ViewMode = vmTargetLambda;
    ed.Steps.LambdaStep = 0.1;
    const double before = rom.correctionCell(0, 0, 0);
    ed.increase({QPoint(0, 0)});
    EXPECT_GT(rom.correctionCell(0, 0, 0), before);
    ed.deleteCells({0, 0, 0, 0});
    EXPECT_NEAR(rom.correctionCell(0, 0, 0), 1.0, 1e-9);
    EXPECT_THROW((void)ed.pasteText({0, 0, 0, 0}, QStringLiteral("0")), EVexorError);
}

TEST_F(TableEdit, ATypedValueReportsWhetherTheEncodingClampedIt)
{
    struct Row {
        const char* family;
        quint8 table;
        quint8 view;
        double typed, stored;
        bool limited;
        const char* why;
    };
    const Row rows[] = {
        {"p28", tkLowIgn, vmValues, 99, 57.75, true, "OBD1 ignition ends at 57.75 degrees"},
        {"p28", tkLowIgn, vmValues, 30.1, 30.0, false, "between two quarter degrees: rounded"},
        {"p28", tkLowIgn, vmValues, 30.5, 30.5, false, "a storable value"},
        {"pm6", tkLowIgn, vmValues, 100, 86.4, true, "OBD0 ignition ends at 86.4 degrees"},
        {"sr", tkLowFuel, vmValues, 300, 255, true, "Nissan cells are bytes"},
        {"p28", tkLowFuel, vmValues, 1e6, 255 * 255 / 4.0, true, "the largest multiplier is reached"},
        {"p28", tkLowFuel, vmValues, 2000, 2000, false, "a larger multiplier holds it"},
        {"p28", tkLowFuel, vmTargetLambda, 0.3, 128 / 255.0, true, "the richest target lambda"},
        {"p28", tkLowFuel, vmTargetLambda, 1.0, 1.0, false, "lambda 1 is 128 / 128"},
    };
    for (const Row& r : rows) {
        load(QString::fromLatin1(r.family));
        rom.CurrentTable = r.table;
        ed.ViewMode = r.view;
        const TTableEditor::TTypedValue kept = ed.typeValue(1, 2, r.typed);
        EXPECT_NEAR(kept.Stored, r.stored, 0.3) << r.why;
        EXPECT_EQ(kept.Limited, r.limited) << r.why;
    }
}

TEST(TableEditSteps, TrackedCellsFollowTheTrackModeInsideTheTable)
{
    struct Row {
        quint8 mode;
        int col, row;
        int count;
    };
    const Row rows[] = {
        {tmSingleCell, 3, 4, 1},    {tmQuadCell, 3, 4, 4},      {tmQuadCell, 9, 4, 2}, // right edge: c + 1 is outside
        {tmQuadCell, 9, 19, 1},     {tmSingleColumn, 2, 0, 20}, {tmDoubleColumn, 2, 0, 40},
        {tmDoubleColumn, 9, 0, 20}, {tmSingleRow, 0, 5, 10},    {tmDoubleRow, 0, 19, 10},
    };
    for (const Row& r : rows) {
        TLivePosition live;
        live.TrackMode = r.mode;
        live.Col = r.col;
        live.Row = r.row;
        EXPECT_EQ(TTableEditor::trackedCells(live, 10, 20).size(), r.count) << int(r.mode) << " " << r.col;
    }
    TLivePosition quad;
    quad.TrackMode = tmQuadCell;
    quad.Col = 1;
    quad.Row = 1;
    EXPECT_EQ(TTableEditor::trackedCells(quad, 10, 20),
              (QVector<QPoint>{QPoint(1, 1), QPoint(2, 1), QPoint(2, 2), QPoint(1, 2)}));
}

TEST_F(TableEdit, AdjustmentsPercentAddAndSet)
{
    rom.CurrentTable = tkLowIgn;
    const TGridRect sel{0, 0, 1, 0};
    const double a = v(0, 0);
    EXPECT_FALSE(ed.adjust(sel, TAdjustKind::Percent, 0));
    EXPECT_FALSE(ed.adjust(sel, TAdjustKind::Add, 0));
    EXPECT_FALSE(rom.buffer().canUndo());
    EXPECT_TRUE(ed.adjust(sel, TAdjustKind::Add, 2));
    EXPECT_DOUBLE_EQ(v(0, 0), a + 2);
    EXPECT_TRUE(ed.adjust(sel, TAdjustKind::Set, 20));
    EXPECT_DOUBLE_EQ(v(1, 0), 20);
    EXPECT_TRUE(ed.adjust(sel, TAdjustKind::Percent, -50));
    EXPECT_DOUBLE_EQ(v(1, 0), 10);
    EXPECT_EQ(undoSteps(), 3);
}

TEST_F(TableEdit, InterpolateIsLinearInRpmAndFallsBackToRowsOnEqualRpm)
{
    rom.CurrentTable = tkLowIgn;
    const bool high = false;
    EXPECT_FALSE(ed.interpolate({0, 2, 0, 3})) << "two rows cannot be interpolated";
    ed.pasteText({0, 2, 0, 6}, QStringLiteral("10\n0\n0\n0\n30\n"));
    ASSERT_TRUE(ed.interpolate({0, 2, 0, 6}));
    const double nt = rom.rpm(high, 2), nb = rom.rpm(high, 6);
    for (int row = 3; row < 6; ++row)
        EXPECT_NEAR(v(0, row), 10 + 20 * (rom.rpm(high, row) - nt) / (nb - nt), 0.125) << row;
    EXPECT_EQ(undoSteps(), 2);

    // Equal rpm at the ends: rows spaced evenly instead of a division by zero.
    rom.setRpm(high, 6, rom.rpm(high, 2));
    if (rom.rpm(high, 6) != rom.rpm(high, 2))
        GTEST_SKIP() << "rpm scale cannot hold equal rows";
    ed.pasteText({0, 2, 0, 6}, QStringLiteral("10\n0\n0\n0\n30\n"));
    ASSERT_TRUE(ed.interpolate({0, 2, 0, 6}));
    EXPECT_DOUBLE_EQ(v(0, 3), 15);
    EXPECT_DOUBLE_EQ(v(0, 4), 20);
    EXPECT_DOUBLE_EQ(v(0, 5), 25);
}

TEST_F(TableEdit, AFailingWriteStillClosesTheGroup)
{
    rom.CurrentTable = tkLowIgn;
    const QByteArray before = image();
    int calls = 0;
    rom.setHook(TRom::OnSetTableValue, [&](double kind, double col, double row, double x) {
        if (++calls == 3)
            throw EVexorError(QStringLiteral("hook failed"));
        rom.setCellByte(int(col), int(row), int(kind), quint8(x * 4 + 24));
        return 0.0;
    });
    EXPECT_THROW(ed.adjust({0, 0, 3, 0}, TAdjustKind::Set, 5), EVexorError);
    rom.clearHooks();
    const QByteArray partial = image();
    ASSERT_NE(partial, before);
    rom.setCellByte(9, 9, tkLowIgn, 77); // an unrelated later edit
    rom.buffer().undo();
    EXPECT_EQ(image(), partial) << "the later edit is its own step";
    rom.buffer().undo();
    EXPECT_EQ(image(), before) << "the failed operation reverts whole";
    EXPECT_FALSE(rom.buffer().canUndo());
}

TEST_F(TableEdit, SmoothingPullsOutliersToTheToleranceAndLeavesSmoothTablesAlone)
{
    rom.CurrentTable = tkLowIgn;
    ed.Steps.SmoothingTolerance = 40; // 4 %
    // A straight ramp in rpm is already smooth: no undo step.
    QString ramp;
    for (int row = 0; row < 6; ++row)
        ramp += QString::number(rom.rpm(false, row) / 200.0) + QLatin1Char('\n');
    ed.pasteText({0, 0, 0, 5}, ramp);
    const int steps = undoSteps();
    EXPECT_FALSE(ed.smooth({0, 0, 0, 5}));
    EXPECT_EQ(undoSteps(), steps);

    // Along load with four columns the tolerance is t / 2: 10 % here.
    ed.Steps.SmoothingTolerance = 200;
    struct Row {
        double left, middle, right;
        double lo, hi; // where the middle must end up (ignition steps are 0.25 degrees)
    };
    const Row rows[] = {
        {20, 40, 20, 21.75, 22.25}, // spike above the line: e x (1 + t) = 22
        {20, 10, 20, 17.75, 18.25}, // dip below: 18
        {0, 10, 0, 10, 10},         // prediction 0: left alone, not zeroed
        {-4, 10, -4, -3.75, -3.25}, // negative prediction: pulled towards it, -3.6
        {20, 21, 20, 21, 21},       // inside the tolerance
    };
    for (const Row& r : rows) {
        ed.pasteText({0, 8, 3, 8}, QStringLiteral("%1 %2 %3 %3").arg(r.left).arg(r.middle).arg(r.right));
        (void)ed.smooth({0, 8, 3, 8});
        EXPECT_GE(v(1, 8), r.lo) << r.middle;
        EXPECT_LE(v(1, 8), r.hi) << r.middle;
    }
}

TEST_F(TableEdit, SmoothingOneStepOnly)
{
    rom.CurrentTable = tkLowIgn;
    ed.pasteText({0, 8, 4, 8}, QStringLiteral("20 40 20 40 20"));
    const QByteArray before = image();
    ASSERT_TRUE(ed.smooth(ed.wholeTable()));
    rom.buffer().undo();
    EXPECT_EQ(image(), before);
}

TEST(SelectionMoves, NavigateAndExtendLikeASpreadsheet)
{
    const TSelectionBounds b{1, 3, 10, 22};
    TSelectionState s{{2, 5, 3, 6}, QPoint(2, 5)};
    // Rpm moves collapse to the top-left cell.
    EXPECT_EQ(navigateRpm(s, +1, b).Sel, (TGridRect{2, 6, 2, 6}));
    EXPECT_EQ(navigateRpm(s, -1, b).Anchor, QPoint(2, 4));
    EXPECT_EQ(navigateRpm({{2, 3, 2, 3}, QPoint(2, 3)}, -1, b).Sel, (TGridRect{2, 3, 2, 3})) << "no row above";
    // Load moves keep the block; ignition tables run the other way.
    EXPECT_EQ(navigateColumn(s, +1, true, b).Sel, (TGridRect{3, 5, 4, 6}));
    EXPECT_EQ(navigateColumn(s, +1, false, b).Sel, (TGridRect{1, 5, 2, 6}));
    EXPECT_EQ(navigateColumn({{9, 5, 10, 5}, QPoint(9, 5)}, +1, true, b).Sel, (TGridRect{9, 5, 10, 5}));
    // Extending: the edge away from the anchor moves.
    EXPECT_EQ(extendRpm(s, +1, b).Sel, (TGridRect{2, 5, 3, 7}));
    EXPECT_EQ(extendRpm(s, -1, b).Sel, (TGridRect{2, 5, 3, 5}));
    EXPECT_EQ(extendRpm(extendRpm(s, -1, b), -1, b).Sel, (TGridRect{2, 4, 3, 5})) << "grows past the anchor";
    EXPECT_EQ(extendRpm({{2, 22, 2, 22}, QPoint(2, 22)}, +1, b).Sel, (TGridRect{2, 22, 2, 22}));
    EXPECT_EQ(extendMap(s, +1, true, b).Sel, (TGridRect{2, 5, 4, 6}));
    EXPECT_EQ(extendMap(s, +1, false, b).Sel, (TGridRect{2, 5, 2, 6}));
}
