// vexor-cli rtp: the emulator operations headless, on a serial port or a
// simulator's pseudo-terminal, with a progress line on standard error.

#include "cli/mdlCli.h"
#include "emulator/frmRTP.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QEventLoop>
#include <QFile>
#include <QTextStream>

using namespace rtp;

namespace {

int connectionFlag(const CliArgs& args, const QString& flag, const QString& key, int setting)
{
    if (!args.has(flag))
        return setting;
    const int v = cliInt(args.value(flag), flag);
    const auto range = settingRange(QStringLiteral("RTP Connection Settings"), key);
    if (range && (v < range->lo || v > range->hi))
        throw CliError{ExitRefused,
                       QStringLiteral("%1 must be from %2 to %3.").arg(flag).arg(range->lo).arg(range->hi)};
    return v;
}

// The image of a ROM file: 32 KB or 48 KB (as the editor splits image and
// notes) unless --size says otherwise.
QByteArray readImage(const QString& path, int size)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw CliError{ExitRefused, QStringLiteral("Cannot read %1: %2").arg(path, f.errorString())};
    const QByteArray bytes = f.read(MaxImage + 1);
    if (size <= 0)
        size = bytes.size() < 0xC000 ? 0x8000 : 0xC000;
    if (bytes.size() < size)
        throw CliError{
            ExitRefused,
            QStringLiteral("%1 holds %2 bytes, less than an image of %3.").arg(path).arg(bytes.size()).arg(size)};
    return bytes.left(size);
}

void progressLine(const QString& status, int address, int length)
{
    QTextStream err(stderr);
    const int pct = length > 0 ? static_cast<int>(100LL * address / length) : 0;
    err << '\r' << status << ' ' << pct << "%   ";
    err.flush();
}

int cmdRtp(const QStringList& a)
{
    const QString port = QStringLiteral("--port"), hardware = QStringLiteral("--hardware"),
                  baud = QStringLiteral("--baud"), out = QStringLiteral("-o"), size = QStringLiteral("--size"),
                  maxTries = QStringLiteral("--max-tries"), timeout = QStringLiteral("--timeout"),
                  use512K = QStringLiteral("--512k");
    CliArgs args(a, {use512K}, {port, hardware, baud, out, size, maxTries, timeout});
    const QString op = args.positionalAt(0, QStringLiteral("operation"));
    const QStringList ops = {QStringLiteral("detect"), QStringLiteral("get"),  QStringLiteral("put"),
                             QStringLiteral("verify"), QStringLiteral("grab"), QStringLiteral("burn")};
    if (!ops.contains(op))
        throw CliError{ExitUsage, QStringLiteral("Unknown operation %1 (%2).").arg(op, ops.join(QStringLiteral(", ")))};
    const int code = cliInt(args.value(hardware), QStringLiteral("hardware code"));
    if (code != 0 && code != 2 && code != 3)
        throw CliError{ExitRefused, QStringLiteral("The hardware code is 0, 2 or 3.")};
    const int imageSize = args.has(size) ? cliInt(args.value(size), QStringLiteral("size")) : 0;
    if (args.has(size) && (imageSize <= 0 || imageSize > MaxImage || imageSize % BlockSize != 0))
        throw CliError{ExitRefused, QStringLiteral("--size must be a multiple of 256 up to 65536.")};

    TSettingsStore preferences(settingsFolder());
    preferences.load();
    const TConnectionSettings conn = preferences.values().rtpConnection;
    TRTPLinkSettings s;
    s.hardwareCode = code;
    s.use512K = args.flag(use512K) || preferences.values().rtp.use512K;
    s.timeout = connectionFlag(args, timeout, QStringLiteral("Timeout"), conn.timeout);
    s.maxTries = connectionFlag(args, maxTries, QStringLiteral("MaxTries"), conn.maxTries);
    s.port.portName = args.value(port);
    s.port.baudRate =
        cliInt(args.value(baud, QString::number(isFramed(code) ? HighSpeedBaud : 38400)), QStringLiteral("baud rate"));
    if (s.port.baudRate <= 0)
        throw CliError{ExitRefused, QStringLiteral("The baud rate must be positive.")};

    int kind = KindDetect;
    QByteArray image;
    QString outPath;
    if (op == QLatin1String("get") || op == QLatin1String("grab")) {
        kind = op == QLatin1String("get") ? KindRead : KindChipRead;
        outPath = args.value(out);
        image = QByteArray(imageSize > 0 ? imageSize : 0x8000, '\0');
    } else if (op != QLatin1String("detect")) {
        kind = op == QLatin1String("put") ? KindWrite : op == QLatin1String("verify") ? KindVerify : KindChipWrite;
        image = readImage(args.positionalAt(1, QStringLiteral("ROM file")), imageSize);
    }

    TQtTimerFactory timers;
    TQtSerialPort serial;
    TRTPForm link(timers, &serial, nullptr);
    link.setSettings(s);
    serial.applySettings(s.port);
    if (!serial.open())
        throw CliError{ExitRefused, QStringLiteral("Unable to open serial port. Please ensure that the port exists and "
                                                   "is not being used by another application.")};
    QObject::connect(&serial, &ISerialPort::warning,
                     [](const QString& w) { cliErr(QStringLiteral("Warning: %1").arg(w)); });
    QString status;
    QObject::connect(&link, &TRTPForm::statusChanged, [&](const QString& t) {
        if (!t.isEmpty())
            status = t;
        progressLine(status, link.address(), link.length());
    });
    QObject::connect(&link, &TRTPForm::progress, [&](int address, int length) {
        if (address % 4096 == 0 || address >= length)
            progressLine(status, address, length);
    });

    QEventLoop loop;
    TRTPResult result;
    link.start(
        kind, image,
        [&](const TRTPResult& r) {
            result = r;
            loop.quit();
        },
        true);
    loop.exec();
    serial.close();
    QTextStream(stderr) << '\n';

    if (result.state == StateFailed) {
        cliErr(errorText(result.error, s.maxTries, s.timeout));
        return ExitRefused;
    }
    if (result.state == StateCancelled) {
        cliErr(QStringLiteral("Cancelled."));
        return ExitRefused;
    }
    switch (kind) {
    case KindDetect: cliOut(QStringLiteral("Connected: hardware code %1").arg(link.hardwareCode())); break;
    case KindRead:
    case KindChipRead: {
        QString error;
        if (!writeFileAtomic(outPath, result.image, &error))
            throw CliError{ExitRefused, QStringLiteral("Cannot write %1: %2").arg(outPath, error)};
        cliOut(QStringLiteral("%1 bytes written to %2").arg(result.image.size()).arg(outPath));
        break;
    }
    case KindWrite: cliOut(QStringLiteral("%1 bytes written to the emulator").arg(image.size())); break;
    case KindVerify:
        if (result.state == StateMismatch) {
            cliErr(QStringLiteral("Emulator data is not the same as the current file."));
            return ExitRefused;
        }
        cliOut(QStringLiteral("Emulator data successfuly verified."));
        break;
    default:
        if (result.state != StateFinished) {
            cliErr(QStringLiteral("ROM verification failed.\r\n\r\nPlease check the EPROM for propper connection."));
            return ExitRefused;
        }
        cliOut(QStringLiteral("ROM data successfully written."));
        break;
    }
    return ExitOk;
}

CliCommand reg("rtp",
               "rtp detect|get|put|verify|grab|burn --port DEV --hardware 0|2|3 [--baud B] [--size N] [--512k] "
               "[--timeout MS] [--max-tries N] [ROM | -o OUT]",
               cmdRtp);

} // namespace
