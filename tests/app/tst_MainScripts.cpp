// The script side of the main window: the plug-in menus rebuilt from the
// registry, plug-in and information commands, reload, the run-command
// dialog and the show-options hook, all answered without a screen.
#include "app/frmMain.h"
#include "app/mdlScriptCommands.h"
#include "rom/mdlRomGen.h"
#include "scripting/mdlPluginList.h"
#include "scripting/ui/frmPlugin.h"
#include "scripting/ui/frmRun.h"
#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestScriptWindow.h"
#include "support/TestServices.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using MainScripts = TScriptWindowTest;

TEST_F(MainScripts, PluginMenusCommandsAndHooks)
{
    writeBytes(dir.filePath(QStringLiteral("autoload.js")),
               "var ran = [];\n"
               "addPlugin('Ann', 'One', 'ran.push(1)');\naddPlugin('Ann', 'Two', 'ran.push(2)', 'ran.push(\"i\")');\n"
               "addPlugin('Bob', 'Cat', 'ran.push(3)', '', 2);\n"
               "function _on_rom_loaded_() { ran.push('loaded'); }\nfunction _hidden() { ran.push('h'); }\n"
               "function visible() {}\nfunction myOptions() { ran.push('options'); }\n");
    scripts.loadAtStartup();
    form.show();
    for (int i = 0; i < 200 && !form.started(); ++i)
        QTest::qWait(5);
    ASSERT_TRUE(form.rom().isLoaded());
    auto ran = [&] { return scripts.host().evaluate(QStringLiteral("ran.join()")).toString(); };
    EXPECT_EQ(ran(), QStringLiteral("loaded"));

    // The fourth top-level menu; two category-0 items after the eight fixed
    // ones, one in the second category's submenu (third item), three infos.
    QMenu* plugins = scripts.pluginMenu();
    ASSERT_EQ(form.menuBar()->actions().at(3)->menu(), plugins);
    ASSERT_EQ(plugins->actions().size(), TScriptCommands::FixedPluginItems + 2);
    EXPECT_EQ(plugins->actions().at(2)->menu(), scripts.categoryMenu(1));
    EXPECT_EQ(plugins->actions().at(6), form.action(QStringLiteral("PluginManager")));
    EXPECT_EQ(plugins->actions().at(3)->menu()->actions().size(), 1);
    EXPECT_EQ(scripts.infoMenu()->actions().size(), 3);
    EXPECT_FALSE(plugins->actions().at(TScriptCommands::FixedPluginItems - 1)->isVisible()); // placeholder
    EXPECT_TRUE(plugins->actions().at(TScriptCommands::FixedPluginItems)->isEnabled());

    plugins->actions().at(TScriptCommands::FixedPluginItems + 1)->trigger(); // Two
    scripts.categoryMenu(2)->actions().first()->trigger();                   // Cat
    scripts.infoMenu()->actions().at(1)->trigger();                          // Two's info expression
    EXPECT_EQ(ran(), QStringLiteral("loaded,2,3,i"));
    scripts.infoMenu()->actions().at(0)->trigger(); // no info: who wrote it
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("This plugin was written by Ann."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("One"));

    // The run-command dialog lists the public procedures; a typed hidden one runs.
    scripts.execDialog = [](QDialog& d) {
        auto* run = dynamic_cast<TRunForm*>(&d);
        EXPECT_NE(run, nullptr);
        if (!run)
            return 0;
        run->show();
        QComboBox* box = run->procedures();
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        EXPECT_EQ(items, (QStringList{"visible()", "myOptions()"}));
        box->setEditText(QStringLiteral("_hidden()"));
        run->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return run->result();
    };
    form.action(QStringLiteral("ToolsCommand"))->trigger();
    EXPECT_TRUE(ran().endsWith(QStringLiteral(",h")));

    // The show-options hook replaces the option pages until a ROM is loaded.
    scripts.host().evaluate(QStringLiteral("events.OnShowOptions = 'myOptions'"));
    form.action(QStringLiteral("ViewOptions"))->trigger();
    EXPECT_TRUE(ran().endsWith(QStringLiteral(",options")));
    ASSERT_TRUE(form.document().loadFile(romPath));
    EXPECT_EQ(scripts.host().showOptionsHook(), QString());

    // Reload with nothing registered: only the fixed items and the placeholder.
    QFile::remove(dir.filePath(QStringLiteral("autoload.js")));
    form.action(QStringLiteral("PluginReload"))->trigger();
    EXPECT_EQ(plugins->actions().size(), TScriptCommands::FixedPluginItems);
    EXPECT_TRUE(plugins->actions().last()->isVisible());
    EXPECT_TRUE(scripts.infoMenu()->isEmpty());
    form.document().rom().buffer().markSaved();
}

TEST(PluginManagerWindow, InstallsAndReloadsOnOk)
{
    QTemporaryDir dir;
    TTestServices svc;
    TMainForm form(svc.services(), nullptr, QString());
    TJsWidebandConvManager conversions;
    TScriptedScriptDialogs dialogs;
    TScriptCommands scripts(form, svc.services(), nullptr, &conversions, &dialogs);
    const QString prog = dir.filePath(QStringLiteral("prog")), user = dir.filePath(QStringLiteral("user"));
    QDir().mkpath(prog + QStringLiteral("/plugins"));
    scripts.host().setFolders(prog, user);
    writeBytes(prog + QStringLiteral("/plugins/p.js"), "addPlugin('Ann', 'Installed', 'void 0');\n");
    scripts.loadAtStartup();
    ASSERT_EQ(scripts.pluginMenu()->actions().size(), TScriptCommands::FixedPluginItems);

    svc.messages.answer(mrOk); // "'plugins.js' could not be found."
    svc.fileDialogs.answer(prog + QStringLiteral("/plugins/p.js"));
    int shown = 0;
    scripts.execDialog = [&](QDialog& d) {
        auto* editor = dynamic_cast<TPluginForm*>(&d);
        EXPECT_NE(editor, nullptr);
        if (!editor)
            return 0;
        ++shown;
        editor->button(QStringLiteral("btnInstall"))->click();
        EXPECT_EQ(editor->plugins()->count(), 1);
        // The list commands run from their buttons (a typed path, then Add and Delete).
        auto* path = editor->findChild<QLineEdit*>(QStringLiteral("txtPath"));
        path->setText(QStringLiteral("$(VEXOR)\\plugins\\other.js"));
        Q_EMIT path->textEdited(path->text());
        editor->button(QStringLiteral("btnAdd"))->click();
        EXPECT_EQ(editor->plugins()->count(), 2);
        editor->plugins()->setCurrentRow(1);
        editor->button(QStringLiteral("btnDelete"))->click();
        EXPECT_EQ(editor->plugins()->count(), 1);
        editor->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        return editor->result();
    };
    form.action(QStringLiteral("PluginManager"))->trigger();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Plugins Manager"));
    EXPECT_TRUE(readBytes(user + QStringLiteral("/plugins.js")).contains("include('$(VEXOR)\\\\plugins\\\\p.js');"));
    // The reload ran: the plug-in's command is in the menu.
    ASSERT_EQ(scripts.pluginMenu()->actions().size(), TScriptCommands::FixedPluginItems + 1);
    EXPECT_EQ(scripts.pluginMenu()->actions().last()->text(), QStringLiteral("Installed"));
}

} // namespace
