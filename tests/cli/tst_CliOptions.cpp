// vexor-cli options: the option page headless, through the page's handlers.
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QJsonObject fieldOf(const QJsonObject& doc, const QString& name)
{
    for (const auto v : doc.value(QStringLiteral("fields")).toArray())
        if (v.toObject().value(QStringLiteral("name")).toString() == name)
            return v.toObject();
    return {};
}

TEST(CliOptions, ListsSetsAndRefuses)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString rom = dir.filePath(QStringLiteral("au.bin")), out = dir.filePath(QStringLiteral("out.bin"));
    writeBytes(rom, generateRom({QStringLiteral("vexorau")}));

    const TCliRun list = runCli({QStringLiteral("options"), rom, QStringLiteral("--json")}, home);
    ASSERT_EQ(list.exitCode, 0) << list.errText().toStdString();
    const QJsonObject doc = list.json();
    EXPECT_EQ(doc.value(QStringLiteral("page")).toString(), QStringLiteral("pnlOptions2"));
    for (const char* name : {"txtLoRevCut", "cbxMAPList", "cbxEv3Output", "cgECTFuelOpen", "cgWBConversion",
                             "trkPulseFrequency", "chkDTC21", "cgTargetBoost2", "cgEv3MapAdjust"})
        EXPECT_FALSE(fieldOf(doc, QString::fromLatin1(name)).isEmpty()) << name;

    const TCliRun set =
        runCli({QStringLiteral("options"), rom, QStringLiteral("-o"), out, QStringLiteral("--set"),
                QStringLiteral("txtLoRevCut=8000"), QStringLiteral("--set"), QStringLiteral("cgECTFuelOpen:1:0=5.0"),
                QStringLiteral("--set"), QStringLiteral("trkPulseFrequency=20"), QStringLiteral("--set"),
                QStringLiteral("cgTargetBoost1:0:1=1.4"), QStringLiteral("--json")},
               home);
    ASSERT_EQ(set.exitCode, 0) << set.errText().toStdString();
    EXPECT_EQ(fieldOf(set.json(), QStringLiteral("txtLoRevCut")).value(QStringLiteral("value")).toString(),
              QStringLiteral("8012"));
    const QJsonArray row =
        fieldOf(set.json(), QStringLiteral("cgECTFuelOpen")).value(QStringLiteral("rows")).toArray().at(0).toArray();
    EXPECT_NEAR(row.at(1).toString().toDouble(), 5.0, 1.6);
    EXPECT_EQ(fieldOf(set.json(), QStringLiteral("trkPulseFrequency")).value(QStringLiteral("value")).toString(),
              QStringLiteral("20"));
    const QJsonArray gain =
        fieldOf(set.json(), QStringLiteral("cgTargetBoost1")).value(QStringLiteral("rows")).toArray().at(1).toArray();
    EXPECT_EQ(gain.at(0).toString(), QStringLiteral("1.4"));
    EXPECT_TRUE(QFile::exists(out));

    // What the page refuses: exit 2 and nothing written.
    const QString refusedOut = dir.filePath(QStringLiteral("refused.bin"));
    for (const char* bad :
         {"txtLoRevCut=0", "txtLoRevCut=fast", "cbxGearSelect=99", "noSuchField=1", "cgECTFuelOpen:99:0=1"}) {
        const TCliRun r = runCli({QStringLiteral("options"), rom, QStringLiteral("-o"), refusedOut,
                                  QStringLiteral("--set"), QString::fromLatin1(bad)},
                                 home);
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_FALSE(QFile::exists(refusedOut)) << bad;
    }

    // Every other family lists its simple page.
    const QString p28 = dir.filePath(QStringLiteral("p28.bin"));
    writeBytes(p28, generateRom({QStringLiteral("p28")}));
    const TCliRun simple = runCli({QStringLiteral("options"), p28}, home);
    ASSERT_EQ(simple.exitCode, 0);
    EXPECT_TRUE(simple.outText().contains(QStringLiteral("txtRev = ")));
}

} // namespace
