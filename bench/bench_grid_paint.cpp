// Full repaint of the table grid: a 20 x 24 table of the extended family
// (the largest shape), every caption and colour computed by the display
// logic at paint time, painted off screen into an image.
//
//   QT_QPA_PLATFORM=offscreen ./bench_grid_paint
//
// The interesting figure is the median per repaint (target: under 2 ms).

#include "editor/mdlGridDisplay.h"
#include "editor/ui/VexorGrid.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

struct GridBench {
    TRom rom;
    TGridDisplay display;
    std::unique_ptr<TVexorGrid> grid;
    QImage image;

    GridBench(quint8 table, quint8 viewMode)
    {
        TRomGenOptions o;
        o.family = QStringLiteral("vexorau");
        o.rows = 20;
        o.columns = 24;
        rom.buffer().loadBytes(generateRom(o));
        if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
            throw std::runtime_error("generated ROM did not load");
        rom.CurrentTable = table;
        display.setRom(&rom);
        display.options().ViewMode = viewMode;

        grid = std::make_unique<TVexorGrid>();
        grid->setFixedCols(TGridDisplay::FixedCols);
        grid->setFixedRows(TGridDisplay::FixedRows);
        grid->setColCount(display.gridColCount());
        grid->setRowCount(display.gridRowCount());
        grid->setDefaultColWidth(grid->fontMetrics().horizontalAdvance(QStringLiteral("10000.00")) + 4);
        grid->OnFixedCell = [this](TVexorGrid*, int c, int r, QString& caption, TAlignment& align) {
            display.fixedCell(c, r, caption, align);
        };
        grid->OnColorCell = [this](TVexorGrid*, int c, int r, QString& caption, TColor& bk, TColor& fc, TFontStyles&,
                                   TAlignment& align,
                                   bool selected) { display.colorCell(c, r, caption, bk, fc, align, selected); };
        grid->SelectRange(3, 5, 6, 9);
        grid->resize(grid->sizeHint());
        grid->show();
        QApplication::processEvents(); // scroll bars settle in queued layout passes
        image = QImage(grid->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    }

    void paint() { grid->viewport()->render(&image); }
};

void BM_GridRepaint(benchmark::State& state)
{
    GridBench b(quint8(state.range(0)), quint8(state.range(1)));
    if (b.grid->ColCount() != 25 || b.grid->RowCount() != 23) {
        state.SkipWithError("unexpected table shape");
        return;
    }
    // The whole grid must be in view, or the figure would be for part of it.
    if (b.grid->viewport()->size() != b.grid->contentSize()) {
        state.SkipWithError("the grid is not fully in view");
        return;
    }
    for (auto _ : state)
        b.paint();
    state.counters["cells"] = double(b.grid->ColCount() * b.grid->RowCount());
}

} // namespace

// Args: table kind, view mode (0 values, 5 duty cycle).
BENCHMARK(BM_GridRepaint)
    ->ArgNames({"table", "view"})
    ->Args({tkLowFuel, vmValues})
    ->Args({tkLowIgn, vmValues})
    ->Args({tkLowFuel, vmDutyCycle})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
