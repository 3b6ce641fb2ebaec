#pragma once

#include <QtGlobal>
#include <vector>

// A resampling grid: a map in engineering units with its own load and rpm
// breakpoints, read from a calibration file and sampled at another ROM's
// breakpoints. Interpolation follows the ROM model's own bilinear rule, so a
// map sampled at its own breakpoints comes back unchanged.
class TTableTranslator {
public:
    TTableTranslator(int columns, int rows);

    [[nodiscard]] int columns() const { return m_columns; }
    [[nodiscard]] int rows() const { return m_rows; }

    // Each setter fails with "Index out of bounds." for an index at or past its count.
    void setLoad(int index, qint32 millibar);
    void setRpm(int index, qint32 rpm);
    void setCell(int column, int row, double value);
    [[nodiscard]] double cell(int column, int row) const;
    [[nodiscard]] qint32 load(int index) const;
    [[nodiscard]] qint32 rpm(int index) const;

    // Bilinear on the breakpoints: the first breakpoint at or above the value
    // (capped at the last) and the one before it (or the first); fractions are
    // capped at 1 but not floored, so values below the first breakpoint
    // extrapolate and values above the last take the last row or column.
    [[nodiscard]] double interpolate(double loadMbar, double rpmValue) const;

private:
    int m_columns;
    int m_rows;
    std::vector<qint32> m_loads;
    std::vector<qint32> m_rpms;
    std::vector<double> m_cells; // row-major: row * columns + column
};
