// The readable settings dump of the extended family in ".ct2" files, and the
// Import and Export commands with their dialogs and messages.
#include "CalibTestUtil.h"

#include "datalog/mdlDatalog.h"
#include "rom/mdlCalibration.h"
#include "rom/mdlCalibrationFlows.h"
#include "support/TestServices.h"

#include <QTemporaryDir>
#include <cmath>

namespace {

QString valueOf(const QString& text, const QString& section, const QString& key)
{
    bool in = false;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            in = line == QLatin1Char('[') + section + QLatin1Char(']');
        else if (in && line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QStringLiteral("<missing>");
}

class SettingsDump : public ::testing::Test {
protected:
    void SetUp() override { loadGenerated(rom, QStringLiteral("vexorau"), 20, 10); }
    int at(int entry) const { return rom.address(entry); }
    void byte(int entry, int value, int offset = 0) { rom.buffer().writeByte(at(entry) + offset, quint8(value)); }
    void word(int entry, int value, int offset = 0) { rom.buffer().writeWord(at(entry) + offset, quint16(value)); }
    QString exported()
    {
        const QString path = dir.filePath(QStringLiteral("s.ct2"));
        exportCt2(rom, path);
        return QString::fromLatin1(readBytes(path));
    }
    TRom rom;
    QTemporaryDir dir;
};

} // namespace

TEST_F(SettingsDump, WritesTheSettingsInEngineeringUnits)
{
    word(50, 32768);
    word(52, 36045); // +10 %
    word(53, 29491); // -10 %
    word(70, 1250);  // 1 875 000 div 1250
    word(11, 267);
    byte(78, 9); // 9 / 4
    byte(17, 0xFF);
    byte(31, 100);
    byte(90, 255);
    byte(90, 10, 2);
    byte(163, 0x80);
    byte(18, 133);
    byte(19, 7);
    byte(74, 231); // T(231) = round(207 / 2.07) = 100
    const QString t = exported();
    const QString s = QStringLiteral("Settings");
    const struct {
        const char* key;
        QString value;
    } rows[] = {
        {"Injector Size", QStringLiteral("240")},
        {"Cranking Fuel Trim", QStringLiteral("10")},
        {"Throttle Tipin Trim", QStringLiteral("-10")},
        {"Target Idle", QStringLiteral("1500")},
        {"Low Cam Rev Limit", QString::number(1875000 / 267)},
        {"Standstill Boost Retard", QStringLiteral("2.25")},
        {"Enable VTEC", QStringLiteral("1")},
        {"VTEC Temp", QString::number(TemperatureTable[100], 'g', 15)},
        {"Max TPS Voltage", QString::number(255 * 0.0196, 'f', QLocale::FloatingPointShortest)},
        {"Min TPS Voltage", QString::number(10 * 0.0196, 'f', QLocale::FloatingPointShortest)},
        {"IAB Inverted", QStringLiteral("1")},
        {"VTS Disable", QStringLiteral("0")},
        {"VTP Disable", QStringLiteral("1")},
        {"Full Throttle Threshold", QStringLiteral("100")},
        {"Min MAP", QStringLiteral("-59")},
        {"Max MAP", QStringLiteral("1782")},
    };
    for (const auto& r : rows)
        EXPECT_EQ(valueOf(t, s, QString::fromLatin1(r.key)), r.value) << r.key;
    // The dump comes before the tables.
    EXPECT_LT(t.indexOf(QStringLiteral("[Settings]")), t.indexOf(QStringLiteral("[Fuel Correction Tables]")));
    EXPECT_LT(t.indexOf(QStringLiteral("[Fuel Correction Tables]")), t.indexOf(QStringLiteral("[TableList]")));
}

TEST_F(SettingsDump, ZeroWordsWriteZeroInsteadOfDividing)
{
    word(50, 0);
    word(70, 0);
    word(11, 0);
    word(40, 0);
    const QString t = exported();
    for (const char* key : {"Injector Size", "Cranking Fuel Trim", "Throttle Tipin Trim", "Post Startup Adj",
                            "Target Idle", "Low Cam Rev Limit", "Standstill Rev Limit"})
        EXPECT_EQ(valueOf(t, QStringLiteral("Settings"), QString::fromLatin1(key)), QStringLiteral("0")) << key;
}

TEST_F(SettingsDump, FuelCorrectionTables)
{
    const int iatRows = at(111) & 0xFF, iatDivisor = (at(111) >> 8) * 256;
    const int ectRows = at(106) & 0xFF, ectDivisor = at(106) >> 8; // not multiplied
    ASSERT_EQ(iatRows, 7);
    ASSERT_EQ(ectDivisor, 64);
    for (int i = 0; i < iatRows; ++i)
        word(107, 36045 + i, 3 * i + 1);
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < ectRows; ++i)
            word(100 + k, 80 + k, 2 * i + 1);
    const int cyl[] = {128, 64, 192, 160};
    for (int i = 0; i < 4; ++i)
        byte(125, cyl[i], i);
    const QString t = exported();
    const QString s = QStringLiteral("Fuel Correction Tables");

    const QStringList iat = valueOf(t, s, QStringLiteral("IAT Correction")).split(QLatin1Char(','));
    ASSERT_EQ(iat.size(), iatRows);
    for (int i = 0; i < iatRows; ++i) // the shortest text that reads back exactly
        EXPECT_EQ(iat[i].toDouble(), ((36045 + i) / double(iatDivisor) - 1) * 100) << i;

    const char* ectKeys[] = {"ECT Correction Open Loop Low", "ECT Correction Open Loop High",
                             "ECT Correction Close Loop Low", "ECT Correction Close Loop High"};
    for (int k = 0; k < 4; ++k) {
        const QStringList items = valueOf(t, s, QString::fromLatin1(ectKeys[k])).split(QLatin1Char(','));
        ASSERT_EQ(items.size(), ectRows) << k;
        EXPECT_EQ(items[0].toDouble(), ((80 + k) / 64.0 - 1) * 100) << k;
    }
    // Cylinders in the ECU's order: bytes 0, 2, 3, 1.
    EXPECT_EQ(valueOf(t, s, QStringLiteral("Individual Cylinder Correction")), QStringLiteral("0,50,25,-50"));
}

TEST(CalibrationFlows, ExportAsksAndWritesTheChosenKind)
{
    QTemporaryDir dir;
    TTestServices t;
    TServices services = t.services();
    TRom rom;
    loadGenerated(rom, QStringLiteral("p28"));

    const QString ctv = dir.filePath(QStringLiteral("maps.CTV"));
    t.fileDialogs.answer(ctv);
    EXPECT_TRUE(runExportCalibration(rom, services));
    ASSERT_EQ(t.fileDialogs.requests().size(), 1);
    const auto& r = t.fileDialogs.requests().first();
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.request.title, QStringLiteral("Export Tables To..."));
    EXPECT_EQ(r.request.filter, QStringLiteral("VEXOR Calibrations|*.ct2|VEXOR Table Values|*.ctv|All Files|*.*"));
    EXPECT_EQ(r.request.defaultExt, QStringLiteral(".ct2"));
    EXPECT_EQ(readBytes(ctv), ctvBytes(rom));

    const QString ct2 = dir.filePath(QStringLiteral("maps.txt"));
    t.fileDialogs.answer(ct2);
    EXPECT_TRUE(runExportCalibration(rom, services));
    EXPECT_TRUE(readBytes(ct2).startsWith("[TableList]"));

    t.fileDialogs.answer(std::nullopt);
    EXPECT_FALSE(runExportCalibration(rom, services));
    EXPECT_EQ(t.messages.count(), 0);

    // A folder cannot be written: the error is shown.
    t.fileDialogs.answer(dir.path());
    t.messages.answer(mrOk);
    EXPECT_FALSE(runExportCalibration(rom, services));
    ASSERT_EQ(t.messages.count(), 1);
    EXPECT_EQ(t.messages.last().kind, TMsgKind::Error);
}

TEST(CalibrationFlows, ImportAsksAndReportsRefusals)
{
    QTemporaryDir dir;
    TTestServices t;
    TServices services = t.services();
    TRom source, rom;
    loadGenerated(source, QStringLiteral("p28"), 20, 10, 1);
    loadGenerated(rom, QStringLiteral("p72"), 20, 10, 2);

    const QString ctv = dir.filePath(QStringLiteral("maps.ctv"));
    exportCtv(source, ctv);
    const QByteArray original = imageBytes(rom);
    t.fileDialogs.answer(ctv);
    t.messages.answer(mrOk);
    EXPECT_FALSE(runImportCalibration(rom, services));
    const auto& r = t.fileDialogs.requests().first();
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.request.title, QStringLiteral("Import Tables From..."));
    EXPECT_EQ(r.request.filter, QStringLiteral("All Supported Files|*.ct2;*.ctv;*.skl;*.kal|VEXOR Calibrations|*.ct2|"
                                               "VEXOR Tables Values|*.ctv|All Files|*.*"));
    EXPECT_EQ(r.request.defaultExt, QStringLiteral(".ct2"));
    ASSERT_EQ(t.messages.count(), 1);
    EXPECT_EQ(t.messages.last().text, QStringLiteral("Table sizes do not match"));
    EXPECT_EQ(t.messages.last().title, QStringLiteral("Error"));
    EXPECT_EQ(imageBytes(rom), original);

    // Any extension other than .ctv reads as a calibration file.
    const QString kal = dir.filePath(QStringLiteral("maps.kal"));
    exportCt2(source, kal);
    t.fileDialogs.answer(kal);
    EXPECT_TRUE(runImportCalibration(rom, services));
    EXPECT_NE(imageBytes(rom), original);
    rom.buffer().undo();
    EXPECT_EQ(imageBytes(rom), original);

    // Nothing loaded: no dialog at all.
    TRom empty;
    EXPECT_FALSE(runImportCalibration(empty, services));
    EXPECT_FALSE(runExportCalibration(empty, services));
    EXPECT_EQ(t.fileDialogs.requests().size(), 2);
}
