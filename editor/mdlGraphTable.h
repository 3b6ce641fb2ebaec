#pragma once

#include "editor/mdlGridDisplay.h"

#include <QString>
#include <QVector>
#include <optional>

// The View menu's flags the map graphs follow.
struct TGraphOptions {
    bool ShowBoostRange = true; // boosted ROMs: draw the columns above atmospheric too
    bool ShowDuration = false;  // fuel as injector pulse in ms instead of fuel value
};

enum class TGraphUnit : quint8 { FuelValue, Duration, Ignition };

// One value-axis line of a graph: its plotted value and its label.
struct TGraphTick {
    double Value = 0;
    QString Label;
};

// The current table as the graphs draw it, read once per paint: the displayed
// columns (boost columns left out when asked), their loads, the rpm rows and
// the values in both table units and plotted units. Plotted units are the
// final-multiplied fuel value, the injector duration in ms, or the ignition
// advance lifted by IgnitionLift so that -10 degrees sits on the bottom edge.
//
// Never throws: a table the ROM cannot produce gives an empty snapshot.
class TGraphTable {
public:
    // Boosted ROMs stop this far above atmospheric while the boost range is hidden.
    static constexpr int BoostMarginMbar = 67;
    static constexpr double IgnitionLift = 10;

    // The dragged cell of the display's options counts with its drag value.
    static TGraphTable build(const TGridDisplay& display, const TGraphOptions& options);

    [[nodiscard]] bool isEmpty() const { return m_cols == 0 || m_rows == 0; }
    [[nodiscard]] int columns() const { return m_cols; } // displayed columns
    [[nodiscard]] int rows() const { return m_rows; }
    [[nodiscard]] TGraphUnit unit() const { return m_unit; }
    [[nodiscard]] bool fuel() const { return m_unit != TGraphUnit::Ignition; }
    [[nodiscard]] bool highCam() const { return m_highCam; }
    [[nodiscard]] int rpm(int row) const { return m_rpm.value(row); }
    [[nodiscard]] int load(int col) const { return m_load.value(col); }
    [[nodiscard]] bool throttleColumn(int col) const { return m_throttle.value(col) != 0; }
    [[nodiscard]] int throttle(int col) const { return m_throttle.value(col); }
    [[nodiscard]] double stored(int col, int row) const { return m_values.value(col * m_rows + row); }
    [[nodiscard]] double plotted(int col, int row) const { return toPlotted(stored(col, row)); }
    // The highest plotted value over the displayed columns (0 for an empty
    // table); the value axes span it.
    [[nodiscard]] double range() const { return m_range; }
    [[nodiscard]] double toPlotted(double stored) const;
    [[nodiscard]] double fromPlotted(double plotted) const;
    // What a cell of this table can hold, in table units.
    [[nodiscard]] double clampToCell(double value) const;
    // The table value to write for a value read in this graph's terms (the
    // offset range of Nissan ignition cells kept).
    [[nodiscard]] double cellWriteValue(int col, int row, double value) const;
    // Colour of a surface piece or segment from the mean of its table values.
    [[nodiscard]] TColor colorOf(double storedMean) const;
    [[nodiscard]] const std::optional<TDragCell>& drag() const { return m_drag; }

    [[nodiscard]] QString title() const;
    [[nodiscard]] QString valueCaption() const;
    // The lines of the value axis for a given plotted range.
    [[nodiscard]] QVector<TGraphTick> valueTicks() const;
    // What the selection covers: its loads (or throttle) and its rpm.
    [[nodiscard]] QString selectionText(const TGridRect& sel) const;
    // The text beside a dragged point: new value and change in percent.
    [[nodiscard]] QString dragText(double original, double value) const;
    // Plotted value of the live engine position.
    [[nodiscard]] double livePlotted(const TLivePosition& live) const;
    // The live cell belongs to this table's cam and lies among the displayed cells.
    [[nodiscard]] bool showsLiveCell(const TLivePosition& live) const;

private:
    int m_cols = 0;
    int m_rows = 0;
    int m_tableCols = 0;
    TGraphUnit m_unit = TGraphUnit::FuelValue;
    bool m_highCam = false;
    bool m_nissan = false;
    quint8 m_kind = 0;
    double m_finalMultiplier = 1;
    double m_latency = 148;
    double m_minCell = 0;
    double m_maxCell = 0;
    double m_range = 0;
    QVector<int> m_rpm;
    QVector<int> m_load;     // all columns of the table (the selection text may name hidden ones)
    QVector<int> m_throttle; // throttle percent of TP columns, 0 elsewhere
    QVector<double> m_values;
    QVector<bool> m_offsetCell; // a Nissan ignition cell of the upper range
    std::optional<TDragCell> m_drag;
};

// The graphs' state of a 2D drag: the cell and its value while the button is
// held, and whether the mouse moved at all (a click writes nothing).
class TGraphDrag {
public:
    void start(int col, int row, double value);
    void follow(double value);
    // The cell to write when the button is released after a move.
    std::optional<TDragCell> release();
    [[nodiscard]] bool dragging() const { return m_dragging; }
    [[nodiscard]] std::optional<TDragCell> cell() const;
    [[nodiscard]] double original() const { return m_original; }

private:
    bool m_dragging = false;
    bool m_moved = false;
    double m_original = 0;
    TDragCell m_cell;
};
