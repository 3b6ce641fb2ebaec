// `vexor-cli run`: the start-up scripts, the ROM, a script or an expression
// against the same objects, and the image written back with its checksum.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CliRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!cliBuilt())
            GTEST_SKIP() << "vexor-cli not built";
        in = dir.filePath(QStringLiteral("in.bin"));
        writeBytes(in, generateRom(TRomGenOptions{}));
        // The shipped example plug-ins, installed the way the plug-in
        // manager writes plugins.js.
        writeBytes(dir.filePath(QStringLiteral("plugins.js")),
                   "/* VEXOR PLUGIN MANAGER FILE */\r\n/* BEGIN */\r\n"
                   "include('$(VEXOR)\\\\plugins\\\\fuel_trim.js');\r\n"
                   "include('$(VEXOR)\\\\plugins\\\\rom_summary.js');\r\n"
                   "include('$(VEXOR)\\\\plugins\\\\flat_layout.js');\r\n/* END */\r\n");
    }
    TCliRun run(const QStringList& args) { return runCli(QStringList{QStringLiteral("run"), in} + args, dir.path()); }

    QTemporaryDir dir;
    QString in;
};

TEST_F(CliRun, PluginsEditMapsAndTheImageIsWrittenWithItsChecksum)
{
    const QString out = dir.filePath(QStringLiteral("out.bin"));
    const TCliRun r = run({QStringLiteral("--eval"),
                           QStringLiteral("var before = rom.tableValue(3, 4); fuelTrim_apply(10); "
                                          "romSummary_loads + ':' + (rom.tableValue(3, 4) > before)"),
                           QStringLiteral("-o"), out});
    ASSERT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outText(), QStringLiteral("1:true\n")); // the P28 handler ran on load
    TRom saved;
    ASSERT_EQ(saved.loadFile(out), TRom::LoadResult::Ok);
    EXPECT_NE(readBytes(out), readBytes(in));
    EXPECT_EQ(saved.checksum(), 0);
}

TEST_F(CliRun, HooksServeAMadeUpLayout)
{
    const QString script = dir.filePath(QStringLiteral("s.js"));
    writeBytes(script, "flatLayout_serve();\nrom.tableValue(2, 1) = 77;\n"
                       "alert(rom.byteAt(0x7000 + 32 + 2) + ',' + rom.tableValue(2, 1));\n"
                       "flatLayout_stop();\nalert(rom.tableValue(2, 1) != 77);\n");
    const TCliRun r = run({QStringLiteral("--script"), script});
    ASSERT_EQ(r.exitCode, 0) << r.errText().toStdString();
    EXPECT_EQ(r.outText(), QStringLiteral("77,77\ntrue\n"));
}

TEST_F(CliRun, QuestionsTakeCancelAndErrorsExitTwo)
{
    const TCliRun asked =
        run({QStringLiteral("--eval"), QStringLiteral("confirm('Sure?') + '|' + prompt('T', 'M', 'x') + "
                                                      "'|' + select('P', 'a|b')")});
    ASSERT_EQ(asked.exitCode, 0) << asked.errText().toStdString();
    EXPECT_EQ(asked.outText(), QStringLiteral("false||-1\n"));
    EXPECT_TRUE(asked.errText().contains(QStringLiteral("taking No"))) << asked.errText().toStdString();
    EXPECT_TRUE(asked.errText().contains(QStringLiteral("(select \"P\": no one to answer, taking Cancel)")));

    const QString script = dir.filePath(QStringLiteral("bad.js"));
    writeBytes(script, "var a = 1;\nrom.byteAt(70000) = 1;\n");
    const TCliRun bad =
        run({QStringLiteral("--script"), script, QStringLiteral("-o"), dir.filePath(QStringLiteral("never.bin"))});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.errText().contains(QStringLiteral("at line 2, column 0 near 'rom.byteAt(70000) = 1;'")))
        << bad.errText().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("never.bin"))));
}

} // namespace
