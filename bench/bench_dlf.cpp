// Loading and replaying a one-million-sample datalog file (about 2 h 45 min
// at 100 samples per second): the median of each must stay under 0.2 s.

#include "BenchSupport.h"
#include "datalog/mdlDatalogSession.h"
#include "settings/mdlMessages.h"
#include "sim/mdlEcuSim.h"
#include "support/FakeSerialPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr qint64 Samples = 1000000;

const QString& bigFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString p = dir.filePath(QStringLiteral("big.dlf"));
        TEngineModel engine;
        QByteArray bytes;
        bytes.reserve(Samples * DatalogSample::Size);
        for (qint64 i = 0; i < Samples; ++i) {
            DatalogSample s = engine.sampleAt(static_cast<quint64>(i) * 10);
            if (i % 100000 == 99999)
                s.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
            bytes += s.toBytes();
        }
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the benchmark file");
        return p;
    }();
    return path;
}

class TSilentMessages : public IMessageService {
protected:
    int doShowMessage(const TMessage& m) override
    {
        qWarning("%s", qPrintable(m.text));
        return mrOk;
    }
    std::optional<QString> doInputQuery(const QString&, const QString&, const QString&) override { return {}; }
};

QByteArray readAllOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Counter "x_readAll": the load's time as a multiple of reading the file's
// bytes with QFile::readAll, measured right after the load's own loop.
void BM_DlfLoad(benchmark::State& state)
{
    const QString path = bigFile();
    TManualClock clock;
    TCuddleCore store(clock);
    const TLoopTimer loop;
    for (auto _ : state) {
        store.load(path);
        benchmark::DoNotOptimize(store.markers().size());
    }
    const double perLoad = loop.secondsPerIteration(state);
    if (store.count() != Samples || store.markers().size() != 10)
        state.SkipWithError("wrong sample or marker count");
    const double perRead = bestSecondsPerCall([&] { benchmark::DoNotOptimize(readAllOf(path).size()); }, 3);
    state.counters["samples"] = static_cast<double>(store.count());
    state.counters["MB"] = static_cast<double>(store.data().size()) / 1e6;
    state.counters["x_readAll"] = perLoad / perRead;
}

// The baseline alone: the same file's bytes through QFile::readAll.
void BM_DlfReadAll(benchmark::State& state)
{
    const QString path = bigFile();
    qsizetype size = 0;
    for (auto _ : state) {
        size = readAllOf(path).size();
        benchmark::DoNotOptimize(size);
    }
    if (size != Samples * DatalogSample::Size)
        state.SkipWithError("short read");
}

// The file menu's load: clear, load, replay every sample through the tracking
// step (here a stand-in that converts engine speed and load, as the cell
// lookup does), rewind and set up the playback bar.
void BM_DlfLoadAndReplay(benchmark::State& state)
{
    const QString path = bigFile();
    TManualClock clock;
    TFakeSerialPort port;
    TSilentMessages messages;
    TTunerForm tuner(clock, clock, &port, &messages);
    TCuddleCore store(clock);
    TDatalogSession session(tuner, store, clock, clock, &messages, nullptr);
    const TSampleContext ctx;
    qint64 acc = 0;
    session.trackSample = [&](const DatalogSample& s, bool) { acc += datalog::rpm(s) + datalog::mapMbar(s, ctx); };
    for (auto _ : state) {
        acc = 0;
        session.loadDatalog(path, false);
        benchmark::DoNotOptimize(acc);
    }
    if (session.playbackBar().max != Samples - 1 || session.playbackBar().pageSize != 100)
        state.SkipWithError("playback bar not set up");
}

BENCHMARK(BM_DlfLoad)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DlfReadAll)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DlfLoadAndReplay)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
