// ".ctv" table values: the byte layout, round trips between images of one
// shape, and the refusals that keep a mismatching file from landing across
// the tables.
#include "CalibTestUtil.h"

#include "rom/mdlCalibration.h"
#include "settings/mdlErrors.h"

#include <QTemporaryDir>
#include <set>
#include <vector>

namespace {

// The file layout: the entry each block copies and its length (one byte past its item).
struct Block {
    int entry, length;
};

std::vector<Block> layout(const TRom& rom)
{
    const int cl = rom.columns(0), rl = rom.rows(0), ch = rom.columns(1), rh = rom.rows(1);
    return {{1, cl + 1},
            {2, ch + 1},
            {3, rl + 1},
            {4, rh + 1},
            {5, cl * (rl + 1) + 1},
            {6, ch * (rh + 1) + 1},
            {7, rl * cl + 1},
            {8, ch * rh + 1},
            {58, rl * cl + 1},
            {59, ch * rh + 1}};
}

struct Shape {
    const char* family;
    int rows, cols;
};

class CtvTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(CtvTest, ExportFollowsTheLayout)
{
    for (const Shape& s :
         {Shape{"p28", 20, 10}, Shape{"p72", 20, 10}, Shape{"pr3", 20, 10}, Shape{"vexorau", 17, 15}}) {
        SCOPED_TRACE(s.family);
        TRom rom;
        loadGenerated(rom, QString::fromLatin1(s.family), s.rows, s.cols);
        const QString file = path(QStringLiteral("%1.ctv").arg(QString::fromLatin1(s.family)));
        exportCtv(rom, file);
        const QByteArray bytes = readBytes(file);
        ASSERT_GE(bytes.size(), 4);
        EXPECT_EQ(quint8(bytes[0]), rom.columns(0));
        EXPECT_EQ(quint8(bytes[1]), rom.rows(0));
        EXPECT_EQ(quint8(bytes[2]), rom.columns(1));
        EXPECT_EQ(quint8(bytes[3]), rom.rows(1));
        int p = 4;
        for (const Block& b : layout(rom)) {
            const int start = rom.address(b.entry); // 0 for an absent item: copied from offset 0
            for (int i = 0; i < b.length; ++i) {
                const int at = start + i;
                // Correction cells past the image end are written as 0x96.
                const int expected = at < rom.buffer().size() ? rom.byteAt(at) : 0x96;
                ASSERT_EQ(quint8(bytes[p + i]), expected) << "entry " << b.entry << " byte " << i;
            }
            p += b.length;
        }
        EXPECT_EQ(p, bytes.size());
    }
}

TEST_F(CtvTest, RoundTripsBetweenImagesOfOneShape)
{
    const Shape shapes[] = {{"p28", 20, 10}, {"p30", 20, 10}, {"p72", 20, 10},    {"pr3", 20, 10},
                            {"pm6", 20, 10}, {"pr4", 20, 10}, {"vexorau", 20, 10}};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.family);
        TRom from, to;
        loadGenerated(from, QString::fromLatin1(s.family), s.rows, s.cols, 1);
        loadGenerated(to, QString::fromLatin1(s.family), s.rows, s.cols, 2);
        const QByteArray before = imageBytes(to);
        const QString file = path(QStringLiteral("rt.ctv"));
        exportCtv(from, file);
        importCtv(to, file);

        // Every item byte now matches the source; nothing else moved: not the
        // byte past each item, not image offset 0 for absent items.
        std::set<int> items;
        for (const Block& b : layout(from))
            if (const int start = from.address(b.entry))
                for (int i = 0; i < b.length - 1 && start + i < from.buffer().size(); ++i)
                    items.insert(start + i);
        const QByteArray after = imageBytes(to), source = imageBytes(from);
        for (int at = 0; at < after.size(); ++at) {
            if (items.count(at)) {
                ASSERT_EQ(after[at], source[at]) << "item byte " << at;
            } else {
                ASSERT_EQ(after[at], before[at]) << "outside the items " << at;
            }
        }

        // Exported again, the file matches except for the bytes past each item.
        const QString again = path(QStringLiteral("again.ctv"));
        exportCtv(to, again);
        const QByteArray a = readBytes(file), b = readBytes(again);
        ASSERT_EQ(a.size(), b.size());
        int p = 4;
        std::set<int> extras;
        for (const Block& blk : layout(from)) {
            if (from.address(blk.entry) == 0)
                for (int i = 0; i < blk.length; ++i)
                    extras.insert(p + i); // copied from offset 0 of each image
            extras.insert(p + blk.length - 1);
            p += blk.length;
        }
        for (int i = 0; i < a.size(); ++i)
            if (!extras.count(i)) {
                ASSERT_EQ(a[i], b[i]) << "file byte " << i;
            }

        to.buffer().undo();
        EXPECT_EQ(imageBytes(to), before) << "one undo reverts the import";
        EXPECT_FALSE(to.buffer().canUndo());
    }
}

TEST_F(CtvTest, RefusesFilesThatDoNotFit)
{
    TRom p28;
    loadGenerated(p28, QStringLiteral("p28"));
    const QByteArray good = ctvBytes(p28);
    auto own = [](const char* family, int rows, int cols) {
        TRom rom;
        loadGenerated(rom, QString::fromLatin1(family), rows, cols, 3);
        return ctvBytes(rom);
    };
    QByteArray otherHeader = good;
    otherHeader[0] = char(15); // claims 15 low-cam columns

    const struct {
        const char* why;
        const char* target;
        int rows, cols;
        QByteArray bytes;
        const char* message; // a fragment of the error
    } cases[] = {
        {"empty file", "p28", 20, 10, QByteArray(), "empty"},
        {"three bytes", "p28", 20, 10, good.left(3), "only 3 bytes"},
        {"header only", "p28", 20, 10, good.left(4), "incomplete"},
        {"one byte short", "p28", 20, 10, good.left(good.size() - 1), "incomplete"},
        {"one byte long", "p28", 20, 10, good + char(0), "longer"},
        {"other header", "p28", 20, 10, otherHeader, "Table sizes do not match"},
        {"another family's shape", "p72", 20, 10, good, "Table sizes do not match"},
        {"default shape into a different in-image shape", "vexorau", 17, 15, good, "Table sizes do not match"},
        {"own file of a non-default shape", "vexorau", 17, 15, own("vexorau", 17, 15), "Table sizes do not match"},
        {"16-bit rev scale", "p13", 20, 10, own("p13", 20, 10), "Table sizes do not match"},
        {"no shape entries", "sr", 20, 10, own("sr", 20, 10), "Table sizes do not match"},
        {"OBD0 shape into OBD1", "p28", 20, 10, own("pr3", 20, 10), "Table sizes do not match"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        TRom rom;
        loadGenerated(rom, QString::fromLatin1(c.target), c.rows, c.cols, 5);
        const QByteArray original = imageBytes(rom);
        const QString file = path(QStringLiteral("bad.ctv"));
        writeBytes(file, c.bytes);
        try {
            importCtv(rom, file);
            ADD_FAILURE() << "accepted";
        } catch (const EVexorError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromLatin1(c.message))) << e.message().toStdString();
        }
        EXPECT_EQ(imageBytes(rom), original);
        EXPECT_FALSE(rom.buffer().modified());
    }

    const QString missing = path(QStringLiteral("missing.ctv"));
    try {
        importCtv(p28, missing);
        ADD_FAILURE() << "accepted a missing file";
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'%1' does not exist.").arg(missing));
    }
}

TEST_F(CtvTest, DefaultShapeOfTheExtendedFamilyImports)
{
    TRom from, to;
    loadGenerated(from, QStringLiteral("p28"), 20, 10, 1);
    loadGenerated(to, QStringLiteral("vexorau"), 20, 10, 2);
    importCtvBytes(to, ctvBytes(from), QStringLiteral("x"));
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 10; ++c)
            ASSERT_EQ(to.cellByte(c, r, tkLowIgn), from.cellByte(c, r, tkLowIgn));
}

TEST_F(CtvTest, KindFollowsTheExtension)
{
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b.ctv")), ckTableValues);
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b.CtV")), ckTableValues);
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b.ct2")), ckCalibration);
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b.skl")), ckCalibration);
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b.kal")), ckCalibration);
    EXPECT_EQ(calibrationKindForFile(QStringLiteral("/a/b")), ckCalibration);

    // Any other kind does nothing.
    TRom rom;
    loadGenerated(rom, QStringLiteral("p28"));
    const QString file = path(QStringLiteral("nothing.ct2"));
    exportCalibration(rom, file, 2);
    EXPECT_FALSE(QFile::exists(file));
}
