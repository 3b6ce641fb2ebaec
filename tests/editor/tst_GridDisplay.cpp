#include "editor/mdlColorScales.h"
#include "editor/mdlGridDisplay.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include <vector>

namespace {

// A ROM of a generated family, loaded the way a file would be.
void loadGenerated(TRom& rom, const QString& family)
{
    TRomGenOptions o;
    o.family = family;
    rom.buffer().loadBytes(generateRom(o));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok) << family.toStdString();
}

// Scales and cell values pinned through the model's script hooks, so the
// captions below do not depend on how a family encodes them.
struct PinnedTable {
    std::vector<int> loads{500, 1013, 1014, 2013, -100};
    std::vector<int> lowRpm{800, 1600, 3200, 6000, 0};
    std::vector<int> highRpm{900, 1700, 3300, 6100, 0};
    std::map<std::tuple<int, int, int>, double> values; // kind, col, row
    double fallback = 100;

    void install(TRom& rom)
    {
        rom.setHook(TRom::OnGetMapScalar, [this](double cam, double i, double, double) {
            return double(loads.at(size_t(i)) + (cam != 0 ? 1 : 0));
        });
        rom.setHook(TRom::OnGetRevScalar, [this](double cam, double i, double, double) {
            return double((cam != 0 ? highRpm : lowRpm).at(size_t(i)));
        });
        rom.setHook(TRom::OnGetTableValue, [this](double kind, double col, double row, double) {
            auto it = values.find({int(kind), int(col), int(row)});
            return it == values.end() ? fallback : it->second;
        });
    }
};

class FakeCellData : public IGridCellData {
public:
    struct Cell {
        TCellSamples samples = TCellSamples::None;
        double lambda = 0;
        quint8 knock = 0;
        bool tunable = true;
    };
    std::map<std::tuple<int, int, int>, Cell> cells; // cam, col, row

    Cell& at(int cam, int col, int row) { return cells[{cam, col, row}]; }
    [[nodiscard]] const Cell* find(int cam, int col, int row) const
    {
        auto it = cells.find({cam, col, row});
        return it == cells.end() ? nullptr : &it->second;
    }
    TCellSamples samples(int cam, int col, int row) const override
    {
        const Cell* c = find(cam, col, row);
        return c ? c->samples : TCellSamples::None;
    }
    double measuredLambda(int cam, int col, int row) const override
    {
        const Cell* c = find(cam, col, row);
        return c ? c->lambda : 0;
    }
    quint8 knockByte(int cam, int col, int row) const override
    {
        const Cell* c = find(cam, col, row);
        return c ? c->knock : 0;
    }
    bool isTunable(int cam, int col, int row) const override
    {
        const Cell* c = find(cam, col, row);
        return c ? c->tunable : true;
    }
};

struct Look {
    QString caption;
    TColor bk = VexorColors::clWhite;
    TColor font = VexorColors::clBlack;
    TAlignment align = taLeftJustify;
};

constexpr TColor Highlight = 0x123456;
constexpr TColor HighlightText = 0xFEDCBA;

Look dataCell(const TGridDisplay& d, int col, int row, bool selected = false)
{
    Look l;
    if (selected) {
        l.bk = Highlight;
        l.font = HighlightText;
    }
    d.colorCell(col, row, l.caption, l.bk, l.font, l.align, selected);
    return l;
}

Look fixedCell(const TGridDisplay& d, int col, int row)
{
    Look l;
    d.fixedCell(col, row, l.caption, l.align);
    return l;
}

class GridDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadGenerated(rom, QStringLiteral("p28"));
        pinned.install(rom);
        display.setRom(&rom);
    }
    TRom rom;
    PinnedTable pinned;
    TGridDisplay display;
};

} // namespace

TEST_F(GridDisplayTest, HeaderCaptionsAndAlignments)
{
    struct Row {
        int col, row;
        bool psi;
        const char* caption;
        TAlignment align;
        const char* why;
    };
    const Row rows[] = {
        {0, 0, false, "Col", taLeftJustify, "corner"},
        {0, 1, false, "mbar", taLeftJustify, "load unit"},
        {0, 2, false, "vac/bst", taLeftJustify, "vacuum/boost label"},
        {0, 3, false, "800", taRightJustify, "first rpm row"},
        {0, 6, false, "6000", taRightJustify, "fourth rpm row"},
        {1, 0, false, "1", taLeftJustify, "vacuum column number"},
        {2, 0, false, "2", taLeftJustify, "load equal to atm is still vacuum"},
        {3, 0, false, "B3", taLeftJustify, "one mbar above atm is boost"},
        {1, 1, false, "500", taRightJustify, "load in mbar"},
        {5, 1, false, "-100", taRightJustify, "signed load"},
        {1, 2, false, "15.11\"", taRightJustify, "513 mbar of vacuum in inches of mercury"},
        {2, 2, false, "0.00\"", taRightJustify, "atmospheric: zero inches"},
        {5, 2, false, "32.78\"", taRightJustify, "negative load is deep vacuum"},
        // Boost headers used to show a bare number, unlike the vacuum headers.
        {3, 2, false, "0.00kg", taRightJustify, "1 mbar of boost in kg/cm2"},
        {4, 2, false, "1.02kg", taRightJustify, "1000 mbar of boost in kg/cm2"},
        {3, 2, true, "0.0psi", taRightJustify, "1 mbar of boost in psi"},
        {4, 2, true, "14.5psi", taRightJustify, "1000 mbar of boost in psi"},
        {1, 2, true, "15.11\"", taRightJustify, "psi does not touch vacuum"},
    };
    for (const Row& r : rows) {
        display.options().Units.psi = r.psi;
        const Look l = fixedCell(display, r.col, r.row);
        EXPECT_EQ(l.caption, QString::fromUtf8(r.caption)) << r.why;
        EXPECT_EQ(l.align, r.align) << r.why;
    }
}

TEST_F(GridDisplayTest, HighCamTablesUseTheHighCamScales)
{
    rom.CurrentTable = tkHighIgn;
    EXPECT_EQ(fixedCell(display, 1, 1).caption, QStringLiteral("501"));
    EXPECT_EQ(fixedCell(display, 0, 3).caption, QStringLiteral("900"));
    // 1013 + 1 on the high cam: now boost.
    EXPECT_EQ(fixedCell(display, 2, 0).caption, QStringLiteral("B2"));
}

TEST_F(GridDisplayTest, AtmosphericPressureSettingMovesTheBoostBoundary)
{
    display.options().Units.atmospheric = 1014;
    EXPECT_EQ(fixedCell(display, 3, 0).caption, QStringLiteral("3"));
    EXPECT_EQ(fixedCell(display, 3, 2).caption, QStringLiteral("0.00\""));
    display.options().Units.atmospheric = 400;
    EXPECT_EQ(fixedCell(display, 1, 0).caption, QStringLiteral("B1"));
}

TEST_F(GridDisplayTest, ThrottleColumnsWithTheItbFlag)
{
    // Load-scale bytes above the high byte of entry 49 are throttle columns;
    // with 192/24 a byte of 208 stands for 25 % throttle.
    rom.setAddress(aeTpsLoadPair, 0xC018);
    for (int c = 0; c < rom.columns() - 1; ++c)
        rom.buffer().writeByte(rom.address(aeLoadScaleLo) + c, 100);
    rom.buffer().writeByte(rom.address(aeLoadScaleLo) + 1, 208);
    EXPECT_EQ(fixedCell(display, 2, 0).caption, QStringLiteral("2")) << "no ITB flag: a pressure column";

    rom.setFeatureFlags(rom.FeatureFlags | ffITB);
    EXPECT_TRUE(display.isThrottleColumn(1));
    EXPECT_FALSE(display.isThrottleColumn(0));
    EXPECT_EQ(fixedCell(display, 2, 0).caption, QStringLiteral("TP2"));
    EXPECT_EQ(fixedCell(display, 2, 1).caption, QStringLiteral("25%"));
    EXPECT_EQ(fixedCell(display, 2, 2).caption, QString());
    EXPECT_EQ(fixedCell(display, 1, 1).caption, QStringLiteral("500")) << "pressure column beside it";
}

TEST_F(GridDisplayTest, ByteTablesOfTheNissanFamilies)
{
    TRom nissan;
    loadGenerated(nissan, QStringLiteral("sr"));
    PinnedTable p;
    p.install(nissan);
    TGridDisplay d(&nissan);
    EXPECT_EQ(fixedCell(d, 1, 0).caption, QStringLiteral("+0"));
    EXPECT_EQ(fixedCell(d, 12, 0).caption, QStringLiteral("+b"));
    EXPECT_EQ(fixedCell(d, 0, 1).caption, QStringLiteral("TTP"));
    EXPECT_EQ(fixedCell(d, 0, 2).caption, QString());
    EXPECT_EQ(fixedCell(d, 1, 2).caption, QString());

    struct Row {
        int kind;
        double v;
        const char* caption;
        TColor color;
        const char* why;
    };
    const Row rows[] = {
        {tkLowIgn, 200, "72", RGB(80, 176, 36 - 16), "ignition offset cell: less 128"},
        {tkLowIgn, 128, "0", RGB(80, 176, -16), "128 is already an offset cell"},
        {tkLowIgn, 100, "100", IgnitionColor(100), "plain ignition byte"},
        {tkLowFuel, 200, "8", RGB(80, 176, 4 - 16), "fuel offset cell: less 192"},
        {tkLowFuel, 150, "-42", RGB(80, 176, -21 - 16), "fuel offset below 192 goes negative"},
        {tkLowFuel, 20, "20", FuelColor(200), "plain fuel byte: colour of ten times"},
    };
    for (const Row& r : rows) {
        nissan.CurrentTable = quint8(r.kind);
        p.values[{r.kind, 0, 0}] = r.v;
        const Look l = dataCell(d, 0, 0);
        EXPECT_EQ(l.caption, QString::fromUtf8(r.caption)) << r.why;
        EXPECT_EQ(l.bk, r.color) << r.why;
    }

    // Duty cycle: load x 0.125 x (shown / 128 + 1) / period x 100.
    d.options().ViewMode = vmDutyCycle;
    nissan.CurrentTable = tkLowFuel;
    p.values[{tkLowFuel, 3, 3}] = 64; // load 2013, 6000 rpm: period 20 ms
    EXPECT_NEAR(d.dutyCycle(3, 3), 2013 * 0.125 * 1.5 / 20 * 100, 1e-9);
    EXPECT_EQ(dataCell(d, 3, 3).bk, FuelColor(640));
    p.values[{tkLowFuel, 3, 3}] = 128; // not above 128: no offset, plain colour
    EXPECT_NEAR(d.dutyCycle(3, 3), 2013 * 0.125 * 2 / 20 * 100, 1e-9);
    EXPECT_EQ(dataCell(d, 3, 3).bk, FuelColor(1280));
    p.values[{tkLowFuel, 3, 3}] = 224; // shown 32
    EXPECT_NEAR(d.dutyCycle(3, 3), 2013 * 0.125 * 1.25 / 20 * 100, 1e-9);
    EXPECT_EQ(dataCell(d, 3, 3).bk, RGB(80, 176, 16 - 16));
}

TEST_F(GridDisplayTest, ValuesView)
{
    pinned.values[{tkLowIgn, 1, 1}] = 12.5;
    pinned.values[{tkLowIgn, 1, 2}] = -3.25;
    pinned.values[{tkLowFuel, 1, 1}] = 250.4;
    pinned.values[{tkLowFuel, 1, 2}] = 900;

    rom.CurrentTable = tkLowIgn;
    Look l = dataCell(display, 1, 1);
    EXPECT_EQ(l.caption, QStringLiteral("12.50"));
    EXPECT_EQ(l.bk, IgnitionColor(12.5));
    EXPECT_EQ(l.align, taRightJustify);
    EXPECT_EQ(dataCell(display, 1, 2).caption, QStringLiteral("-3.25"));

    rom.CurrentTable = tkLowFuel;
    l = dataCell(display, 1, 1);
    EXPECT_EQ(l.caption, QStringLiteral("250"));
    EXPECT_EQ(l.bk, FuelColor(250.4));

    // The colour follows the fuel actually delivered: value x final multiplier.
    rom.setAddress(aeMainFuel, 0x7F00);
    rom.buffer().writeWord(0x7F00, 0x4000);
    rom.setFeatureFlag(ffFinalMultiplier, true);
    ASSERT_DOUBLE_EQ(rom.finalMultiplier(), 0.5);
    l = dataCell(display, 1, 2);
    EXPECT_EQ(l.caption, QStringLiteral("900"));
    EXPECT_EQ(l.bk, FuelColor(450));
}

TEST_F(GridDisplayTest, DutyCycleView)
{
    display.options().ViewMode = vmDutyCycle;
    rom.CurrentTable = tkLowFuel;
    pinned.values[{tkLowFuel, 0, 3}] = 100; // 6000 rpm: period 20 ms
    // 0.0173 x (100 + 148 / 4) = 2.3701 ms of 20 ms.
    EXPECT_NEAR(display.dutyCycle(0, 3), 11.8505, 1e-9);
    Look l = dataCell(display, 0, 3);
    EXPECT_EQ(l.caption, QStringLiteral("12%"));
    EXPECT_EQ(l.bk, FuelColor(100));

    display.options().InjectorLatency = 1000;
    EXPECT_NEAR(display.dutyCycle(0, 3), 0.0173 * 350 / 20 * 100, 1e-9);
    // An rpm of 0 counts as a period of 120 s instead of dividing by zero.
    pinned.values[{tkLowFuel, 0, 4}] = 100;
    EXPECT_NEAR(display.dutyCycle(0, 4), 0.0173 * 350 / 120000 * 100, 1e-12);
    EXPECT_EQ(dataCell(display, 0, 4).caption, QStringLiteral("0%"));
}

TEST_F(GridDisplayTest, TargetLambdaView)
{
    display.options().ViewMode = vmTargetLambda;
    rom.CurrentTable = tkLowFuel;
    rom.setCorrectionCell(0, 2, 1, 0.8);
    rom.setCorrectionCell(1, 2, 1, 1.0);
    Look l = dataCell(display, 2, 1);
    EXPECT_EQ(l.caption, QStringLiteral("0.80"));
    EXPECT_EQ(l.bk, LambdaColor(0.8));
    display.options().Units.afr = true;
    EXPECT_EQ(dataCell(display, 2, 1).caption, QStringLiteral("11.76"));
    rom.CurrentTable = tkHighFuel;
    EXPECT_EQ(dataCell(display, 2, 1).caption, QStringLiteral("14.70")) << "high-cam target table";
    // Without a target table there is nothing to show.
    rom.setAddress(aeCorrectionHi, 0);
    EXPECT_EQ(dataCell(display, 2, 1).caption, QString());
}

TEST_F(GridDisplayTest, DatalogViewsAreBlankWithoutData)
{
    rom.setCorrectionCell(0, 0, 0, 1.0);
    for (quint8 mode : {vmDifference, vmLambda, vmKnock}) {
        display.options().ViewMode = mode;
        const Look l = dataCell(display, 0, 0);
        EXPECT_EQ(l.caption, QString()) << int(mode);
        EXPECT_EQ(l.bk, VexorColors::clWhite) << int(mode);
    }
}

TEST_F(GridDisplayTest, DatalogViews)
{
    FakeCellData data;
    display.setCellData(&data);
    rom.CurrentTable = tkLowFuel;
    rom.setCorrectionCell(0, 1, 1, 0.8);
    rom.setCorrectionCell(0, 2, 1, 0.8);
    data.at(0, 1, 1) = {TCellSamples::Enough, 0.88, 0, true};
    data.at(0, 2, 1) = {TCellSamples::Few, 0.88, 0, true};
    data.at(1, 1, 1) = {TCellSamples::Enough, 1.2, 0, true}; // other cam: not shown
    data.at(0, 3, 1) = {TCellSamples::None, 0, 10, true};
    data.at(0, 4, 1) = {TCellSamples::None, 0, 0, true};

    struct Row {
        quint8 mode;
        bool afr;
        int col;
        const char* caption;
        TColor bk;
        const char* why;
    };
    const Row rows[] = {
        {vmDifference, false, 1, "-10.00%", DifferenceColor(-10, 20, 3, -20), "enough samples: (0.8-0.88)/0.8"},
        {vmDifference, false, 2, "", VexorColors::clWhite, "few samples: no caption, no colour"},
        {vmLambda, false, 1, "0.880", LambdaColor(0.88), "enough samples"},
        {vmLambda, false, 2, "(0.880)", LambdaColor(0.88), "few samples in brackets"},
        {vmLambda, true, 1, "12.94", LambdaColor(0.88), "as AFR"},
        {vmLambda, true, 2, "(12.94)", LambdaColor(0.88), "few samples as AFR"},
        {vmLambda, false, 3, "", VexorColors::clWhite, "no samples"},
        {vmKnock, false, 3, "-2.50", IgnitionColor(2.5 * 6 + 16), "knock byte 10 is 2.5 degrees"},
        {vmKnock, false, 4, "", VexorColors::clWhite, "no knock"},
    };
    for (const Row& r : rows) {
        display.options().ViewMode = r.mode;
        display.options().Units.afr = r.afr;
        const Look l = dataCell(display, r.col, 1);
        EXPECT_EQ(l.caption, QString::fromUtf8(r.caption)) << r.why;
        EXPECT_EQ(l.bk, r.bk) << r.why;
    }

    display.options().ViewMode = vmLambda;
    display.options().Units.afr = false;
    rom.CurrentTable = tkHighFuel;
    EXPECT_EQ(dataCell(display, 1, 1).caption, QStringLiteral("1.200")) << "high-cam tables show high-cam data";
}

TEST_F(GridDisplayTest, SelectedCellsKeepTheHighlightButShowTheirCaption)
{
    pinned.values[{tkLowFuel, 0, 0}] = 300;
    const Look l = dataCell(display, 0, 0, true);
    EXPECT_EQ(l.caption, QStringLiteral("300"));
    EXPECT_EQ(l.bk, Highlight);
    EXPECT_EQ(l.font, HighlightText);
}

TEST_F(GridDisplayTest, LiveTrackingByTrackMode)
{
    TLivePositionState live;
    live.Position = {true, 2, 3, false, tmSingleCell};
    display.setLiveSource(&live);
    rom.CurrentTable = tkLowFuel;

    using Cells = std::vector<std::pair<int, int>>;
    const Cells probes = {{2, 3}, {3, 3}, {2, 4}, {3, 4}, {1, 3}, {2, 2},
                          {2, 0}, {3, 0}, {2, 5}, {0, 3}, {4, 4}, {1, 1}};
    struct Row {
        quint8 mode;
        Cells tracked; // among the probes
    };
    const Row rows[] = {
        {tmSingleCell, {{2, 3}}},
        {tmQuadCell, {{2, 3}, {3, 3}, {2, 4}, {3, 4}}},
        {tmSingleColumn, {{2, 3}, {2, 4}, {2, 2}, {2, 0}, {2, 5}}},
        {tmSingleRow, {{2, 3}, {3, 3}, {1, 3}, {0, 3}}},
        {tmDoubleColumn, {{2, 3}, {3, 3}, {2, 4}, {3, 4}, {2, 2}, {2, 0}, {3, 0}, {2, 5}}},
        {tmDoubleRow, {{2, 3}, {3, 3}, {2, 4}, {3, 4}, {1, 3}, {0, 3}, {4, 4}}},
    };
    for (const Row& r : rows) {
        live.Position.TrackMode = r.mode;
        for (const auto& [c, rr] : probes) {
            const bool want = std::find(r.tracked.begin(), r.tracked.end(), std::pair{c, rr}) != r.tracked.end();
            EXPECT_EQ(display.isTracked(c, rr), want) << "mode " << int(r.mode) << " cell " << c << "," << rr;
        }
    }

    live.Position.TrackMode = tmSingleCell;
    Look l = dataCell(display, 2, 3);
    EXPECT_EQ(l.bk, VexorColors::clFuchsia);
    EXPECT_EQ(l.font, VexorColors::clBlack);
    l = dataCell(display, 2, 3, true);
    EXPECT_EQ(l.bk, VexorColors::clSilver);
    EXPECT_EQ(l.font, VexorColors::clBlack);
    // Whatever the view: a blank datalog cell still shows where the engine is.
    display.options().ViewMode = vmDifference;
    EXPECT_EQ(dataCell(display, 2, 3).bk, VexorColors::clFuchsia);
}

TEST_F(GridDisplayTest, LiveTrackingOnlyOnTheActiveCamAndWhileLive)
{
    TLivePositionState live;
    live.Position = {true, 0, 0, false, tmSingleCell};
    display.setLiveSource(&live);
    const struct {
        quint8 table;
        bool highCam;
        bool active;
        bool tracked;
    } rows[] = {
        {tkLowFuel, false, true, true},  {tkLowIgn, false, true, true},    {tkHighFuel, false, true, false},
        {tkHighIgn, false, true, false}, {tkHighFuel, true, true, true},   {tkHighIgn, true, true, true},
        {tkLowFuel, true, true, false},  {tkLowFuel, false, false, false},
    };
    for (const auto& r : rows) {
        rom.CurrentTable = r.table;
        live.Position.HighCam = r.highCam;
        live.Position.Active = r.active;
        EXPECT_EQ(display.isTracked(0, 0), r.tracked) << int(r.table) << r.highCam << r.active;
    }
}

TEST_F(GridDisplayTest, NotTunableCellsOverrideEverything)
{
    FakeCellData data;
    TLivePositionState live;
    live.Position = {true, 1, 1, false, tmSingleCell};
    display.setCellData(&data);
    display.setLiveSource(&live);
    data.at(0, 1, 1).tunable = false;
    data.at(0, 2, 1).tunable = false;
    data.at(1, 3, 1).tunable = false; // high-cam flag: not for the low-cam table

    Look l = dataCell(display, 1, 1); // tracked and not tunable
    EXPECT_EQ(l.bk, VexorColors::clWhite);
    EXPECT_EQ(l.font, VexorColors::clSilver);
    EXPECT_FALSE(l.caption.isEmpty()) << "the value stays readable";
    l = dataCell(display, 2, 1, true);
    EXPECT_EQ(l.bk, VexorColors::clSilver);
    EXPECT_EQ(l.font, VexorColors::clGray);
    EXPECT_EQ(dataCell(display, 3, 1).font, VexorColors::clBlack);
}

TEST_F(GridDisplayTest, NothingWithoutARomOrWhileLoading)
{
    EXPECT_EQ(display.gridColCount(), rom.columns() + 1);
    EXPECT_EQ(display.gridRowCount(), rom.rows() + 3);
    display.options().Loading = true;
    EXPECT_EQ(fixedCell(display, 0, 0).caption, QString());
    EXPECT_EQ(dataCell(display, 0, 0).caption, QString());
    EXPECT_EQ(display.gridColCount(), 11);
    EXPECT_EQ(display.gridRowCount(), 23);

    TRom empty;
    TGridDisplay none(&empty);
    EXPECT_EQ(fixedCell(none, 0, 0).caption, QString());
    EXPECT_EQ(dataCell(none, 0, 0).caption, QString());
    EXPECT_EQ(none.gridColCount(), 11);
    TGridDisplay null;
    EXPECT_EQ(dataCell(null, 0, 0).caption, QString());
    EXPECT_EQ(null.gridRowCount(), 23);
}

TEST_F(GridDisplayTest, CellsOutsideTheTableAndFailingHooksDrawBlank)
{
    const int cols = rom.columns(), rows = rom.rows();
    EXPECT_EQ(dataCell(display, cols, 0).caption, QString());
    EXPECT_EQ(dataCell(display, 0, rows).caption, QString());
    EXPECT_EQ(dataCell(display, -1, 0).caption, QString());
    EXPECT_EQ(fixedCell(display, cols + 1, 1).caption, QString());
    EXPECT_EQ(fixedCell(display, 0, rows + 3).caption, QString());

    // A script hook that fails must not take the paint handler down.
    rom.setHook(TRom::OnGetTableValue,
                [](double, double, double, double) -> double { throw EVexorError(QStringLiteral("script failed")); });
    Look l;
    EXPECT_NO_THROW(l = dataCell(display, 0, 0));
    EXPECT_EQ(l.caption, QString());
    EXPECT_EQ(l.bk, VexorColors::clWhite);
    rom.setHook(TRom::OnGetMapScalar,
                [](double, double, double, double) -> double { throw EVexorError(QStringLiteral("script failed")); });
    EXPECT_EQ(fixedCell(display, 1, 1).caption, QString());
    EXPECT_EQ(fixedCell(display, 0, 0).caption, QStringLiteral("Col"));
}

TEST_F(GridDisplayTest, EditorKeyFilter)
{
    for (QChar ch : QStringLiteral("0123456789.%"))
        EXPECT_TRUE(TGridDisplay::acceptEditKey(ch)) << int(ch.unicode());
    for (int k : {8, 13, 27, 127})
        EXPECT_TRUE(TGridDisplay::acceptEditKey(QChar(k))) << k;
    // No negative numbers in place, no letters, no separators of other locales.
    for (QChar ch : QStringLiteral("-+eE, a"))
        EXPECT_FALSE(TGridDisplay::acceptEditKey(ch)) << int(ch.unicode());
}

TEST_F(GridDisplayTest, EditorTextByCell)
{
    pinned.values[{tkLowFuel, 1, 2}] = 123.456;
    rom.setCorrectionCell(0, 1, 2, 0.8);
    struct Row {
        quint8 mode;
        bool afr;
        int col, row;
        bool opens;
        const char* text;
        const char* why;
    };
    const Row rows[] = {
        {vmValues, false, 0, 4, true, "1600", "rpm header"},
        {vmValues, false, 2, 1, true, "1013", "load header"},
        {vmValues, false, 2, 0, false, "", "column number: no editor"},
        {vmValues, false, 2, 2, false, "", "vacuum/boost: no editor"},
        {vmValues, false, 0, 0, false, "", "corner"},
        {vmValues, false, 5, 7, true, "123.46", "data cell shows the selection's top-left value"},
        {vmTargetLambda, false, 5, 7, true, "0.80", "target lambda"},
        {vmTargetLambda, true, 5, 7, true, "11.76", "target lambda as AFR"},
        {vmTargetLambda, false, 0, 4, true, "1600", "headers open in the target view too"},
        {vmDutyCycle, false, 5, 7, false, "", "duty cycle is not edited in place"},
        {vmDifference, false, 0, 4, false, "", "datalog views open no editor"},
        {vmValues, false, 0, 3 + 20, false, "", "rpm header past the table"},
    };
    for (const Row& r : rows) {
        display.options().ViewMode = r.mode;
        display.options().Units.afr = r.afr;
        QString text;
        EXPECT_EQ(display.editText(r.col, r.row, 1, 2, text), r.opens) << r.why;
        if (r.opens) {
            EXPECT_EQ(text, QString::fromUtf8(r.text)) << r.why;
        }
    }
}
