// ".ct2" calibration files: export, resampling import across families and
// table sizes, one undo step per import, and refusals of damaged files.
#include "CalibTestUtil.h"

#include "rom/clsTableTranslator.h"
#include "rom/mdlCalibration.h"
#include "settings/mdlErrors.h"

#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// A deliberately plain reading of the file, independent of the INI class and
// of the list parser under test: section -> key -> comma-split items.
using Sections = QMap<QString, QMap<QString, QStringList>>;

Sections parsePlain(const QString& text)
{
    Sections out;
    QString section;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            section = line.mid(1, line.indexOf(QLatin1Char(']')) - 1);
            continue;
        }
        const int eq = int(line.indexOf(QLatin1Char('=')));
        if (eq > 0)
            out[section][line.left(eq)] = line.mid(eq + 1).split(QLatin1Char(','));
    }
    return out;
}

// The documented resampling, written out again: the first breakpoint at or
// above the value (else the last) and its left neighbour (or the first);
// fractions capped at 1, never floored.
struct SourceMap {
    std::vector<double> loads, rpms; // millibar, rpm
    std::vector<std::vector<double>> rows;

    double at(double load, double rpm) const
    {
        auto segment = [](const std::vector<double>& p, double x) {
            const auto it = std::lower_bound(p.begin(), p.end(), x);
            const int right = it == p.end() ? int(p.size()) - 1 : int(it - p.begin());
            const int left = right > 0 ? right - 1 : 0;
            const int next = std::min(left + 1, int(p.size()) - 1);
            const double span = p[size_t(next)] - p[size_t(left)];
            const double f = span == 0 ? 0 : std::min(1.0, (x - p[size_t(left)]) / span);
            return std::make_tuple(size_t(left), size_t(next), f);
        };
        const auto [c0, c1, u] = segment(loads, load);
        const auto [r0, r1, v] = segment(rpms, rpm);
        const double top = rows[r0][c0] * (1 - u) + rows[r0][c1] * u;
        const double bottom = rows[r1][c0] * (1 - u) + rows[r1][c1] * u;
        return top * (1 - v) + bottom * v;
    }
};

SourceMap sourceMap(const Sections& s, const QString& section)
{
    SourceMap m;
    const auto& keys = s[section];
    for (const QString& x : keys[QStringLiteral("Load")])
        m.loads.push_back(std::nearbyint(x.toDouble() * 1000));
    for (const QString& x : keys[QStringLiteral("Rpm")])
        m.rpms.push_back(x.toInt());
    for (int r = 0; r < int(m.rpms.size()); ++r) {
        std::vector<double> row;
        for (const QString& x : keys[QStringLiteral("Row%1").arg(r)])
            row.push_back(x.toDouble());
        m.rows.push_back(row);
    }
    return m;
}

const char* const SectionOfKind[] = {"Table2", "Table3", "Table0", "Table1"}; // by table kind

// The exported ".ct2" of a generated 20 x 10 (P28) image.
class Ct2Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        loadGenerated(source, QStringLiteral("p28"));
        sourceFile = dir.filePath(QStringLiteral("source.ct2"));
        exportCt2(source, sourceFile);
        sourceText = QString::fromLatin1(readBytes(sourceFile));
        plain = parsePlain(sourceText);
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        writeBytes(path, bytes);
        return path;
    }

    QTemporaryDir dir;
    TRom source;
    QString sourceFile, sourceText;
    Sections plain;
};

struct Target {
    const char* family;
    int rows, cols; // shape for the extended family
};

} // namespace

TEST(TableTranslator, InterpolatesOnItsOwnBreakpoints)
{
    TTableTranslator t(3, 2);
    const int loads[] = {100, 200, 400};
    for (int i = 0; i < 3; ++i)
        t.setLoad(i, loads[i]);
    t.setRpm(0, 1000);
    t.setRpm(1, 2000);
    for (int c = 0; c < 3; ++c) {
        t.setCell(c, 0, 10 * (c + 1));
        t.setCell(c, 1, 100 * (c + 1));
    }
    struct Row {
        double load, rpm, expected;
        const char* why;
    } rows[] = {
        {100, 1000, 10, "on a breakpoint"},
        {300, 1000, 25, "halfway between 200 and 400"},
        {50, 1000, 5, "below the first load: extrapolates from the first segment"},
        {900, 1000, 30, "above the last load: the last column"},
        {100, 1500, 55, "halfway in rpm"},
        {100, 500, -35, "below the first rpm: extrapolates"},
        {100, 9000, 100, "above the last rpm: the last row"},
    };
    for (const Row& r : rows)
        EXPECT_DOUBLE_EQ(t.interpolate(r.load, r.rpm), r.expected) << r.why;

    // Equal neighbouring breakpoints do not divide by zero.
    t.setLoad(1, 100);
    EXPECT_TRUE(std::isfinite(t.interpolate(100, 1000)));

    EXPECT_THROW(t.setLoad(3, 0), EVexorError);
    EXPECT_THROW(t.setRpm(2, 0), EVexorError);
    EXPECT_THROW(t.setCell(0, 2, 0), EVexorError);
    try {
        t.setCell(3, 0, 0);
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Index out of bounds."));
    }
}

TEST(CommaText, ParsesAndFormatsLists)
{
    struct Row {
        const char* text;
        QStringList items;
    } rows[] = {
        {"1,2,3", {"1", "2", "3"}},
        {" 1 , 2 ,3 ", {"1", "2", "3"}},
        {"\"0,114\",\"0,201\"", {"0,114", "0,201"}},
        {"a b", {"a", "b"}},
        {"1,,2", {"1", "", "2"}},
        {"1,", {"1", ""}},
        {"\"a\"\"b\"", {"a\"b"}},
        {"", {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(parseCommaText(QString::fromLatin1(r.text)), r.items) << r.text;
    // A NUL inside an item used to stop the scan without moving on: import hung.
    const QString nul = QStringLiteral("1") + QChar(0);
    EXPECT_EQ(parseCommaText(nul + QStringLiteral(",2")), QStringList({nul, QStringLiteral("2")}));
    const QStringList odd = {QStringLiteral("a b"), QStringLiteral("1,5"), QStringLiteral("q\""), QStringLiteral("7")};
    EXPECT_EQ(formatCommaText(odd), QStringLiteral("\"a b\",\"1,5\",\"q\"\"\",7"));
    EXPECT_EQ(parseCommaText(formatCommaText(odd)), odd);
}

TEST_F(Ct2Test, ExportWritesTheDocumentedLayout)
{
    // Section order and the fixed keys.
    const QStringList order = {"[TableList]", "[Table0]", "[Table1]", "[Table2]", "[Table3]"};
    int last = -1;
    for (const QString& s : order) {
        const int at = int(sourceText.indexOf(s));
        EXPECT_GT(at, last) << s.toStdString();
        last = at;
    }
    EXPECT_FALSE(sourceText.contains(QStringLiteral("[Settings]")));
    EXPECT_EQ(plain["TableList"]["0"], QStringList{"Ignition"});
    EXPECT_EQ(plain["TableList"]["3"], QStringList{"Fuel"});
    for (int kind = 0; kind < 4; ++kind) {
        const bool high = TRom::isHighCamKind(kind);
        const auto& sec = plain[QString::fromLatin1(SectionOfKind[kind])];
        EXPECT_EQ(sec["Rows"], QStringList{"20"});
        EXPECT_EQ(sec["Cols"], QStringList{"10"});
        EXPECT_EQ(sec["HighSpeed"], QStringList{"0"});
        ASSERT_EQ(sec["Rpm"].size(), 20);
        ASSERT_EQ(sec["Load"].size(), 10);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(sec["Rpm"][i].toInt(), source.rpm(high, i));
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(sec["Load"][i], QString::asprintf("%.3f", source.load(high, i) / 1000.0));
        for (int r = 0; r < 20; ++r)
            for (int c = 0; c < 10; ++c)
                EXPECT_EQ(sec[QStringLiteral("Row%1").arg(r)][c],
                          QString::asprintf("%.2f", source.tableValue(c, r, kind)));
    }
}

TEST_F(Ct2Test, ReExportOverwritesItsKeysAndKeepsOthers)
{
    const QString path = file(QStringLiteral("old.ct2"), "; mine\n[Table0]\nRows=99\nRow25=1,2,3\n[Notes]\nWho=me\n");
    exportCt2(source, path);
    const Sections s = parsePlain(QString::fromLatin1(readBytes(path)));
    EXPECT_EQ(s["Table0"]["Rows"], QStringList{"20"});
    EXPECT_EQ(s["Table0"]["Row25"], (QStringList{"1", "2", "3"}));
    EXPECT_EQ(s["Notes"]["Who"], QStringList{"me"});
    EXPECT_TRUE(readBytes(path).startsWith("; mine\n"));
}

TEST_F(Ct2Test, ImportResamplesOntoEveryFamily)
{
    const Target targets[] = {{"p28", 20, 10}, {"p30", 20, 10},     {"p72", 20, 10},     {"p13", 20, 10},
                              {"pr3", 20, 10}, {"jdmpw0", 20, 10},  {"edmpw0", 20, 10},  {"pm6", 20, 10},
                              {"pr4", 20, 10}, {"vexorau", 17, 15}, {"vexorau", 20, 24}, {"vexorau", 2, 2},
                              {"sr", 20, 10},  {"vg", 20, 10},      {"rb", 20, 10}};
    bool sawLoadBelow = false, sawLoadAbove = false;
    for (const Target& t : targets) {
        SCOPED_TRACE(
            QStringLiteral("%1 %2x%3").arg(QString::fromLatin1(t.family)).arg(t.rows).arg(t.cols).toStdString());
        TRom rom;
        loadGenerated(rom, QString::fromLatin1(t.family), t.rows, t.cols, 7);
        importCt2(rom, sourceFile);
        const bool nissan = rom.BaseType == btNissan;
        for (int kind = 0; kind < 4; ++kind) {
            // Families with one table pair for both cams get the high-cam section,
            // which is imported after the low-cam one.
            const int highKind = TRom::isFuelKind(kind) ? tkHighFuel : tkHighIgn;
            const bool shared = rom.address(tableEntry(kind)) == rom.address(tableEntry(highKind));
            const SourceMap m = sourceMap(plain, QString::fromLatin1(SectionOfKind[shared ? highKind : kind]));
            const bool high = TRom::isHighCamKind(kind);
            for (int r = 0; r < rom.rows(kind); ++r)
                for (int c = 0; c < rom.columns(kind); ++c) {
                    const double load = rom.load(high, c), rpm = rom.rpm(high, r);
                    sawLoadBelow = sawLoadBelow || load < m.loads.front();
                    sawLoadAbove = sawLoadAbove || load > m.loads.back();
                    const double x = m.at(load, rpm);
                    const int cell = rom.cellByte(c, r, kind);
                    if (nissan || (rom.WideRevScalar && TRom::isFuelKind(kind))) {
                        EXPECT_EQ(cell, std::clamp(std::nearbyint(x), 0.0, 255.0)) << kind << " " << c << " " << r;
                    } else if (!TRom::isFuelKind(kind)) {
                        const double b = rom.OBDMode != 0 ? std::clamp(x, -6.0, 57.75) * 4 + 24
                                                          : std::clamp(x, -5.4, 86.4) / 0.36 + 15;
                        EXPECT_EQ(cell, std::nearbyint(b)) << kind << " " << c << " " << r;
                    } else {
                        // Fuel is written rounded up, and a later cell of the column may
                        // raise the multiplier and round it up once more.
                        const int m8 = rom.multiplierByte(c, kind);
                        const double step = rom.OBDMode != 0 ? m8 / 4.0 : std::ldexp(1.0, m8) / 4;
                        const double v = rom.tableValue(c, r, kind);
                        EXPECT_GE(v, std::max(0.0, x) - 1e-9) << kind << " " << c << " " << r;
                        EXPECT_LE(v, std::max(0.0, x) + 2 * step + 1e-9) << kind << " " << c << " " << r;
                    }
                }
        }
    }
    EXPECT_TRUE(sawLoadBelow && sawLoadAbove) << "the targets should cover extrapolation and the capped last column";
}

TEST_F(Ct2Test, SameImageRoundTripKeepsIgnitionAndFuelWithinAStep)
{
    for (const char* family : {"p28", "vexorau", "pr3"}) {
        SCOPED_TRACE(family);
        TRom rom;
        loadGenerated(rom, QString::fromLatin1(family), 20, 10, 3);
        const QString path = dir.filePath(QStringLiteral("%1.ct2").arg(QString::fromLatin1(family)));
        exportCt2(rom, path);
        TRom before;
        loadGenerated(before, QString::fromLatin1(family), 20, 10, 3);
        importCt2(rom, path);
        for (int kind = 0; kind < 4; ++kind)
            for (int r = 0; r < rom.rows(kind); ++r)
                for (int c = 0; c < rom.columns(kind); ++c) {
                    if (TRom::isFuelKind(kind)) {
                        const double step = rom.OBDMode != 0 ? rom.multiplierByte(c, kind) / 4.0
                                                             : std::ldexp(1.0, rom.multiplierByte(c, kind)) / 4;
                        EXPECT_NEAR(rom.tableValue(c, r, kind), before.tableValue(c, r, kind), step + 1e-9);
                    } else {
                        EXPECT_EQ(rom.cellByte(c, r, kind), before.cellByte(c, r, kind));
                    }
                }
    }
}

TEST_F(Ct2Test, ImportIsOneUndoStep)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 17, 15, 9);
    const QByteArray original = imageBytes(rom);
    importCt2(rom, sourceFile);
    ASSERT_NE(imageBytes(rom), original);
    EXPECT_TRUE(rom.buffer().modified());
    rom.buffer().undo();
    EXPECT_EQ(imageBytes(rom), original);
    EXPECT_FALSE(rom.buffer().canUndo());
    EXPECT_FALSE(rom.buffer().modified());
}

TEST_F(Ct2Test, ToleratesWindowsFilesAndDecimalCommas)
{
    TRom expected;
    loadGenerated(expected, QStringLiteral("p72"), 20, 10, 4);
    importCt2(expected, sourceFile);

    QString commas = sourceText;
    // A file written where the decimal separator is a comma: quoted items.
    static const QRegularExpression number(QStringLiteral("(-?\\d+)\\.(\\d+)"));
    commas.replace(number, QStringLiteral("\"\\1,\\2\""));
    QString crlf = sourceText;
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const struct {
        const char* name;
        QByteArray bytes;
    } variants[] = {
        {"crlf.ct2", crlf.toLatin1()},
        {"bom.ct2", QByteArray("\xEF\xBB\xBF") + sourceText.toUtf8()},
        {"comma.ct2", commas.toLatin1()},
        {"upper.skl", sourceText.toLatin1()},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.name);
        TRom rom;
        loadGenerated(rom, QStringLiteral("p72"), 20, 10, 4);
        const QString path = file(QString::fromLatin1(v.name), v.bytes);
        importCalibration(rom, path, calibrationKindForFile(path));
        EXPECT_EQ(imageBytes(rom), imageBytes(expected));
    }
}

TEST_F(Ct2Test, DamagedFilesChangeNothing)
{
    using Edit = std::function<QString(QString)>;
    auto replaceLine = [](const char* key, const char* section, const char* value) -> Edit {
        return [=](QString t) {
            // Only within the named section.
            const int s = int(t.indexOf(QStringLiteral("[%1]").arg(QString::fromLatin1(section))));
            const QRegularExpression re(QStringLiteral("\n%1=[^\n]*").arg(QString::fromLatin1(key)));
            const auto m = re.match(t, s);
            if (!m.hasMatch())
                return t;
            const QString line =
                value ? QStringLiteral("\n%1=%2").arg(QString::fromLatin1(key), QString::fromLatin1(value)) : QString();
            return t.replace(m.capturedStart(), m.capturedLength(), line);
        };
    };
    const struct {
        const char* why;
        Edit edit;
        const char* mentions;
    } cases[] = {
        {"missing section", [](QString t) { return t.replace(QStringLiteral("[Table2]"), QStringLiteral("[Table9]")); },
         "Table2"},
        {"Rows of 1", replaceLine("Rows", "Table0", "1"), "Rows"},
        {"Rows of 256", replaceLine("Rows", "Table1", "256"), "Rows"},
        {"huge Cols", replaceLine("Cols", "Table3", "4000000000"), "Cols"},
        {"non-numeric Rows", replaceLine("Rows", "Table0", "twenty"), "Rows"},
        {"missing Cols", replaceLine("Cols", "Table2", nullptr), "Cols"},
        {"short Rpm list", replaceLine("Rpm", "Table3", "500,1000,1500"), "Rpm"},
        {"short Load list", replaceLine("Load", "Table0", "0.1,0.2"), "Load"},
        {"short row", replaceLine("Row7", "Table3", "1,2,3"), "Row7"},
        {"missing row", replaceLine("Row19", "Table3", nullptr), "Row19"},
        {"non-numeric value", replaceLine("Row3", "Table1", "1,2,3,4,x5,6,7,8,9,10"), "Row3"},
        {"empty item", replaceLine("Row4", "Table2", "1,2,,4,5,6,7,8,9,10"), "Row4"},
        {"not a finite value", replaceLine("Row5", "Table2", "1,2,3,nan,5,6,7,8,9,10"), "Row5"},
        {"non-integer rpm", replaceLine("Rpm", "Table0", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,2e3"), "Rpm"},
        {"load out of range", replaceLine("Load", "Table1", "1e300,1,1,1,1,1,1,1,1,1"), "Load"},
        {"empty file", [](QString) { return QString(); }, "Table0"},
        {"NUL before a comma",
         [](QString t) {
             const auto row = t.indexOf(QStringLiteral("\nRow4="), t.indexOf(QStringLiteral("[Table0]")));
             return t.insert(t.indexOf(QLatin1Char(','), row), QChar(0));
         },
         "Row4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        TRom rom;
        loadGenerated(rom, QStringLiteral("p30"), 20, 10, 5);
        const QByteArray original = imageBytes(rom);
        const QString edited = c.edit(sourceText);
        ASSERT_NE(edited, sourceText);
        const QString path = file(QStringLiteral("bad.ct2"), edited.toLatin1());
        try {
            importCt2(rom, path);
            ADD_FAILURE() << "accepted";
        } catch (const EVexorError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromLatin1(c.mentions))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("bad.ct2"))) << e.message().toStdString();
        }
        EXPECT_EQ(imageBytes(rom), original);
        EXPECT_FALSE(rom.buffer().modified());
    }
    TRom rom;
    loadGenerated(rom, QStringLiteral("p30"));
    try {
        importCt2(rom, dir.filePath(QStringLiteral("none.ct2")));
        ADD_FAILURE() << "accepted a missing file";
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'%1' does not exist.").arg(dir.filePath(QStringLiteral("none.ct2"))));
    }
}

TEST_F(Ct2Test, ExtraItemsAndKeysAreIgnored)
{
    QString t = sourceText;
    t.replace(QStringLiteral("\nRow0="), QStringLiteral("\nRow0=1,2,3,4,5,6,7,8,9,10,11,12,\nRow0x="));
    TRom a, b;
    loadGenerated(a, QStringLiteral("p28"), 20, 10, 2);
    loadGenerated(b, QStringLiteral("p28"), 20, 10, 2);
    importCt2Text(a, t, QStringLiteral("x"));
    EXPECT_NEAR(a.tableValue(0, 0, tkLowIgn), 1, 0.25);
    EXPECT_NEAR(a.tableValue(9, 0, tkLowIgn), 10, 0.25);
    EXPECT_NE(imageBytes(a), imageBytes(b));
}
