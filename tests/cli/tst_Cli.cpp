// The command-line front end, run as a user runs it.
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class CliTest : public ::testing::Test {
protected:
    QString rom(const QString& family, const QByteArray& notes = {})
    {
        TRomGenOptions o;
        o.family = family;
        o.notes = notes;
        return write(family + QStringLiteral(".bin"), generateRom(o));
    }
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        writeBytes(path, bytes);
        return path;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(CliTest, ReadsEveryFamily)
{
    for (const QString& family : romGenFamilies()) {
        const QString path = rom(family);
        const TCliRun info = runCli({QStringLiteral("info"), path, QStringLiteral("--json")});
        ASSERT_EQ(info.exitCode, 0) << family.toStdString() << info.err.toStdString();
        const QJsonObject o = info.json();
        EXPECT_TRUE(o.value(QStringLiteral("checksum_ok")).toBool()) << family.toStdString();
        EXPECT_EQ(o.value(QStringLiteral("address_map")).toArray().size(), 200);
        EXPECT_EQ(o.value(QStringLiteral("size")).toInt(), 0x8000);
        const QJsonObject shape = o.value(QStringLiteral("tables")).toObject().value(QStringLiteral("hci")).toObject();

        const TCliRun table = runCli({QStringLiteral("table"), path, QStringLiteral("--table"), QStringLiteral("hci"),
                                      QStringLiteral("--json")});
        ASSERT_EQ(table.exitCode, 0) << family.toStdString() << table.err.toStdString();
        const QJsonObject t = table.json();
        EXPECT_EQ(t.value(QStringLiteral("rows")).toInt(), shape.value(QStringLiteral("rows")).toInt());
        EXPECT_EQ(t.value(QStringLiteral("values")).toArray().size(), t.value(QStringLiteral("rows")).toInt());
        EXPECT_EQ(t.value(QStringLiteral("load")).toArray().size(), t.value(QStringLiteral("cols")).toInt());
        EXPECT_TRUE(t.value(QStringLiteral("multipliers")).isNull()) << "ignition maps have none";

        const TCliRun settings = runCli({QStringLiteral("settings"), path, QStringLiteral("--json")});
        ASSERT_EQ(settings.exitCode, 0);
        EXPECT_TRUE(settings.json().contains(QStringLiteral("boost_limit_psi")));
    }
}

TEST_F(CliTest, InterpolatesOnABreakpoint)
{
    const QString path = rom(QStringLiteral("p28"));
    const QJsonObject t = runCli({QStringLiteral("table"), path, QStringLiteral("--table"), QStringLiteral("lcf"),
                                  QStringLiteral("--json")})
                              .json();
    const int load = t.value(QStringLiteral("load")).toArray().at(3).toInt();
    const int rpm = t.value(QStringLiteral("rpm")).toArray().at(5).toInt();
    const double cell = t.value(QStringLiteral("values")).toArray().at(5).toArray().at(3).toDouble();
    const TCliRun r = runCli({QStringLiteral("interp"), path, QStringLiteral("--table"), QStringLiteral("lcf"),
                              QStringLiteral("--load"), QString::number(load), QStringLiteral("--rpm"),
                              QString::number(rpm), QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_DOUBLE_EQ(r.json().value(QStringLiteral("value")).toDouble(), cell);
}

TEST_F(CliTest, EditSavesWithChecksumAndNotesAndDiffNamesTheChanges)
{
    const QByteArray notes("tune v1\r\nline two\n\x01\xFF", 21);
    const QString path = rom(QStringLiteral("p30"), notes);
    const QString out = dir.filePath(QStringLiteral("out.bin"));
    const TCliRun r = runCli({QStringLiteral("edit"), path, QStringLiteral("-o"), out, QStringLiteral("--set-cell"),
                              QStringLiteral("lci:2:3=30"), QStringLiteral("--set"), QStringLiteral("rev_limit=7000"),
                              QStringLiteral("--set"), QStringLiteral("eld=on"), QStringLiteral("--set-rpm"),
                              QStringLiteral("hi:1=1500")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray bytes = readBytes(out);
    ASSERT_EQ(bytes.size(), 0x8000 + notes.size());
    EXPECT_EQ(bytes.mid(0x8000), notes);
    quint8 sum = 0;
    for (int i = 0; i < 0x8000; ++i)
        sum = quint8(sum + quint8(bytes[i]));
    EXPECT_EQ(sum, 0);

    const QJsonObject d = runCli({QStringLiteral("diff"), path, out, QStringLiteral("--json")}).json();
    ASSERT_EQ(d.value(QStringLiteral("cells")).toArray().size(), 1);
    const QJsonObject cell = d.value(QStringLiteral("cells")).toArray().at(0).toObject();
    EXPECT_EQ(cell.value(QStringLiteral("table")).toString(), QStringLiteral("lci"));
    EXPECT_EQ(cell.value(QStringLiteral("col")).toInt(), 2);
    EXPECT_EQ(cell.value(QStringLiteral("row")).toInt(), 3);
    EXPECT_DOUBLE_EQ(cell.value(QStringLiteral("new")).toDouble(), 30);
    QStringList settings;
    for (const auto& v : d.value(QStringLiteral("settings")).toArray())
        settings << v.toObject().value(QStringLiteral("name")).toString();
    EXPECT_EQ(settings, (QStringList{QStringLiteral("rev_limit"), QStringLiteral("eld")}));
    EXPECT_EQ(d.value(QStringLiteral("scales")).toArray().size(), 1);
    EXPECT_TRUE(d.value(QStringLiteral("ranges")).toArray().isEmpty()) << "every changed byte has a name";

    EXPECT_EQ(runCli({QStringLiteral("diff"), path, path}).out.trimmed(), QByteArray("The images are identical."));
    // Unnamed bytes show as address ranges.
    QByteArray raw = readBytes(path);
    raw[0x100] = char(raw[0x100] ^ 1);
    raw[0x101] = char(raw[0x101] ^ 1);
    const QJsonObject d2 =
        runCli({QStringLiteral("diff"), path, write(QStringLiteral("raw.bin"), raw), QStringLiteral("--json")}).json();
    ASSERT_EQ(d2.value(QStringLiteral("ranges")).toArray().size(), 1);
    EXPECT_EQ(d2.value(QStringLiteral("ranges")).toArray().at(0).toObject().value(QStringLiteral("length")).toInt(), 2);
}

TEST_F(CliTest, RefusesBadInputWithExitCodesAndNoOutputFile)
{
    const QString good = rom(QStringLiteral("p28"));
    const QString out = dir.filePath(QStringLiteral("never.bin"));
    struct Row {
        QStringList args;
        int exitCode;
        const char* stderrText;
    };
    const Row rows[] = {
        {{QStringLiteral("info"), write(QStringLiteral("empty.bin"), {})}, 2, "Could not load file."},
        {{QStringLiteral("info"), write(QStringLiteral("zero.bin"), QByteArray(0x8000, '\0'))},
         2,
         "Could not load file."},
        {{QStringLiteral("info"), write(QStringLiteral("short.bin"), QByteArray(0x10, 'x'))},
         2,
         "Could not load file."},
        {{QStringLiteral("info"), dir.path()}, 2, "Could not load file."},
        // A P30 signature in 100 bytes used to open with an all-zero map.
        {{QStringLiteral("info"), write(QStringLiteral("cut.bin"), generateRom({QStringLiteral("p30")}).left(100))},
         2,
         "Could not load file."},
        {{QStringLiteral("table"), good, QStringLiteral("--table"), QStringLiteral("4")}, 2, "Unknown table"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set-cell"),
          QStringLiteral("lcf:10:0=5")},
         2,
         "Index out of bounds."},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set-cell"),
          QStringLiteral("lcf:1:0=abc")},
         2,
         "Invalid"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set-cell"),
          QStringLiteral("lcf:1:0=nan")},
         2,
         "Invalid"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set"),
          QStringLiteral("rev_limit=400")},
         2,
         "resume gap"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set-rpm"),
          QStringLiteral("lo:19=3000")},
         2,
         "fixed"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set"),
          QStringLiteral("version=3")},
         2,
         "read only"},
        {{QStringLiteral("edit"), good, QStringLiteral("-o"), out, QStringLiteral("--set-cell"),
          QStringLiteral("lcf:1:0=9"), QStringLiteral("--set"), QStringLiteral("nosuch=1")},
         2,
         "Unknown setting"},
        {{QStringLiteral("edit"), good}, 1, "Missing option -o"},
        {{QStringLiteral("frobnicate")}, 1, "Unknown command"},
        // Lengths past the millisecond timer's int used to record forever.
        {{QStringLiteral("log"), QStringLiteral("--port"), QStringLiteral("none"), QStringLiteral("--protocol"),
          QStringLiteral("1"), QStringLiteral("--seconds"), QStringLiteral("2147484"), QStringLiteral("-o"), out},
         1,
         "--seconds must be"},
        {{QStringLiteral("log"), QStringLiteral("--port"), QStringLiteral("none"), QStringLiteral("--protocol"),
          QStringLiteral("1"), QStringLiteral("--samples"), QStringLiteral("2147483647"), QStringLiteral("-o"), out},
         1,
         "--samples must be"},
        {{QStringLiteral("log"), QStringLiteral("--port"), QStringLiteral("none"), QStringLiteral("--protocol"),
          QStringLiteral("1"), QStringLiteral("--samples"), QStringLiteral("5"), QStringLiteral("--max-tries"),
          QStringLiteral("0"), QStringLiteral("-o"), out},
         2,
         "--max-tries must be"},
        {{QStringLiteral("interp"), good, QStringLiteral("--table"), QStringLiteral("lcf"), QStringLiteral("--load"),
          QStringLiteral("x"), QStringLiteral("--rpm"), QStringLiteral("1")},
         2,
         "Invalid load"},
    };
    for (const Row& r : rows) {
        const TCliRun run = runCli(r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(r.stderrText)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << "a refused edit writes nothing";
    }
}

TEST_F(CliTest, LargeTrailerIsKeptAndChecksumFixWritesACorrectedCopy)
{
    QByteArray img = generateRom({QStringLiteral("p72")});
    img[0x1234] = char(img[0x1234] + 5);
    img.append(QByteArray(3 * 1024 * 1024, 'T'));
    const QString path = write(QStringLiteral("big.bin"), img);
    const QJsonObject before = runCli({QStringLiteral("checksum"), path, QStringLiteral("--json")}).json();
    EXPECT_FALSE(before.value(QStringLiteral("ok")).toBool());
    const QString fixed = dir.filePath(QStringLiteral("fixed.bin"));
    const TCliRun r = runCli({QStringLiteral("checksum"), path, QStringLiteral("--fix"), QStringLiteral("-o"), fixed,
                              QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.json().value(QStringLiteral("ok")).toBool());
    const QByteArray out = readBytes(fixed);
    EXPECT_EQ(out.size(), img.size());
    EXPECT_EQ(out.mid(0xC000), img.mid(0xC000));
}

TEST_F(CliTest, ResumeGapComesFromThePreferences)
{
    const QString path = rom(QStringLiteral("p28"));
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    QFile ini(home + QStringLiteral("/vexor.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Option Settings]\r\nRevDelta=1000\r\n");
    ini.close();
    const QString out = dir.filePath(QStringLiteral("gap.bin"));
    ASSERT_EQ(runCli({QStringLiteral("edit"), path, QStringLiteral("-o"), out, QStringLiteral("--set"),
                      QStringLiteral("rev_limit=7000")},
                     home)
                  .exitCode,
              0);
    const QByteArray bytes = readBytes(out);
    const int resumeAt = 0x6495; // P28 low-cam resume word
    EXPECT_EQ(quint8(bytes[resumeAt]) | (quint8(bytes[resumeAt + 1]) << 8), 1875000 / 6000);
}

TEST_F(CliTest, OldExtendedImageWithoutUpgradeDataIsReportedAndLeftUnchanged)
{
    QByteArray img = generateRom({QStringLiteral("vexorau")});
    img[58] = char(92); // revision C0.92
    const QString path = write(QStringLiteral("old.bin"), img);
    const TCliRun r = runCli({QStringLiteral("settings"), path, QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("could not be upgraded")) << r.err.toStdString();
    EXPECT_EQ(r.json().value(QStringLiteral("version_text")).toString(), QStringLiteral("C0.92"));
}
