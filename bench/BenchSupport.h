#pragma once

// What the benchmark programs share: their main (with a Qt application on the
// offscreen platform when widgets are painted), a table grid wired to the
// display logic and shown whole, and the timing of a baseline so that a
// benchmark can report its cost as a multiple of a plain operation measured
// in the same run.

#include "editor/mdlGridDisplay.h"
#include "editor/ui/VexorGrid.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

// Runs the benchmarks of the program inside an application of type App
// (QCoreApplication, or QApplication on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise).
template <class App>
int runBenchmarks(int argc, char** argv)
{
    if constexpr (std::is_same_v<App, QApplication>) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Seconds that one call of `work` takes: the best of a few timed batches of
// `calls` calls, so that a baseline measured after a benchmark's own loop is
// not charged for a neighbour's burst of load.
template <class Work>
double bestSecondsPerCall(Work&& work, int calls, int batches = 5)
{
    double best = 0;
    for (int b = 0; b < batches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / calls;
        best = b == 0 ? s : std::min(best, s);
    }
    return best;
}

// Wall-clock seconds of a benchmark's own loop, read after the loop.
class TLoopTimer {
public:
    TLoopTimer() : m_start(std::chrono::steady_clock::now()) {}
    [[nodiscard]] double secondsPerIteration(const benchmark::State& state) const
    {
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        return state.iterations() == 0 ? 0.0 : total / static_cast<double>(state.iterations());
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// The table grid of the main window, every caption and colour asked from the
// display logic while it paints, sized to show every cell and painted off
// screen into an image.
class TBenchGrid {
public:
    explicit TBenchGrid(TGridDisplay& display) : m_display(display)
    {
        m_grid.setFixedCols(TGridDisplay::FixedCols);
        m_grid.setFixedRows(TGridDisplay::FixedRows);
        m_grid.setColCount(display.gridColCount());
        m_grid.setRowCount(display.gridRowCount());
        m_grid.setDefaultColWidth(m_grid.fontMetrics().horizontalAdvance(QStringLiteral("10000.00")) + 4);
        m_grid.OnFixedCell = [this](TVexorGrid*, int c, int r, QString& caption, TAlignment& align) {
            m_display.fixedCell(c, r, caption, align);
        };
        m_grid.OnColorCell = [this](TVexorGrid*, int c, int r, QString& caption, TColor& bk, TColor& fc, TFontStyles&,
                                    TAlignment& align,
                                    bool selected) { m_display.colorCell(c, r, caption, bk, fc, align, selected); };
    }

    TVexorGrid& grid() { return m_grid; }

    // Shows the grid at the size that holds every cell; call after the
    // selection and the view are set.
    void show()
    {
        m_grid.resize(m_grid.sizeHint());
        m_grid.show();
        QApplication::processEvents(); // scroll bars settle in queued layout passes
        m_image = QImage(m_grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }

    // Whether the grid has the shape of a 20 x 24 table and shows all of it;
    // otherwise a figure would be for another table or part of one.
    [[nodiscard]] bool showsWhole20x24() const
    {
        return m_grid.ColCount() == 25 && m_grid.RowCount() == 23 && m_grid.viewport()->size() == m_grid.contentSize();
    }

    [[nodiscard]] int cells() const { return m_grid.ColCount() * m_grid.RowCount(); }

    void paint() { m_grid.viewport()->render(&m_image); }

private:
    TGridDisplay& m_display;
    TVexorGrid m_grid;
    QImage m_image;
};
