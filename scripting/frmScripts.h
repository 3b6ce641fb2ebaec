#pragma once

// The script host: one JavaScript engine (the main script) holding every
// loaded script in one global namespace, the start-up loader (autoload.js
// beside the program, plugins.js in the settings folder), macro expansion of
// script text, evaluation of call texts on behalf of the rest of the program,
// error reports through the message service, and the registries the scripts
// fill while they load. No widgets: the main window, vexor-cli and the tests
// all drive the same host.
//
// Every call into script code runs under a watchdog: a runaway script is
// interrupted after a limit (time spent in a dialog the script opened does not
// count) and reported like any script error.

#include "datalog/mdlWidebandConv.h"
#include "scripting/mdlRomHandler.h"
#include "scripting/mdlScriptHost.h"
#include "scripting/mdlVexorPlugins.h"
#include "settings/mdlServices.h"

#include <QHash>
#include <QJSValue>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class IScriptDialogs;
class QJSEngine;
class TAdvTables;
class TRomDocument;
class TScriptWatchdog;
class TSettingsStore;
class TWindowScript;
struct TDisplayUnits;

// What the script objects act on, filled by the owner (main window, vexor-cli,
// a test). Every pointer and callback may stay empty; a member that needs a
// missing one does nothing.
struct TScriptEnvironment {
    TServices services;
    IScriptDialogs* dialogs = nullptr;
    TRomDocument* document = nullptr;
    TSettingsStore* store = nullptr;
    TJsWidebandConvManager* widebandConversions = nullptr;
    // The units the views show now; without it the saved settings' units.
    std::function<TDisplayUnits()> displayUnits;
    // window.refresh: re-read the table shape and redraw.
    std::function<void()> refresh;
    // window.reload: the main window's reload of the open ROM.
    std::function<void()> reloadRom;
    // The plug-in registry changed (end of every script load).
    std::function<void()> pluginsChanged;
    // window.events.unhook: the grid's own drawing handlers back.
    std::function<void()> unhookGrid;
};

class TScriptForm : public QObject, public IScriptHost {
    Q_OBJECT
public:
    // Calls into script code deeper than this (a hook reading through a hook
    // ...) fail with a script error instead of exhausting the stack.
    static constexpr int MaxNesting = 32;
    // include() chains deeper than this stop with a script error.
    static constexpr int MaxIncludeDepth = 16;
    static constexpr int DefaultWatchdogMs = 10000;

    explicit TScriptForm(const TScriptEnvironment& environment, QObject* parent = nullptr);
    ~TScriptForm() override;

    // --- IScriptHost -----------------------------------------------------------
    [[nodiscard]] bool available() const override { return m_available; }
    [[nodiscard]] bool procedureExists(const QString& callText) const override;
    QJSValue evaluate(const QString& expression) override;
    // Calls the function through a handle when the main script defines it
    // (no compilation), under the same watchdog, nesting limit and error
    // report; otherwise evaluates the call text.
    QJSValue callFunction(const QString& name, const QJSValueList& args, const QString& callText) override;
    [[nodiscard]] QJSEngine* engine() override { return m_engine.get(); }
    [[nodiscard]] QStringList procedures() const override { return m_procedures; }

    // --- loader ----------------------------------------------------------------
    // Fresh engine, registries emptied (ROM handlers, plug-ins, custom tables),
    // a new window object, autoload.js, plugins.js, then pluginsChanged. A
    // script error ends the loading at that step (already reported). False,
    // with a notice, while a script is running (its dialog is open).
    bool reloadScripts();
    // The file's text with the path macros replaced. Throws EVexorError when it
    // cannot be read.
    [[nodiscard]] QString loadScriptText(const QString& path) const;
    // Loads the file with macro expansion and runs it as code of the main
    // script. A script error is reported and thrown as EScriptError.
    void addScriptFile(const QString& path);
    // window.include: the file found by the include rules, added as code. A
    // missing file is a notice, not an error. Inside a running script an
    // error becomes an exception of the calling script.
    void include(const QString& fileName);
    // The ROM load hook: the handlers for the open ROM's type, then
    // "_on_rom_loaded_()" when defined. A script error stops the rest (it was
    // reported); the ROM stays loaded. Nothing runs while no engine exists.
    void runRomLoadHook();

    // --- folders (both without a trailing separator) ---------------------------
    [[nodiscard]] QString programFolder() const { return m_programFolder; }
    [[nodiscard]] QString userScriptFolder() const { return m_userFolder; }
    void setFolders(const QString& programFolder, const QString& userScriptFolder);

    // --- watchdog ---------------------------------------------------------------
    // Milliseconds a call into script code may run (<= 0: no limit).
    void setWatchdogLimit(int ms) { m_watchdogMs = ms; }
    [[nodiscard]] int watchdogLimit() const { return m_watchdogMs; }
    // Brackets a modal dialog (or a wait for a program) a script opened: that
    // time does not count against the limit.
    void pauseWatchdog();
    void resumeWatchdog();

    // --- what the scripts registered ---------------------------------------------
    [[nodiscard]] TScriptEnvironment& environment() { return m_env; }
    [[nodiscard]] TCPluginManager& plugins() { return m_plugins; }
    [[nodiscard]] TCRomHandlerManager& romHandlers() { return m_romHandlers; }
    [[nodiscard]] TCTableManager& customTables() { return m_tables; }
    // The current custom table and its display logic, for the whole run: the
    // advanced tables window shows it, window.customTable changes it.
    [[nodiscard]] TAdvTables& advTables() { return *m_advTables; }
    [[nodiscard]] TRomHookNames& hookNames() { return m_hookNames; }
    // The show-options hook of the window events ("" when not hooked).
    [[nodiscard]] QString showOptionsHook() const { return m_showOptionsHook; }
    void setShowOptionsHook(const QString& function) { m_showOptionsHook = function; }
    // Launcher show mode of window.shell (0 normal ... 3 hidden).
    quint8 launcherShowMode = 0;

    // "%s at line %d, column %d near '%s'" for the error value of an evaluation.
    [[nodiscard]] QString formatError(const QJSValue& error, const QStringList& stackTrace,
                                      const QString& expression) const;

Q_SIGNALS:
    // The scripts were reloaded (new engine, new registries).
    void reloaded();

private:
    void resetEngine();
    void registerWindow();
    // Runs code in the global scope under the watchdog and the nesting limit.
    QJSValue run(const QString& code, const QString& fileName);
    // What run does around the execution itself. exec returns the result and
    // sets *threw when the code raised; trace is the stack of an exception.
    // `code` names the call in error reports when fileName is empty.
    QJSValue guarded(const QString& code, const QString& fileName,
                     const std::function<QJSValue(QStringList* trace, bool* threw)>& exec);
    void reportError(const QString& text);
    void collectProcedures(const QJSValue& before, const QString& source);
    [[nodiscard]] QJSValue globalSnapshot() const;

    TScriptEnvironment m_env;
    bool m_available = true;
    std::unique_ptr<QJSEngine> m_engine;
    std::unique_ptr<TWindowScript> m_window;
    std::unique_ptr<TScriptWatchdog> m_watchdog;
    int m_watchdogMs = DefaultWatchdogMs;
    int m_nesting = 0;
    int m_includeDepth = 0;
    QString m_programFolder;
    QString m_userFolder;
    QStringList m_procedures;
    QSet<QString> m_procedureSet;
    QHash<QString, QStringList> m_sourceLines; // by file name, for error reports
    QJSValue m_caller;                         // calls a function, reporting a throw apart from a result
    bool m_errorShown = false;
    TCPluginManager m_plugins;
    TCRomHandlerManager m_romHandlers;
    TCTableManager m_tables;
    std::unique_ptr<TAdvTables> m_advTables;
    TRomHookNames m_hookNames;
    QString m_showOptionsHook;
};

// Time the user spends in a dialog a script opened (or waiting for a program
// it started) does not count against the watchdog while one of these lives.
class TWatchdogPause {
public:
    explicit TWatchdogPause(TScriptForm& host) : m_host(host) { m_host.pauseWatchdog(); }
    ~TWatchdogPause() { m_host.resumeWatchdog(); }
    TWatchdogPause(const TWatchdogPause&) = delete;
    TWatchdogPause& operator=(const TWatchdogPause&) = delete;

private:
    TScriptForm& m_host;
};

// Replaces the path macros of a script file's text: #VEXOR_ROOT_DIR# (all)
// and #VEXOR_APP_DIR# (first only) as they are, #SCRIPT_DIR#, #SCRIPT_PATH#
// and #SCRIPT_NAME# (all) escaped for a string literal. Folders end in '/'.
[[nodiscard]] QString expandScriptMacros(const QString& text, const QString& scriptPath, const QString& programFolder,
                                         const QString& userScriptFolder);
// Script file bytes as text: UTF-8 when they are valid UTF-8 (text in
// literals keeps its characters), else one character per byte.
[[nodiscard]] QString decodeScriptText(const QByteArray& bytes);
// Made safe for a script string literal: '\' doubled, then ' and " escaped.
[[nodiscard]] QString escapeForScriptLiteral(const QString& text);
