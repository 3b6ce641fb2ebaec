// custom-table: loads the start-up scripts and an optional script file, opens
// the ROM, selects one of the custom tables the scripts registered (its
// on-load runs as in the window) and prints its grid, header cells included,
// one row per line with tab-separated cells. Edits go in order through the
// table's own set-value function, as typed into the window.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "cli/mdlCliScripts.h"
#include "scripting/mdlAdvTables.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// --table: a registry index, or else a table name.
int findTable(const TCTableManager& tables, const QString& which)
{
    bool isIndex = false;
    const int index = which.toInt(&isIndex);
    if (isIndex) {
        if (index < 0 || index >= tables.count())
            throw CliError{ExitRefused,
                           QStringLiteral("No custom table %1 (%2 registered).").arg(index).arg(tables.count())};
        return index;
    }
    for (int i = 0; i < tables.count(); ++i)
        if (tables.get(i).name == which)
            return i;
    throw CliError{ExitRefused, QStringLiteral("No custom table named \"%1\".").arg(which)};
}

int customTableCommand(const QStringList& argv)
{
    const CliArgs args(
        argv, {QStringLiteral("--list")},
        {QStringLiteral("--script"), QStringLiteral("--table"), QStringLiteral("--set"), QStringLiteral("-o")});
    const QString romPath = args.positionalAt(0, QStringLiteral("ROM file"));

    TCliScriptSession session;
    TScriptForm& host = *session.host;
    if (!session.loadRom(romPath))
        return ExitRefused; // the reason is on standard error
    try {
        if (args.has(QStringLiteral("--script")))
            host.addScriptFile(QFileInfo(args.value(QStringLiteral("--script"))).absoluteFilePath());
    } catch (const EScriptError&) {
        return ExitRefused; // the formatted message is on standard error
    } catch (const EVexorError& e) {
        throw CliError{ExitRefused, e.message()};
    }
    const TCTableManager& tables = host.customTables();
    if (args.flag(QStringLiteral("--list"))) {
        for (int i = 0; i < tables.count(); ++i)
            cliOut(QStringLiteral("%1\t%2").arg(i).arg(tables.get(i).name));
        return ExitOk;
    }
    if (tables.count() == 0)
        throw CliError{ExitRefused, QStringLiteral("The scripts registered no custom table.")};

    TAdvTables& model = host.advTables();
    const int index = findTable(tables, args.value(QStringLiteral("--table"), QStringLiteral("0")));
    if (!model.select(index))
        throw CliError{ExitRefused, QStringLiteral("Custom table \"%1\" is not shown: its on-load function refused it.")
                                        .arg(tables.get(index).name)};

    static const QRegularExpression cellEdit(QStringLiteral("^(\\d+):(\\d+)=(.*)$"));
    for (const QString& edit : args.values(QStringLiteral("--set"))) {
        const QRegularExpressionMatch m = cellEdit.match(edit);
        if (!m.hasMatch())
            throw CliError{ExitUsage, QStringLiteral("--set wants COL:ROW=VALUE, not \"%1\".").arg(edit)};
        const int col = m.captured(1).toInt();
        const int row = m.captured(2).toInt();
        if (!model.cellEditable(col, row))
            throw CliError{ExitRefused, QStringLiteral("Cell %1:%2 cannot be edited.").arg(col).arg(row)};
        if (!model.setCellText(col, row, m.captured(3)))
            return ExitRefused; // the script error is on standard error
    }
    cliOut(model.gridText());

    if (args.has(QStringLiteral("-o"))) {
        const QString out = args.value(QStringLiteral("-o"));
        cliSaveRom(session.rom, out);
        cliErr(QStringLiteral("Wrote %1 (checksum fixed).").arg(out));
    }
    return ExitOk;
}

const CliCommand reg("custom-table",
                     "custom-table ROM [--script FILE.js] [--list] [--table NAME|INDEX] [--set COL:ROW=VALUE ...] "
                     "[-o OUT]",
                     customTableCommand);

} // namespace
