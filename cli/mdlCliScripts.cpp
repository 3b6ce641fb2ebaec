#include "cli/mdlCliScripts.h"

#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "settings/mdlFiles.h"

int TConsoleMessages::doShowMessage(const TMessage& m)
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

std::optional<QString> TConsoleMessages::doInputQuery(const QString& caption, const QString& prompt, const QString&)
{
    cliErr(QStringLiteral("(input \"%1\" %2: no one to answer, taking Cancel)").arg(caption, prompt));
    return std::nullopt;
}

namespace {
std::optional<QString> cancelled(const TFileDialogRequest& r)
{
    cliErr(QStringLiteral("(file dialog \"%1\": no one to answer, taking Cancel)").arg(r.title));
    return std::nullopt;
}
} // namespace

std::optional<QString> TConsoleFileDialogs::openFile(const TFileDialogRequest& r) { return cancelled(r); }

std::optional<QString> TConsoleFileDialogs::saveFile(const TFileDialogRequest& r) { return cancelled(r); }

int TConsoleScriptDialogs::select(const QString& prompt, const QStringList&)
{
    cliErr(QStringLiteral("(select \"%1\": no one to answer, taking Cancel)").arg(prompt));
    return -1;
}

std::optional<QStringList> TConsoleScriptDialogs::values(const QString& message, const QStringList&, const QStringList&)
{
    cliErr(QStringLiteral("(input \"%1\": no one to answer, taking Cancel)").arg(message));
    return std::nullopt;
}

bool TConsoleScriptDialogs::openUrl(const QString& url)
{
    cliErr(QStringLiteral("(not opened without a screen: %1)").arg(url));
    return true;
}

void TConsoleScriptDialogs::showBrowser(TScriptForm&, const TBrowserRequest& request)
{
    cliErr(QStringLiteral("(browser window not shown without a screen: %1; page scripts cannot reach the program here)")
               .arg(request.url));
}

TCliScriptSession::TCliScriptSession() : store(settingsFolder())
{
    TServices services;
    services.messages = &messages;
    services.fileDialogs = &fileDialogs;
    services.clock = &clock;
    QString error;
    if (!store.load(&error))
        cliErr(error);
    document = std::make_unique<TRomDocument>(rom, services);

    TScriptEnvironment env;
    env.services = services;
    env.dialogs = &dialogs;
    env.document = document.get();
    env.store = &store;
    env.widebandConversions = &conversions;
    host = std::make_unique<TScriptForm>(env);
    host->setWatchdogLimit(store.values().general.scriptTimeout * 1000);
    document->events.runRomHandlers = [this] { host->runRomLoadHook(); };
    host->reloadScripts();
}
