// run: loads the start-up scripts as the program does, opens the ROM, runs a
// script file and/or an expression against the same objects, and writes the
// image when asked.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "cli/mdlCliScripts.h"
#include "settings/mdlFiles.h"

#include <QFileInfo>
#include <QJSValue>
#include <QUrl>

namespace {

int runCommand(const QStringList& argv)
{
    const CliArgs args(argv, {}, {QStringLiteral("--script"), QStringLiteral("-o"), QStringLiteral("--eval")});
    const QString romPath = args.positionalAt(0, QStringLiteral("ROM file"));
    if (!args.has(QStringLiteral("--script")) && !args.has(QStringLiteral("--eval")))
        throw CliError{ExitUsage, QStringLiteral("Give --script FILE.js, --eval EXPRESSION or both.")};

    TCliScriptSession session;
    TScriptForm& host = *session.host;
    TRomDocument& doc = *session.document;
    if (!session.loadRom(romPath))
        return ExitRefused; // the reason is on standard error
    try {
        if (args.has(QStringLiteral("--script")))
            host.addScriptFile(QFileInfo(args.value(QStringLiteral("--script"))).absoluteFilePath());
        if (args.has(QStringLiteral("--eval"))) {
            const QJSValue v = host.evaluate(args.value(QStringLiteral("--eval")));
            if (!v.isUndefined())
                cliOut(v.toString());
        }
    } catch (const EScriptError&) {
        return ExitRefused; // the formatted message is on standard error
    } catch (const EVexorError& e) {
        throw CliError{ExitRefused, e.message()}; // the script file could not be read
    }
    if (args.has(QStringLiteral("-o"))) {
        const QString out = args.value(QStringLiteral("-o"));
        if (doc.modified()) {
            cliSaveRom(session.rom, out);
            cliErr(QStringLiteral("Wrote %1 (checksum fixed).").arg(out));
        } else {
            // Nothing changed: the file as it was, byte for byte.
            QString why;
            if (!writeFileAtomic(out, readFile(romPath).toLatin1(), &why))
                throw CliError{ExitRefused, why};
            cliErr(QStringLiteral("Image unchanged; wrote %1 as it was.").arg(out));
        }
    }
    return ExitOk;
}

const CliCommand reg("run", "run ROM [--script FILE.js] [--eval EXPRESSION] [-o OUT]", runCommand);

} // namespace
