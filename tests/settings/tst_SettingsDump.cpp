// The settings-dump command, run as the user runs it.

#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {
TCliRun dump(const QString& home, const QStringList& args)
{
    return runCli(QStringList{QStringLiteral("settings-dump")} + args, home);
}
} // namespace

TEST(SettingsDump, PrintsEveryKeyAfterLoading)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built at " << cliPath().toStdString();

    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("vexor.ini")),
               "[Option Settings]\nRevDelta=750\nLaunchDelta=garbage\n[Tuning Conditions]\nGearSet=23x9\n"
               "[Most Recently Used]\nFile0=/roms/a.bin\n");

    const TCliRun run = dump(dir.path(), {});
    const QString text = run.outText();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\n[Option Settings]\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\n  RevDelta +750\\n"))));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\n  LaunchDelta +100\\n")))) << "default";
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\n  StoichValue +14.7\\n"))));
    EXPECT_EQ(text.count(QStringLiteral("\n[")), 13) << "every section";

    const TCliRun json = dump(dir.path(), {QStringLiteral("--json")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject root = json.json();
    EXPECT_EQ(root.size(), 13);
    EXPECT_EQ(root[QStringLiteral("Option Settings")][QStringLiteral("RevDelta")].toInt(), 750);
    EXPECT_EQ(root[QStringLiteral("Option Settings")][QStringLiteral("LaunchDelta")].toInt(), 100);
    EXPECT_EQ(root[QStringLiteral("Tuning Conditions")][QStringLiteral("GearSet")].toString(), QStringLiteral("23x9"));
    EXPECT_DOUBLE_EQ(root[QStringLiteral("General Settings")][QStringLiteral("StoichValue")].toDouble(), 14.7);
    EXPECT_EQ(root[QStringLiteral("General Settings")][QStringLiteral("ShowMph")].toBool(), true);
    EXPECT_TRUE(root[QStringLiteral("General Settings")][QStringLiteral("WindowWidth")].isNull());
    EXPECT_EQ(root[QStringLiteral("Most Recently Used")][QStringLiteral("File0")].toString(),
              QStringLiteral("/roms/a.bin"));
    EXPECT_EQ(root[QStringLiteral("Lambda Conversion")].toObject().size(), 32);

    // Reading never creates the settings folder.
    const QString absent = dir.filePath(QStringLiteral("not/yet"));
    const TCliRun fresh = dump(absent, {});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.err.toStdString();
    EXPECT_FALSE(QDir(absent).exists());

    const TCliRun bad = dump(dir.path(), {QStringLiteral("extra")});
    EXPECT_EQ(bad.exitCode, 1);
}
