// export and import: calibration files (".ct2") and table values (".ctv").
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "rom/mdlCalibration.h"

#include <QFileInfo>

namespace {

QString kindName(int kind)
{
    return kind == ckTableValues ? QStringLiteral("table values") : QStringLiteral("calibration");
}

int cmdExport(const QStringList& a)
{
    CliArgs args(a, {}, {});
    if (args.positional().size() != 2)
        throw CliError{ExitUsage, QStringLiteral("export takes a ROM file and an output file.")};
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    const QString out = args.positionalAt(1, QStringLiteral("OUT"));
    const int kind = calibrationKindForFile(out);
    exportCalibration(rom, out, kind);
    cliOut(QStringLiteral("Exported the %1 of %2 to %3.").arg(kindName(kind), rom.baseName(), out));
    return ExitOk;
}

int cmdImport(const QStringList& a)
{
    CliArgs args(a, {}, {QStringLiteral("-o")});
    if (args.positional().size() != 2)
        throw CliError{ExitUsage, QStringLiteral("import takes a ROM file and a calibration file.")};
    const QString out = args.value(QStringLiteral("-o"));
    TRom rom;
    cliOpenRom(rom, args.positionalAt(0, QStringLiteral("FILE")));
    const QString in = args.positionalAt(1, QStringLiteral("IN"));
    const int kind = calibrationKindForFile(in);
    const QByteArray before = rom.buffer().fileBytes();
    importCalibration(rom, in, kind);
    const QByteArray after = rom.buffer().fileBytes();
    int changed = 0;
    for (qsizetype i = 0; i < after.size() && i < before.size(); ++i)
        changed += before[i] != after[i] ? 1 : 0;
    cliSaveRom(rom, out);
    cliOut(QStringLiteral("Imported the %1 of %2: %3 bytes changed; written to %4.")
               .arg(kindName(kind), QFileInfo(in).fileName())
               .arg(changed)
               .arg(out));
    return ExitOk;
}

const CliCommand regExport("export", "export FILE OUT.ct2|OUT.ctv", cmdExport);
const CliCommand regImport("import", "import FILE IN.ct2|IN.ctv -o OUT", cmdImport);

} // namespace
