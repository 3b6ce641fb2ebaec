// vexor-cli export and import, run as a user runs them.
#include "CalibTestUtil.h"

#include "rom/mdlCalibration.h"
#include "support/TestCli.h"

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

class CalibrationCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!cliBuilt())
            GTEST_SKIP() << "vexor-cli not built at " << cliPath().toStdString();
    }
    QString rom(const char* family, int rows, int cols, quint32 seed)
    {
        TRomGenOptions o;
        o.family = QString::fromLatin1(family);
        o.rows = rows;
        o.columns = cols;
        o.seed = seed;
        o.notes = "notes\r\n";
        const QString path = dir.filePath(QStringLiteral("%1-%2.bin").arg(QString::fromLatin1(family)).arg(seed));
        writeBytes(path, generateRom(o));
        return path;
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(CalibrationCli, ExportsAndImportsByExtension)
{
    const QString p28 = rom("p28", 20, 10, 1), vexor = rom("vexorau", 17, 15, 2), other = rom("p28", 20, 10, 3);
    const QString ct2 = dir.filePath(QStringLiteral("maps.ct2")), ctv = dir.filePath(QStringLiteral("maps.CTV"));
    TCliRun r = runCli({QStringLiteral("export"), p28, ct2});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(readBytes(ct2).startsWith("[TableList]"));
    r = runCli({QStringLiteral("export"), p28, ctv});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // The CLI gives the same result as the model, and keeps the notes.
    const QString out = dir.filePath(QStringLiteral("out.bin"));
    r = runCli({QStringLiteral("import"), vexor, ct2, QStringLiteral("-o"), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    TRom expected;
    ASSERT_EQ(expected.loadFile(vexor), TRom::LoadResult::Ok);
    importCt2(expected, ct2);
    expected.fixChecksum();
    EXPECT_EQ(readBytes(out), expected.buffer().fileBytes());
    EXPECT_TRUE(readBytes(out).endsWith("notes\r\n"));

    r = runCli({QStringLiteral("import"), other, ctv, QStringLiteral("-o"), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    TRom imported, source;
    ASSERT_EQ(imported.loadFile(out), TRom::LoadResult::Ok);
    ASSERT_EQ(source.loadFile(p28), TRom::LoadResult::Ok);
    for (int k = 0; k < 4; ++k)
        for (int row = 0; row < 20; ++row)
            for (int c = 0; c < 10; ++c)
                ASSERT_EQ(imported.cellByte(c, row, k), source.cellByte(c, row, k));
}

TEST_F(CalibrationCli, RefusalsExitWithTwoAndWriteNothing)
{
    const QString p28 = rom("p28", 20, 10, 1), vexor = rom("vexorau", 17, 15, 2);
    const QString ctv = dir.filePath(QStringLiteral("maps.ctv"));
    ASSERT_EQ(runCli({QStringLiteral("export"), p28, ctv}).exitCode, 0);
    const QString out = dir.filePath(QStringLiteral("never.bin"));
    TCliRun r = runCli({QStringLiteral("import"), vexor, ctv, QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.errText().contains(QStringLiteral("Table sizes do not match"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));

    r = runCli({QStringLiteral("import"), p28, dir.filePath(QStringLiteral("none.ct2")), QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.errText().contains(QStringLiteral("does not exist"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));

    // A NUL byte in a list used to make import loop forever.
    const QString ct2 = dir.filePath(QStringLiteral("nul.ct2"));
    ASSERT_EQ(runCli({QStringLiteral("export"), p28, ct2}).exitCode, 0);
    QByteArray text = readBytes(ct2);
    text.insert(text.indexOf(',', text.indexOf("\nRow4=", text.indexOf("[Table0]"))), '\0');
    writeBytes(ct2, text);
    r = runCli({QStringLiteral("import"), p28, ct2, QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.errText().contains(QStringLiteral("Row4"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));

    EXPECT_EQ(runCli({QStringLiteral("import"), p28, ctv}).exitCode, 1) << "-o is required";
    EXPECT_EQ(runCli({QStringLiteral("export"), p28}).exitCode, 1);
}
