#pragma once

// The script side of the main window: the script host with its start-up
// load, the plug-in menu (the fourth top-level menu) and the plug-in
// information submenu of the Help menu, the reload and run-command commands,
// the ROM load hook and the show-options hook. The host and the registries
// live in scripting/; this only connects them to the window.

#include "scripting/frmScripts.h"
#include "scripting/mdlScriptWideband.h"
#include "settings/mdlServices.h"

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QDialog;
class QMenu;
class TMainForm;
class TSettingsStore;
class TQtScriptDialogs;

class TScriptCommands : public QObject {
    Q_OBJECT
public:
    // Fixed items of the plug-in menu: reload, run command, the four category
    // submenus (items 3 to 6), the plug-in manager and the placeholder.
    static constexpr int FixedPluginItems = 8;

    // `dialogs` may be null (the Qt dialogs are used); `conversions` is the
    // wideband conversion registry scripts add to.
    TScriptCommands(TMainForm& form, const TServices& services, TSettingsStore* store,
                    TJsWidebandConvManager* conversions, IScriptDialogs* dialogs = nullptr);
    ~TScriptCommands() override;

    [[nodiscard]] TScriptForm& host() { return *m_host; }
    [[nodiscard]] IWidebandEvaluator& widebandEvaluator() { return m_evaluator; }
    [[nodiscard]] QMenu* pluginMenu() const { return mnuPlugins; }
    [[nodiscard]] QMenu* categoryMenu(int category) const { return m_categories.at(category - 1); }
    [[nodiscard]] QMenu* infoMenu() const { return mnuPluginInfo; }

    // The start-up load ("Loading Scripts..." in the status bar).
    void loadAtStartup();
    // Rebuilds the plug-in menus from the registry.
    void rebuildPluginMenus();

    void PluginActExecute(QAction* action);
    void PluginInfoExecute(QAction* action);
    void PluginReloadExecute();
    // The plug-in editor, modal; OK writes plugins.js and reloads the scripts.
    void PluginManagerExecute();
    void ToolsCommandExecute();

    // How the run-command and plug-in editor dialogs run (tests answer them
    // without a screen).
    std::function<int(QDialog&)> execDialog;

private:
    void updatePluginStates();

    TMainForm& m_form;
    TServices m_services;
    std::unique_ptr<TQtScriptDialogs> m_qtDialogs;
    std::unique_ptr<TScriptForm> m_host;
    TScriptWidebandEvaluator m_evaluator;
    QMenu* mnuPlugins = nullptr;
    QMenu* mnuHelp = nullptr;
    QMenu* mnuPluginInfo = nullptr;
    QAction* m_placeholder = nullptr;
    QList<QMenu*> m_categories;
    std::function<void()> m_previousRomLoaded;
    std::function<void()> m_previousRomClosed;
};
