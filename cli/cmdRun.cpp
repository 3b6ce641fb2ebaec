// run: loads the start-up scripts as the program does, opens the ROM, runs a
// script file and/or an expression against the same objects, and writes the
// image when asked.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlScriptDialogs.h"
#include "settings/mdlClock.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QFileInfo>
#include <QJSValue>
#include <QUrl>

namespace {

// Without a screen: alerts go to standard output, errors and notices to
// standard error, and every question takes its cancel answer and says so.
class TConsoleMessages : public IMessageService {
protected:
    int doShowMessage(const TMessage& m) override
    {
        if (m.title == QLatin1String("Alert")) {
            cliOut(m.text);
            return mrOk;
        }
        cliErr(m.text);
        if (m.buttons == TMsgButtons(TMsgButton::OK))
            return mrOk;
        const bool cancel = m.buttons.testFlag(TMsgButton::Cancel);
        cliErr(QStringLiteral("(\"%1\": no one to answer, taking %2)").arg(m.title, cancel ? "Cancel" : "No"));
        return cancel ? mrCancel : mrNo;
    }
    std::optional<QString> doInputQuery(const QString& caption, const QString& prompt, const QString&) override
    {
        cliErr(QStringLiteral("(input \"%1\" %2: no one to answer, taking Cancel)").arg(caption, prompt));
        return std::nullopt;
    }
};

class TConsoleFileDialogs : public IFileDialogService {
public:
    std::optional<QString> openFile(const TFileDialogRequest& r) override { return cancelled(r); }
    std::optional<QString> saveFile(const TFileDialogRequest& r) override { return cancelled(r); }

private:
    static std::optional<QString> cancelled(const TFileDialogRequest& r)
    {
        cliErr(QStringLiteral("(file dialog \"%1\": no one to answer, taking Cancel)").arg(r.title));
        return std::nullopt;
    }
};

class TConsoleScriptDialogs : public IScriptDialogs {
public:
    int select(const QString& prompt, const QStringList&) override
    {
        cliErr(QStringLiteral("(select \"%1\": no one to answer, taking Cancel)").arg(prompt));
        return -1;
    }
    std::optional<QStringList> values(const QString& message, const QStringList&, const QStringList&) override
    {
        cliErr(QStringLiteral("(input \"%1\": no one to answer, taking Cancel)").arg(message));
        return std::nullopt;
    }
    bool openUrl(const QString& url) override
    {
        cliErr(QStringLiteral("(not opened without a screen: %1)").arg(url));
        return true;
    }
};

int runCommand(const QStringList& argv)
{
    const CliArgs args(argv, {}, {QStringLiteral("--script"), QStringLiteral("-o"), QStringLiteral("--eval")});
    const QString romPath = args.positionalAt(0, QStringLiteral("ROM file"));
    if (!args.has(QStringLiteral("--script")) && !args.has(QStringLiteral("--eval")))
        throw CliError{ExitUsage, QStringLiteral("Give --script FILE.js, --eval EXPRESSION or both.")};

    TConsoleMessages messages;
    TConsoleFileDialogs fileDialogs;
    TConsoleScriptDialogs dialogs;
    TSystemClock clock;
    TServices services;
    services.messages = &messages;
    services.fileDialogs = &fileDialogs;
    services.clock = &clock;
    TSettingsStore store(settingsFolder());
    QString error;
    if (!store.load(&error))
        cliErr(error);
    TRom rom;
    TRomDocument doc(rom, services);
    TJsWidebandConvManager conversions;

    TScriptEnvironment env;
    env.services = services;
    env.dialogs = &dialogs;
    env.document = &doc;
    env.store = &store;
    env.widebandConversions = &conversions;
    TScriptForm host(env);
    host.setWatchdogLimit(store.values().general.scriptTimeout * 1000);
    doc.events.runRomHandlers = [&host] { host.runRomLoadHook(); };

    host.reloadScripts();
    if (!doc.loadFile(romPath))
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
            cliSaveRom(rom, out);
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
