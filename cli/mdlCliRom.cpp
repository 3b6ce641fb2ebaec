#include "cli/mdlCliRom.h"

#include "cli/mdlCli.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlCodePatches.h"
#include "rom/mdlRomFiles.h"
#include "rom/mdlRomSettings.h"
#include "settings/mdlErrors.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

#include <QFileInfo>

namespace {
const char* const TableNames[] = {"lcf", "hcf", "lci", "hci"};
}

void cliOpenRom(TRom& rom, const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CliError{ExitRefused, QStringLiteral("'%1' does not exist.").arg(path)};
    if (info.isDir() || !info.isReadable())
        throw CliError{ExitRefused, QStringLiteral("Could not load file.")};
    // The rpm gaps behind resume points come from the user's preferences, as in the editor.
    TSettingsStore store(settingsFolder());
    store.load();
    applyToRom(store.values(), rom);
    if (rom.loadFile(path) != TRom::LoadResult::Ok)
        throw CliError{ExitRefused, QStringLiteral("Could not load file.")};
    // Extended-family images older than the current code revision are upgraded
    // on load, as the editor does; without the data file nothing is written.
    const TCodeUpgradeResult upgrade = runCodeUpgradeOnLoad(rom, nullptr);
    if (upgrade.status == TCodeUpgradeStatus::Refused)
        cliErr(QStringLiteral(
                   "Warning: the ECU code of this image could not be upgraded (%1); the image was left unchanged.")
                   .arg(upgrade.reason));
    else if (upgrade.status == TCodeUpgradeStatus::Upgraded)
        cliErr(QStringLiteral("Upgraded the ECU code through revision(s) %1.")
                   .arg(upgrade.steps.join(QStringLiteral(", "))));
}

int cliTableKind(const QString& name)
{
    for (int k = 0; k < 4; ++k)
        if (name.compare(QLatin1String(TableNames[k]), Qt::CaseInsensitive) == 0)
            return k;
    throw CliError{ExitRefused, QStringLiteral("Unknown table \"%1\": use lcf, hcf, lci or hci.").arg(name)};
}

QString cliTableName(int kind) { return QString::fromLatin1(TableNames[kind & 3]); }

void cliSaveRom(TRom& rom, const QString& path)
{
    // The editor's own write path: atomic, and a read-only target is refused.
    QString error;
    if (!writeRomFile(rom, path, &error))
        throw CliError{ExitRefused, error};
}

QString cliFormatNumber(double v, int decimals)
{
    QString s = QString::number(v, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}
