#include "app/mdlScriptCommands.h"

#include "app/frmMain.h"
#include "app/mdlActionManager.h"
#include "rom/clsRomDocument.h"
#include "scripting/mdlPluginList.h"
#include "scripting/ui/frmPlugin.h"
#include "scripting/ui/frmRun.h"
#include "scripting/ui/mdlQtScriptDialogs.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettingsStore.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QUrl>

namespace {
TScriptForm* makeHost(TMainForm& form, const TServices& services, TSettingsStore* store,
                      TJsWidebandConvManager* conversions, IScriptDialogs* dialogs)
{
    TScriptEnvironment env;
    env.services = services;
    env.dialogs = dialogs;
    env.document = &form.document();
    env.store = store;
    env.widebandConversions = conversions;
    env.displayUnits = [&form] { return form.displayUnits(); };
    env.refresh = [&form] { form.refreshViews(); };
    env.reloadRom = [&form] {
        if (QAction* reload = form.action(QStringLiteral("FileReload")))
            reload->trigger();
    };
    return new TScriptForm(env);
}
} // namespace

TScriptCommands::TScriptCommands(TMainForm& form, const TServices& services, TSettingsStore* store,
                                 TJsWidebandConvManager* conversions, IScriptDialogs* dialogs)
    : QObject(&form), m_form(form), m_services(services),
      m_qtDialogs(dialogs ? nullptr : std::make_unique<TQtScriptDialogs>(&form)),
      m_host(makeHost(form, services, store, conversions, dialogs ? dialogs : m_qtDialogs.get())), m_evaluator(*m_host)
{
    execDialog = [](QDialog& d) { return d.exec(); };
    m_host->environment().pluginsChanged = [this] { rebuildPluginMenus(); };
    if (store) {
        store->addConsumer([this](const TSettings& s) { m_host->setWatchdogLimit(s.general.scriptTimeout * 1000); }, {},
                           this);
        m_host->setWatchdogLimit(store->values().general.scriptTimeout * 1000);
    }

    // The ROM load hook on every load and reload; a load (not a reload) also
    // ends the show-options hook.
    TRomDocument& doc = m_form.document();
    m_previousRomLoaded = doc.events.romLoaded;
    m_previousRomClosed = doc.events.romClosed;
    doc.events.runRomHandlers = [this] { m_host->runRomLoadHook(); };
    doc.events.romLoaded = [this, previous = doc.events.romLoaded] {
        m_host->setShowOptionsHook(QString());
        if (previous)
            previous();
        updatePluginStates();
    };
    doc.events.romClosed = [this, previous = doc.events.romClosed] {
        if (previous)
            previous();
        updatePluginStates();
    };
    m_form.showOptionsHook = [this] {
        const QString hook = m_host->showOptionsHook();
        if (hook.isEmpty() || !m_host->procedureExists(hook))
            return false;
        try {
            m_host->evaluate(hook + QStringLiteral("()"));
        } catch (const EScriptError&) {
            // Shown by the host.
        }
        return true;
    };

    TActionManager* am = m_form.actionManager();
    QAction* reload = am->add(QStringLiteral("PluginReload"), tr("&Reload Plugins"), [this] { PluginReloadExecute(); });
    QAction* command =
        am->add(QStringLiteral("ToolsCommand"), tr("Run &Command..."), [this] { ToolsCommandExecute(); });
    QAction* manager =
        am->add(QStringLiteral("PluginManager"), tr("Plugin &Manager..."), [this] { PluginManagerExecute(); });
    m_form.addAction(reload);
    m_form.addAction(command);
    m_form.addAction(manager);

    // The plug-in menu goes fourth, before Tools.
    mnuPlugins = new QMenu(tr("&Plugins"), &m_form);
    mnuPlugins->setObjectName(QStringLiteral("mnuPlugins"));
    QMenu* tools = m_form.toolsMenu();
    m_form.menuBar()->insertMenu(tools ? tools->menuAction() : nullptr, mnuPlugins);
    mnuPlugins->addAction(reload);
    mnuPlugins->addAction(command);
    for (int c = 1; c <= TCPlugin::MaxCategory; ++c) {
        QMenu* sub = mnuPlugins->addMenu(tr("Category &%1").arg(c));
        sub->setObjectName(QStringLiteral("mnuPluginCategory%1").arg(c));
        m_categories << sub;
        connect(sub, &QMenu::aboutToShow, this, &TScriptCommands::updatePluginStates);
    }
    mnuPlugins->addAction(manager);
    m_placeholder = mnuPlugins->addAction(tr("(no plugins loaded)"));
    m_placeholder->setEnabled(false);
    connect(mnuPlugins, &QMenu::aboutToShow, this, &TScriptCommands::updatePluginStates);

    // The Help menu: its fourth item is the plug-in information submenu.
    mnuHelp = m_form.menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* scriptingHelp = mnuHelp->addAction(tr("&Scripting Help"));
    connect(scriptingHelp, &QAction::triggered, this, [this] {
        if (IScriptDialogs* d = m_host->environment().dialogs)
            d->openUrl(QUrl::fromLocalFile(m_host->programFolder() + QStringLiteral("/plugins")).toString());
    });
    QAction* folder = mnuHelp->addAction(tr("Open &User Script Folder"));
    connect(folder, &QAction::triggered, this, [this] {
        if (IScriptDialogs* d = m_host->environment().dialogs)
            d->openUrl(QUrl::fromLocalFile(m_host->userScriptFolder()).toString());
    });
    mnuHelp->addSeparator();
    mnuPluginInfo = mnuHelp->addMenu(tr("Plugin &Information"));
    mnuPluginInfo->setObjectName(QStringLiteral("mnuPluginInfo"));
    rebuildPluginMenus();
}

TScriptCommands::~TScriptCommands()
{
    // The window may outlive this (its destruction closes the ROM): nothing
    // of it may call back into the host any more.
    TRomDocument& doc = m_form.document();
    m_previousRomLoaded = doc.events.romLoaded;
    m_previousRomClosed = doc.events.romClosed;
    doc.events.runRomHandlers = {};
    doc.events.romLoaded = m_previousRomLoaded;
    doc.events.romClosed = m_previousRomClosed;
    m_form.showOptionsHook = {};
}

void TScriptCommands::loadAtStartup()
{
    m_form.showStatus(tr("Loading Scripts..."));
    m_host->reloadScripts();
    // The window is not on screen yet: a message shown now would lie over the
    // status panes once they appear, so the panes speak for themselves.
    m_form.statusBar()->clearMessage();
}

void TScriptCommands::rebuildPluginMenus()
{
    for (QMenu* sub : m_categories)
        sub->clear();
    const QList<QAction*> items = mnuPlugins->actions();
    for (int i = int(items.size()) - 1; i >= FixedPluginItems; --i) {
        mnuPlugins->removeAction(items.at(i));
        items.at(i)->deleteLater();
    }
    mnuPluginInfo->clear();
    const TCPluginManager& plugins = m_host->plugins();
    for (int i = 0; i < plugins.count(); ++i) {
        const TCPlugin p = plugins.get(i);
        QMenu* target = p.category == 0 ? mnuPlugins : m_categories.at(p.category - 1);
        QAction* run = target->addAction(p.caption);
        run->setData(i); // the plug-in's index in the registry
        connect(run, &QAction::triggered, this, [this, run] { PluginActExecute(run); });
        QAction* info = mnuPluginInfo->addAction(p.caption);
        info->setData(i);
        connect(info, &QAction::triggered, this, [this, info] { PluginInfoExecute(info); });
    }
    // The placeholder shows while the menu holds only its fixed items; with
    // plug-ins loaded into the category submenus it must not claim there are none.
    m_placeholder->setVisible(mnuPlugins->actions().size() <= FixedPluginItems);
    m_placeholder->setText(plugins.count() == 0 ? tr("(no plugins loaded)")
                                                : tr("(no plugins outside the categories)"));
    for (QMenu* sub : m_categories)
        sub->setEnabled(!sub->isEmpty());
    mnuPluginInfo->setEnabled(!mnuPluginInfo->isEmpty());
    updatePluginStates();
}

void TScriptCommands::updatePluginStates()
{
    // Plug-in commands work on the open ROM: enabled exactly when the fuel
    // multiplier is (a ROM is loaded).
    const bool enabled = m_form.rom().isLoaded();
    auto apply = [enabled](QMenu* menu, int from) {
        const QList<QAction*> items = menu->actions();
        for (int i = from; i < items.size(); ++i)
            items.at(i)->setEnabled(enabled);
    };
    apply(mnuPlugins, FixedPluginItems);
    for (QMenu* sub : m_categories)
        apply(sub, 0);
}

void TScriptCommands::PluginActExecute(QAction* action)
{
    const int index = action->data().toInt();
    if (index < 0 || index >= m_host->plugins().count())
        return;
    try {
        m_host->evaluate(m_host->plugins().get(index).command);
    } catch (const EScriptError&) {
        // Shown by the host; the command ends here.
    }
    m_form.refreshViews();
}

void TScriptCommands::PluginInfoExecute(QAction* action)
{
    const int index = action->data().toInt();
    if (index < 0 || index >= m_host->plugins().count())
        return;
    const TCPlugin p = m_host->plugins().get(index);
    if (!p.info.isEmpty()) {
        try {
            m_host->evaluate(p.info);
        } catch (const EScriptError&) {}
        return;
    }
    if (m_services.messages)
        m_services.messages->showMessage(QStringLiteral("This plugin was written by %1.").arg(p.author), p.caption,
                                         TMsgKind::Information, TMsgButton::OK);
}

void TScriptCommands::PluginReloadExecute()
{
    m_form.showStatus(tr("Reinitializing Scripts..."));
    if (!m_host->reloadScripts())
        return;
    m_form.showStatus(tr("Reloading ROM..."));
    if (m_form.rom().isLoaded())
        m_form.document().reload();
    m_form.showStatus(tr("Ready"));
}

void TScriptCommands::PluginManagerExecute()
{
    TPluginEditor editor(m_services, m_host->programFolder(), m_host->userScriptFolder());
    editor.load();
    TPluginForm dialog(editor, &m_form);
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    m_host->reloadScripts();
    m_form.refreshViews();
}

void TScriptCommands::ToolsCommandExecute()
{
    TRunForm dialog(*m_host, &m_form);
    execDialog(dialog);
    m_form.refreshViews();
}
