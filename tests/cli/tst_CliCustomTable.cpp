// `vexor-cli custom-table` with the shipped example: the grid printed with its
// header cells, edits through the table's set-value function, the refusal of
// a table whose on-load hides it.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(CliCustomTable, ExampleTablePrintsEditsAndRefuses)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("plugins.js")),
               "include('$(VEXOR)\\\\plugins\\\\adv_table_example.js');\r\n");
    TRomGenOptions o;
    o.family = QStringLiteral("vexorau");
    const QString in = dir.filePath(QStringLiteral("in.bin"));
    writeBytes(in, generateRom(o));
    const QString out = dir.filePath(QStringLiteral("out.bin"));

    // A typed word is passed as a name: undefined here, so a script error.
    const TCliRun bad = runCli({"custom-table", in, "--table", "Lambda target", "--set", "3:2=abc"}, dir.path());
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.errText().contains(QStringLiteral("abc is not defined"))) << bad.errText().toStdString();
    EXPECT_EQ(runCli({"custom-table", in, "--set", "0:0=1"}, dir.path()).exitCode, 2); // header: not editable

    const TCliRun ok = runCli({"custom-table", in, "--table", "0", "--set", "3:2=12", "-o", out}, dir.path());
    ASSERT_EQ(ok.exitCode, 0) << ok.errText().toStdString();
    const QStringList lines = ok.outText().trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), 5);
    TRom original;
    ASSERT_EQ(original.loadFile(in), TRom::LoadResult::Ok);
    EXPECT_EQ(lines[0].split(u'\t').mid(0, 2), (QStringList{"mbar", QString::number(original.load(false, 0))}));
    EXPECT_EQ(lines[2].split(u'\t').at(3), QStringLiteral("12"));
    TRom saved;
    ASSERT_EQ(saved.loadFile(out), TRom::LoadResult::Ok);
    const int base = original.address(aeCorrectionLo);
    EXPECT_EQ(saved.byteAt(base + original.columns() + 2), 12);

    // Not a VexorAu image: the on-load function hides the table.
    writeBytes(in, generateRom(TRomGenOptions{}));
    EXPECT_EQ(runCli({"custom-table", in}, dir.path()).exitCode, 2);
}

} // namespace
