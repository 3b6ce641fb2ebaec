// Full repaint of the map graphs: a 20 x 24 table of the extended family,
// the table read, the geometry computed and every curve, label and surface
// piece painted off screen, as one paint of the control does it.
//
//   QT_QPA_PLATFORM=offscreen ./bench_graph_paint
//
// Targets: 2D under 2 ms, 3D under 5 ms per repaint (median).

#include "BenchSupport.h"
#include "editor/mdlGraphGeometry.h"
#include "editor/ui/mdlGraphPaint.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <QImage>
#include <QPainter>

namespace {

struct GraphBench {
    TRom rom;
    TGridDisplay display{&rom};
    TThreeD view;
    QImage image;
    TGraphMarks marks;

    GraphBench(quint8 table, QSize size)
    {
        TRomGenOptions o;
        o.family = QStringLiteral("vexorau");
        o.rows = 20;
        o.columns = 24;
        rom.buffer().loadBytes(generateRom(o));
        if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
            throw std::runtime_error("generated ROM did not load");
        rom.CurrentTable = table;
        image = QImage(size, QImage::Format_RGB32);
        marks.Selection = {3, 5, 6, 9};
        marks.Live.Active = true;
        marks.Live.Col = 4;
        marks.Live.Row = 8;
        marks.Live.Rpm = 4200;
        marks.Live.LoadMbar = 700;
        marks.Live.InjectorRaw = 300;
        marks.Live.Ignition = 25;
    }
};

const QSize PanelSize(640, 330); // one graph beside a 20 x 24 grid at 1366 x 768

void BM_Graph2DRepaint(benchmark::State& state)
{
    GraphBench b(quint8(state.range(0)), PanelSize);
    for (auto _ : state) {
        const TGraphTable t = TGraphTable::build(b.display, {});
        QPainter p(&b.image);
        paintGraph2D(p, TGraph2D(t, b.image.width(), b.image.height()), b.marks);
    }
    state.counters["cells"] = 20 * 24;
}

void BM_Graph3DRepaint(benchmark::State& state)
{
    GraphBench b(quint8(state.range(0)), PanelSize);
    for (auto _ : state) {
        const TGraphTable t = TGraphTable::build(b.display, {});
        QPainter p(&b.image);
        paintGraph3D(p, TGraph3D(t, b.view, b.image.width(), b.image.height()), b.marks);
    }
    state.counters["cells"] = 20 * 24;
}

} // namespace

// Arg: table kind.
BENCHMARK(BM_Graph2DRepaint)
    ->ArgName("table")
    ->Arg(tkLowFuel)
    ->Arg(tkLowIgn)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_Graph3DRepaint)
    ->ArgName("table")
    ->Arg(tkLowFuel)
    ->Arg(tkLowIgn)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->DisplayAggregatesOnly(true);

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
