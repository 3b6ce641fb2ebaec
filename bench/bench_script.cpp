// The cost of calling script code: evaluating a call text (what handlers and
// plug-in commands do), calling a function handle bare and through the host
// (what hooks do), one hooked table read, and a full repaint of the
// 20 x 24 table grid while a script serves every table value through the
// OnGetTableValue hook (each cell's function reads its byte through the ROM
// object).
//
//   QT_QPA_PLATFORM=offscreen ./bench_script
//
// Target: the hooked repaint stays under 16 ms (one frame). Everything runs
// through the program's own script host (rewriter, watchdog, nesting guard).

#include "BenchSupport.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "scripting/frmScripts.h"
#include "scripting/scptRom.h"
#include "scripting/scptRomEvents.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <QJSEngine>
#include <QTemporaryDir>
#include <memory>

namespace {

const char* const Functions = "function add3(a, b, c) { return a + b * 2 + c * 3; }"
                              "function tv(t, c, r) { return rom.byteAt(rom.addressIn(5 + (t & 1)) + r * 24 + c); }";

struct ScriptBench {
    TTestServices svc;
    TRom rom;
    TRomDocument doc{rom, svc.services()};
    QTemporaryDir dir;
    std::unique_ptr<TScriptForm> host;
    int hookCalls = 0;

    ScriptBench()
    {
        TRomGenOptions o;
        o.family = QStringLiteral("vexorau");
        rom.buffer().loadBytes(generateRom(o));
        if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
            throw std::runtime_error("generated ROM did not load");
        TScriptEnvironment env;
        env.services = svc.services();
        env.document = &doc;
        svc.messages.setDefaultAnswer(mrOk);
        host = std::make_unique<TScriptForm>(env);
        host->setFolders(dir.path(), dir.path());
        host->reloadScripts();
        const QString file = dir.filePath(QStringLiteral("bench.js"));
        writeBytes(file, Functions);
        host->addScriptFile(file);
        if (svc.messages.count() != 0)
            throw std::runtime_error("the bench script failed");
    }
};

void BM_EvaluateCallText(benchmark::State& state)
{
    ScriptBench b;
    double sum = 0;
    for (auto _ : state)
        sum += b.host->evaluate(QStringLiteral("add3(1,2,3)")).toNumber();
    benchmark::DoNotOptimize(sum);
}

void BM_CachedCall(benchmark::State& state)
{
    ScriptBench b;
    QJSValue f = b.host->engine()->globalObject().property(QStringLiteral("add3"));
    const QJSValueList args{1, 2, 3};
    double sum = 0;
    for (auto _ : state)
        sum += f.call(args).toNumber();
    benchmark::DoNotOptimize(sum);
}

void BM_HostCallFunction(benchmark::State& state)
{
    ScriptBench b;
    const QJSValueList args{1, 2, 3};
    double sum = 0;
    for (auto _ : state)
        sum += b.host->callFunction(QStringLiteral("add3"), args, QStringLiteral("add3(1,2,3)")).toNumber();
    benchmark::DoNotOptimize(sum);
}

void BM_HookedRead(benchmark::State& state)
{
    ScriptBench b;
    TRomEventsScript(b.doc, *b.host, b.host->hookNames()).install(TRom::OnGetTableValue, QStringLiteral("tv"));
    double sum = 0;
    for (auto _ : state)
        sum += b.rom.tableValue(3, 4, tkLowFuel);
    benchmark::DoNotOptimize(sum);
}

void BM_HookedGridRepaint(benchmark::State& state)
{
    ScriptBench b;
    TRomEventsScript(b.doc, *b.host, b.host->hookNames()).install(TRom::OnGetTableValue, QStringLiteral("tv"));
    if (!b.rom.hasHook(TRom::OnGetTableValue)) {
        state.SkipWithError("hook not installed");
        return;
    }
    b.rom.CurrentTable = tkLowFuel;
    TGridDisplay display(&b.rom);
    TBenchGrid grid(display);
    grid.show();
    if (!grid.showsWhole20x24()) {
        state.SkipWithError("the 20 x 24 grid is not fully in view");
        return;
    }
    for (auto _ : state)
        grid.paint();
    if (b.svc.messages.count() != 0)
        state.SkipWithError("the hook failed");
}

} // namespace

BENCHMARK(BM_EvaluateCallText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CachedCall)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HostCallFunction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HookedRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HookedGridRepaint)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
