// The advanced tables window in the main window, offscreen: opened from the
// View menu, a cell edited in place through the table's set-value function,
// the edit undone from the window, the list following a script reload.
#include "app/frmMain.h"
#include "app/mdlAdvTablesCommand.h"
#include "app/mdlScriptCommands.h"
#include "editor/ui/VexorGrid.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "scripting/ui/frmAdvTables.h"
#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestScriptWindow.h"
#include "support/TestServices.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

constexpr int Base = 0x100;

using AdvTablesWindow = TScriptWindowTest;

TEST_F(AdvTablesWindow, EditUndoAndReloadThroughTheWindow)
{
    // Three image bytes under a header row of X values; the set-value call
    // is recorded as it arrives.
    writeBytes(dir.filePath(QStringLiteral("autoload.js")),
               "var calls = [];\n"
               "function ld() { customTable.showGraph = 1; customTable.functions = 'Zero|zero()'; return true; }\n"
               "function gv(c, r) { return r == 0 ? c * 10 : rom.byteAt(0x100 + c); }\n"
               "function sv(c, r, v) { calls.push(c + ',' + r + ',' + v); rom.byteAt(0x100 + c) = v; }\n"
               "function zero() { rom.byteAt(0x101) = 0; }\n"
               "addCustomTable('Bytes', 3, 1, 0x100, 'ld', 'gv', 'sv');\n");
    scripts.loadAtStartup();
    TAdvTablesCommand command(form, scripts.host());
    form.show();
    for (int i = 0; i < 200 && !form.started(); ++i)
        QTest::qWait(5);
    ASSERT_TRUE(form.rom().isLoaded());

    form.action(QStringLiteral("ViewAdvTables"))->trigger();
    TAdvanceTableForm* w = command.window();
    ASSERT_NE(w, nullptr);
    form.action(QStringLiteral("ViewAdvTables"))->trigger(); // the same window again
    EXPECT_EQ(command.window(), w);
    EXPECT_EQ(w->tableList()->count(), 1);
    EXPECT_TRUE(w->moreButton()->isVisibleTo(w));
    TVexorGrid* grid = w->grid();
    ASSERT_EQ(grid->ColCount(), 4);
    ASSERT_EQ(grid->RowCount(), 2);

    const quint8 before = form.rom().byteAt(Base + 2);
    EXPECT_EQ(grid->CellCaption(2, 1), QString::number(before));
    // A header cell stays closed (fixed editable 0); a data cell opens.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, 0).center());
    EXPECT_FALSE(grid->EditorVisible());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->CellRect(2, 1).center());
    ASSERT_TRUE(grid->EditorVisible());
    grid->Editor()->setText(QStringLiteral("77"));
    QTest::keyClick(grid->Editor(), Qt::Key_Return);
    EXPECT_FALSE(grid->EditorVisible());
    EXPECT_EQ(scripts.host().evaluate(QStringLiteral("calls.join(';')")).toString(), QStringLiteral("2,1,77"));
    EXPECT_EQ(form.rom().byteAt(Base + 2), 77);
    EXPECT_EQ(grid->CellCaption(2, 1), QStringLiteral("77"));
    EXPECT_TRUE(w->windowTitle().endsWith(u'*'));

    ASSERT_TRUE(w->undoAction()->isEnabled());
    w->undoAction()->trigger();
    EXPECT_EQ(form.rom().byteAt(Base + 2), before);
    EXPECT_EQ(grid->CellCaption(2, 1), QString::number(before));
    EXPECT_TRUE(w->redoAction()->isEnabled());

    w->commandMenu()->actions().first()->trigger(); // Zero
    EXPECT_EQ(grid->CellCaption(1, 1), QStringLiteral("0"));

    // A reload empties the registry; the list follows what the scripts register now.
    writeBytes(dir.filePath(QStringLiteral("autoload.js")),
               "addCustomTable('A', 2, 2, 0);\naddCustomTable('B', 2, 2, 0);\n");
    scripts.host().reloadScripts();
    EXPECT_EQ(w->tableList()->count(), 2);
    EXPECT_EQ(grid->CellCaption(0, 0), QStringLiteral("Col"));
    EXPECT_FALSE(w->moreButton()->isVisibleTo(w));
}

} // namespace
