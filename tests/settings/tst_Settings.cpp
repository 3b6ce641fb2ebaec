#include "rom/clsRom.h"
#include "rom/mdlRomSettings.h"
#include "settings/mdlIniFile.h"
#include "settings/mdlSettings.h"
#include "settings/mdlSettingsStore.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QObject>
#include <QTemporaryDir>

namespace {

QString dumpText(const TSettings& s)
{
    QString out;
    for (const TSettingValue& v : settingValues(s))
        out += v.section + QLatin1Char('|') + v.key + QLatin1Char('|') + settingText(v.value) + QLatin1Char('\n');
    return out;
}

// Every key of vexor.ini with the value a missing key takes. Key names are the
// file format: a typo here is a setting silently lost for every user.
const char* const DefaultKeys =
    "General Settings|IgnitionAdjustment|0.25\nGeneral Settings|FuelAdjustment1|3\n"
    "General Settings|FuelAdjustment2|5\nGeneral Settings|LambdaAdjustment|0.01\n"
    "General Settings|MapSmoothing|30\nGeneral Settings|Atmospheric|1013\nGeneral Settings|StoichValue|14.7\n"
    "General Settings|IgnitionOffset|0\nGeneral Settings|FullScreenResX|1024\nGeneral Settings|FullScreenResY|768\n"
    "General Settings|WindowWidth|\nGeneral Settings|WindowHeight|\nGeneral Settings|ShowDuration|1\n"
    "General Settings|ShowAFR|0\nGeneral Settings|ShowMph|1\nGeneral Settings|ShowPsi|1\n"
    "General Settings|ShowFahrenheit|1\nGeneral Settings|MinimalLiveView|0\nGeneral Settings|GraphInThreeD|0\nGeneral "
    "Settings|ScriptTimeout|10\n"
    "Option Settings|RevDelta|500\nOption Settings|LaunchDelta|100\nOption Settings|ShiftDelta|300\n"
    "Option Settings|VTECDelta|500\nOption Settings|IABDelta|500\n"
    "RTP Com Settings|PortIndex|0\nRTP Com Settings|BaudRate|38400\nRTP Com Settings|DataBitsIndex|4\n"
    "RTP Com Settings|ParityIndex|2\nRTP Com Settings|StopBitsIndex|0\nRTP Com Settings|PortPath|\n"
    "Tuner Com Settings|ProtocolIndex|0\nTuner Com Settings|PortIndex|0\nTuner Com Settings|BaudRate|38400\n"
    "Tuner Com Settings|DataBitsIndex|4\nTuner Com Settings|ParityIndex|2\nTuner Com Settings|StopBitsIndex|0\n"
    "Tuner Com Settings|PortPath|\n"
    "RTP Settings|Hardware|0\nRTP Settings|Use512K|0\nRTP Settings|AutoUpdate|1\nRTP Settings|AutoConnect|1\n"
    "RTP Connection Settings|Timeout|250\nRTP Connection Settings|MaxTries|3\n"
    "Tuner Connection Settings|Timeout|250\nTuner Connection Settings|MaxTries|3\n"
    "Tuning Conditions|SensorIndex|0\nTuning Conditions|MinThrottle|5\nTuning Conditions|MaxThrottle|100\n"
    "Tuning Conditions|MinLambda|0.8\nTuning Conditions|MaxLambda|1.2\nTuning Conditions|MinRPM|0\n"
    "Tuning Conditions|MaxRPM|11000\nTuning Conditions|MinLoad|0\nTuning Conditions|MaxLoad|3000\n"
    "Tuning Conditions|MinTemp|60\nTuning Conditions|MaxTemp|90\nTuning Conditions|GearSet|2 3 4\n"
    "Tuning Conditions|LambdaOffset|0\nTuning Conditions|SamplingPriority|4\nTuning Conditions|RecordMode|1\n"
    "Tuning Conditions|MinFuelAdj|5\nTuning Conditions|MaxFuelAdj|15\nTuning Conditions|ClearLog|1\n"
    "Tuning Conditions|MapSmooth|1\nTuning Conditions|FilterData|1\nTuning Conditions|SmartFill|1\n"
    "Tuning Conditions|SmartFillPasses|1\nTuning Conditions|MinSample|500\nTuning Conditions|MinInterval|30\n"
    "Tuning Conditions|AutoSaveLogs|1\nTuning Conditions|SmartTrack|1\nTuning Conditions|Acceptance|5\n"
    "Tuning Conditions|StdDeviation|1.75\nTuning Conditions|TrackMode|0\n";

} // namespace

TEST(Settings, DefaultsMatchTheFileFormat)
{
    const QString dump = dumpText(TSettings{});
    EXPECT_TRUE(dump.startsWith(QString::fromLatin1(DefaultKeys))) << dump.toStdString();
    QString rest;
    for (int i = 0; i < 16; ++i)
        rest += QStringLiteral("Lambda Conversion|Voltage%1|0\n").arg(i);
    for (int i = 0; i < 16; ++i)
        rest += QStringLiteral("Lambda Conversion|Lambda%1|0\n").arg(i);
    rest += QStringLiteral("Dyno Settings|MinThrottle|80\nDyno Settings|Gear|4\nDyno Settings|VehicleWeight|2700\n"
                           "DataGraphs|Graph1|0\nDataGraphs|Graph2|0\n"
                           "Notes Form|WindowLeft|\nNotes Form|WindowTop|\nNotes Form|WindowWidth|\n"
                           "Notes Form|WindowHeight|\n");
    for (int i = 0; i < 10; ++i)
        rest += QStringLiteral("Most Recently Used|File%1|\n").arg(i);
    EXPECT_TRUE(dump.endsWith(rest)) << dump.toStdString();
    EXPECT_EQ(dump.size(), QString::fromLatin1(DefaultKeys).size() + rest.size());
}

// A hand-edited or damaged file: every key holds garbage and falls back alone.
TEST(Settings, GarbageValuesFallBackKeyByKey)
{
    TIniFile garbage;
    for (const TSettingValue& v : settingValues(TSettings{}))
        if (v.key != QLatin1String("GearSet") && v.key != QLatin1String("PortPath") &&
            v.section != QLatin1String("Most Recently Used")) // any text is a gear set or a path
            garbage.writeString(v.section, v.key, QStringLiteral("zz%1").arg(v.key));
    TSettings s;
    s.read(garbage);
    EXPECT_EQ(dumpText(s), dumpText(TSettings{}));
    EXPECT_EQ(s, TSettings{});

    // Values that parse but no consumer could use fall back the same way.
    struct Row {
        const char* section;
        const char* key;
        const char* value;
    };
    const Row outOfRange[] = {
        {"RTP Com Settings", "ParityIndex", "7"},
        {"Tuner Com Settings", "StopBitsIndex", "-1"},
        {"Tuner Com Settings", "ProtocolIndex", "6"},
        {"RTP Com Settings", "BaudRate", "0"},
        {"Tuner Com Settings", "DataBitsIndex", "5"},
        {"RTP Com Settings", "PortIndex", "-3"},
        {"Tuner Connection Settings", "Timeout", "0"},
        {"RTP Connection Settings", "MaxTries", "0"},
        {"Tuning Conditions", "SamplingPriority", "0"},
        {"Tuning Conditions", "Acceptance", "0"},
        {"Tuning Conditions", "TrackMode", "6"},
        {"General Settings", "StoichValue", "0"},
        {"General Settings", "IgnitionOffset", "200"},
        {"General Settings", "FuelAdjustment2", "40000"},
        {"General Settings", "MapSmoothing", "1001"},
        {"Option Settings", "RevDelta", "1501"},
        {"Option Settings", "LaunchDelta", "-1"},
        {"RTP Settings", "Hardware", "3"},
        {"Dyno Settings", "Gear", "0"},
        {"DataGraphs", "Graph1", "32768"},
        {"General Settings", "WindowWidth", "0"},
        {"Notes Form", "WindowHeight", "-5"},
    };
    for (const Row& r : outOfRange) {
        SCOPED_TRACE(std::string(r.section) + "/" + r.key + "=" + r.value);
        TIniFile ini;
        ini.writeString(QString::fromLatin1(r.section), QString::fromLatin1(r.key), QString::fromLatin1(r.value));
        TSettings t;
        t.read(ini);
        EXPECT_EQ(t, TSettings{});
    }
}

// Finite but absurd values (LambdaOffset=1e308) used to be kept and reached the
// CSV export as inf and nan: every numeric key has a range holding its default.
TEST(Settings, EveryNumericKeyRefusesValuesOutsideItsRange)
{
    for (const TSettingValue& v : settingValues(TSettings{})) {
        SCOPED_TRACE((v.section + QLatin1Char('/') + v.key).toStdString());
        const auto range = settingRange(v.section, v.key);
        const bool numeric =
            !v.value.isValid() || v.value.typeId() == QMetaType::Int || v.value.typeId() == QMetaType::Double;
        ASSERT_EQ(range.has_value(), numeric);
        if (!range)
            continue;
        if (v.value.isValid()) {
            EXPECT_GE(v.value.toDouble(), range->lo);
            EXPECT_LE(v.value.toDouble(), range->hi);
        }
        const int decimals = range->integer ? 0 : 3;
        for (const QString& absurd :
             {QStringLiteral("1e308"), QStringLiteral("-1e308"), QString::number(range->hi + 1, 'f', decimals),
              QString::number(range->lo - 1, 'f', decimals)}) {
            TIniFile ini;
            ini.writeString(v.section, v.key, absurd);
            TSettings t;
            t.read(ini);
            EXPECT_EQ(t, TSettings{}) << absurd.toStdString();
        }
    }
}

TEST(Settings, EveryKeyRoundTrips)
{
    TSettings s;
    s.general.ignitionAdjustment = 0.5;
    s.general.fuelAdjustment2 = -3;
    s.general.stoichValue = 14.08;
    s.general.ignitionOffset = -6;
    s.general.windowWidth = 1280;
    s.general.showAFR = true;
    s.general.showMph = false;
    s.options = {1500, 0, 100, 250, 750};
    s.rtpCom = {0, 3, 920000, 3, 0, 2};
    s.tunerCom = {2, 9, 9600, 4, 1, 1};
    s.rtp = {2, true, false, false};
    s.rtpConnection = {50, 1};
    s.tunerConnection = {1000, 7};
    s.tuning.gearSet = QStringLiteral("23x9");
    s.tuning.lambdaOffset = -0.05;
    s.tuning.stdDeviation = 2.25;
    s.tuning.trackMode = 5;
    s.tuning.clearLog = false;
    for (size_t i = 0; i < 16; ++i)
        s.lambdaConversion[i] = {0.3125 * static_cast<double>(i), 0.68 + 0.04 * static_cast<double>(i)};
    s.dyno = {90, 3, 1200};
    s.dataGraphs = {0x7FFF, 0x4001};
    s.notesForm = {-20, 40, 300, 200};
    s.recentFiles.assign({QStringLiteral("/a/one.bin"), QStringLiteral("/b/two two.bin")});

    TIniFile ini;
    s.write(ini);
    TSettings back;
    back.read(ini);
    EXPECT_EQ(dumpText(back), dumpText(s));
    EXPECT_TRUE(back == s);
    EXPECT_EQ(back.tuning.gears(), (1 << 2) | (1 << 3)) << "23x9: gears 2 and 3, the rest ignored";
    EXPECT_TRUE(back.tuning.acceptsGear(3));
    EXPECT_FALSE(back.tuning.acceptsGear(9));
    EXPECT_EQ(TTuningConditions{}.gears(), (1 << 2) | (1 << 3) | (1 << 4));
}

TEST(Settings, RecentFilesListHoldsTenDistinctPaths)
{
    TRecentFiles r;
    for (int i = 0; i < 12; ++i)
        r.add(QStringLiteral("/f%1.bin").arg(i));
    EXPECT_EQ(r.paths().size(), 10);
    EXPECT_EQ(r.paths().first(), QStringLiteral("/f11.bin"));
    r.add(QStringLiteral("/f5.bin"));
    EXPECT_EQ(r.paths().first(), QStringLiteral("/f5.bin"));
    EXPECT_EQ(r.paths().count(QStringLiteral("/f5.bin")), 1);
    EXPECT_EQ(r.paths().size(), 10);

    // Three files: File3 to File9 are written empty; empty keys and repeats
    // in a file are skipped on reading.
    TSettings s;
    s.recentFiles.assign({QStringLiteral("/x.bin"), QStringLiteral("/y.bin"), QStringLiteral("/z.bin")});
    TIniFile ini;
    s.write(ini);
    EXPECT_EQ(ini.readString(QStringLiteral("Most Recently Used"), QStringLiteral("File2"), {}),
              QStringLiteral("/z.bin"));
    for (int i = 3; i < 10; ++i) {
        EXPECT_TRUE(ini.valueExists(QStringLiteral("Most Recently Used"), QStringLiteral("File%1").arg(i)));
        EXPECT_EQ(ini.readString(QStringLiteral("Most Recently Used"), QStringLiteral("File%1").arg(i), {"x"}), "");
    }
    TIniFile hand;
    hand.setText(QStringLiteral("[Most Recently Used]\nFile0=/a.bin\nFile1=\nFile2=/b.bin\nFile3=/a.bin\n"));
    TSettings t;
    t.read(hand);
    EXPECT_EQ(t.recentFiles.paths(), (QStringList{QStringLiteral("/a.bin"), QStringLiteral("/b.bin")}));
}

// ---------------------------------------------------------------- store

class SettingsStore : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString folder() const { return tmp.filePath(QStringLiteral("deep/er/VEXOR")); }
};

TEST_F(SettingsStore, FirstRunCreatesFolderAndStartsWithDefaults)
{
    TSettingsStore store(folder());
    QString error;
    ASSERT_TRUE(store.prepareFolder(&error)) << error.toStdString();
    EXPECT_TRUE(QDir(folder()).exists());
    ASSERT_TRUE(store.load(&error)) << error.toStdString();
    EXPECT_EQ(store.values(), TSettings{});
    EXPECT_FALSE(QFile::exists(store.iniPath())) << "created on the first save, not before";
    EXPECT_EQ(store.injectors().names(), QStringList{TInjectorDefinitions::DefaultInjectorName});
    EXPECT_TRUE(store.widebands().names().isEmpty());

    store.values().options.revDelta = 800;
    ASSERT_TRUE(store.save(&error)) << error.toStdString();
    TSettingsStore again(folder());
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.values().options.revDelta, 800);
}

TEST_F(SettingsStore, SaveKeepsCommentsAndForeignKeys)
{
    QDir().mkpath(folder());
    TSettingsStore store(folder());
    writeBytes(store.iniPath(), "; my notes\n[General Settings]\nShowAFR=1\nSomethingElse=keep me\n"
                                "\n[Other Program]\nX=1\n");
    ASSERT_TRUE(store.load());
    EXPECT_TRUE(store.values().general.showAFR);
    ASSERT_TRUE(store.save());
    const QByteArray after = readBytes(store.iniPath());
    EXPECT_TRUE(after.startsWith("; my notes\n[General Settings]\nShowAFR=1\nSomethingElse=keep me\n"))
        << after.toStdString();
    EXPECT_TRUE(after.contains("\n[Other Program]\nX=1\n"));
    EXPECT_TRUE(after.contains("\nRevDelta=500\n"));
}

// A settings folder that cannot be created: a clear error, defaults, no crash,
// and saves that fail with their own error.
TEST_F(SettingsStore, FolderThatCannotBeCreated)
{
    const QString blocker = tmp.filePath(QStringLiteral("plainfile"));
    writeBytes(blocker, "not a folder");
    TSettingsStore store(blocker + QStringLiteral("/VEXOR"));
    QString error;
    EXPECT_FALSE(store.prepareFolder(&error));
    EXPECT_TRUE(error.contains(blocker)) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("default settings"))) << error.toStdString();
    EXPECT_TRUE(store.load(&error)) << "nothing to read is not a failure";
    EXPECT_EQ(store.values(), TSettings{});
    EXPECT_FALSE(store.save(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("vexor.ini"))) << error.toStdString();
}

TEST_F(SettingsStore, FailedSaveLeavesOldFile)
{
    QDir().mkpath(folder());
    TSettingsStore store(folder());
    const QByteArray original = "[Option Settings]\nRevDelta=700\n";
    writeBytes(store.iniPath(), original);
    ASSERT_TRUE(store.load());
    store.values().options.revDelta = 900;
    QString error;
    {
        TFileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        EXPECT_FALSE(store.save(&error));
    }
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(store.iniPath()), original);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files), QStringList{QStringLiteral("vexor.ini")});
}

TEST_F(SettingsStore, UnreadableFileGivesDefaultsAndIsNotOverwritten)
{
    QDir().mkpath(folder() + QStringLiteral("/vexor.ini")); // a folder where the file should be
    TSettingsStore store(folder());
    QString error;
    EXPECT_FALSE(store.load(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("vexor.ini"))) << error.toStdString();
    EXPECT_EQ(store.values(), TSettings{});
    EXPECT_FALSE(store.save(&error));
}

TEST_F(SettingsStore, ConsumersPullAndPushInOrder)
{
    TSettingsStore store(folder());
    QStringList calls;
    int seenRev = 0;
    store.addConsumer([&](const TSettings& s) {
        calls << QStringLiteral("a");
        seenRev = s.options.revDelta;
    });
    auto* owner = new QObject;
    store.addConsumer([&](const TSettings&) { calls << QStringLiteral("b"); },
                      [&](TSettings& s) { s.general.windowWidth = 1111; }, owner);
    const int id = store.addConsumer([&](const TSettings&) { calls << QStringLiteral("c"); });

    store.values().options.revDelta = 650;
    store.apply();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(seenRev, 650);

    ASSERT_TRUE(store.save());
    EXPECT_EQ(store.values().general.windowWidth, 1111) << "collected before writing";
    TSettingsStore reread(folder());
    ASSERT_TRUE(reread.load());
    EXPECT_EQ(reread.values().general.windowWidth, 1111);

    delete owner; // its consumer goes with it
    store.removeConsumer(id);
    calls.clear();
    store.apply();
    EXPECT_EQ(calls, QStringList{QStringLiteral("a")});
}

TEST(RomSettings, RomTakesGapsAndIgnitionOffset)
{
    TSettings s;
    s.options = {600, 0, 1500, 450, 350};
    s.general.ignitionOffset = -12;
    TRom rom;
    applyToRom(s, rom);
    EXPECT_EQ(rom.RevDelta, 600);
    EXPECT_EQ(rom.LaunchDelta, 0);
    EXPECT_EQ(rom.ShiftDelta, 1500);
    EXPECT_EQ(rom.VTECDelta, 450);
    EXPECT_EQ(rom.IABDelta, 350);
    EXPECT_EQ(rom.IgnitionOffset, -12);
    rom.IgnitionOffset = 5;
    collectFromRom(rom, s);
    EXPECT_EQ(s.general.ignitionOffset, 5);
}
