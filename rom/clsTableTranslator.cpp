#include "rom/clsTableTranslator.h"

#include "settings/mdlErrors.h"

#include <algorithm>

namespace {

void requireIndex(int i, int count)
{
    if (i < 0 || i >= count)
        throw EVexorError(QStringLiteral("Index out of bounds."));
}

// Index of the first breakpoint at or above x, or the last one.
int firstAtOrAbove(const std::vector<qint32>& points, double x)
{
    const int n = int(points.size());
    for (int k = 0; k < n; ++k)
        if (points[size_t(k)] >= x)
            return k;
    return n - 1;
}

// Equal neighbouring breakpoints give the fraction 0 instead of a division by zero.
double fraction(double x, double x0, double x1) { return x1 == x0 ? 0.0 : std::min(1.0, (x - x0) / (x1 - x0)); }

} // namespace

TTableTranslator::TTableTranslator(int columns, int rows)
    : m_columns(std::clamp(columns, 0, 255)), m_rows(std::clamp(rows, 0, 255)), m_loads(size_t(m_columns), 0),
      m_rpms(size_t(m_rows), 0), m_cells(size_t(m_columns) * size_t(m_rows), 0.0)
{}

void TTableTranslator::setLoad(int index, qint32 millibar)
{
    requireIndex(index, m_columns);
    m_loads[size_t(index)] = millibar;
}

void TTableTranslator::setRpm(int index, qint32 rpm)
{
    requireIndex(index, m_rows);
    m_rpms[size_t(index)] = rpm;
}

void TTableTranslator::setCell(int column, int row, double value)
{
    requireIndex(column, m_columns);
    requireIndex(row, m_rows);
    m_cells[size_t(row) * size_t(m_columns) + size_t(column)] = value;
}

double TTableTranslator::cell(int column, int row) const
{
    requireIndex(column, m_columns);
    requireIndex(row, m_rows);
    return m_cells[size_t(row) * size_t(m_columns) + size_t(column)];
}

qint32 TTableTranslator::load(int index) const
{
    requireIndex(index, m_columns);
    return m_loads[size_t(index)];
}

qint32 TTableTranslator::rpm(int index) const
{
    requireIndex(index, m_rows);
    return m_rpms[size_t(index)];
}

double TTableTranslator::interpolate(double a, double b) const
{
    if (m_columns == 0 || m_rows == 0)
        return 0;
    const int j = firstAtOrAbove(m_loads, a), i = firstAtOrAbove(m_rpms, b);
    const int e = j > 0 ? j - 1 : 0, l = i > 0 ? i - 1 : 0;
    const int e1 = std::min(e + 1, m_columns - 1), l1 = std::min(l + 1, m_rows - 1);
    const double u = fraction(a, load(e), load(e1));
    const double v = fraction(b, rpm(l), rpm(l1));
    const double top = cell(e, l) + (cell(e1, l) - cell(e, l)) * u;
    const double bottom = cell(e, l1) + (cell(e1, l1) - cell(e, l1)) * u;
    return top + (bottom - top) * v;
}
