// `vexor-cli plugins`: plugins.js listed and edited without a screen.
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(CliPlugins, InstallListRemove)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir home;
    const QString mine = home.filePath(QStringLiteral("mine/it's.js"));
    QDir().mkpath(home.filePath(QStringLiteral("mine")));
    writeBytes(mine, "// mine\n");
    auto run = [&](const QStringList& args) {
        return runCli(QStringList{QStringLiteral("plugins")} + args, home.path());
    };

    EXPECT_EQ(run({QStringLiteral("install"), home.filePath(QStringLiteral("none.js"))}).exitCode, 2);
    const TCliRun first = run({QStringLiteral("install"), mine});
    ASSERT_EQ(first.exitCode, 0) << first.errText().toStdString();
    EXPECT_TRUE(first.errText().contains(QStringLiteral("'plugins.js' could not be found.")));
    EXPECT_TRUE(readBytes(home.filePath(QStringLiteral("plugins.js")))
                    .contains("include('$(APPDATA)\\\\mine\\\\it\\'s.js');\r\n"));
    const TCliRun again = run({QStringLiteral("install"), mine});
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_TRUE(again.errText().contains(QStringLiteral("This plugin is already installed.")));

    writeBytes(home.filePath(QStringLiteral("plugins.js")),
               readBytes(home.filePath(QStringLiteral("plugins.js")))
                   .replace("/* END */", "include('gone.js');\r\n/* END */"));
    const TCliRun list = run({QStringLiteral("list"), QStringLiteral("--json")});
    ASSERT_EQ(list.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(list.out).array();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.at(0)[QStringLiteral("file")].toString(), mine);
    EXPECT_FALSE(rows.at(1)[QStringLiteral("exists")].toBool());

    EXPECT_EQ(run({QStringLiteral("remove"), mine}).exitCode, 0);
    EXPECT_EQ(run({QStringLiteral("remove"), mine}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("list")}).outText(), QStringLiteral("missing  gone.js\n"));
}

} // namespace
