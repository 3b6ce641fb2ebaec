#pragma once

// The logic of the advanced tables window, free of widgets: which custom
// table is current, what each grid cell shows, which cells may be edited and
// what an edit calls, the table's own commands and the line graph's
// geometry. The script host keeps one model for the whole run, so scripts
// (window.customTable), vexor-cli and the tests work on the same current
// table the window shows.
//
// Every cell comes from the table's script functions. The texts are fetched
// once per refresh into a snapshot that the grid and the graph then read, so
// painting never runs script code. A script error is shown by the host and
// ends only the step that ran into it.

#include "editor/mdlGridTypes.h"
#include "scripting/mdlVexorPlugins.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <QVector>
#include <functional>

class IScriptHost;

// One entry of a table's command menu.
struct TTableCommand {
    QString caption;
    QString expression;
    friend bool operator==(const TTableCommand&, const TTableCommand&) = default;
};

// "Raise|raise(1)|Lower|lower(1)": caption and expression pairs; an
// incomplete trailing pair is dropped.
[[nodiscard]] QVector<TTableCommand> parseTableCommands(const QString& functions);

// Whether a header (fixed) cell at grid coordinates may be edited under the
// fixed-editable rule: 0 none, 1 the header row right of the fixed columns,
// 2 the header column below the fixed rows, 3 both but not the corner block
// where they overlap, anything else every header cell.
[[nodiscard]] bool headerCellEditable(quint8 fixedEditable, int fixedCols, int fixedRows, int col, int row);

// Header columns of the grid: the table's fixed columns, but at least one, so
// the row captions have a place when a table declares none.
[[nodiscard]] int customHeaderCols(const TCCustomTable& table);

// The text of a header cell when the table has no on-get-value function.
[[nodiscard]] QString defaultHeaderText(int fixedCols, int fixedRows, int col, int row);

// The set-value call for an edit: the typed text goes in as written, so a
// number arrives as a number and a word as an identifier.
[[nodiscard]] QString setValueCall(const QString& function, int col, int row, const QString& typed);

// --- graph ----------------------------------------------------------------------

struct TCustomGraphLine {
    double pos = 0; // pixel x of a vertical line, y of a horizontal one
    QString label;  // "%.0f" of the value
};

struct TCustomGraphSeries {
    quint8 red = 0;
    quint8 green = 0;
    quint8 blue = 0;
    QVector<QPointF> points; // pixels
};

struct TCustomGraph {
    static constexpr double MinGridSpacing = 50; // pixels between grid lines at least
    static constexpr int GridOrigin = 10;        // grid lines start on a multiple of this

    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    double xScale = 0; // pixels per unit; 0 for an empty range (drawn flat)
    double yScale = 0; // negative: values grow upwards
    double xStep = 0;  // units between grid lines; 0 without grid lines
    double yStep = 0;
    QVector<TCustomGraphLine> xLines;
    QVector<TCustomGraphLine> yLines;
    QVector<TCustomGraphSeries> series; // one per data row

    [[nodiscard]] QPointF map(double x, double y, int height) const;
};

// Units between grid lines for a scale of pixelsPerUnit: 1 when one unit
// spans 50 pixels, else 2 when two units span more, else 5; then 5 more
// while a step spans fewer than 50 pixels. 0 for a zero scale.
[[nodiscard]] double customGridStep(double pixelsPerUnit);

// A table's cell texts as fetched for one refresh, grid coordinates.
class TCustomTableCells {
public:
    TCustomTableCells() = default;
    TCustomTableCells(int cols, int rows) : m_cols(cols), m_rows(rows), m_texts(cols * rows) {}
    [[nodiscard]] int cols() const { return m_cols; }
    [[nodiscard]] int rows() const { return m_rows; }
    [[nodiscard]] QString text(int col, int row) const;
    void setText(int col, int row, const QString& text);
    // The text read as a number; 0 when it is none.
    [[nodiscard]] double value(int col, int row) const;

private:
    int m_cols = 0;
    int m_rows = 0;
    QVector<QString> m_texts;
};

[[nodiscard]] TCustomGraph customGraph(const TCCustomTable& table, const TCustomTableCells& cells, int width,
                                       int height);

// --- the model --------------------------------------------------------------------

class TAdvTables : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultColWidth = 55;
    static constexpr int HeaderTextMargin = 8; // a header column grows to its text + this

    TAdvTables(IScriptHost& host, const TCTableManager& registry, QObject* parent = nullptr);

    // The table on screen (a copy of the selected record) or the "Unknown"
    // default. Scripts change this copy only.
    [[nodiscard]] const TCCustomTable& current() const { return m_current; }
    [[nodiscard]] TCCustomTable& current() { return m_current; }
    // The registry index of the selected table, -1 when none.
    [[nodiscard]] int selectedIndex() const { return m_selected; }
    // Grid and graph shown: a table is selected and its on-load allowed it.
    [[nodiscard]] bool tableVisible() const { return m_visible; }
    [[nodiscard]] const TCTableManager& registry() const { return m_registry; }

    // The window opens (or the scripts were reloaded): table 0, or nothing
    // shown when no table is registered.
    void show();
    // Selects table i (past the end: the last one) and runs its on-load.
    // False when the table stays hidden.
    bool select(int index);
    // Back to the "Unknown" default, nothing selected.
    void initialize();
    // Fetch the cells again and show the current table as it now is (its
    // shape, captions and graph may have changed).
    void refresh();

    [[nodiscard]] int headerCols() const { return customHeaderCols(m_current); }
    [[nodiscard]] int gridCols() const { return headerCols() + m_current.width; }
    [[nodiscard]] int gridRows() const { return m_current.fixedRows + m_current.height; }
    [[nodiscard]] bool isHeaderCell(int col, int row) const;
    // The snapshot of the cell texts, fetched when stale.
    const TCustomTableCells& cells();
    [[nodiscard]] QString cellText(int col, int row) { return cells().text(col, row); }
    // Whether the in-place editor may open on the cell (its text must not be
    // empty).
    [[nodiscard]] bool cellEditable(int col, int row);
    // Stores an edited text through the on-set-value function, then
    // refreshes. False when the cell is not editable or the call failed.
    bool setCellText(int col, int row, const QString& typed);
    // What a click on a header cell selects (grid coordinates): the corner
    // all data, a header-row cell its column, a header-column cell its row.
    // Empty for data cells.
    [[nodiscard]] TGridRect clickSelection(int col, int row) const;

    [[nodiscard]] QVector<TTableCommand> commands() const { return parseTableCommands(m_current.functions); }
    // Runs command i of the menu, then refreshes. False when it failed.
    bool runCommand(int index);

    [[nodiscard]] TCustomGraph graph(int width, int height) { return customGraph(m_current, cells(), width, height); }

    // The grid as text: one line per row, cells separated by tabs.
    [[nodiscard]] QString gridText();

Q_SIGNALS:
    // The shape, title, captions or visibility changed: lay the window out again.
    void layoutChanged();
    // The cells changed: repaint grid and graph.
    void cellsChanged();

private:
    bool hasFunction(const QString& name) const;
    void fetchCells();

    IScriptHost& m_host;
    const TCTableManager& m_registry;
    TCCustomTable m_current = TCCustomTable::unknown();
    int m_selected = -1;
    bool m_visible = false;
    bool m_cellsStale = true;
    bool m_fetching = false; // a getter that refreshes does not fetch again inside
    TCustomTableCells m_cells;
};
