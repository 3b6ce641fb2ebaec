// The dispatch-style compatibility plug-ins run headless: plugins.js includes
// them, the ROM handler installs the layout hooks on load, the edits are
// written back with the checksum fixed.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(CliRunCompat, DispatchStylePluginsRunHeadless)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir dir;
    const QString in = dir.filePath("in.bin"), out = dir.filePath("out.bin");
    writeBytes(in, generateRom(TRomGenOptions{}));
    writeBytes(dir.filePath("plugins.js"), "include('" VEXOR_TEST_PLUGINS "/made_up_layout.js');\r\n"
                                           "include('" VEXOR_TEST_PLUGINS "/map_edit.js');\r\n");
    const TCliRun r = runCli({"run", in, "--eval",
                              "rom.byteAt(0x7400 + 2 * 32 + 3) = 41; rom.working_table = 1;"
                              "rom.tableValue(4, 2) = 30.25; map_mark();"
                              "[rom.tableValue(3, 2), rom.mapScalar(1, 4), rom.byteAt(0x7400 + 2 * 32 + 4)].join()",
                              "-o", out},
                             dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outText(), QStringLiteral("20.5,425,61\n"));
    TRom saved;
    ASSERT_EQ(saved.loadFile(out), TRom::LoadResult::Ok);
    EXPECT_EQ(saved.byteAt(0x7400 + 2 * 32 + 3), 41);
    EXPECT_EQ(saved.checksum(), 0);
    EXPECT_TRUE(saved.buffer().trailer().startsWith("marked ")) << saved.buffer().trailer().constData();
}
