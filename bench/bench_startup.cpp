// The program's start-up to the first painted grid of the demo ROM (target:
// under 0.5 s). Each iteration starts `vexor demo.bin --startup-time` from
// this program's folder with an empty settings folder and times it from the
// process start until it has painted the grid and quit; counter "in_main_ms"
// is the program's own figure from entering main (without loading the
// executable and its libraries).
//
//   ./bench_startup          (offscreen unless QT_QPA_PLATFORM says otherwise)

#include "BenchSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>

namespace {

constexpr int StartTimeoutMs = 60000;

void BM_StartupToPaintedGrid(benchmark::State& state)
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString program = bin.filePath(QStringLiteral("vexor"));
    const QString demo = bin.filePath(QStringLiteral("demo.bin"));
    if (!QFile::exists(program) || !QFile::exists(demo)) {
        state.SkipWithError("vexor or demo.bin is not beside the benchmark");
        return;
    }
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VEXOR_HOME"), home.path());
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QRegularExpression reported(QStringLiteral("first painted grid: (\\d+) ms"));

    double inMainMs = 0;
    for (auto _ : state) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        const auto start = std::chrono::steady_clock::now();
        p.start(program, {demo, QStringLiteral("--startup-time")});
        const bool finished = p.waitForFinished(StartTimeoutMs);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        const QRegularExpressionMatch m = reported.match(QString::fromLocal8Bit(p.readAllStandardOutput()));
        if (!finished || p.exitCode() != 0 || !m.hasMatch()) {
            p.kill();
            p.waitForFinished();
            state.SkipWithError("the program did not report its first painted grid");
            return;
        }
        inMainMs += m.captured(1).toDouble();
    }
    state.counters["in_main_ms"] = benchmark::Counter(inMainMs, benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK(BM_StartupToPaintedGrid)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
