// Full repaint of the table grid: a 20 x 24 table of the extended family
// (the largest shape), every caption and colour computed by the display
// logic at paint time, painted off screen into an image.
//
//   QT_QPA_PLATFORM=offscreen ./bench_grid_paint
//
// The interesting figure is the median per repaint (target: under 2 ms).

#include "BenchSupport.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <memory>

namespace {

struct GridBench {
    TRom rom;
    TGridDisplay display;
    std::unique_ptr<TBenchGrid> grid;

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
        grid = std::make_unique<TBenchGrid>(display);
        grid->grid().SelectRange(3, 5, 6, 9);
        grid->show();
    }
};

void BM_GridRepaint(benchmark::State& state)
{
    GridBench b(quint8(state.range(0)), quint8(state.range(1)));
    if (!b.grid->showsWhole20x24()) {
        state.SkipWithError("the 20 x 24 grid is not fully in view");
        return;
    }
    for (auto _ : state)
        b.grid->paint();
    const double cells = b.grid->cells();
    state.counters["cells"] = cells;
    // Time per painted cell, fixed cells included.
    state.counters["per_cell"] =
        benchmark::Counter(cells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
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

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
