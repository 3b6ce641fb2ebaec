// Finding the map cell of a sample: the ECU's indices, moved to the nearer
// breakpoint in the single-cell, single-column and single-row track modes,
// never past the table, never on a sample without engine speed.

#include "datalog/mdlLiveCell.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

class LiveCell : public ::testing::Test {
protected:
    void SetUp() override
    {
        TRomGenOptions o;
        o.family = QStringLiteral("p28");
        rom.buffer().loadBytes(generateRom(o));
        ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        columns = rom.columns(0);
        rows = rom.rows(0);
        ASSERT_GE(columns, 6);
        ASSERT_GE(rows, 6);
        // Breakpoints pinned through the script hooks: loads 500, 600, ...
        // (high cam +1), rpm 1000, 1500, ... (high cam +100). Indices past the
        // table fail like a script hook that throws.
        rom.setHook(TRom::OnGetMapScalar, [this](double cam, double i, double, double) {
            if (i >= columns)
                throw std::runtime_error("index");
            return 500.0 + 100 * i + (cam != 0 ? 1 : 0);
        });
        rom.setHook(TRom::OnGetRevScalar, [this](double cam, double i, double, double) {
            if (i >= rows)
                throw std::runtime_error("index");
            return 1000.0 + 500 * i + (cam != 0 ? 100 : 0);
        });
        for (int b = 0; b < 256; ++b)
            ctx.mapLookup[size_t(b)] = qint16(b * 10); // MAP mbar = byte x 10
    }

    static DatalogSample sample(int col, int lowRow, int highRow, int mapByte, int period, bool vtec = false)
    {
        DatalogSample s;
        s.setU8(DatalogSample::LoadColumn, quint8(col));
        s.setU8(DatalogSample::LowCamRow, quint8(lowRow));
        s.setU8(DatalogSample::HighCamRow, quint8(highRow));
        s.setU8(DatalogSample::Map, quint8(mapByte));
        s.setU16(DatalogSample::CrankPeriod, quint16(period));
        s.setU8(DatalogSample::Flags, vtec ? 1 : 0);
        return s;
    }

    TRom rom;
    TSampleContext ctx;
    int columns = 0;
    int rows = 0;
};

} // namespace

TEST_F(LiveCell, NearerBreakpointByTrackMode)
{
    const struct {
        const char* why;
        quint8 mode;
        DatalogSample s;
        int col, row;
        bool high;
    } cases[] = {
        // Column 3 is 800 mbar, column 4 900; row 2 is 2000 rpm, row 3 2500.
        {"load nearer the next column", 0, sample(3, 2, 0, 86, 1875000 / 2000), 4, 2, false},
        {"load nearer its own column", 0, sample(3, 2, 0, 84, 1875000 / 2000), 3, 2, false},
        {"load half way stays", 0, sample(3, 2, 0, 85, 1875000 / 2000), 3, 2, false},
        {"rpm nearer the next row", 0, sample(3, 2, 0, 80, 800), 3, 3, false},     // 2343 rpm
        {"rpm half way stays", 0, sample(3, 2, 0, 80, 750 * 10 / 9), 3, 2, false}, // 833: 2250 rpm
        {"rpm nearer its own row", 0, sample(3, 2, 0, 80, 900), 3, 2, false},      // 2083 rpm
        {"both move", 0, sample(3, 2, 0, 89, 760), 4, 3, false},                   // 2467 rpm
        {"single column moves", 2, sample(3, 2, 0, 89, 760), 4, 3, false},
        {"single row moves", 3, sample(3, 2, 0, 89, 760), 4, 3, false},
        {"quad cell keeps the ECU's cell", 1, sample(3, 2, 0, 89, 760), 3, 2, false},
        {"double column keeps it", 4, sample(3, 2, 0, 89, 760), 3, 2, false},
        {"double row keeps it", 5, sample(3, 2, 0, 89, 760), 3, 2, false},
        // High cam: row from byte 3, the high-cam breakpoints (901 mbar, 2600 rpm).
        {"high cam row byte and breakpoints", 0, sample(3, 9, 2, 84, 1875000 / 2560, true), 3, 3, true},
    };
    for (const auto& c : cases) {
        const TLiveCell cell = findSampleCell(c.s, &rom, c.mode, ctx);
        EXPECT_TRUE(cell.Valid) << c.why;
        EXPECT_EQ(cell.Col, c.col) << c.why;
        EXPECT_EQ(cell.Row, c.row) << c.why;
        EXPECT_EQ(cell.HighCam, c.high) << c.why;
    }
}

TEST_F(LiveCell, NeverMovesPastTheTable)
{
    // Last column and row: no next breakpoint to compare with.
    const TLiveCell last = findSampleCell(sample(columns - 1, rows - 1, 0, 255, 100), &rom, 0, ctx);
    EXPECT_EQ(last.Col, columns - 1);
    EXPECT_EQ(last.Row, rows - 1);
    // The ECU reporting a cell outside the table: kept as it is, never tracked on screen.
    const TLiveCell outside = findSampleCell(sample(200, 200, 0, 255, 100), &rom, 0, ctx);
    EXPECT_EQ(outside.Col, 200);
    EXPECT_EQ(outside.Row, 200);
}

TEST_F(LiveCell, FailingBreakpointKeepsTheEcusIndex)
{
    rom.setHook(TRom::OnGetMapScalar, [](double, double, double, double) -> double { throw std::runtime_error("x"); });
    rom.setHook(TRom::OnGetRevScalar, [](double, double, double, double) -> double { throw std::runtime_error("x"); });
    const TLiveCell cell = findSampleCell(sample(3, 2, 0, 255, 100), &rom, 0, ctx);
    EXPECT_TRUE(cell.Valid);
    EXPECT_EQ(cell.Col, 3);
    EXPECT_EQ(cell.Row, 2);
}

TEST_F(LiveCell, NoEngineSpeedNoMarkerNoRomGiveNoCell)
{
    const TLiveCell stopped = findSampleCell(sample(3, 2, 0, 86, 0), &rom, 0, ctx);
    EXPECT_FALSE(stopped.Valid) << "a crank period of 0 has no row";

    DatalogSample marker = sample(3, 2, 0, 86, 900);
    marker.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
    EXPECT_FALSE(findSampleCell(marker, &rom, 0, ctx).Valid);

    const TLiveCell none = findSampleCell(sample(3, 2, 0, 86, 900, true), nullptr, 0, ctx);
    EXPECT_FALSE(none.Valid);
    EXPECT_EQ(none.Col, 255);
    EXPECT_EQ(none.Row, 255);
    EXPECT_TRUE(none.HighCam) << "only the VTEC bit is taken without a ROM";
    TRom empty;
    EXPECT_FALSE(findSampleCell(sample(3, 2, 0, 86, 900), &empty, 0, ctx).Valid);
}

TEST_F(LiveCell, ThrottleColumnsOfAnItbRomCompareThrottle)
{
    rom.clearHooks();
    rom.setFeatureFlags(rom.FeatureFlags | ffITB);
    // A column pair whose throttle loads are both set and differ.
    int col = -1;
    for (int c = 0; c + 1 < columns; ++c)
        if (rom.throttleLoad(false, c) != 0 && rom.throttleLoad(false, c + 1) > rom.throttleLoad(false, c) + 2) {
            col = c;
            break;
        }
    if (col < 0)
        GTEST_SKIP() << "the generated ROM has no throttle columns";
    const int here = rom.throttleLoad(false, col);
    const int next = rom.throttleLoad(false, col + 1);
    auto throttleByte = [](int percent) { return quint8(qBound(0, int(percent * 2.07 + 24.5), 255)); };
    // MAP far above every load: only the throttle decides.
    DatalogSample s = sample(col, 2, 0, 255, 1875000 / 2000);
    s.setU8(DatalogSample::Throttle, throttleByte(next));
    EXPECT_EQ(findSampleCell(s, &rom, 0, ctx).Col, col + 1);
    s.setU8(DatalogSample::Throttle, throttleByte(here));
    EXPECT_EQ(findSampleCell(s, &rom, 0, ctx).Col, col);
}
