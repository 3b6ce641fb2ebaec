// Samples per second against vexor-sim on a pseudo-terminal, per protocol,
// next to the wire limit: (request + reply bytes) x 10 bits per sample at the
// baud rate. Target: at least 90 % of the wire limit at 38 400 baud.
// The 921 600 baud runs show the floor set by the pseudo-terminal's own
// round trip (two process wake-ups per request/reply), which a real line
// does not have.

#include "BenchSupport.h"
#include "datalog/frmTuner.h"
#include "settings/mdlMessages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {

class TSilentMessages : public IMessageService {
public:
    QString last;

protected:
    int doShowMessage(const TMessage& m) override
    {
        last = m.text;
        return mrOk;
    }
    std::optional<QString> doInputQuery(const QString&, const QString&, const QString&) override { return {}; }
};

int wireBytesPerSample(int protocol)
{
    switch (protocol) {
    case 0: return 15 * 2; // fifteen one-byte requests, fifteen one-byte replies
    case 1: return 1 + 41;
    default: return 1 + 44;
    }
}

void BM_LinkRate(benchmark::State& state)
{
    const int protocol = static_cast<int>(state.range(0));
    const int baud = static_cast<int>(state.range(1));
    const int seconds = 6;
    const QString bin = qEnvironmentVariableIsSet("VEXOR_BIN") ? qEnvironmentVariable("VEXOR_BIN")
                                                               : QCoreApplication::applicationDirPath();
    double rate = 0;
    for (auto _ : state) {
        QProcess sim;
        sim.start(bin + QStringLiteral("/vexor-sim"),
                  {QStringLiteral("ecu"), QStringLiteral("--protocol"), QString::number(protocol),
                   QStringLiteral("--baud"), QString::number(baud)});
        QDeadlineTimer deadline(10000);
        while (!sim.canReadLine() && !deadline.hasExpired())
            sim.waitForReadyRead(100);
        const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
        if (path.isEmpty()) {
            state.SkipWithError("vexor-sim did not start (set VEXOR_BIN)");
            return;
        }
        TSystemClock clock;
        TQtTimerFactory timers;
        TQtSerialPort port;
        TSilentMessages messages;
        TTunerForm tuner(clock, timers, &port, &messages);
        TTunerSettings s;
        s.protocolIndex = protocol;
        s.port.portName = path;
        s.port.baudRate = baud;
        tuner.setSettings(s);
        quint32 first = 0, last = 0;
        qint64 n = 0;
        QObject::connect(&tuner, &TTunerForm::sampleReady, [&](const DatalogSample& d) {
            if (n++ == 0)
                first = d.timeStamp();
            last = d.timeStamp();
        });
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        QObject::connect(&tuner, &TTunerForm::connectionEnded, &loop, &QEventLoop::quit);
        tuner.open();
        loop.exec();
        tuner.close();
        sim.terminate();
        sim.waitForFinished(5000);
        if (n < 2 || last == first) {
            state.SkipWithError(qPrintable(QStringLiteral("no samples: ") + messages.last));
            return;
        }
        rate = static_cast<double>(n - 1) * 1000.0 / (last - first);
    }
    const double wire = baud / (10.0 * wireBytesPerSample(protocol));
    state.counters["samples_per_s"] = rate;
    state.counters["wire_limit_per_s"] = wire;
    state.counters["pct_of_wire"] = 100.0 * rate / wire;
    // Time per request/reply turn beyond the wire time.
    const int turns = protocol == 0 ? 15 : 1;
    state.counters["overhead_us_per_turn"] = (1e6 / rate - 1e6 / wire) / turns;
}

BENCHMARK(BM_LinkRate)
    ->ArgNames({"protocol", "baud"})
    ->Args({0, 38400})
    ->Args({1, 38400})
    ->Args({2, 38400})
    ->Args({0, 921600})
    ->Args({1, 921600})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
