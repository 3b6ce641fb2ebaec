#include "editor/mdlColorScales.h"
#include "editor/mdlGraphGeometry.h"
#include "editor/ui/VexorGraph.h"
#include "editor/ui/mdlGraphPaint.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <QImage>
#include <QPainter>
#include <functional>
#include <gtest/gtest.h>

namespace {

// A loaded ROM whose scales and values come from the test through the
// model's script hooks, so every expected pixel is known.
struct GraphRom {
    TRom rom;
    TGridDisplay display{&rom};
    std::function<int(int)> load = [](int c) { return 500 + 100 * c; };
    std::function<int(int)> rpm = [](int r) { return 1000 + 500 * r; };
    std::function<double(int, int)> value = [](int c, int r) { return 10.0 + c + r; };

    explicit GraphRom(quint8 table = tkLowIgn)
    {
        TRomGenOptions o;
        rom.buffer().loadBytes(generateRom(o));
        EXPECT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        rom.CurrentTable = table;
        rom.setHook(TRom::OnGetMapScalar, [this](double, double i, double, double) { return double(load(int(i))); });
        rom.setHook(TRom::OnGetRevScalar, [this](double, double i, double, double) { return double(rpm(int(i))); });
        rom.setHook(TRom::OnGetTableValue,
                    [this](double, double c, double r, double) { return value(int(c), int(r)); });
    }
    [[nodiscard]] TGraphTable table(TGraphOptions o = {}) const { return TGraphTable::build(display, o); }
};

} // namespace

TEST(ThreeD, ProjectsByTheFixedObliqueView)
{
    // Expected points worked out by hand from the three angles 25, 41 and 17 degrees.
    struct Case {
        double x, y, z;
        QPoint origin, expected;
    } cases[] = {
        {100, 0, 0, {0, 0}, {69, 23}},  // load runs right and down
        {0, 100, 0, {0, 0}, {0, -95}},  // value runs straight up
        {0, 0, 100, {0, 0}, {72, -22}}, // rpm runs right and up, into the picture
        {37, 55, 210, {15, 300}, {192, 210}}, {-40, -20, 5, {100, 100}, {76, 109}},
    };
    TThreeD view;
    for (const Case& c : cases) {
        view.Origin = c.origin;
        EXPECT_EQ(view.project(c.x, c.y, c.z), c.expected) << c.x << "," << c.y << "," << c.z;
    }
}

TEST(Graph3D, LaysTheBoxOutOrFallsBackToTheMiddle)
{
    GraphRom g;
    const TGraphTable t = g.table();
    struct Case {
        const char* what;
        std::array<double, 3> angles;
        int width, height;
        bool fallback;
    } cases[] = {
        {"usual panel", {25, 41, 17}, 660, 300, false},
        {"load axis without extent", {0, 0, 0}, 660, 300, true},
        {"narrower than the margin", {25, 41, 17}, 60, 300, true},
        {"too low for the value axis", {25, 41, 17}, 660, 60, true},
    };
    for (const Case& c : cases) {
        TThreeD view;
        view.setAngles(c.angles[0], c.angles[1], c.angles[2]);
        const TGraph3D g3(t, view, c.width, c.height);
        EXPECT_EQ(g3.fallback(), c.fallback) << c.what;
        if (c.fallback) {
            EXPECT_EQ(view.Origin, QPoint((c.width - 65) / 2, (c.height - 20) / 2)) << c.what;
            EXPECT_EQ(g3.rpmScale(), 0) << c.what;
            continue;
        }
        // The whole box lies inside the bitmap, starting 15 pixels from the left.
        EXPECT_EQ(view.Origin.x(), 15);
        EXPECT_NEAR(double(g3.rpmLength()) / g3.loadLength(), 2.5, 0.05) << "rpm and load share the width 5:2";
        for (int l : {0, 1})
            for (int v : {0, 1})
                for (int r : {0, 1}) {
                    const QPoint p = g3.corner(l, v, r);
                    EXPECT_TRUE(QRect(0, 0, c.width, c.height).contains(p)) << l << v << r;
                }
        EXPECT_DOUBLE_EQ(g3.rpmScale(), double(g3.rpmLength()) / (t.rpm(t.rows() - 1) - t.rpm(0)));
    }
}

TEST(Graph3D, PicksWithinFivePixelsAndBandsOutwards)
{
    GraphRom g;
    const TGraphTable t = g.table();
    TThreeD view;
    const TGraph3D g3(t, view, 660, 300);
    const QPoint cell = g3.cellPoint(3, 4);
    EXPECT_EQ(g3.pick(cell + QPoint(5, -5)), QPoint(3, 4));
    EXPECT_EQ(g3.pick(cell + QPoint(-5, 5)), QPoint(3, 4));
    EXPECT_EQ(g3.pick(QPoint(2, 2)), std::nullopt) << "empty space picks nothing";

    TGraphPick pick; // starts as a single cell: moving picks, pressing bands
    EXPECT_TRUE(pick.picking());
    EXPECT_EQ(pick.hit({3, 4}), (TGridRect{3, 4, 3, 4}));
    EXPECT_FALSE(pick.press()) << "a single cell starts banding";
    EXPECT_TRUE(pick.banding());
    EXPECT_EQ(pick.hit({5, 6}), (TGridRect{3, 4, 5, 6}));
    EXPECT_EQ(pick.hit({4, 5}), (TGridRect{3, 4, 5, 6})) << "a cell inside never shrinks it";
    EXPECT_EQ(pick.hit({1, 5}), (TGridRect{1, 4, 5, 6}));
    pick.release();
    EXPECT_FALSE(pick.picking()) << "a rectangle is kept until the next press";
    EXPECT_TRUE(pick.press()) << "pressing on a rectangle collapses it";
    EXPECT_EQ(pick.rect(), (TGridRect{1, 4, 1, 4}));
    EXPECT_FALSE(pick.banding());
}

TEST(Graph2D, PicksWithinTheRpmAndValueTolerances)
{
    struct Case {
        const char* what;
        quint8 table;
        double drpm, dvalue;
        bool hit;
    } cases[] = {
        {"ignition on the point", tkLowIgn, 0, 0, true},
        {"ignition 24 rpm, 0.24 degrees off", tkLowIgn, 24, 0.24, true},
        {"ignition 26 rpm off", tkLowIgn, 26, 0, false},
        {"ignition 0.3 degrees off", tkLowIgn, 0, 0.3, false},
        {"fuel 4.9 units off", tkLowFuel, -20, 4.9, true},
        {"fuel 5.2 units off", tkLowFuel, 0, -5.2, false},
    };
    for (const Case& c : cases) {
        GraphRom g(c.table);
        g.value = [](int col, int row) { return 20.0 * col + row; }; // curves 20 apart
        const TGraphTable t = g.table();
        // Large enough that a pixel is much finer than the tolerances.
        const TGraph2D g2(t, 20000, 20000);
        const double rpm = t.rpm(3) + c.drpm;
        const QPointF mouse = g2.at(rpm, t.toPlotted(t.stored(2, 3) + c.dvalue));
        const auto hit = g2.pick(mouse);
        EXPECT_EQ(hit.has_value(), c.hit) << c.what;
        if (c.hit && hit) {
            EXPECT_EQ(*hit, QPoint(2, 3)) << c.what;
        }
    }
}

TEST(Graph2D, ScalesThatWouldBeZeroGiveAFlatOrEmptyGraph)
{
    struct Case {
        const char* what;
        std::function<int(int)> rpm;
        std::function<double(int, int)> value;
        bool valueLines, rpmLines;
    } cases[] = {
        {"all zero fuel", [](int r) { return 1000 + 500 * r; }, [](int, int) { return 0.0; }, false, true},
        {"all rpm zero", [](int) { return 0; }, [](int, int) { return 50.0; }, true, true},
        {"rpm scale under a pixel", [](int) { return 2000000; }, [](int, int) { return 50.0; }, true, false},
    };
    for (const Case& c : cases) {
        GraphRom g(tkLowFuel);
        g.rpm = c.rpm;
        g.value = c.value;
        const TGraphTable t = g.table();
        const TGraph2D g2(t, 600, 300);
        EXPECT_EQ(!g2.valueLines().isEmpty(), c.valueLines) << c.what;
        EXPECT_EQ(!g2.rpmLines().isEmpty(), c.rpmLines) << c.what;
        EXPECT_TRUE(std::isfinite(g2.mouseValue(10)) && std::isfinite(g2.mouseRpm(10))) << c.what;
        if (t.range() == 0) {
            EXPECT_EQ(g2.cellPoint(1, 1).y(), 300) << "flat line on the bottom edge";
        }
        TThreeD view;
        const TGraph3D g3(t, view, 600, 300);
        EXPECT_TRUE(std::isfinite(g3.rpmScale()) && std::isfinite(g3.valueScale())) << c.what;
    }
    // The mouse conversions floor both scales at 0.01 pixels per unit.
    GraphRom g(tkLowFuel);
    g.value = [](int, int) { return 0.0; };
    const TGraphTable t = g.table();
    const TGraph2D g2(t, 600, 300);
    EXPECT_DOUBLE_EQ(g2.mouseValue(299), 1 / 0.01 / g.rom.finalMultiplier());
}

TEST(Graph2D, IgnitionAxisStartsAtMinusTenOnTheBottomEdge)
{
    GraphRom g(tkLowIgn);
    g.value = [](int c, int r) { return c == 0 && r == 0 ? -10.0 : 30.0; };
    const TGraphTable t = g.table();
    const TGraph2D g2(t, 600, 420);
    EXPECT_EQ(g2.cellPoint(0, 0).y(), 420);
    EXPECT_DOUBLE_EQ(t.range(), 40);
    EXPECT_DOUBLE_EQ(g2.valueScale(), 420 / (40 * 1.05));
    const QVector<TAxisLine> lines = g2.valueLines();
    ASSERT_EQ(lines.size(), 5); // round(40 / 11) + 1
    EXPECT_EQ(lines.first().Pos, 420);
    EXPECT_EQ(lines.first().Label, QStringLiteral("-10"));
    EXPECT_EQ(lines.last().Label, QStringLiteral("30"));
    EXPECT_NEAR(g2.mouseValue(420 - 20 * g2.valueScale()), 10, 1e-9);
}

TEST(GraphTable, BoostColumnsStopAtAtmosphericPlus67)
{
    struct Case {
        quint16 flags;
        bool showBoost;
        int columns;
    } cases[] = {
        {ffBoost1, false, 3}, // 1080 is the last column at most 1013 + 67
        {ffBoost3, true, 6},
        {0, false, 6}, // not boosted: every column
        {ffVexorAuFamily, false, 3},
    };
    for (const Case& c : cases) {
        GraphRom g(tkLowFuel);
        const int loads[] = {900, 1013, 1080, 1081, 1500, 2000};
        g.load = [&loads](int i) { return i < 6 ? loads[i] : 2500; };
        g.value = [](int col, int) { return col < 3 ? 100.0 : 900.0; };
        g.rom.FeatureFlags = c.flags;
        g.display.options().Units.atmospheric = 1013;
        TGraphOptions o;
        o.ShowBoostRange = c.showBoost;
        const TGraphTable t = g.table(o);
        const int expected = c.columns == 6 ? g.rom.columns() : c.columns;
        EXPECT_EQ(t.columns(), expected) << c.flags << c.showBoost;
        // The hidden columns leave the value range too.
        if (expected == 3) {
            EXPECT_DOUBLE_EQ(t.range(), 100 * g.rom.finalMultiplier());
        }
    }
}

TEST(GraphTable, TextsAndDragValuesFollowTheTable)
{
    GraphRom g(tkLowFuel);
    const TGraphTable t = g.table();
    EXPECT_EQ(t.title(), QString::asprintf("Low Cam Fuel x %4.3f", g.rom.finalMultiplier()));
    EXPECT_EQ(t.valueCaption(), QStringLiteral("Fuel Value"));
    EXPECT_EQ(t.selectionText({1, 2, 1, 2}), QStringLiteral("600 mbar,  2000 rpm"));
    EXPECT_EQ(t.selectionText({1, 0, 3, 2}), QStringLiteral("600 to 800 mbar,  1000 to 2000 rpm"));
    EXPECT_EQ(t.dragText(100, 110), QString::asprintf("%.2f (10%%)", t.toPlotted(110)));
    EXPECT_EQ(t.dragText(0, 5), QString::asprintf("%.2f", t.toPlotted(5))) << "no percent of nothing";
    EXPECT_DOUBLE_EQ(t.clampToCell(-20), 0) << "fuel cannot go below 0";

    TGraphOptions duration;
    duration.ShowDuration = true;
    const TGraphTable d = g.table(duration);
    EXPECT_EQ(d.valueCaption(), QStringLiteral("Duration (ms)"));
    EXPECT_NEAR(d.fromPlotted(d.toPlotted(123)), 123, 1e-9);
    EXPECT_DOUBLE_EQ(d.plotted(0, 0), g.display.injectorDuration(10));

    GraphRom ign(tkHighIgn);
    const TGraphTable i = ign.table();
    EXPECT_EQ(i.title(), QStringLiteral("High Cam Ignition"));
    EXPECT_DOUBLE_EQ(i.clampToCell(200), 57.75 + ign.rom.IgnitionOffset);
    EXPECT_DOUBLE_EQ(i.clampToCell(-50), -6 + ign.rom.IgnitionOffset);

    // The dragged cell counts with its drag value in every view.
    g.display.options().Drag = TDragCell{1, 1, 77};
    EXPECT_DOUBLE_EQ(g.table().stored(1, 1), 77);
    EXPECT_DOUBLE_EQ(g.display.cellValue(1, 1), 77);
}

TEST(GraphPaint, DrawsBackgroundsCurvesAndSurface)
{
    GraphRom g(tkLowIgn);
    g.value = [](int c, int) { return 40.0 - 5 * c; }; // flat curves, advance falling with load
    const TGraphTable t = g.table();
    QImage image(600, 300, QImage::Format_RGB32);
    {
        QPainter p(&image);
        paintGraph2D(p, TGraph2D(t, 600, 300), TGraphMarks{});
    }
    EXPECT_EQ(image.pixelColor(590, 150), GraphColors::Background2D);
    // Half way between two rows of column 2 the segment has its colour.
    const TGraph2D g2(t, 600, 300);
    const QPoint mid = ((g2.cellPoint(2, 4) + g2.cellPoint(2, 5)) / 2).toPoint();
    const TColor expected = IgnitionColor(30);
    EXPECT_EQ(image.pixelColor(mid), QColor(RedOf(expected), GreenOf(expected), BlueOf(expected)));

    TThreeD view;
    const TGraph3D g3(t, view, 600, 300);
    {
        QPainter p(&image);
        paintGraph3D(p, g3, TGraphMarks{});
    }
    EXPECT_EQ(image.pixelColor(598, 298), GraphColors::Background3D);
    // The middle of a surface piece has the colour of its four values.
    const QPoint centre = (g3.cellPoint(3, 6) + g3.cellPoint(4, 6) + g3.cellPoint(3, 7) + g3.cellPoint(4, 7)) / 4;
    const TColor piece = IgnitionColor((20.0 + 25) / 2);
    EXPECT_EQ(image.pixelColor(centre), QColor(RedOf(piece), GreenOf(piece), BlueOf(piece)));

    // The control copies what its paint handler drew.
    TVexorGraph graph;
    graph.resize(50, 40);
    graph.OnPaint = [](TVexorGraph*, QPainter& p, QSize s) { p.fillRect(QRect(QPoint(0, 0), s), Qt::red); };
    EXPECT_EQ(graph.renderImage().pixelColor(25, 20), QColor(Qt::red));
}
