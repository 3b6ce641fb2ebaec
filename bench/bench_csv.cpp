// Exporting a one-million-sample recording (about 2 h 45 min at 100 samples
// per second) to CSV, file write included (target: 400 MB/s of CSV text or
// more), the same lines formatted into memory only, and the data graphs'
// decimation of a one-hour channel to a chart width.

#include "BenchSupport.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlDataGraph.h"
#include "datalog/mdlDecimate.h"
#include "datalog/mdlTimers.h"
#include "sim/mdlEcuSim.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

namespace {

constexpr qint64 Samples = 1000000;

const QByteArray& bigRecording()
{
    static const QByteArray bytes = [] {
        TEngineModel engine;
        QByteArray b;
        b.reserve(Samples * DatalogSample::Size);
        for (qint64 i = 0; i < Samples; ++i) {
            DatalogSample s = engine.sampleAt(static_cast<quint64>(i) * 10);
            s.setTimeStamp(static_cast<quint32>(i * 10));
            b += s.toBytes();
        }
        return b;
    }();
    return bytes;
}

TCsvOptions options()
{
    TCsvOptions o;
    TLambdaPoints points{};
    for (int i = 0; i < 12; ++i)
        points[static_cast<size_t>(i)] = {i * 0.4, 0.68 + i * 0.06};
    o.lambda = lambdaLookupFromCurve(points, 0.0);
    o.ctx.knockSensor = true;
    return o;
}

// CSV bytes per second of wall-clock time, counted in decimal megabytes.
benchmark::Counter csvRate(qint64 bytes)
{
    return benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kIsIterationInvariantRate,
                              benchmark::Counter::OneK::kIs1000);
}

void BM_CsvExportMillion(benchmark::State& state)
{
    const QByteArray& records = bigRecording();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.csv"));
    const TCsvOptions o = options();
    for (auto _ : state) {
        exportCsvFile(path, records, o);
    }
    const qint64 bytes = QFile(path).size();
    state.counters["samples"] = static_cast<double>(records.size() / DatalogSample::Size);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["rate"] = csvRate(bytes);
}

// A device that keeps nothing: the formatting alone, without the disk.
class TNullDevice : public QIODevice {
public:
    TNullDevice() { open(QIODevice::WriteOnly); }
    qint64 written = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 size) override
    {
        written += size;
        return size;
    }
};

void BM_CsvFormatMillion(benchmark::State& state)
{
    const QByteArray& records = bigRecording();
    const TCsvOptions o = options();
    qint64 bytes = 0;
    for (auto _ : state) {
        TNullDevice out;
        writeCsv(out, records, o);
        bytes = out.written;
    }
    state.counters["rate"] = csvRate(bytes);
}

// From a loaded .dlf to the CSV file, as vexor-cli dlf2csv does it.
void BM_DlfToCsvMillion(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString dlf = dir.filePath(QStringLiteral("big.dlf"));
    {
        QFile f(dlf);
        if (!f.open(QIODevice::WriteOnly) || f.write(bigRecording()) != bigRecording().size())
            state.SkipWithError("cannot write the datalog file");
    }
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    const TCsvOptions o = options();
    TManualClock clock;
    for (auto _ : state) {
        TCuddleCore store(clock);
        store.load(dlf);
        exportCsvFile(csv, store.data(), o);
    }
}

// One hour at 100 samples per second, one channel, drawn 1600 pixels wide.
void BM_DecimateHour(benchmark::State& state)
{
    TDataGraphSeries series;
    series.update(bigRecording().left(360000 * DatalogSample::Size), TSampleDisplay{}, 1 << dgRPM);
    const std::span<const double> x(series.times());
    const std::span<const float> y(series.values(dgRPM));
    qsizetype points = 0;
    for (auto _ : state) {
        const QList<QPointF> out = datalog::decimateMinMax(x, y, 0, series.lastTime(), 1600);
        points = out.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["points"] = static_cast<double>(points);
}

BENCHMARK(BM_CsvExportMillion)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CsvFormatMillion)->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DlfToCsvMillion)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DecimateHour)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
