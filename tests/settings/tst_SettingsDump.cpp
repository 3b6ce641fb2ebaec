// The settings-dump command, run as the user runs it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {
struct CliRun {
    int exitCode;
    QString out;
    QString err;
};

CliRun runCli(const QString& home, const QStringList& args)
{
    const QString bin =
        qEnvironmentVariable("VEXOR_BIN", QCoreApplication::applicationDirPath()) + QStringLiteral("/vexor-cli");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VEXOR_HOME"), home);
    p.setProcessEnvironment(env);
    p.start(bin, QStringList{QStringLiteral("settings-dump")} + args);
    if (!p.waitForFinished(30000))
        return {-1, {}, QStringLiteral("did not run: ") + bin};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

TEST(SettingsDump, PrintsEveryKeyAfterLoading)
{
    const QString bin =
        qEnvironmentVariable("VEXOR_BIN", QCoreApplication::applicationDirPath()) + QStringLiteral("/vexor-cli");
    if (!QFile::exists(bin))
        GTEST_SKIP() << "vexor-cli not built at " << bin.toStdString();

    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("vexor.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Option Settings]\nRevDelta=750\nLaunchDelta=garbage\n[Tuning Conditions]\nGearSet=23x9\n"
              "[Most Recently Used]\nFile0=/roms/a.bin\n");
    ini.close();

    const CliRun text = runCli(dir.path(), {});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("\n[Option Settings]\n"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression(QStringLiteral("\\n  RevDelta +750\\n"))));
    EXPECT_TRUE(text.out.contains(QRegularExpression(QStringLiteral("\\n  LaunchDelta +100\\n")))) << "default";
    EXPECT_TRUE(text.out.contains(QRegularExpression(QStringLiteral("\\n  StoichValue +14.7\\n"))));
    EXPECT_EQ(text.out.count(QStringLiteral("\n[")), 13) << "every section";

    const CliRun json = runCli(dir.path(), {QStringLiteral("--json")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
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
    const CliRun fresh = runCli(absent, {});
    EXPECT_EQ(fresh.exitCode, 0) << fresh.err.toStdString();
    EXPECT_FALSE(QDir(absent).exists());

    const CliRun bad = runCli(dir.path(), {QStringLiteral("extra")});
    EXPECT_EQ(bad.exitCode, 1);
}
