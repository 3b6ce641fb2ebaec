// vexor-cli autotune: replays a datalog through the auto-tune accumulator with
// the tuning conditions of vexor.ini, corrects both fuel maps (or, with
// --map ignition, both ignition maps by the recorded knock) and writes the
// tuned image. The report says why samples were not used, so the next log
// can be driven to fill what this one missed.

#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/mdlAutoTune.h"
#include "settings/mdlClock.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

#include <QJsonObject>

namespace {

QJsonObject rejectionsJson(const TTunerRejections& r)
{
    auto n = [](quint64 v) { return static_cast<qint64>(v); };
    return QJsonObject{{QStringLiteral("throttle"), n(r.throttle)},
                       {QStringLiteral("lambda"), n(r.lambda)},
                       {QStringLiteral("rpm"), n(r.rpm)},
                       {QStringLiteral("load"), n(r.load)},
                       {QStringLiteral("temp"), n(r.temp)},
                       {QStringLiteral("gear"), n(r.gear)},
                       {QStringLiteral("transient"), n(r.transient)},
                       {QStringLiteral("full"), n(r.full)},
                       {QStringLiteral("untunable"), n(r.untunable)},
                       {QStringLiteral("outside"), n(r.outside)}};
}

QString rejectionsText(const TTunerRejections& r)
{
    const std::pair<const char*, quint64> rows[] = {
        {"throttle outside the tuning range", r.throttle},
        {"lambda outside the tuning range", r.lambda},
        {"engine speed outside the tuning range", r.rpm},
        {"load outside the tuning range", r.load},
        {"coolant temperature outside the tuning range", r.temp},
        {"gear not in the gear set", r.gear},
        {"throttle transient", r.transient},
        {"cell already full", r.full},
        {"cell not tunable", r.untunable},
        {"no cell (no ROM position or engine speed)", r.outside},
    };
    QStringList lines;
    for (const auto& [why, n] : rows)
        if (n)
            lines << QStringLiteral("  %1  %2").arg(n, 8).arg(QLatin1String(why));
    return lines.isEmpty() ? QStringLiteral("  none") : lines.join(QLatin1Char('\n'));
}

int cmdAutoTune(const QStringList& a)
{
    const QString outOpt = QStringLiteral("-o"), mapOpt = QStringLiteral("--map"), jsonFlag = QStringLiteral("--json");
    CliArgs args(a, {jsonFlag}, {outOpt, mapOpt});
    const QString romPath = args.positionalAt(0, QStringLiteral("ROM"));
    const QString logPath = args.positionalAt(1, QStringLiteral("LOG.dlf"));
    const QString outPath = args.value(outOpt);
    const QString map = args.value(mapOpt, QStringLiteral("fuel"));
    if (map != QLatin1String("fuel") && map != QLatin1String("ignition"))
        throw CliError{ExitUsage, QStringLiteral("--map takes fuel or ignition, not '%1'.").arg(map)};
    const bool ignition = map == QLatin1String("ignition");

    TSettingsStore store(settingsFolder());
    store.setShippedWidebandPath(TSettingsStore::shippedWidebandPath());
    QString error;
    if (!store.load(&error))
        cliErr(QStringLiteral("Warning: %1").arg(error)); // defaults are used
    const TSettings& s = store.values();

    TRom rom;
    cliOpenRom(rom, romPath);
    if (!ignition && !hasTargetLambdaTable(rom))
        throw CliError{ExitRefused, QLatin1String(NoTargetTableText)};

    TVEXORTuner tuner;
    tuner.setRom(&rom);
    tuner.Conditions = s.tuning;
    tuner.TrackMode = static_cast<quint8>(std::clamp(s.tuning.trackMode, 0, 5));
    bool scriptConversion = false;
    tuner.Lambda = lambdaLookupFromSettings(s, store.widebands().count(), 0, &scriptConversion);
    if (scriptConversion)
        cliErr(QStringLiteral("Warning: the selected wideband conversion is a script; no sample can qualify."));

    TSystemClock clock;
    TCuddleCore recording(clock);
    recording.load(logPath);
    recording.rewind();
    DatalogSample sample;
    while (recording.readNext(sample))
        if (!sample.isMarker())
            tuner.addSample(sample);

    TAutoTune tune(rom, tuner);
    tune.MapSmoothing = s.general.mapSmoothing;
    const TAutoTuneResult r = ignition ? tune.adjustIgnitionMaps() : tune.adjustFuelMaps();
    if (r.status == TAutoTuneStatus::NoTargetTable)
        throw CliError{ExitRefused, QLatin1String(NoTargetTableText)};
    if (r.status == TAutoTuneStatus::NoData) {
        // The report still tells the tuner why nothing qualified.
        if (!args.flag(jsonFlag))
            cliErr(QStringLiteral("%1 samples, none usable:\n%2")
                       .arg(tuner.samples())
                       .arg(rejectionsText(tuner.rejections())));
        throw CliError{ExitRefused, QLatin1String(NoDataText)};
    }
    cliSaveRom(rom, outPath);

    if (args.flag(jsonFlag)) {
        cliJson(QJsonDocument(QJsonObject{
            {QStringLiteral("samples"), static_cast<qint64>(tuner.samples())},
            {QStringLiteral("accepted"), static_cast<qint64>(tuner.accepted())},
            {QStringLiteral("rejected"), rejectionsJson(tuner.rejections())},
            {QStringLiteral("qualified"),
             QJsonObject{{QStringLiteral("low"), r.qualified[0]}, {QStringLiteral("high"), r.qualified[1]}}},
            {QStringLiteral("filled"), r.filled},
            {QStringLiteral("changed"),
             QJsonObject{{QStringLiteral("low"), r.changed[0]}, {QStringLiteral("high"), r.changed[1]}}},
            {QStringLiteral("max_change_pct"), r.maxChangePct},
        }));
        return ExitOk;
    }
    cliOut(QStringLiteral("%1 samples, %2 accumulated").arg(tuner.samples()).arg(tuner.accepted()));
    cliOut(QStringLiteral("Not used:\n%1").arg(rejectionsText(tuner.rejections())));
    if (!ignition)
        cliOut(QStringLiteral("Qualified cells: low cam %1, high cam %2; smart fill replaced %3")
                   .arg(r.qualified[0])
                   .arg(r.qualified[1])
                   .arg(r.filled));
    if (r.skippedNoTarget)
        cliOut(QStringLiteral("%1 cells skipped: their target lambda is 0").arg(r.skippedNoTarget));
    cliOut(QStringLiteral("Cells changed: low cam %1, high cam %2; largest change %3 %")
               .arg(r.changed[0])
               .arg(r.changed[1])
               .arg(cliFormatNumber(r.maxChangePct)));
    cliOut(QStringLiteral("Tuned image written to %1").arg(outPath));
    return ExitOk;
}

const CliCommand reg("autotune", "autotune ROM LOG.dlf -o OUT.bin [--json] [--map ignition]", cmdAutoTune);

} // namespace
