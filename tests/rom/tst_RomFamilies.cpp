// Identification and address maps, checked once over every family.
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Family {
    const char* gen;
    int baseType;
    const char* name;
    int obd;
    bool wide;
    int nissan;
    int rowsLo, colsLo, rowsHi, colsHi;
    quint16 loadLo, loadHi, rpmLo, rpmHi, fuelLo, fuelHi, ignLo, ignHi, checksumAt;
};

const Family Families[] = {
    {"p28", 0, "Base P28", 1, false, -1, 20, 10, 20, 10, 0x7000, 0x700A, 0x7014, 0x7028, 0x7050, 0x7122, 0x72E4, 0x73AC,
     0x3B},
    {"p30", 1, "Base P30", 1, false, -1, 20, 10, 20, 10, 0x7000, 0x7000, 0x700A, 0x701E, 0x7032, 0x7104, 0x724E, 0x7316,
     0x3B},
    {"p72", 2, "Base P72", 1, false, -1, 20, 10, 15, 10, 0x7C4A, 0x7C54, 0x7C68, 0x7C7C, 0x7C9A, 0x7D6C, 0x7E0C, 0x7ED4,
     0x3B},
    {"p13", 3, "Base P13", 1, true, -1, 20, 10, 20, 10, 0x6050, 0x6050, 0x6000, 0x6028, 0x60AA, 0x6172, 0x63F8, 0x659C,
     0x3B},
    {"pr3", 4, "Base OBD0 PR3", 0, false, -1, 17, 15, 17, 15, 0, 0, 0, 0, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x427F},
    {"jdmpw0", 5, "Base JDM PW0", 0, false, -1, 17, 15, 17, 15, 0, 0, 0, 0, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x36E5},
    {"edmpw0", 6, "Base EDM PW0", 0, false, -1, 17, 15, 17, 15, 0, 0, 0, 0, 0x3DE4, 0x3EF2, 0x3BE6, 0x3CE5, 0x36FB},
    {"pm6", 7, "Base OBD0 PM6/PM7", 0, false, -1, 17, 15, 17, 15, 0, 0, 0, 0, 0x3EF2, 0x3EF2, 0x3DF3, 0x3DF3, 0x43E0},
    {"pr4", 8, "Base OBD0 PR4", 0, false, -1, 17, 15, 17, 15, 0, 0, 0, 0, 0x541A, 0x541A, 0x50FF, 0x50FF, 0x4FFF},
    {"vexorau", 10, "Base VexorAu", 1, false, -1, 20, 24, 20, 24, 0x6E5A, 0x6E5A, 0x6E72, 0x6E86, 0x6E9A, 0x7092,
     0x728A, 0x746A, 0x3B},
    {"sr", 12, "Base NISSAN SR", -1, false, 1, 16, 16, 16, 16, 0x00F0, 0x0490, 0x00E0, 0x0480, 0x0100, 0x0E00, 0x0D00,
     0x0800, 0},
    {"vg", 12, "Base NISSAN VG", -1, false, 2, 16, 16, 16, 16, 0x7AF0, 0x7B10, 0x7B00, 0x7B20, 0x7D00, 0x7000, 0x7800,
     0x7C00, 0},
    {"rb", 12, "Base NISSAN RB", -1, false, 3, 16, 16, 16, 16, 0x7AF0, 0x7B10, 0x7B00, 0x7B20, 0x7D00, 0x7200, 0x7400,
     0x7C00, 0},
};

TRom::LoadResult loadBytes(TRom& rom, const QByteArray& bytes)
{
    rom.reset();
    rom.buffer().loadBytes(bytes);
    return rom.loadFromBuffer();
}

class FamilyTest : public ::testing::TestWithParam<Family> {};

} // namespace

TEST_P(FamilyTest, IdentifiesAndInstallsItsMap)
{
    const Family& f = GetParam();
    TRom rom;
    ASSERT_EQ(loadBytes(rom, generateRom({QString::fromLatin1(f.gen)})), TRom::LoadResult::Ok);
    EXPECT_EQ(rom.BaseType, f.baseType);
    EXPECT_EQ(rom.baseName(), QString::fromLatin1(f.name));
    if (f.obd >= 0) {
        EXPECT_EQ(rom.OBDMode, f.obd);
    }
    EXPECT_EQ(rom.WideRevScalar, f.wide);
    if (f.nissan >= 0) {
        EXPECT_EQ(rom.NissanFamily, f.nissan);
    }
    EXPECT_EQ(rom.rows(0), f.rowsLo);
    EXPECT_EQ(rom.columns(0), f.colsLo);
    EXPECT_EQ(rom.rows(3), f.rowsHi);
    EXPECT_EQ(rom.columns(3), f.colsHi);
    const quint16 expected[] = {f.checksumAt, f.loadLo, f.loadHi, f.rpmLo, f.rpmHi,
                                f.fuelLo,     f.fuelHi, f.ignLo,  f.ignHi};
    for (int i = 0; i <= 8; ++i)
        EXPECT_EQ(rom.address(i), expected[i]) << "entry " << i;
    EXPECT_TRUE(rom.isLoaded());
    EXPECT_FALSE(rom.buffer().modified());
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(rom.tableFits(k)) << k;
    EXPECT_EQ((rom.FeatureFlags & ffIAB) != 0, f.baseType == 2 || f.baseType == 3);
    EXPECT_EQ((rom.FeatureFlags & 0x1010) == 0x1010, f.baseType == 10);
    EXPECT_TRUE(!rom.hasChecksumByte() || rom.checksum() == 0) << "the generator leaves a zero checksum";
}

// Every family: each map reads back what the generator wrote, and a value
// written through the model reads back as written (within its encoding step).
TEST_P(FamilyTest, TableRoundTrip)
{
    const Family& f = GetParam();
    TRom rom;
    ASSERT_EQ(loadBytes(rom, generateRom({QString::fromLatin1(f.gen)})), TRom::LoadResult::Ok);
    for (int k = 0; k < 4; ++k) {
        const double x = TRom::isFuelKind(k) ? 57 : 21.5;
        rom.setTableValue(2, 3, x, k);
        EXPECT_NEAR(rom.tableValue(2, 3, k), x, TRom::isFuelKind(k) ? 1.0 : 0.5) << f.gen << " kind " << k;
        rom.buffer().undo();
    }
    EXPECT_FALSE(rom.buffer().modified());
}

// Truncated files used to open with zeros in place of their tables.
TEST_P(FamilyTest, RefusesAFileThatEndsBeforeItsTables)
{
    const Family& f = GetParam();
    TRom rom;
    const QByteArray img = generateRom({QString::fromLatin1(f.gen)});
    for (const int length : {100, int(f.ignHi), int(f.ignHi) + f.colsHi}) {
        SCOPED_TRACE(length);
        EXPECT_NE(loadBytes(rom, img.left(length)), TRom::LoadResult::Ok);
    }
    EXPECT_EQ(loadBytes(rom, img), TRom::LoadResult::Ok);
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, FamilyTest, ::testing::ValuesIn(Families),
                         [](const auto& p) { return std::string(p.param.gen); });

TEST(RomIdentify, SignatureEdgeCases)
{
    struct Row {
        quint16 sig;
        int byte25;
        quint16 at7CC0;
        int expected;
        const char* why;
    };
    const Row rows[] = {
        {0x9910, 0x32, 0, 8, "PR4 needs exactly 0x32 at 0x25"},
        {0x9910, 0x33, 0, 7, "anything else at 0x25 is PM6/PM7"},
        {0xF803, 0, 0, 1, "second P30 signature"},
        {0xCA03, 0, 0, 10, "second extended-family signature"},
        {0x1234, 0, 0x60F8, 12, "no signature but the SR mark"},
        {0x1234, 0, 0x60F9, 13, "no signature at all"},
    };
    for (const Row& r : rows) {
        QByteArray img(0x8000, '\x11');
        img[0x23] = char(r.sig & 0xFF);
        img[0x24] = char(r.sig >> 8);
        img[0x25] = char(r.byte25);
        img[0x7CC0] = char(r.at7CC0 & 0xFF);
        img[0x7CC1] = char(r.at7CC0 >> 8);
        TRom rom;
        rom.buffer().loadBytes(img);
        EXPECT_EQ(rom.identify(), r.expected) << r.why;
    }
}

TEST(RomIdentify, RefusesBlankShortAndUnknownImages)
{
    QTemporaryDir dir;
    auto file = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    TRom rom;
    EXPECT_EQ(rom.loadFile(file(QStringLiteral("empty.bin"), {})), TRom::LoadResult::Blank);
    EXPECT_EQ(rom.loadFile(file(QStringLiteral("zero.bin"), QByteArray(0x8000, '\0'))), TRom::LoadResult::Blank);
    EXPECT_EQ(rom.loadFile(file(QStringLiteral("short.bin"), QByteArray(0x20, '\x7F'))),
              TRom::LoadResult::UnknownFamily);
    EXPECT_EQ(rom.loadFile(file(QStringLiteral("junk.bin"), QByteArray(0x8000, '\x7F'))),
              TRom::LoadResult::UnknownFamily);
    EXPECT_EQ(rom.loadFile(dir.path()), TRom::LoadResult::ReadError);
    EXPECT_FALSE(rom.isLoaded());
    EXPECT_EQ(rom.BaseType, btUnknown);

    // A large trailer is accepted and kept.
    QByteArray big = generateRom({QStringLiteral("p28")});
    big.append(QByteArray(10 * 1024 * 1024 - big.size(), 'n'));
    EXPECT_EQ(rom.loadFile(file(QStringLiteral("big.bin"), big)), TRom::LoadResult::Ok);
    EXPECT_EQ(rom.buffer().size(), 0xC000);
    EXPECT_EQ(rom.buffer().fileBytes(), big);
}

TEST(RomIdentify, HostileShapesNeverReadOutsideTheImage)
{
    // The extended family keeps its table shape in the image: make it huge.
    QByteArray img = generateRom({QStringLiteral("vexorau")});
    img[0x11FC] = char(0xFF);
    img[0x11FA] = char(0xFF);
    TRom rom;
    rom.buffer().loadBytes(img);
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    EXPECT_EQ(rom.rows(0), 255);
    EXPECT_FALSE(rom.tableFits(0));
    EXPECT_THROW((void)rom.tableValue(254, 254, 0), EVexorError);
    EXPECT_THROW(rom.setTableValue(254, 254, 10, 0), EVexorError);
    EXPECT_NO_THROW((void)rom.correctionCell(0, 254, 254));
    EXPECT_EQ(rom.correctionCell(0, 254, 254), 0);

    // Entries pointing at the last byte of the image.
    rom.setAddress(aeRevLimitLo, 0x7FFF);
    EXPECT_THROW((void)rom.revLimit(), EVexorError);
    rom.setAddress(aeFuelLo, 0);
    EXPECT_EQ(rom.tableValue(0, 0, 0), 0) << "an absent map reads 0";
}

TEST(RomModel, FeatureFlagsKeepOneBoostSensor)
{
    TRom rom;
    rom.setFeatureFlags(ffBoost1 | ffBoost2 | ffBoost3 | ffITB);
    EXPECT_EQ(rom.FeatureFlags, ffBoost3 | ffITB);
    rom.setFeatureFlags(ffBoost1 | ffBoost2);
    EXPECT_EQ(rom.FeatureFlags, ffBoost2);
    rom.setFeatureFlags(ffBoost1);
    EXPECT_EQ(rom.FeatureFlags, ffBoost1);
}

TEST(RomModel, FuelCorrectionListAndFinalMultiplier)
{
    TRom rom;
    rom.buffer().loadBytes(generateRom({QStringLiteral("vexorau")}));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(rom.addFuelCorrection({QStringLiteral("c%1").arg(i), 0, 0}), std::min(i + 1, 10));
    EXPECT_THROW((void)rom.fuelCorrection(10), EVexorError);
    rom.setFeatureFlag(ffFinalMultiplier, true);
    ASSERT_EQ(rom.fuelCorrectionCount(), 4);
    EXPECT_EQ(rom.fuelCorrection(0).caption, QStringLiteral("Main Fuel"));
    EXPECT_EQ(rom.fuelCorrection(3).scalarAddress, rom.address(aeTipInFuel));
    EXPECT_DOUBLE_EQ(rom.finalMultiplier(), 1.0);
    rom.setFeatureFlag(ffFinalMultiplier, false);
    EXPECT_EQ(rom.fuelCorrectionCount(), 4) << "switching off only clears the flag";
    // Without the flag the first correction's scalar word is the multiplier.
    rom.buffer().writeWord(rom.address(aeMainFuel), 0x6000);
    EXPECT_DOUBLE_EQ(rom.finalMultiplier(), 0.75);
    // Every load empties the list.
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    EXPECT_EQ(rom.fuelCorrectionCount(), 0);
}

TEST(RomModel, HooksReplaceAccessorsAndAreClearedOnLoad)
{
    TRom rom;
    rom.buffer().loadBytes(generateRom({QStringLiteral("p28")}));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    QList<QList<double>> calls;
    rom.setHook(TRom::OnGetTableValue, [&](double a, double b, double c, double d) {
        calls.append({a, b, c, d});
        return 42.5;
    });
    rom.setHook(TRom::OnSetRevScalar, [&](double a, double b, double c, double d) {
        calls.append({a, b, c, d});
        return 0.0;
    });
    rom.setHook(TRom::OnGetMapScalar, [](double cam, double i, double, double) { return cam * 1000 + i; });
    EXPECT_EQ(rom.tableValue(3, 4, 2), 42.5);
    rom.setRpm(true, 5, 3000);
    EXPECT_EQ(rom.load(true, 7), 1007);
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0], (QList<double>{2, 3, 4, 0}));
    EXPECT_EQ(calls[1], (QList<double>{1, 5, 3000, 0}));
    EXPECT_FALSE(rom.buffer().modified()) << "a set hook replaces the write";
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    EXPECT_FALSE(rom.hasHook(TRom::OnGetTableValue));
    EXPECT_NE(rom.tableValue(3, 4, 2), 42.5);
}

// The family table as the rest of the program sees it; a changed row changes
// how a whole family is read and written.
TEST(FamilyTraits, OneRowPerBaseType)
{
    using R = TRevLimitEncoding;
    using S = TShapeSource;
    struct Row {
        int code;
        bool known, extended, nissan, tuningViews;
        R revLimit;
        S shape;
        const char* why;
    };
    const Row rows[] = {
        {btP28, true, false, false, true, R::PeriodWord, S::AddressMap, "plain OBD1"},
        {btP13, true, false, false, true, R::PeriodWord, S::AddressMap, "wide rev scale, still a map shape"},
        {btEDMPW0, true, false, false, true, R::Obd0PeriodByte, S::AddressMap, "OBD0 period bytes"},
        {btPR4, true, false, false, true, R::SplitPeriod, S::AddressMap, "split period rev limit"},
        {btReserved9, true, false, false, false, R::PeriodWord, S::None, "reserved: no map, no tables"},
        {btVexorAu, true, true, false, true, R::PeriodWord, S::InImageCounts, "table sizes in the image"},
        {btVexorAuNoMap, true, true, false, true, R::PeriodWord, S::InImageCounts, "extended without a map"},
        {btNissan, true, false, true, false, R::PeriodWord, S::FixedNissan, "no lambda, target or difference views"},
        {btUnknown, false, false, false, false, R::PeriodWord, S::None, "refused"},
        {200, false, false, false, false, R::PeriodWord, S::None, "out of range reads as unknown"},
    };
    for (const Row& r : rows) {
        const TFamilyTraits& t = familyTraits(r.code);
        EXPECT_EQ(t.known, r.known) << r.why;
        EXPECT_EQ(t.extended, r.extended) << r.why;
        EXPECT_EQ(t.optionTree, r.extended) << r.why;
        EXPECT_EQ(t.nissanEncodings, r.nissan) << r.why;
        EXPECT_EQ(t.tuningViews, r.tuningViews) << r.why;
        EXPECT_EQ(t.revLimit, r.revLimit) << r.why;
        EXPECT_EQ(t.shape, r.shape) << r.why;
    }
    EXPECT_TRUE(familyTraits(btVexorAu).fixedCodeLayout);
    EXPECT_FALSE(familyTraits(btVexorAuNoMap).fixedCodeLayout) << "no built-in map, no known code offsets";
    EXPECT_TRUE(familyTraits(btP72).extraVtecBytes);
    EXPECT_TRUE(familyTraits(btPM6).fixedRpmScale);
}
