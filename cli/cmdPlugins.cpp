// plugins: the user's plugins.js without a screen, through the same editor
// core as Plugins > Plugin Manager: list the installed plug-ins (and whether
// their files exist), install one, remove one.
#include "cli/mdlCli.h"
#include "cli/mdlCliScripts.h"
#include "scripting/mdlPluginList.h"
#include "settings/mdlFiles.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

// A stored form given as it is stays; anything else names a file here.
QString argumentPath(const QString& arg)
{
    return arg.startsWith(QLatin1String("$(")) ? arg : QFileInfo(arg).absoluteFilePath();
}

int pluginsCommand(const QStringList& argv)
{
    const CliArgs args(argv, {QStringLiteral("--json")}, {});
    const QString verb = args.positional().value(0, QStringLiteral("list"));
    const QString program = programFolder();
    const QString user = settingsFolder();

    TConsoleMessages messages;
    TConsoleFileDialogs fileDialogs;
    TServices services;
    services.messages = &messages;
    services.fileDialogs = &fileDialogs;
    TPluginEditor editor(services, program, user);

    if (verb == QLatin1String("list")) {
        if (args.positional().size() > 1)
            throw CliError{ExitUsage, QStringLiteral("list takes no file.")};
        editor.load();
        QJsonArray rows;
        for (int i = 0; i < editor.paths().size(); ++i) {
            const QString stored = editor.paths().at(i);
            const QString file = resolvePluginPath(stored, program, user);
            if (args.flag(QStringLiteral("--json")))
                rows.append(QJsonObject{{QStringLiteral("path"), stored},
                                        {QStringLiteral("exists"), !file.isEmpty()},
                                        {QStringLiteral("file"), file}});
            else
                cliOut(file.isEmpty() ? QStringLiteral("missing  %1").arg(stored)
                                      : QStringLiteral("ok       %1  (%2)").arg(stored, file));
        }
        if (args.flag(QStringLiteral("--json")))
            cliJson(QJsonDocument(rows));
        else if (editor.paths().isEmpty())
            cliErr(QStringLiteral("No plug-ins installed in %1.").arg(editor.filePath()));
        return ExitOk;
    }

    const bool install = verb == QLatin1String("install");
    if (!install && verb != QLatin1String("remove"))
        throw CliError{ExitUsage, QStringLiteral("Unknown plugins action '%1' (list, install or remove).").arg(verb)};
    const QString given = args.positionalAt(1, QStringLiteral("plug-in file"));
    const QString path = argumentPath(given);
    if (install && resolvePluginPath(toPluginPath(path, program, user), program, user).isEmpty())
        throw CliError{ExitRefused, QStringLiteral("'%1' does not exist.").arg(given)};
    editor.load();
    const bool done = install ? editor.installPath(path) : (editor.removePath(given) || editor.removePath(path));
    if (!done) {
        if (!install)
            cliErr(QStringLiteral("'%1' is not installed.").arg(given));
        return ExitRefused; // already installed: the warning is on standard error
    }
    if (!editor.save())
        return ExitRefused; // the reason is on standard error
    cliErr(QStringLiteral("%1 %2 (%3).")
               .arg(install ? QStringLiteral("Installed") : QStringLiteral("Removed"),
                    install ? editor.paths().constLast() : given, editor.filePath()));
    return ExitOk;
}

const CliCommand reg("plugins", "plugins [list [--json] | install FILE.js | remove FILE.js]", pluginsCommand);

} // namespace
