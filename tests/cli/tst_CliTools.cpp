// vexor-cli tools: the tuning tools headless; refusals exit 2 and write nothing.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(CliTools, AppliesToolsAndRefuses)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    writeBytes(home + QStringLiteral("/injectors.ini"),
               "[Stock 240]\nSize=240\n[Big 480]\nSize=480\nOffset=100,200,300,400,500,600,700\n");
    const QString rom = dir.filePath(QStringLiteral("au.bin")), out = dir.filePath(QStringLiteral("out.bin"));
    writeBytes(rom, generateRom({QStringLiteral("vexorau")}));

    const TCliRun run = runCli({QStringLiteral("tools"), rom, QStringLiteral("-o"), out, QStringLiteral("--injector"),
                                QStringLiteral("Big 480"), QStringLiteral("--ignition-offset"), QStringLiteral("-45"),
                                QStringLiteral("--boost-fuel"), QStringLiteral("efficiency:50")},
                               home);
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    EXPECT_TRUE(run.outText().contains(QStringLiteral("ignition offset -30"))) << run.outText().toStdString();
    EXPECT_TRUE(readBytes(home + QStringLiteral("/vexor.ini")).contains("IgnitionOffset=-30"));
    TRom written;
    ASSERT_EQ(written.loadFile(out), TRom::LoadResult::Ok);
    EXPECT_EQ(written.wordAt(written.address(aeMainFuel)), 16384);
    EXPECT_EQ(written.byteAt(written.address(aeInjectorIndex)), 2);
    EXPECT_EQ(written.byteAt(written.address(aeBatteryLatency) + 1), 162);

    const QString refusedOut = dir.filePath(QStringLiteral("refused.bin"));
    const QStringList refused[] = {
        {QStringLiteral("--multiplier"), QStringLiteral("nan")},
        {QStringLiteral("--injector"), QStringLiteral("0")},
        {QStringLiteral("--injector"), QStringLiteral("No such injector")},
        {QStringLiteral("--boost-fuel"), QStringLiteral("twice")},
        {QStringLiteral("--ignition-offset"), QStringLiteral("abc")},
        {QStringLiteral("--multiplier"), QStringLiteral("1.1"), QStringLiteral("--injector"), QStringLiteral("-5")},
    };
    for (const QStringList& opts : refused) {
        const TCliRun r =
            runCli(QStringList{QStringLiteral("tools"), rom, QStringLiteral("-o"), refusedOut} + opts, home);
        EXPECT_EQ(r.exitCode, 2) << opts.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(refusedOut)) << opts.join(' ').toStdString();
    }
}

} // namespace
