// Program-code patches of the extended family: the code upgrade data file,
// the upgrade chain on load, the code switches and the entry-162 feature.
#include "CalibTestUtil.h"

#include "rom/mdlCodePatches.h"
#include "support/TestServices.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <map>

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// Stand-in program code for the long patches: random bytes of the right
// lengths, the first ending in the instruction the entry-162 feature uses.
TCodeUpgradeData generatedData(quint32 seed)
{
    QRandomGenerator g(seed);
    auto random = [&g](int n) {
        QByteArray b(n, '\0');
        for (char& c : b)
            c = char(g.bounded(256));
        return b;
    };
    TCodeUpgradeData d;
    d.at11D1 = random(28) + hex("C5203D");
    d.at199D = random(19);
    d.at0209 = random(212);
    d.at2556 = random(294);
    return d;
}

// The documented steps replayed on a copy of the image, written out again here.
void replayStep(QByteArray& img, int minor, const TCodeUpgradeData& d)
{
    auto put = [&img](int at, const QByteArray& bytes) { img.replace(at, bytes.size(), bytes); };
    auto b = [&put](int at, int v) { put(at, QByteArray(1, char(v))); };
    b(58, minor);
    if (minor == 92) {
        const int bytes[][2] = {{0x1168, 105}, {0x1197, 60}, {0x11A6, 45}, {0x11AC, 39},
                                {0x11B2, 33},  {0x11B8, 27}, {0x11C3, 16}, {0x11C6, 13}};
        for (const auto& p : bytes)
            b(p[0], p[1]);
        put(0x11D1, d.at11D1);
    } else if (minor == 93) {
        put(0x0362, QByteArray(25, char(0x2B)));
    } else if (minor == 94) {
        b(0x2601, 185);
        b(0x260A, 185);
    } else if (minor == 95) {
        b(0x021F, 42);
        put(0x02C8, hex("48014A01"));
        put(0x199D, d.at199D);
    } else if (minor == 96) {
        put(0x000C, hex("3C02")); // 572, little-endian
        put(0x0209, d.at0209);
        b(0x0EC6, 73);
        b(0x2551, 12);
        b(0x2553, 156);
        put(0x2556, d.at2556);
        const int bytes[][2] = {{0x3751, 175}, {0x375A, 167}, {0x37DB, 175}, {0x380A, 167}, {0x389A, 0}, {0x4B20, 175}};
        for (const auto& p : bytes)
            b(p[0], p[1]);
        put(0x389C, hex("000000"));
        put(0x38B5, hex("03D838") + QByteArray(32, char(0xFF)));
        put(0x21C8, hex("0000C5EB9845CB0500"));
        b(0x0024, 0xCA);
    }
}

class PatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        data = generatedData(42);
        dataPath = dir.filePath(QStringLiteral("vexorau-code.ini"));
        writeBytes(dataPath, formatCodeUpgradeData(data).toLatin1());
    }
    // A generated image of the extended family at the given revision, saved.
    void loadAt(TRom& rom, char letter, int major, int minor)
    {
        loadGenerated(rom, QStringLiteral("vexorau"), 20, 10, 11);
        rom.buffer().writeByte(56, quint8(letter));
        rom.buffer().writeByte(57, quint8(major));
        rom.buffer().writeByte(58, quint8(minor));
        rom.buffer().markSaved();
    }
    QTemporaryDir dir;
    TCodeUpgradeData data;
    QString dataPath;
};

} // namespace

TEST_F(PatchTest, DataFileRoundTripsAndRejectsDamage)
{
    QString error;
    const auto loaded = loadCodeUpgradeData(dataPath, &error);
    ASSERT_TRUE(loaded.has_value()) << error.toStdString();
    EXPECT_EQ(loaded->at11D1, data.at11D1);
    EXPECT_EQ(loaded->at199D, data.at199D);
    EXPECT_EQ(loaded->at0209, data.at0209);
    EXPECT_EQ(loaded->at2556, data.at2556);

    const QString good = formatCodeUpgradeData(data);
    const QString firstKey = QStringLiteral("11D1=") + QString::fromLatin1(data.at11D1.toHex(' ').toUpper());
    ASSERT_TRUE(good.contains(firstKey));
    TCodeUpgradeData noS3D = data;
    noS3D.at11D1[30] = char(0x3C);
    const struct {
        const char* why;
        QString text;
        const char* mentions;
    } cases[] = {
        {"key missing", QString(good).replace(QStringLiteral("2556="), QStringLiteral("2557=")), "2556"},
        {"wrong section", QString(good).replace(QStringLiteral("[C0.96]"), QStringLiteral("[C0.95]")), "11D1"},
        {"too short", QString(good).replace(firstKey, firstKey.left(firstKey.size() - 3)), "30 bytes"},
        {"odd digits", QString(good).replace(firstKey, firstKey + QStringLiteral("0")), "hexadecimal"},
        {"not hexadecimal", QString(good).replace(firstKey, firstKey.left(firstKey.size() - 2) + QStringLiteral("ZZ")),
         "hexadecimal"},
        {"first patch must end with C5 20 3D", formatCodeUpgradeData(noS3D), "C5 20 3D"},
        {"empty file", QString(), "11D1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const QString path = dir.filePath(QStringLiteral("bad.ini"));
        writeBytes(path, c.text.toLatin1());
        QString why;
        EXPECT_FALSE(loadCodeUpgradeData(path, &why).has_value());
        EXPECT_TRUE(why.contains(QString::fromLatin1(c.mentions))) << why.toStdString();
    }
    QString why;
    EXPECT_FALSE(loadCodeUpgradeData(dir.filePath(QStringLiteral("none.ini")), &why).has_value());
    EXPECT_TRUE(why.contains(QStringLiteral("missing")));
}

TEST_F(PatchTest, UpgradeChainWritesExactlyTheDueSteps)
{
    const struct {
        char letter;
        int major, minor;
        QList<int> steps;
    } cases[] = {
        {'C', 0, 90, {92, 93, 94, 95, 96}},
        {'C', 0, 92, {93, 94, 95, 96}},
        {'C', 0, 95, {96}},
        {'X', 0, 96, {96}}, // another version letter: the last step again
        {'C', 0, 97, {}},
        {'C', 1, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1%2.%3").arg(QChar(c.letter)).arg(c.major).arg(c.minor).toStdString());
        TRom rom;
        loadAt(rom, c.letter, c.major, c.minor);
        QByteArray expected = imageBytes(rom);
        QStringList names;
        for (int minor : c.steps) {
            replayStep(expected, minor, data);
            names << QStringLiteral("0.%1").arg(minor);
        }
        EXPECT_EQ(pendingCodeUpgradeSteps(rom), names);

        TTestServices t;
        const TCodeUpgradeResult r = runCodeUpgradeOnLoad(rom, &t.messages, dataPath);
        EXPECT_EQ(r.status, c.steps.isEmpty() ? TCodeUpgradeStatus::NotNeeded : TCodeUpgradeStatus::Upgraded);
        EXPECT_EQ(r.steps, names);
        EXPECT_EQ(imageBytes(rom), expected);
        EXPECT_EQ(t.messages.count(), 0);
        EXPECT_FALSE(rom.buffer().modified()) << "an upgraded image opens clean";
        EXPECT_FALSE(rom.buffer().canUndo()) << "nothing can be undone after an upgrade";
        if (!c.steps.isEmpty()) {
            EXPECT_EQ(rom.identify(), btVexorAu) << "the new signature 0xCA03 is still the family's";
            EXPECT_EQ(rom.wordAt(0x23), 0xCA03);
            EXPECT_EQ(rom.byteAt(58), 96);
        }
    }
}

TEST_F(PatchTest, CurrentRevisionIsLeftAlone)
{
    TRom rom;
    loadAt(rom, 'C', 0, 96);
    const QByteArray before = imageBytes(rom);
    TTestServices t;
    const TCodeUpgradeResult r = runCodeUpgradeOnLoad(rom, &t.messages, dir.filePath(QStringLiteral("absent.ini")));
    EXPECT_EQ(r.status, TCodeUpgradeStatus::NotNeeded);
    EXPECT_EQ(imageBytes(rom), before);
    EXPECT_EQ(t.messages.count(), 0) << "no data file needed, nothing to tell";

    TRom p28;
    loadGenerated(p28, QStringLiteral("p28"));
    EXPECT_TRUE(pendingCodeUpgradeSteps(p28).isEmpty());
    EXPECT_EQ(runCodeUpgradeOnLoad(p28, &t.messages, dataPath).status, TCodeUpgradeStatus::NotNeeded);
}

TEST_F(PatchTest, WithoutCompleteDataNothingIsWrittenAndTheUserIsToldOnce)
{
    TCodeUpgradeData shortData = data;
    shortData.at2556.chop(1);
    const QString incomplete = dir.filePath(QStringLiteral("incomplete.ini"));
    writeBytes(incomplete, formatCodeUpgradeData(shortData).toLatin1());
    for (const QString& path : {dir.filePath(QStringLiteral("absent.ini")), incomplete}) {
        SCOPED_TRACE(path.toStdString());
        TRom rom;
        loadAt(rom, 'C', 0, 92);
        const QByteArray before = imageBytes(rom);
        TTestServices t;
        t.messages.answer(mrOk);
        const TCodeUpgradeResult r = runCodeUpgradeOnLoad(rom, &t.messages, path);
        EXPECT_EQ(r.status, TCodeUpgradeStatus::Refused);
        EXPECT_EQ(imageBytes(rom), before) << "not even the version byte";
        EXPECT_FALSE(rom.buffer().modified());
        ASSERT_EQ(t.messages.count(), 1);
        EXPECT_EQ(t.messages.last().title, QStringLiteral("Code Upgrade"));
        EXPECT_EQ(t.messages.last().kind, TMsgKind::Warning);
        EXPECT_TRUE(t.messages.last().text.contains(QStringLiteral("C0.92")));
        EXPECT_TRUE(t.messages.last().text.contains(path)) << t.messages.last().text.toStdString();
    }
    TRom rom;
    loadAt(rom, 'C', 0, 94);
    const QByteArray before = imageBytes(rom);
    EXPECT_EQ(upgradeVexorAuCode(rom, nullptr).status, TCodeUpgradeStatus::Refused);
    EXPECT_EQ(imageBytes(rom), before);
}

TEST(CodeSwitches, PatternsFollowTheNewWordAlone)
{
    const QByteArray Z = hex("000000");
    const std::map<int, std::pair<quint16, QByteArray>> sites = {
        {0x432F, {0x0002, hex("C52038")}}, {0x5FC3, {0x0004, hex("C52039")}}, {0x443B, {0x0008, hex("C5201A")}},
        {0x4462, {0x0008, hex("C5200A")}}, {0x43A0, {0x0010, hex("C5201B")}}, {0x43D1, {0x0010, hex("C5203B")}},
        {0x43E7, {0x0010, hex("C5203B")}}, {0x6C19, {0x0100, hex("C5223C")}}};
    auto expectState = [&](const TRom& rom, quint16 word) {
        for (const auto& [at, site] : sites)
            EXPECT_EQ(rom.buffer().readString(at, 3), (word & site.first) ? Z : site.second)
                << std::hex << at << " word " << word;
    };
    for (const quint16 word : {quint16(0), quint16(0x0002), quint16(0x0004), quint16(0x0008), quint16(0x0010),
                               quint16(0x0100), quint16(0x01FF), quint16(0x0060)}) {
        SCOPED_TRACE(word);
        TRom rom;
        loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
        const QByteArray original = imageBytes(rom);
        setCodeSwitches(rom, word);
        EXPECT_EQ(rom.CodeSwitches, word);
        expectState(rom, word);
        // The same word again changes nothing: a chosen feature stays on.
        const int recorded = rom.buffer().undoStack().position();
        setCodeSwitches(rom, word);
        expectState(rom, word);
        EXPECT_EQ(rom.buffer().undoStack().position(), recorded);
        // One undo step reverts the call.
        rom.buffer().undo();
        EXPECT_EQ(imageBytes(rom), original);
        EXPECT_FALSE(rom.buffer().canUndo());
    }
    // Switching a feature off restores its original instructions.
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    setCodeSwitches(rom, 0x011E);
    setCodeSwitches(rom, 0x0004);
    expectState(rom, 0x0004);

    // Other families keep the word and their image.
    TRom p28;
    loadGenerated(p28, QStringLiteral("p28"));
    const QByteArray before = imageBytes(p28);
    setCodeSwitches(p28, 0x011E);
    EXPECT_EQ(p28.CodeSwitches, 0x011E);
    EXPECT_EQ(imageBytes(p28), before);
}

TEST(CodeSwitches, Entry162Feature)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    const int at = rom.address(aeFeatureSwitch);
    ASSERT_EQ(at, 0x11ED);
    rom.CodeSwitches = 0x0001;
    setEntry162Feature(rom, true);
    EXPECT_TRUE(entry162Feature(rom));
    EXPECT_EQ(rom.buffer().readString(at, 3), hex("C5203D"));
    EXPECT_EQ(rom.CodeSwitches, 0x0081);
    const int recorded = rom.buffer().undoStack().position();
    setEntry162Feature(rom, true);
    EXPECT_EQ(rom.buffer().undoStack().position(), recorded) << "already on: nothing written";
    setEntry162Feature(rom, false);
    EXPECT_FALSE(entry162Feature(rom));
    EXPECT_EQ(rom.buffer().readString(at, 3), hex("000000"));
    EXPECT_EQ(rom.CodeSwitches, 0x0001);

    TRom p28;
    loadGenerated(p28, QStringLiteral("p28"));
    const QByteArray before = imageBytes(p28);
    setEntry162Feature(p28, true);
    EXPECT_FALSE(entry162Feature(p28));
    EXPECT_EQ(imageBytes(p28), before);
}
