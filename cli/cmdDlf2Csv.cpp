// vexor-cli dlf2csv: a datalog file as CSV, byte for byte as the program's own
// export writes it, in the units the program last saved (vexor.ini) and with
// the ROM's sensor, gear table, knock switch and ignition offset.

#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "datalog/clsCuddleCore.h"
#include "datalog/mdlCsvExport.h"
#include "settings/mdlDisplayUnits.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

namespace {

int cmdDlf2Csv(const QStringList& a)
{
    const QString romOpt = QStringLiteral("--rom"), outOpt = QStringLiteral("-o");
    CliArgs args(a, {}, {romOpt, outOpt});
    const QString path = args.positionalAt(0, QStringLiteral("LOG.dlf"));
    const QString outPath = args.value(outOpt);

    TSettingsStore store(settingsFolder());
    QString error;
    if (!store.load(&error))
        cliErr(QStringLiteral("Warning: %1").arg(error)); // defaults are used
    const TSettings& s = store.values();

    TCsvOptions options;
    // No window, so no view state: the unit choices the program saved at exit.
    options.units = displayUnits(s.general);
    bool scriptConversion = false;
    options.lambda = lambdaLookupFromSettings(s, store.widebands().count(), 0, &scriptConversion);
    if (scriptConversion)
        cliErr(QStringLiteral(
            "Warning: the selected wideband conversion is a script; lambda is written as the offset alone."));

    TRom rom;
    if (args.has(romOpt)) {
        cliOpenRom(rom, args.value(romOpt));
        options.ctx = sampleContextFor(&rom);
    }

    TSystemClock clock;
    TCuddleCore recording(clock);
    recording.load(path);
    DatalogSample first;
    if (!recording.readAt(0, first))
        throw CliError{ExitRefused, QStringLiteral("'%1' holds no samples; nothing was written.").arg(path)};
    // A loaded file's recording starts with its first sample.
    options.startTime = first.timeStamp();
    exportCsvFile(outPath, recording.data(), options);
    cliOut(QStringLiteral("%1 samples written to %2").arg(recording.count()).arg(outPath));
    return ExitOk;
}

const CliCommand reg("dlf2csv", "dlf2csv LOG.dlf [--rom ROM] -o OUT.csv", cmdDlf2Csv);

} // namespace
