// Auto-tune: accumulating a million samples (target: at least 20 M samples/s,
// so a long log replays in a blink), and the whole-map fuel adjustment with
// filter and smart fill on a 20 x 24 extended-family map (target: under 5 ms).

#include "BenchSupport.h"
#include "datalog/mdlAutoTune.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "sim/mdlEcuSim.h"

#include <random>
#include <vector>

namespace {

void loadRom(TRom& rom, const char* family)
{
    TRomGenOptions o;
    o.family = QLatin1String(family);
    o.rows = 20;
    o.columns = 24;
    rom.buffer().loadBytes(generateRom(o));
    if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
        std::abort();
}

void prepareTuner(TVEXORTuner& tuner, const TRom& rom)
{
    tuner.setRom(&rom);
    tuner.Conditions.gearSet = QStringLiteral("012345");
    for (int b = 0; b < 256; ++b)
        tuner.Lambda[static_cast<size_t>(b)] = static_cast<float>(0.5 + 0.2 * sensorByteToVolts(b));
}

void BM_Accumulate1M(benchmark::State& state)
{
    constexpr int Samples = 1000000;
    TRom rom;
    loadRom(rom, "p28");
    TVEXORTuner tuner;
    prepareTuner(tuner, rom);
    TEngineModel engine;
    std::vector<DatalogSample> samples;
    samples.reserve(Samples);
    for (int i = 0; i < Samples; ++i)
        samples.push_back(engine.sampleAt(static_cast<quint64>(i) * 10));
    for (auto _ : state) {
        tuner.clear();
        for (const DatalogSample& s : samples)
            tuner.addSample(s);
        benchmark::DoNotOptimize(tuner.accepted());
    }
    state.SetItemsProcessed(state.iterations() * Samples);
}
BENCHMARK(BM_Accumulate1M)->Unit(benchmark::kMillisecond);

void BM_WholeMapAdjustment(benchmark::State& state)
{
    TRom rom;
    loadRom(rom, "vexorau");
    TVEXORTuner tuner;
    prepareTuner(tuner, rom);
    std::mt19937 rng(7);
    std::normal_distribution<double> lambda(1.0, 0.04);
    for (auto _ : state) {
        state.PauseTiming();
        for (int cam = 0; cam < 2; ++cam)
            for (int c = 0; c < tuner.columns(cam); ++c)
                for (int r = 0; r < tuner.rows(cam); ++r)
                    if ((c * 7 + r * 3) % 11 != 0) // holes for smart fill
                        tuner.setCell(cam, c, r, lambda(rng) * 6, 6);
        state.ResumeTiming();
        TAutoTune tune(rom, tuner);
        benchmark::DoNotOptimize(tune.adjustFuelMaps());
        state.PauseTiming();
        rom.buffer().undo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WholeMapAdjustment)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
