#pragma once

// The auto-tune accumulator: for each cam, a grid the size of the fuel map
// that collects the measured lambda of every sample passing the tuning
// conditions, the highest knock retard seen, and which cells take part in
// tuning at all. The statistics, the filter and the smart fill that prepare
// the grids for a correction live here too; the corrections themselves are in
// mdlAutoTune.h. The grids answer the table grid's auto-tune views.

#include "datalog/mdlDatalog.h"
#include "datalog/mdlLambdaCurve.h"
#include "editor/mdlGridDisplay.h"
#include "settings/mdlSettings.h"

#include "datalog/mdlLiveCell.h"
#include <QPoint>
#include <QVector>

#include <array>
#include <limits>
#include <vector>

class TRom;

// Why samples did not reach a cell, counted per sample under its first reason.
struct TTunerRejections {
    quint64 throttle = 0;
    quint64 lambda = 0;
    quint64 rpm = 0;
    quint64 load = 0;
    quint64 temp = 0;
    quint64 gear = 0;
    quint64 transient = 0; // throttle closing or opening fast
    quint64 full = 0;      // the cell already holds the most samples it takes
    quint64 untunable = 0; // the cell is kept out of tuning
    quint64 outside = 0;   // no ROM, no engine speed, or a cell outside the grid
    [[nodiscard]] quint64 total() const
    {
        return throttle + lambda + rpm + load + temp + gear + transient + full + untunable + outside;
    }
    friend bool operator==(const TTunerRejections&, const TTunerRejections&) = default;
};

// Mean of the cell averages of the qualified cells and their variance.
struct TTunerStats {
    double mean = 0;
    double variance = 0;
    int qualified = 0;
};

class TVEXORTuner : public IGridCellData {
public:
    static constexpr int DefaultColumns = 10;
    static constexpr int DefaultRows = 20;
    // A cell takes samples while it holds 200 or fewer, so at most 201.
    static constexpr int MaxCellSamples = 201;

    TVEXORTuner();

    // Conditions and lookup every sample is judged with.
    TTuningConditions Conditions;
    TLambdaLookup Lambda{};
    quint8 TrackMode = 0;

    // Grids sized to the ROM's fuel maps, emptied, every cell tunable; the
    // default shape without a ROM.
    void setRom(const TRom* rom);
    void resize(const std::array<QPoint, 2>& shapes); // (columns, rows) per cam
    [[nodiscard]] int columns(int cam) const { return m_grids[cam & 1].cols; }
    [[nodiscard]] int rows(int cam) const { return m_grids[cam & 1].rows; }

    // Empties every cell of both cams (knock too) and the rejection counters;
    // tunable flags stay.
    void clear();

    // One sample, live or replayed: transient tracking, knock, the tuning
    // conditions, accumulation. Returns whether its lambda went into its cell.
    bool addSample(const DatalogSample& s);
    // The cell of a sample as findSampleCell finds it, from breakpoints kept
    // here and read again whenever the image changed.
    [[nodiscard]] TLiveCell cellOf(const DatalogSample& s);
    // Samples counted since the last resetSampleCounter (live adjustments).
    [[nodiscard]] quint64 samplesSinceReset() const { return m_sinceReset; }
    void resetSampleCounter() { m_sinceReset = 0; }
    [[nodiscard]] quint64 samples() const { return m_samples; }
    [[nodiscard]] quint64 accepted() const { return m_accepted; }
    [[nodiscard]] const TTunerRejections& rejections() const { return m_rejections; }

    // --- cells ----------------------------------------------------------
    [[nodiscard]] bool inside(int cam, int col, int row) const;
    [[nodiscard]] double sum(int cam, int col, int row) const;
    [[nodiscard]] int count(int cam, int col, int row) const;
    [[nodiscard]] double average(int cam, int col, int row) const;
    [[nodiscard]] bool qualified(int cam, int col, int row) const;
    void setCell(int cam, int col, int row, double sum, int count);
    void emptyCell(int cam, int col, int row) { setCell(cam, col, row, 0, 0); }
    void setKnock(int cam, int col, int row, quint8 knock);
    void setTunable(int cam, int col, int row, bool on);
    // Sum of the knock maxima of a cam (0: no knock recorded).
    [[nodiscard]] int knockTotal(int cam) const;
    [[nodiscard]] int qualifiedCount(int cam) const;

    // IGridCellData
    [[nodiscard]] TCellSamples samples(int cam, int col, int row) const override;
    [[nodiscard]] double measuredLambda(int cam, int col, int row) const override { return average(cam, col, row); }
    [[nodiscard]] quint8 knockByte(int cam, int col, int row) const override;
    [[nodiscard]] bool isTunable(int cam, int col, int row) const override;

    // --- statistics, filter, smart fill ---------------------------------------
    [[nodiscard]] TTunerStats statistics(int cam) const;
    // Per cam with a qualified cell: empties cells far from the mean and
    // gives every other non-empty cell the weight of a qualified one.
    // Returns the number of cells emptied.
    int filter();
    // One pass over both cams; returns the cells replaced by the mean of
    // their qualified neighbours. Uses the statistics of the last filter.
    int smartFillPass();
    // The order a smart fill pass visits the cells of a cols x rows grid:
    // spiralling out from the middle, every cell exactly once.
    [[nodiscard]] static QVector<QPoint> smartFillWalk(int cols, int rows);

private:
    struct TGrid {
        int cols = 0;
        int rows = 0;
        std::vector<double> sum;
        std::vector<quint8> count;
        std::vector<quint8> knock;
        std::vector<quint8> tunable;
        [[nodiscard]] size_t at(int col, int row) const { return static_cast<size_t>(col) * rows + row; }
    };
    bool accumulate(TGrid& g, int col, int row, double lambda, bool counted);
    void refreshAxes();

    // Breakpoints of one cam; NoValue where the ROM cannot produce one.
    static constexpr int NoValue = std::numeric_limits<int>::min();
    struct TAxes {
        std::vector<int> load, rpm, tps;
    };
    std::array<TAxes, 2> m_axes;
    bool m_itb = false;
    std::pair<int, int> m_axesStamp{-1, -1};
    int smartFillCam(int cam);

    const TRom* m_rom = nullptr;
    TSampleContext m_ctx;
    std::array<TGrid, 2> m_grids;
    std::array<TTunerStats, 2> m_stats;
    TTunerRejections m_rejections;
    quint64 m_samples = 0;
    quint64 m_accepted = 0;
    quint64 m_sinceReset = 0;
    quint8 m_previousThrottle = 0;
    bool m_closing = false;
};
