// ROM model costs: loading, reading whole tables, column rewrites and undo.
#include "BenchSupport.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <cstring>

namespace {

const QByteArray& image()
{
    static const QByteArray img = [] {
        TRomGenOptions o;
        o.family = QStringLiteral("p28");
        return generateRom(o);
    }();
    return img;
}

void BM_LoadIdentifyLookups(benchmark::State& state)
{
    TRom rom;
    for (auto _ : state) {
        rom.reset();
        rom.buffer().loadBytes(image());
        benchmark::DoNotOptimize(rom.loadFromBuffer());
    }
}
BENCHMARK(BM_LoadIdentifyLookups);

void copyImage(QByteArray& dst)
{
    std::memcpy(dst.data(), image().constData(), size_t(image().size()));
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
}

// Every cell and breakpoint of the four main maps read through the model.
// Counter "x_copy": its time as a multiple of a plain copy of the 32 KB
// image, measured right after its own loop.
void BM_ReadFourTables(benchmark::State& state)
{
    TRom rom;
    rom.buffer().loadBytes(image());
    if (rom.loadFromBuffer() != TRom::LoadResult::Ok) {
        state.SkipWithError("generated ROM did not load");
        return;
    }
    const TLoopTimer loop;
    for (auto _ : state) {
        double sum = 0;
        for (int k = 0; k < 4; ++k) {
            const bool high = TRom::isHighCamKind(k);
            const int rows = rom.rows(k), cols = rom.columns(k);
            for (int c = 0; c < cols; ++c)
                sum += rom.load(high, c);
            for (int r = 0; r < rows; ++r) {
                sum += rom.rpm(high, r);
                for (int c = 0; c < cols; ++c)
                    sum += rom.tableValue(c, r, k);
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    const double perRead = loop.secondsPerIteration(state);
    QByteArray dst(image().size(), '\0');
    constexpr int Copies = 10000;
    state.counters["x_copy"] = perRead / bestSecondsPerCall([&] { copyImage(dst); }, Copies);
}
BENCHMARK(BM_ReadFourTables);

void BM_PlainCopy32K(benchmark::State& state)
{
    QByteArray dst(image().size(), '\0');
    for (auto _ : state)
        copyImage(dst);
}
BENCHMARK(BM_PlainCopy32K);

void BM_FuelCellColumnRewrite(benchmark::State& state)
{
    TRom rom;
    rom.buffer().loadBytes(image());
    (void)rom.loadFromBuffer();
    double v = 100;
    for (auto _ : state) {
        // Alternate above the column maximum and back so every write changes bytes.
        rom.setTableValue(4, 7, v, 0);
        v = v == 100 ? 101 : 100;
        if (rom.buffer().undoStack().position() > 1 << 20)
            rom.buffer().markSaved();
    }
}
BENCHMARK(BM_FuelCellColumnRewrite);

void BM_100kWritesUndoRedo(benchmark::State& state)
{
    TRom rom;
    rom.buffer().loadBytes(image());
    (void)rom.loadFromBuffer();
    TBinEdit& b = rom.buffer();
    for (auto _ : state) {
        for (int i = 0; i < 100000; ++i)
            b.writeByte(0x100 + (i % 0x7000), quint8(b.readByte(0x100 + (i % 0x7000)) + 1));
        while (b.canUndo())
            b.undo();
        while (b.canRedo())
            b.redo();
        state.PauseTiming();
        b.markSaved();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_100kWritesUndoRedo)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
