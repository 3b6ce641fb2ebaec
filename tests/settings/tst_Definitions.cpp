#include "settings/mdlIniFile.h"
#include "settings/mdlInjectors.h"
#include "settings/mdlSettingsStore.h"
#include "settings/mdlWideband.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {
// (voltage byte, value) pairs of a dead-time block, in block order.
std::vector<std::pair<int, int>> records(const QByteArray& block)
{
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i + 2 < block.size(); i += 3)
        out.emplace_back(static_cast<quint8>(block[i]),
                         static_cast<quint8>(block[i + 1]) | (static_cast<quint8>(block[i + 2]) << 8));
    return out;
}
using R = std::vector<std::pair<int, int>>;
} // namespace

TEST(Injectors, DeadTimeBlockFromOffsetText)
{
    const QByteArray def = TInjectorDefinitions::defaultDeadTimeBlock();
    EXPECT_EQ(records(def),
              (R{{0xFF, 100}, {0xA7, 103}, {0x93, 148}, {0x7E, 195}, {0x69, 340}, {0x54, 640}, {0, 640}}));

    struct Row {
        const char* offset;
        std::optional<R> expected; // nullopt: no block
        const char* why;
    };
    const std::optional<R> none;
    const Row rows[] = {
        {"100,200,300,400,500,600,700",
         R{{0xFF, 162}, {0xA7, 139}, {0x93, 116}, {0x7E, 92}, {0x69, 69}, {0x54, 46}, {0, 23}},
         "last entry first, x 0.2312 rounded"},
        {" 100 , 200,300,400,500,600, 700 ",
         R{{0xFF, 162}, {0xA7, 139}, {0x93, 116}, {0x7E, 92}, {0x69, 69}, {0x54, 46}, {0, 23}},
         "blanks around entries"},
        {"0,0,0,0,0,0,1000", R{{0xFF, 231}, {0xA7, 0}, {0x93, 0}, {0x7E, 0}, {0x69, 0}, {0x54, 0}, {0, 0}},
         "231.2 rounds down"},
        {"0,0,0,0,0,0,2500", R{{0xFF, 578}, {0xA7, 0}, {0x93, 0}, {0x7E, 0}, {0x69, 0}, {0x54, 0}, {0, 0}},
         "578.0 exactly"},
        {"625,1875,0,0,0,0,0", R{{0xFF, 0}, {0xA7, 0}, {0x93, 0}, {0x7E, 0}, {0x69, 0}, {0x54, 434}, {0, 144}},
         "144.5 and 433.5: halves to even"},
        {"1,2,3", none, "three entries: no block"},
        {"1,2,3,4,5,6", none, "six entries: no block"},
        {"1,2,3,4,5,6,7,8", none, "eight entries: no block"},
        {"", none, "empty: no block"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        const auto block = TInjectorDefinitions::deadTimeBlockFromText(QString::fromLatin1(r.offset));
        ASSERT_EQ(block.has_value(), r.expected.has_value());
        if (block) {
            EXPECT_EQ(block->size(), TInjectorDefinitions::DeadTimeBlockSize);
            EXPECT_EQ(records(*block), *r.expected);
        }
    }
    // Malformed entries give the default block instead of a wrong one.
    for (const char* bad : {"100,200,x,400,500,600,700", "1,2,3,4,5,6,7.5", "1,2,3,4,5,6,", "-10,2,3,4,5,6,7",
                            "1,2,3,4,5,6,300000", "1,2,3,4,5,6,99999999999"}) {
        SCOPED_TRACE(bad);
        const auto block = TInjectorDefinitions::deadTimeBlockFromText(QString::fromLatin1(bad));
        ASSERT_TRUE(block.has_value());
        EXPECT_EQ(*block, def);
    }
}

TEST(Injectors, ListSizesAndBlocksFromFile)
{
    TInjectorDefinitions inj;
    inj.loadText(QStringLiteral("[A]\nSize=310\nOffset=100,200,300,400,500,600,700\nValues=ignored\n"
                                "[B]\nSize=lots\nOffset=1,2,3,4,5,6\n[C]\nSize=-5\nOffset=1,2,3,x,5,6,7\n"));
    EXPECT_EQ(inj.names(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}))
        << "file order, without the default entry";
    EXPECT_EQ(inj.size(QStringLiteral("a")), 310);
    EXPECT_EQ(inj.size(QStringLiteral("B")), 240) << "unparsable size";
    EXPECT_EQ(inj.size(QStringLiteral("C")), 240) << "a negative flow is no size";
    EXPECT_EQ(inj.size(QStringLiteral("Missing")), 240);
    EXPECT_TRUE(inj.deadTimeBlock(QStringLiteral("A")).has_value());
    EXPECT_FALSE(inj.deadTimeBlock(QStringLiteral("B")).has_value()) << "six entries";
    EXPECT_EQ(inj.deadTimeBlock(QStringLiteral("C")), TInjectorDefinitions::defaultDeadTimeBlock());
    EXPECT_FALSE(inj.deadTimeBlock(QStringLiteral("Missing")).has_value());

    TInjectorDefinitions empty;
    empty.loadText(QStringLiteral("; no sections\n"));
    EXPECT_EQ(empty.names(), QStringList{TInjectorDefinitions::DefaultInjectorName});

    QTemporaryDir dir;
    TInjectorDefinitions missing;
    EXPECT_TRUE(missing.load(dir.filePath(QStringLiteral("injectors.ini"))));
    EXPECT_FALSE(missing.fileExists());
    EXPECT_EQ(missing.names(), QStringList{QStringLiteral("Honda Civic (92-00 EX/Si) 240cc (23lb) 12Ohm")});
    EXPECT_EQ(missing.size(missing.names().first()), 240);
    EXPECT_FALSE(missing.deadTimeBlock(missing.names().first()).has_value());
}

TEST(Wideband, ConversionsInFileOrderWithSixteenPoints)
{
    TWidebandDefinitions wb;
    wb.loadText(QStringLiteral("[Zeitronix]\nvolt0=0\nlambda0=0.68\nVOLT15=5\nLambda15=1.36\nvolt3=bad\n"
                               "[AEM]\nvolt1=0.5\n"));
    EXPECT_EQ(wb.names(), (QStringList{QStringLiteral("Zeitronix"), QStringLiteral("AEM")}));
    EXPECT_EQ(wb.count(), 2);
    const TLambdaPoints p = wb.points(0);
    EXPECT_DOUBLE_EQ(p[0].lambda, 0.68);
    EXPECT_DOUBLE_EQ(p[15].voltage, 5.0);
    EXPECT_DOUBLE_EQ(p[15].lambda, 1.36);
    EXPECT_DOUBLE_EQ(p[3].voltage, 0.0) << "unparsable: 0";
    EXPECT_DOUBLE_EQ(wb.points(QStringLiteral("aem"))[1].voltage, 0.5);
    EXPECT_EQ(wb.points(7), TLambdaPoints{}) << "outside the list";

    QTemporaryDir dir;
    TWidebandDefinitions missing;
    EXPECT_TRUE(missing.load(dir.filePath(QStringLiteral("wideband.ini"))));
    EXPECT_TRUE(missing.names().isEmpty());
}

// A fresh settings folder: the shipped conversions stand in for the missing
// wideband.ini, and never-configured points take the chosen conversion's, so
// lambda does not read 0. A wideband.ini of the user's own wins.
TEST(Wideband, ShippedConversionsForAFreshSettingsFolder)
{
    QTemporaryDir home, program;
    const QString shipped = program.filePath(QStringLiteral("wideband.ini"));
    QFile f(shipped);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Linear A]\nvolt0=0\nlambda0=0.5\nvolt11=5\nlambda11=1.5\n[Linear B]\nvolt0=0\nlambda0=0.7\n");
    f.close();
    TSettingsStore store(home.path());
    store.setShippedWidebandPath(shipped);
    ASSERT_TRUE(store.load());
    EXPECT_EQ(store.widebands().count(), 2);
    EXPECT_DOUBLE_EQ(store.values().lambdaConversion[11].lambda, 1.5) << "the first conversion's points";

    QFile own(store.widebandPath());
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("[Mine]\nvolt0=0\nlambda0=0.9\n");
    own.close();
    ASSERT_TRUE(store.load());
    EXPECT_EQ(store.widebands().names(), QStringList{QStringLiteral("Mine")});

    // A MaxFuelAdj of 100 % would divide fuel by zero: refused like other broken values.
    TIniFile ini;
    ini.setText(QStringLiteral("[Tuning Conditions]\nMaxFuelAdj=100\n"));
    TSettings s;
    s.read(ini);
    EXPECT_DOUBLE_EQ(s.tuning.maxFuelAdj, 15.0);
}
