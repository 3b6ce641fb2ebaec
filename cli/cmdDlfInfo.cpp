// vexor-cli dlf-info: what a datalog file holds — record count, rate, markers
// and its first and last readings in engineering units.

#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "datalog/clsCuddleCore.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonObject sampleJson(const DatalogSample& s, const TSampleContext& ctx)
{
    using namespace datalog;
    QJsonArray errors;
    if (!s.isMarker())
        for (int i = 0; i < 32; ++i)
            if (s.errorWord() & (1u << i))
                errors.append(i + 1);
    return QJsonObject{
        {QStringLiteral("rpm"), rpm(s)},
        {QStringLiteral("speed_kmh"), speedKmh(s)},
        {QStringLiteral("gear"), gear(s, ctx)},
        {QStringLiteral("inj_ms"), injectorMs(s)},
        {QStringLiteral("duty"), dutyCycle(s)},
        {QStringLiteral("ign"), ignition(s, ctx)},
        // As in the CSV: without the ROM's knock sensor switch the value is 0.
        {QStringLiteral("knock"), ctx.knockSensor ? knockRetard(s) : 0.0},
        {QStringLiteral("o2_v"), o2Volts(s)},
        {QStringLiteral("stft"), fuelTrim(s)},
        {QStringLiteral("vtec"), s.vtec()},
        {QStringLiteral("batt_v"), batteryVolts(s)},
        {QStringLiteral("map_mbar"), mapMbar(s, ctx)},
        {QStringLiteral("tps_v"), tpsVolts(s)},
        {QStringLiteral("tps_pct"), throttlePercent(s)},
        {QStringLiteral("iat_c"), airTempC(s)},
        {QStringLiteral("atm_mbar"), atmosphericMbar(s)},
        {QStringLiteral("ect_c"), coolantTempC(s)},
        {QStringLiteral("errors"), errors},
        {QStringLiteral("time_ms"), static_cast<qint64>(s.timeStamp())},
    };
}

void printSample(const QString& label, const QJsonObject& o, const DatalogSample& s)
{
    const auto num = [&](const char* key, int decimals) {
        return QString::number(o.value(QLatin1String(key)).toDouble(), 'f', decimals);
    };
    cliOut(QStringLiteral("%1 sample (time %2 ms)%3:")
               .arg(label)
               .arg(s.timeStamp())
               .arg(s.isMarker() ? QStringLiteral(" [marker]") : QString()));
    cliOut(QStringLiteral("  rpm %1  speed %2 km/h  gear %3  vtec %4")
               .arg(num("rpm", 0), num("speed_kmh", 0), num("gear", 0),
                    o.value(QStringLiteral("vtec")).toBool() ? QStringLiteral("on") : QStringLiteral("off")));
    cliOut(QStringLiteral("  injector %1 ms  duty %2 %  ignition %3 deg  knock %4 deg")
               .arg(num("inj_ms", 2), num("duty", 0), num("ign", 2), num("knock", 2)));
    cliOut(QStringLiteral("  map %1 mbar  atm %2 mbar  throttle %3 % (%4 V)")
               .arg(num("map_mbar", 0), num("atm_mbar", 0), num("tps_pct", 0), num("tps_v", 2)));
    cliOut(QStringLiteral("  o2 %1 V  trim %2 %  battery %3 V  air %4 C  coolant %5 C")
               .arg(num("o2_v", 2), num("stft", 0), num("batt_v", 2), num("iat_c", 1), num("ect_c", 1)));
    if (s.errorWord() != 0 && !s.isMarker())
        cliOut(QStringLiteral("  codes: %1").arg(errorCodesShort(s.errorWord()).trimmed()));
}

int cmdDlfInfo(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")}, {QStringLiteral("--rom")});
    const QString path = args.positionalAt(0, QStringLiteral("LOG.dlf"));
    TRom rom;
    TSampleContext ctx;
    if (args.has(QStringLiteral("--rom"))) {
        cliOpenRom(rom, args.value(QStringLiteral("--rom")));
        ctx = sampleContextFor(&rom);
    }
    TSystemClock clock;
    TCuddleCore store(clock);
    store.load(path);

    DatalogSample first, last;
    const bool any = store.readAt(0, first);
    store.readAt(store.count() - 1, last);
    QJsonArray markers;
    for (quint32 m : store.markers())
        markers.append(static_cast<qint64>(m));

    if (args.flag(QStringLiteral("--json"))) {
        cliJson(QJsonDocument(QJsonObject{
            {QStringLiteral("count"), store.count()},
            {QStringLiteral("samples_per_second"), store.samplesPerSecond()},
            {QStringLiteral("markers"), markers},
            {QStringLiteral("first"), any ? QJsonValue(sampleJson(first, ctx)) : QJsonValue()},
            {QStringLiteral("last"), any ? QJsonValue(sampleJson(last, ctx)) : QJsonValue()},
        }));
        return ExitOk;
    }
    cliOut(QStringLiteral("Samples:            %1").arg(store.count()));
    cliOut(QStringLiteral("Samples per second: %1").arg(store.samplesPerSecond(), 0, 'f', 2));
    if (any)
        cliOut(
            QStringLiteral("Duration:           %1 s").arg((last.timeStamp() - first.timeStamp()) / 1000.0, 0, 'f', 3));
    QStringList idx;
    for (quint32 m : store.markers())
        idx << QString::number(m);
    cliOut(QStringLiteral("Markers:            %1")
               .arg(idx.isEmpty() ? QStringLiteral("none") : idx.join(QLatin1Char(' '))));
    if (any) {
        printSample(QStringLiteral("First"), sampleJson(first, ctx), first);
        printSample(QStringLiteral("Last"), sampleJson(last, ctx), last);
    }
    return ExitOk;
}

CliCommand reg("dlf-info", "dlf-info LOG.dlf [--json] [--rom ROM]", cmdDlfInfo);

} // namespace
