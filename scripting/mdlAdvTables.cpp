#include "scripting/mdlAdvTables.h"

#include "scripting/mdlScriptHost.h"

#include <QJSValue>

#include <algorithm>
#include <cmath>

namespace {

constexpr QChar CommandSeparator = u'|';
constexpr double StepOne = 1;
constexpr double StepTwo = 2;
constexpr double StepFive = 5; // also what each further widening adds
constexpr int ColourMax = 255;
constexpr int ColourModulus = 256;
constexpr int MinHeaderCols = 1;

QString scriptText(const QJSValue& v)
{
    if (v.isUndefined() || v.isNull())
        return QString();
    return v.toString();
}

// Grid lines of one axis: from min rounded down to a multiple of ten, every
// step, those that land inside the plot.
QVector<TCustomGraphLine> axisLines(double min, double max, double step, double scale, double offset, int extent)
{
    QVector<TCustomGraphLine> lines;
    if (step <= 0)
        return lines;
    const double start = std::floor(min / TCustomGraph::GridOrigin) * TCustomGraph::GridOrigin;
    for (double v = start; v <= max; v += step) {
        const double pos = (v - min) * scale + offset;
        if (pos >= 0 && pos <= extent)
            lines.push_back({pos, QString::asprintf("%.0f", v)});
    }
    return lines;
}

} // namespace

QVector<TTableCommand> parseTableCommands(const QString& functions)
{
    QVector<TTableCommand> commands;
    if (functions.isEmpty())
        return commands;
    const QStringList parts = functions.split(CommandSeparator);
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        commands.push_back({parts[i], parts[i + 1]});
    return commands;
}

bool headerCellEditable(quint8 fixedEditable, int fixedCols, int fixedRows, int col, int row)
{
    const bool inHeaderRow = row < fixedRows;
    const bool inHeaderCol = col < fixedCols;
    switch (fixedEditable) {
    case 0: return false;
    case 1: return inHeaderRow && !inHeaderCol;
    case 2: return inHeaderCol && !inHeaderRow;
    case 3: return inHeaderRow != inHeaderCol;
    default: return inHeaderRow || inHeaderCol;
    }
}

int customHeaderCols(const TCCustomTable& table) { return std::max(int(table.fixedCols), MinHeaderCols); }

QString defaultHeaderText(int fixedCols, int fixedRows, int col, int row)
{
    if (col == 0 && row == 0)
        return fixedRows > 0 ? QStringLiteral("Col") : QString();
    if (col == 0)
        return QStringLiteral("R%1").arg(row - fixedCols);
    if (row == 0)
        return QString::number(col - fixedRows);
    return QString();
}

QString setValueCall(const QString& function, int col, int row, const QString& typed)
{
    return QStringLiteral("%1(%2,%3,%4)").arg(function).arg(col).arg(row).arg(typed);
}

// --- graph ----------------------------------------------------------------------

double customGridStep(double pixelsPerUnit)
{
    const double s = std::abs(pixelsPerUnit);
    if (!(s > 0) || !std::isfinite(s))
        return 0;
    double step = s >= TCustomGraph::MinGridSpacing            ? StepOne
                  : StepTwo * s > TCustomGraph::MinGridSpacing ? StepTwo
                                                               : StepFive;
    // Widen in steps of five until a step spans the minimum spacing, at once
    // rather than one widening at a time (a huge range would take millions).
    if (step * s < TCustomGraph::MinGridSpacing) {
        const double missing = TCustomGraph::MinGridSpacing / s - step;
        step += StepFive * std::ceil(missing / StepFive);
        while (step * s < TCustomGraph::MinGridSpacing) // rounding of the division
            step += StepFive;
    }
    return step;
}

QPointF TCustomGraph::map(double x, double y, int height) const
{
    return {(x - minX) * xScale, (y - minY) * yScale + height};
}

QString TCustomTableCells::text(int col, int row) const
{
    if (col < 0 || col >= m_cols || row < 0 || row >= m_rows)
        return QString();
    return m_texts[row * m_cols + col];
}

void TCustomTableCells::setText(int col, int row, const QString& text)
{
    if (col >= 0 && col < m_cols && row >= 0 && row < m_rows)
        m_texts[row * m_cols + col] = text;
}

double TCustomTableCells::value(int col, int row) const
{
    bool ok = false;
    const double v = text(col, row).trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

TCustomGraph customGraph(const TCCustomTable& table, const TCustomTableCells& cells, int width, int height)
{
    TCustomGraph g;
    g.minX = table.graphMinX;
    g.maxX = table.graphMaxX;
    g.minY = table.graphMinY;
    g.maxY = table.graphMaxY;
    if (table.fixedRows == 0) {
        // No header row to take X values from: the columns are 1 ... width.
        g.minX = 1;
        g.maxX = table.width;
    }
    // An empty range draws flat instead of dividing by zero.
    if (g.maxX != g.minX)
        g.xScale = width / (g.maxX - g.minX);
    if (g.maxY != g.minY)
        g.yScale = -height / (g.maxY - g.minY);
    g.xStep = customGridStep(g.xScale);
    g.yStep = customGridStep(g.yScale);
    g.xLines = axisLines(g.minX, g.maxX, g.xStep, g.xScale, 0, width);
    g.yLines = axisLines(g.minY, g.maxY, g.yStep, g.yScale, height, height);

    const int firstRow = table.fixedRows;
    const int lastRow = table.fixedRows + table.height; // exclusive; no rows at height 0
    for (int r = firstRow; r < lastRow; ++r) {
        TCustomGraphSeries s;
        s.red = ColourMax;
        s.green = quint8(ColourMax - ((ColourMax / table.height) * r) % ColourModulus);
        s.blue = 0;
        for (int j = 0; j < table.width; ++j) {
            const int col = customHeaderCols(table) + j;
            const double x = table.fixedRows > 0 ? cells.value(col, table.fixedRows - 1) : j + 1;
            s.points.push_back(g.map(x, cells.value(col, r), height));
        }
        g.series.push_back(s);
    }
    return g;
}

// --- the model --------------------------------------------------------------------

TAdvTables::TAdvTables(IScriptHost& host, const TCTableManager& registry, QObject* parent)
    : QObject(parent), m_host(host), m_registry(registry)
{}

bool TAdvTables::hasFunction(const QString& name) const
{
    return !name.isEmpty() && m_host.available() && m_host.procedureExists(name);
}

void TAdvTables::show()
{
    if (m_registry.count() == 0) {
        m_selected = -1;
        m_visible = false;
        m_cellsStale = true;
        Q_EMIT layoutChanged();
        return;
    }
    select(0);
}

bool TAdvTables::select(int index)
{
    if (m_registry.count() == 0)
        return false;
    m_selected = std::clamp(index, 0, m_registry.count() - 1);
    m_current = m_registry.get(m_selected);
    m_cellsStale = true;
    bool shown = true;
    if (hasFunction(m_current.onLoad)) {
        try {
            shown = m_host.evaluate(m_current.onLoad + QStringLiteral("()")).toBool();
        } catch (const EScriptError&) {
            // Shown by the host; a table whose set-up failed stays hidden.
            shown = false;
        }
    }
    m_visible = shown;
    Q_EMIT layoutChanged();
    Q_EMIT cellsChanged();
    return shown;
}

void TAdvTables::initialize()
{
    m_current = TCCustomTable::unknown();
    m_selected = -1;
    m_cellsStale = true;
    Q_EMIT layoutChanged();
    Q_EMIT cellsChanged();
}

void TAdvTables::refresh()
{
    // A getter that asks for a refresh is part of the fetch under way.
    if (m_fetching)
        return;
    m_cellsStale = true;
    Q_EMIT layoutChanged();
    Q_EMIT cellsChanged();
}

bool TAdvTables::isHeaderCell(int col, int row) const { return col < headerCols() || row < m_current.fixedRows; }

const TCustomTableCells& TAdvTables::cells()
{
    if (!m_fetching && (m_cellsStale || m_cells.cols() != gridCols() || m_cells.rows() != gridRows())) {
        m_fetching = true;
        fetchCells();
        m_fetching = false;
    }
    return m_cells;
}

void TAdvTables::fetchCells()
{
    m_cellsStale = false;
    m_cells = TCustomTableCells(gridCols(), gridRows());
    const QString getter = m_current.onGetValue;
    if (!hasFunction(getter)) {
        for (int r = 0; r < gridRows(); ++r)
            for (int c = 0; c < gridCols(); ++c)
                if (isHeaderCell(c, r))
                    m_cells.setText(c, r, defaultHeaderText(m_current.fixedCols, m_current.fixedRows, c, r));
        return;
    }
    try {
        for (int r = 0; r < gridRows(); ++r)
            for (int c = 0; c < gridCols(); ++c)
                m_cells.setText(c, r,
                                scriptText(m_host.callFunction(getter, {QJSValue(c), QJSValue(r)},
                                                               QStringLiteral("%1(%2,%3)").arg(getter).arg(c).arg(r))));
    } catch (const EScriptError&) {
        // Shown once by the host; the cells not fetched stay empty until the
        // next refresh, so one fault is not reported once per cell.
    }
}

bool TAdvTables::cellEditable(int col, int row)
{
    if (!m_visible || col < 0 || row < 0 || col >= gridCols() || row >= gridRows())
        return false;
    if (isHeaderCell(col, row) &&
        (!hasFunction(m_current.onGetValue) ||
         !headerCellEditable(m_current.fixedEditable, headerCols(), m_current.fixedRows, col, row)))
        return false;
    return !cellText(col, row).isEmpty();
}

bool TAdvTables::setCellText(int col, int row, const QString& typed)
{
    if (!cellEditable(col, row))
        return false;
    bool ok = true;
    if (hasFunction(m_current.onSetValue)) {
        try {
            m_host.evaluate(setValueCall(m_current.onSetValue, col, row, typed));
        } catch (const EScriptError&) {
            ok = false; // shown by the host
        }
    }
    refresh();
    return ok;
}

TGridRect TAdvTables::clickSelection(int col, int row) const
{
    const int fc = headerCols();
    const int fr = m_current.fixedRows;
    const int lastCol = gridCols() - 1;
    const int lastRow = gridRows() - 1;
    if (col < fc && row < fr)
        return fc > 0 && fr > 0 ? TGridRect{fc, fr, lastCol, lastRow} : TGridRect{};
    if (row < fr)
        return TGridRect{col, fr, col, lastRow};
    if (col < fc)
        return TGridRect{fc, row, lastCol, row};
    return TGridRect{};
}

bool TAdvTables::runCommand(int index)
{
    const QVector<TTableCommand> list = commands();
    if (index < 0 || index >= list.size())
        return false;
    bool ok = true;
    try {
        m_host.evaluate(list[index].expression);
    } catch (const EScriptError&) {
        ok = false; // shown by the host
    }
    // The command may have changed the table before it failed.
    refresh();
    return ok;
}

QString TAdvTables::gridText()
{
    const TCustomTableCells& c = cells();
    QStringList lines;
    for (int r = 0; r < c.rows(); ++r) {
        QStringList row;
        for (int col = 0; col < c.cols(); ++col)
            row << c.text(col, r);
        lines << row.join(u'\t');
    }
    return lines.join(u'\n');
}
