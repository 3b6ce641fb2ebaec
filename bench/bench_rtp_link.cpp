// Emulator transfers against vexor-sim on a pseudo-terminal, paced at the
// line's baud rate, next to the wire time: (command bytes + reply bytes) x 10
// bits / baud for the whole 32 KB image. Targets: put and get within 1.15 x
// the wire time at 920000 baud. And the latency from one edit of the image to
// its byte accepted by the emulator during automatic update (target < 50 ms).

#include "BenchSupport.h"
#include "emulator/frmRTP.h"
#include "rom/clsBinEdit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryFile>

using namespace rtp;

namespace {

QString simulator(QProcess& sim, int hardware, const QString& load = {})
{
    const QString bin = qEnvironmentVariableIsSet("VEXOR_BIN") ? qEnvironmentVariable("VEXOR_BIN")
                                                               : QCoreApplication::applicationDirPath();
    QStringList args{QStringLiteral("emu"), QStringLiteral("--hardware"), QString::number(hardware)};
    if (!load.isEmpty())
        args << QStringLiteral("--load") << load;
    sim.start(bin + QStringLiteral("/vexor-sim"), args);
    QDeadlineTimer deadline(10000);
    while (!sim.canReadLine() && !deadline.hasExpired())
        sim.waitForReadyRead(100);
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

struct TRig {
    TQtTimerFactory timers;
    TQtSerialPort port;
    TRTPForm link{timers, &port, nullptr};

    bool open(const QString& path, int hardware)
    {
        TRTPLinkSettings s;
        s.hardwareCode = hardware;
        s.port.portName = path;
        s.port.baudRate = isFramed(hardware) ? HighSpeedBaud : 38400;
        link.setSettings(s);
        return link.openPort();
    }
    TRTPResult run(int kind, const QByteArray& image)
    {
        QEventLoop loop;
        TRTPResult out;
        link.start(
            kind, image,
            [&](const TRTPResult& r) {
                out = r;
                loop.quit();
            },
            true);
        loop.exec();
        return out;
    }
};

// Bytes on the wire for the whole image, both ways.
double wireBytes(int kind, int hardware, int size)
{
    if (!isFramed(hardware))
        return kind == KindWrite ? size * (5.0 + 1.0) : size * 2.0;
    const double blocks = size / double(BlockSize);
    return kind == KindWrite ? blocks * (5 + BlockSize + 1 + 1) : blocks * (5 + ReadReplyLength);
}

void BM_Transfer(benchmark::State& state)
{
    const int hardware = static_cast<int>(state.range(0));
    const int kind = static_cast<int>(state.range(1));
    const int size = 0x8000;
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>(i * 7 + 3);
    // Reads and verifies find the image in the emulator already.
    QTemporaryFile file;
    if (!file.open() || file.write(image) != size || !file.flush()) {
        state.SkipWithError("no temporary file");
        return;
    }
    QProcess sim;
    const QString path = simulator(sim, hardware, kind == KindWrite ? QString() : file.fileName());
    TRig rig;
    if (path.isEmpty() || !rig.open(path, hardware)) {
        state.SkipWithError("vexor-sim did not start (set VEXOR_BIN)");
        return;
    }
    const int baud = isFramed(hardware) ? HighSpeedBaud : 38400;
    const double wire = wireBytes(kind, hardware, size) * 10.0 / baud;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const TRTPResult r = rig.run(kind, kind == KindRead ? QByteArray(size, '\0') : image);
        seconds = t.nsecsElapsed() / 1e9;
        if (!r.ok()) {
            const std::string why = "transfer failed: state " + std::to_string(r.state) + " error " +
                                    std::to_string(r.error) + " at " + std::to_string(rig.link.address());
            state.SkipWithError(why.c_str());
        }
        state.SetIterationTime(seconds);
    }
    state.counters["resends"] = static_cast<double>(rig.link.resends());
    state.counters["wire_s"] = wire;
    state.counters["ratio"] = seconds / wire;
    sim.terminate();
    sim.waitForFinished(5000);
}

void BM_EditLatency(benchmark::State& state)
{
    QProcess sim;
    const QString path = simulator(sim, 3);
    TRig rig;
    if (path.isEmpty() || !rig.open(path, 3)) {
        state.SkipWithError("vexor-sim did not start (set VEXOR_BIN)");
        return;
    }
    TBinEdit buffer;
    buffer.setSize(TBinEdit::SmallImage);
    rig.link.setEditBuffer(&buffer);
    rig.link.setAutoUpdate(true);
    rig.link.setConnected(true);
    QEventLoop loop;
    QObject::connect(&rig.link, &TRTPForm::finished, &loop, &QEventLoop::quit);
    int n = 0;
    double worst = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        buffer.writeByte(0x1000 + (n % 256), static_cast<quint8>(n + 1));
        ++n;
        loop.exec();
        const double s = t.nsecsElapsed() / 1e9;
        worst = std::max(worst, s);
        state.SetIterationTime(s);
    }
    state.counters["worst_ms"] = worst * 1000;
    rig.link.setEditBuffer(nullptr);
    sim.terminate();
    sim.waitForFinished(5000);
}

} // namespace

BENCHMARK(BM_Transfer)
    ->ArgNames({"hardware", "kind"})
    ->Args({3, KindWrite})
    ->Args({3, KindRead})
    ->Args({3, KindVerify})
    ->Args({2, KindWrite})
    ->Args({2, KindRead})
    ->Args({0, KindWrite})
    ->Args({0, KindRead})
    ->Args({0, KindVerify})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditLatency)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
