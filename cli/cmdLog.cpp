// vexor-cli log: records a datalog session from a serial port (or a simulator's
// pseudo-terminal) into a .dlf file, headless. The recording is protected by
// the same recovery file as in the program while it runs.

#include "cli/mdlCli.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QEventLoop>
#include <QTimer>

namespace {

// Messages of the connection become the command's error text.
class TCliMessages : public IMessageService {
public:
    QString lastText;
    std::function<void()> onMessage;

protected:
    int doShowMessage(const TMessage& m) override
    {
        lastText = m.text;
        if (onMessage)
            onMessage();
        return mrOk;
    }
    std::optional<QString> doInputQuery(const QString&, const QString&, const QString&) override { return {}; }
};

constexpr int MaxSeconds = 24 * 60 * 60;
constexpr int MaxSamples = 10'000'000;

// A --max-tries or --timeout flag, in the range its settings key accepts; the
// setting when the flag is absent.
int connectionFlag(const CliArgs& args, const QString& flag, const QString& key, int setting)
{
    if (!args.has(flag))
        return setting;
    const int v = cliInt(args.value(flag), flag);
    const auto range = settingRange(QStringLiteral("Tuner Connection Settings"), key);
    if (range && (v < range->lo || v > range->hi))
        throw CliError{ExitRefused,
                       QStringLiteral("%1 must be from %2 to %3.").arg(flag).arg(range->lo).arg(range->hi)};
    return v;
}

int cmdLog(const QStringList& a)
{
    const QString port = QStringLiteral("--port"), protocol = QStringLiteral("--protocol"),
                  baud = QStringLiteral("--baud"), samples = QStringLiteral("--samples"),
                  seconds = QStringLiteral("--seconds"), out = QStringLiteral("-o"),
                  maxTries = QStringLiteral("--max-tries"), timeout = QStringLiteral("--timeout"),
                  recoveryMs = QStringLiteral("--recovery-ms");
    CliArgs args(a, {}, {port, protocol, baud, samples, seconds, out, maxTries, timeout, recoveryMs});
    const QString portName = args.value(port);
    const QString outPath = args.value(out);
    const int proto = cliInt(args.value(protocol), QStringLiteral("protocol"));
    if (!ecu::isSupported(proto))
        throw CliError{ExitRefused, QStringLiteral("Unsupported protocol %1 (0, 1 or 2).").arg(proto)};
    if (args.has(samples) == args.has(seconds))
        throw CliError{ExitUsage, QStringLiteral("Give either --samples or --seconds.")};
    // The whole recording is held in memory, and the stop timer counts
    // milliseconds in an int: a day, or ten million samples, is the limit.
    const qint64 wantSamples = args.has(samples) ? cliInt(args.value(samples), QStringLiteral("sample count")) : -1;
    const double wantSeconds = args.has(seconds) ? cliNumber(args.value(seconds), QStringLiteral("seconds")) : -1;
    if (args.has(samples) && (wantSamples <= 0 || wantSamples > MaxSamples))
        throw CliError{ExitUsage, QStringLiteral("--samples must be from 1 to %1.").arg(MaxSamples)};
    if (args.has(seconds) && (wantSeconds <= 0 || wantSeconds > MaxSeconds))
        throw CliError{ExitUsage,
                       QStringLiteral("--seconds must be more than 0 and at most %1 (one day).").arg(MaxSeconds)};

    // The link's tries and poll interval come from the user's settings, as in
    // the program; the flags override them.
    TSettingsStore preferences(settingsFolder());
    preferences.load();
    const TConnectionSettings conn = preferences.values().tunerConnection;
    TTunerSettings settings;
    settings.protocolIndex = proto;
    settings.port.portName = portName;
    settings.port.baudRate = cliInt(args.value(baud, QStringLiteral("38400")), QStringLiteral("baud rate"));
    settings.maxTries = connectionFlag(args, maxTries, QStringLiteral("MaxTries"), conn.maxTries);
    settings.timeout = connectionFlag(args, timeout, QStringLiteral("Timeout"), conn.timeout);
    if (settings.port.baudRate <= 0)
        throw CliError{ExitRefused, QStringLiteral("The baud rate must be positive.")};

    TSystemClock clock;
    TQtTimerFactory timers;
    TQtSerialPort serial;
    TCliMessages messages;
    TTunerForm tuner(clock, timers, &serial, &messages);
    tuner.setSettings(settings);
    TCuddleCore store(clock);
    store.setCrashRecovery(true);
    store.setRecoveryInterval(static_cast<quint32>(cliInt(
        args.value(recoveryMs, QString::number(TCuddleCore::DefaultRecoveryInterval)), QStringLiteral("interval"))));
    store.onRecoveryFailed = [](const QString& e) {
        cliErr(QStringLiteral("Warning: recovery file not written: %1").arg(e));
    };
    store.clear();

    QEventLoop loop;
    QObject::connect(&tuner, &TTunerForm::warning,
                     [](const QString& w) { cliErr(QStringLiteral("Warning: %1").arg(w)); });
    QObject::connect(&tuner, &TTunerForm::sampleReady, [&](const DatalogSample& s) {
        if (wantSamples < 0 || store.count() < wantSamples)
            store.append(s);
        if (wantSamples >= 0 && store.count() >= wantSamples) {
            tuner.close();
            loop.quit();
        }
    });
    messages.onMessage = [&] { loop.quit(); };
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    QObject::connect(&stopTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (wantSeconds > 0)
        stopTimer.start(static_cast<int>(wantSeconds * 1000));

    tuner.open();
    if (tuner.isActive())
        loop.exec();
    tuner.close();

    const QString failure = messages.lastText;
    if (!store.isEmpty()) {
        store.save(outPath); // EVexorError: exit 2, the recovery file stays
        cliOut(QStringLiteral("%1 samples, %2 samples per second, written to %3")
                   .arg(store.count())
                   .arg(store.samplesPerSecond(), 0, 'f', 2)
                   .arg(outPath));
        const auto& st = tuner.stats();
        if (st.corruptFrames || st.noiseBytes || st.overflowBytes)
            cliOut(QStringLiteral("Rejected frames: %1, noise bytes dropped: %2")
                       .arg(st.corruptFrames)
                       .arg(st.noiseBytes + st.overflowBytes));
    }
    if (!failure.isEmpty()) {
        cliErr(failure);
        return ExitRefused;
    }
    if (store.isEmpty()) {
        cliErr(QStringLiteral("No samples were received."));
        return ExitRefused;
    }
    return ExitOk;
}

CliCommand reg("log",
               "log --port DEV --protocol N [--baud B] (--samples N | --seconds S) -o OUT.dlf "
               "[--max-tries N] [--timeout MS] [--recovery-ms MS]",
               cmdLog);

} // namespace
