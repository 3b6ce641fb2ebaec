// The dispatch-style compatibility plug-ins in the main window: the ROM
// handler hooks the layout on the start-up load, the grid paints through the
// hook, the plug-in menu commands unhook and edit, and one Undo takes the
// edit back.
#include "app/frmMain.h"
#include "app/mdlScriptCommands.h"
#include "rom/mdlRomGen.h"
#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestScriptWindow.h"
#include "support/TestServices.h"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using MainScriptsCompat = TScriptWindowTest;

TEST_F(MainScriptsCompat, DispatchStylePluginsInTheWindow)
{
    writeBytes(dir.filePath("autoload.js"), "include('" VEXOR_TEST_PLUGINS "/made_up_layout.js');\n"
                                            "include('" VEXOR_TEST_PLUGINS "/map_edit.js');\n");
    scripts.loadAtStartup();
    form.show();
    for (int i = 0; i < 200 && !form.started(); ++i)
        QTest::qWait(5);
    TRom& rom = form.rom();
    ASSERT_TRUE(rom.isLoaded());
    ASSERT_TRUE(rom.hasHook(TRom::OnGetTableValue));

    auto reads = [&] { return scripts.host().evaluate("layout_reads").toInt(); };
    auto command = [&](const QString& caption) {
        for (QAction* a : scripts.pluginMenu()->actions())
            if (a->text() == caption)
                return a->trigger();
        ADD_FAILURE() << "no menu item " << caption.toStdString();
    };
    form.action("ViewHCF")->trigger();
    const int before = reads();
    (void)form.grab();
    EXPECT_GE(reads() - before, rom.rows() * rom.columns());

    command("Stop serving the layout");
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    const double cell = rom.tableValue(2, 3, tkLowFuel);
    command("Richen the low-cam fuel map by 10%");
    EXPECT_GT(rom.tableValue(2, 3, tkLowFuel), cell);
    // The command states follow when the event loop next waits; then one
    // Undo takes the whole map edit back.
    QEventLoop idle;
    QTimer::singleShot(20, &idle, &QEventLoop::quit);
    idle.exec();
    QAction* undo = form.action("EditUndo");
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(rom.tableValue(2, 3, tkLowFuel), cell);
    EXPECT_EQ(svc.messages.count(), 0);
    rom.buffer().markSaved();
}
