#include "scripting/frmScripts.h"
#include "scripting/mdlAdvTables.h"
#include "scripting/scptAdvTables.h"

#include "support/TestScriptHost.h"
#include "support/TestServices.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AdvTables : public ::testing::Test {
protected:
    void SetUp() override { host.addObject(QStringLiteral("customTable"), new TCustomTableScript(model)); }

    void add(const QString& name, quint8 width, quint8 height, const QString& onLoad = {}, const QString& onGet = {},
             const QString& onSet = {})
    {
        registry.add(TCCustomTable{name, width, height, 0, onLoad, onGet, onSet, {}, {}});
    }

    TTestScriptHost host;
    TCTableManager registry;
    TAdvTables model{host, registry};
};

TEST_F(AdvTables, ShapeDefaultHeadersAndUnknownTable)
{
    EXPECT_EQ(model.current().name, QStringLiteral("Unknown"));
    EXPECT_EQ(model.gridCols(), 11);
    EXPECT_EQ(model.gridRows(), 3);

    add(QStringLiteral("T"), 8, 4);
    model.show();
    EXPECT_TRUE(model.tableVisible());
    EXPECT_EQ(model.gridCols(), 9);
    EXPECT_EQ(model.gridRows(), 5);
    EXPECT_EQ(model.cellText(0, 0), QStringLiteral("Col"));
    EXPECT_EQ(model.cellText(0, 2), QStringLiteral("R2"));
    EXPECT_EQ(model.cellText(3, 0), QStringLiteral("2"));
    EXPECT_EQ(model.cellText(3, 2), QString()); // no getter: data cells empty
    EXPECT_FALSE(model.cellEditable(3, 2));     // ... and an empty cell opens no editor
    EXPECT_EQ(model.gridText().split(u'\n').size(), 5);

    model.initialize();
    EXPECT_EQ(model.current().name, QStringLiteral("Unknown"));
    EXPECT_EQ(model.selectedIndex(), -1);
}

TEST_F(AdvTables, OnLoadDecidesVisibilityAndSetsTheCurrentCopy)
{
    host.addCode(QStringLiteral("function no() { return false; }\n"
                                "function yes() { customTable.fixedCols = 2; customTable.Name = 42;"
                                " customTable.functions = 'A|a()'; return true; }"));
    add(QStringLiteral("Hidden"), 4, 2, QStringLiteral("no"));
    add(QStringLiteral("Shown"), 4, 2, QStringLiteral("yes"));
    QSignalSpy layouts(&model, &TAdvTables::layoutChanged);

    EXPECT_FALSE(model.select(0));
    EXPECT_FALSE(model.tableVisible());
    EXPECT_TRUE(model.select(7)); // past the end: the last table
    EXPECT_EQ(model.selectedIndex(), 1);
    EXPECT_TRUE(model.tableVisible());
    EXPECT_EQ(model.gridCols(), 6);
    EXPECT_EQ(model.current().name, QStringLiteral("42"));
    EXPECT_EQ(registry.get(1).fixedCols, 0); // the registered record is untouched
    EXPECT_EQ(registry.get(1).name, QStringLiteral("Shown"));
    EXPECT_GE(layouts.count(), 2);

    // A bad width is a script error, not a wrapped value.
    EXPECT_THROW(host.evaluate(QStringLiteral("customTable.Width = 300")), EScriptError);
    EXPECT_EQ(model.current().width, 4);
    EXPECT_EQ(host.evaluate(QStringLiteral("customTable.OnLoad")).isUndefined(), true);
}

TEST_F(AdvTables, CellsEditsAndScriptErrors)
{
    host.addCode(QStringLiteral(
        "var got = '', abc = 'ident', calls = 0;\n"
        "function gv(c, r) { ++calls; if (c == 2 && r == 2 && bad) throw new Error('x'); return c * 10 + r; }\n"
        "function sv(c, r, v) { got = c + ',' + r + ':' + typeof v + ':' + v; }\n"
        "var bad = false;"));
    add(QStringLiteral("T"), 3, 2, {}, QStringLiteral("gv"), QStringLiteral("sv"));
    model.show();
    EXPECT_EQ(model.cellText(2, 1), QStringLiteral("21"));
    EXPECT_EQ(model.cellText(0, 0), QStringLiteral("0")); // headers come from the getter too

    EXPECT_EQ(setValueCall(QStringLiteral("sv"), 2, 1, QStringLiteral("12.5")), QStringLiteral("sv(2,1,12.5)"));
    EXPECT_TRUE(model.setCellText(2, 1, QStringLiteral("12.5")));
    EXPECT_EQ(host.evaluate(QStringLiteral("got")).toString(), QStringLiteral("2,1:number:12.5"));
    EXPECT_TRUE(model.setCellText(2, 1, QStringLiteral("abc")));
    EXPECT_EQ(host.evaluate(QStringLiteral("got")).toString(), QStringLiteral("2,1:string:ident"));
    EXPECT_FALSE(model.setCellText(1, 0, QStringLiteral("1"))); // header row, fixed editable 0

    // A throwing getter is reported once per refresh; the cells after it stay
    // empty and the model goes on working.
    host.evaluate(QStringLiteral("bad = true; calls = 0"));
    model.refresh();
    EXPECT_EQ(model.cellText(3, 2), QString());
    EXPECT_EQ(host.errors().size(), 1);
    EXPECT_EQ(host.evaluate(QStringLiteral("calls")).toInt(), 4 * 2 + 3); // stopped at (2,2)
    host.evaluate(QStringLiteral("bad = false"));
    model.refresh();
    EXPECT_EQ(model.cellText(3, 2), QStringLiteral("32"));

    // A getter that refreshes the table is fetched once, not over and over.
    host.addCode(QStringLiteral("function gr(c, r) { ++calls; customTable.refresh(); return 1; }"));
    model.current().onGetValue = QStringLiteral("gr");
    host.evaluate(QStringLiteral("calls = 0"));
    model.refresh();
    EXPECT_EQ(model.cellText(1, 1), QStringLiteral("1"));
    EXPECT_EQ(model.cellText(2, 2), QStringLiteral("1"));
    EXPECT_EQ(host.evaluate(QStringLiteral("calls")).toInt(), 4 * 3);
}

TEST_F(AdvTables, HeaderEditabilityRules)
{
    // Grid of 2 header columns and 2 header rows: corner (0,0), header row
    // cell (3,1), header column cell (1,3).
    struct Case {
        quint8 rule;
        bool corner, headerRow, headerCol;
    };
    for (const Case& c : {Case{0, false, false, false}, Case{1, false, true, false}, Case{2, false, false, true},
                          Case{3, false, true, true}, Case{9, true, true, true}}) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(headerCellEditable(c.rule, 2, 2, 0, 0), c.corner);
        EXPECT_EQ(headerCellEditable(c.rule, 2, 2, 3, 1), c.headerRow);
        EXPECT_EQ(headerCellEditable(c.rule, 2, 2, 1, 3), c.headerCol);
    }

    host.addCode(QStringLiteral("function ld() { customTable.fixedEditable = 2; return true; }\n"
                                "function gv(c, r) { return 1; }"));
    add(QStringLiteral("T"), 3, 2, QStringLiteral("ld"), QStringLiteral("gv"));
    model.show();
    EXPECT_FALSE(model.cellEditable(2, 0)); // header row
    EXPECT_TRUE(model.cellEditable(0, 1));  // header column below the fixed rows
    EXPECT_TRUE(model.cellEditable(2, 2));  // data

    const TGridRect all = model.clickSelection(0, 0);
    EXPECT_EQ(std::tuple(all.Left, all.Top, all.Right, all.Bottom), std::tuple(1, 1, 3, 2));
    const TGridRect column = model.clickSelection(2, 0);
    EXPECT_EQ(std::tuple(column.Left, column.Top, column.Right, column.Bottom), std::tuple(2, 1, 2, 2));
    const TGridRect row = model.clickSelection(0, 2);
    EXPECT_EQ(std::tuple(row.Left, row.Top, row.Right, row.Bottom), std::tuple(1, 2, 3, 2));
    EXPECT_TRUE(model.clickSelection(2, 2).isEmpty());
}

TEST_F(AdvTables, CommandsParseAndRun)
{
    EXPECT_EQ(parseTableCommands(QStringLiteral("Raise|raise(1)|Lower|lower(1)")),
              (QVector<TTableCommand>{{"Raise", "raise(1)"}, {"Lower", "lower(1)"}}));
    EXPECT_EQ(parseTableCommands(QStringLiteral("Raise|raise(1)|Lower")).size(), 1);
    EXPECT_TRUE(parseTableCommands(QString()).isEmpty());

    host.addCode(QStringLiteral("var n = 0; function raise(k) { n += k; }"));
    model.current().functions = QStringLiteral("Raise|raise(2)|Broken|nothere()");
    QSignalSpy repaints(&model, &TAdvTables::cellsChanged);
    EXPECT_TRUE(model.runCommand(0));
    EXPECT_EQ(host.evaluate(QStringLiteral("n")).toInt(), 2);
    EXPECT_FALSE(model.runCommand(1)); // the error is reported, the window goes on
    EXPECT_FALSE(model.runCommand(2));
    EXPECT_EQ(repaints.count(), 2);
}

TEST_F(AdvTables, GraphStepsScalesColoursAndFlatRanges)
{
    for (const auto& [scale, step] : std::vector<std::pair<double, double>>{
             {60, 1}, {50, 1}, {30, 2}, {25, 5}, {10, 5}, {4, 15}, {-30, 2}, {0, 0}, {1.0 / 1024, 51200}})
        EXPECT_DOUBLE_EQ(customGridStep(scale), step) << scale;

    // Header row of X values 100 200 300 above two data rows.
    TCCustomTable t;
    t.width = 3;
    t.height = 2;
    t.graphMinX = 95;
    t.graphMaxX = 300;
    t.graphMinY = 0;
    t.graphMaxY = 50;
    TCustomTableCells cells(4, 3);
    for (int c = 1; c <= 3; ++c) {
        cells.setText(c, 0, QString::number(c * 100));
        cells.setText(c, 1, QString::number(c * 10));
        cells.setText(c, 2, QStringLiteral("junk"));
    }
    const TCustomGraph g = customGraph(t, cells, 410, 100);
    EXPECT_DOUBLE_EQ(g.xScale, 2);
    EXPECT_DOUBLE_EQ(g.yScale, -2);
    EXPECT_DOUBLE_EQ(g.xStep, 25);
    EXPECT_EQ(g.xLines.first().label, QStringLiteral("115")); // from 90, which lies left of the plot
    EXPECT_DOUBLE_EQ(g.xLines.first().pos, 40);
    ASSERT_EQ(g.series.size(), 2);
    EXPECT_EQ(g.series[0].green, 255 - 127); // (255 div 2) * row 1
    EXPECT_EQ(g.series[1].green, 255 - 254);
    EXPECT_EQ(g.series[0].points[1], QPointF(210, 60));
    EXPECT_EQ(g.series[1].points[2], QPointF(410, 100)); // text that is no number plots as 0

    // Without header rows X is the column number over 1 ... width.
    t.fixedRows = 0;
    const TCustomGraph plain = customGraph(t, cells, 200, 100);
    EXPECT_DOUBLE_EQ(plain.minX, 1);
    EXPECT_DOUBLE_EQ(plain.xScale, 100);

    // Empty ranges and a zero height draw flat, without dividing by zero.
    t.width = 1;
    t.graphMinY = t.graphMaxY = 7;
    const TCustomGraph flat = customGraph(t, cells, 200, 100);
    EXPECT_EQ(flat.xScale, 0);
    EXPECT_EQ(flat.yScale, 0);
    EXPECT_TRUE(flat.xLines.isEmpty() && flat.yLines.isEmpty());
    EXPECT_EQ(flat.series[0].points[0], QPointF(0, 100));
    t.height = 0;
    EXPECT_TRUE(customGraph(t, cells, 200, 100).series.isEmpty());
}

TEST(AdvTablesHost, CustomTableIsANewObjectOnEveryReadActingOnTheHostsTable)
{
    QTemporaryDir dir;
    TTestServices svc;
    svc.messages.setDefaultAnswer(mrOk);
    TScriptEnvironment env;
    env.services = svc.services();
    TScriptForm host(env);
    host.setFolders(dir.path(), dir.path());
    host.reloadScripts();
    EXPECT_FALSE(host.evaluate(QStringLiteral("customTable === window.customTable")).toBool());
    host.evaluate(QStringLiteral("var t = customTable; t.fixedRows = 3; customTable.graphLabelX = 'rpm'"));
    EXPECT_EQ(host.advTables().current().fixedRows, 3);
    EXPECT_EQ(host.evaluate(QStringLiteral("t.graphLabelX")).toString(), QStringLiteral("rpm"));
    host.evaluate(QStringLiteral("customTable.initialize()"));
    EXPECT_EQ(host.advTables().current(), TCCustomTable::unknown());
}

} // namespace
