#pragma once

// A headless script session for the commands that run plug-ins: console
// services (alerts to standard output, messages to standard error, every
// question answered with its cancel choice), the settings store, a ROM
// document and the script host with the start-up scripts loaded, exactly as
// the program loads them.

#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlScriptDialogs.h"
#include "settings/mdlClock.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <memory>

class TConsoleMessages : public IMessageService {
protected:
    int doShowMessage(const TMessage& m) override;
    std::optional<QString> doInputQuery(const QString& caption, const QString& prompt, const QString&) override;
};

class TConsoleFileDialogs : public IFileDialogService {
public:
    std::optional<QString> openFile(const TFileDialogRequest& r) override;
    std::optional<QString> saveFile(const TFileDialogRequest& r) override;
};

class TConsoleScriptDialogs : public IScriptDialogs {
public:
    int select(const QString& prompt, const QStringList&) override;
    std::optional<QStringList> values(const QString& message, const QStringList&, const QStringList&) override;
    bool openUrl(const QString& url) override;
    // No screen, so no browser window: says so instead of opening the page.
    void showBrowser(TScriptForm& host, const TBrowserRequest& request) override;
};

class TCliScriptSession {
public:
    // Reads the settings and loads the start-up scripts.
    TCliScriptSession();
    // Loads the ROM (ROM handlers and the load hook run); false when it was
    // refused (the reason is on standard error).
    bool loadRom(const QString& path) { return document->loadFile(path); }

    TConsoleMessages messages;
    TConsoleFileDialogs fileDialogs;
    TConsoleScriptDialogs dialogs;
    TSystemClock clock;
    TSettingsStore store;
    TRom rom;
    std::unique_ptr<TRomDocument> document;
    TJsWidebandConvManager conversions;
    std::unique_ptr<TScriptForm> host;
};
