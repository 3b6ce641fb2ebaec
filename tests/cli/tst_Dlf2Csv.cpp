// vexor-cli dlf2csv run as a user runs it: units from vexor.ini of the
// settings folder, the ROM's sensor and switches, durations from the file's
// first sample, and the refusals.

#include "datalog/mdlCsvExport.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "sim/mdlEcuSim.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Dlf2Csv : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid() && work.isValid()); }

    TCliRun cli(const QStringList& args) const { return runCli(args, home.path()); }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = work.filePath(name);
        writeBytes(path, bytes);
        return path;
    }

    QTemporaryDir home;
    QTemporaryDir work;
};

QByteArray drive(int samples, quint32 firstStamp)
{
    TEngineModel engine;
    QByteArray out;
    for (int i = 0; i < samples; ++i) {
        DatalogSample s = engine.sampleAt(quint64(i) * 250);
        s.setTimeStamp(firstStamp + quint32(i) * 250);
        out += s.toBytes();
    }
    return out;
}

} // namespace

TEST_F(Dlf2Csv, UnitsFromTheSettingsAndTheRomsSensor)
{
    {
        QFile ini(home.filePath(QStringLiteral("vexor.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[General Settings]\r\nShowMph=0\r\nShowPsi=0\r\nShowFahrenheit=0\r\nAtmospheric=1000\r\n"
                  "StoichValue=14.5\r\nIgnitionOffset=2\r\n");
    }
    TRomGenOptions o;
    o.family = QStringLiteral("p28");
    const QByteArray image = generateRom(o);
    const QString rom = write(QStringLiteral("demo.bin"), image);
    const QByteArray records = drive(1200, 4000000000u); // the tick counter wraps inside the file
    const QString dlf = write(QStringLiteral("drive.dlf"), records);
    const QString out = work.filePath(QStringLiteral("drive.csv"));

    const TCliRun r = cli({QStringLiteral("dlf2csv"), dlf, QStringLiteral("--rom"), rom, QStringLiteral("-o"), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray csv = readBytes(out);
    EXPECT_TRUE(csv.startsWith("Duration,\"Engine Speed (RPM)\",\"Vehicle Speed (Kph)\",Gear,"
                               "\"Manifold Pressure (mbar)\",\"Boost (kg/cm^2)\","));
    EXPECT_NE(csv.indexOf("\"Air Temperature (C)\",\"Coolant Temperature (C)\""), -1);
    EXPECT_EQ(csv.count("\r\n"), 1201);

    // The same bytes as the program's export with those settings.
    TRom model;
    model.IgnitionOffset = 2;
    model.buffer().loadBytes(image);
    ASSERT_EQ(model.loadFromBuffer(), TRom::LoadResult::Ok);
    TCsvOptions expected;
    expected.units.mph = expected.units.psi = expected.units.fahrenheit = false;
    expected.units.atmospheric = 1000;
    expected.units.stoich = 14.5f;
    expected.ctx = sampleContextFor(&model);
    expected.lambda.fill(0.0f); // no curve in the settings: lambda 0 plus offset 0
    expected.startTime = 4000000000u;
    const QString check = work.filePath(QStringLiteral("check.csv"));
    exportCsvFile(check, records, expected);
    EXPECT_EQ(csv, readBytes(check));
    const QList<QByteArray> lines = csv.split('\n');
    EXPECT_TRUE(lines.at(1).startsWith("\"00:00:00.000\","));
    EXPECT_TRUE(lines.at(1200).startsWith("\"00:04:59.750\",")) << lines.at(1200).toStdString();
}

TEST_F(Dlf2Csv, Refusals)
{
    const QString empty = write(QStringLiteral("empty.dlf"), QByteArray());
    const QString out = work.filePath(QStringLiteral("out.csv"));
    TCliRun r = cli({QStringLiteral("dlf2csv"), empty, QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFile::exists(out)) << "an empty recording writes no file";

    r = cli({QStringLiteral("dlf2csv"), work.filePath(QStringLiteral("missing.dlf")), QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(r.err.isEmpty());

    const QString dlf = write(QStringLiteral("d.dlf"), drive(3, 0));
    r = cli({QStringLiteral("dlf2csv"), dlf});
    EXPECT_EQ(r.exitCode, 1) << "no output named";

    r = cli({QStringLiteral("dlf2csv"), dlf, QStringLiteral("--rom"), work.filePath(QStringLiteral("none.bin")),
             QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(QFile::exists(out));

    // Without a ROM the sensor-form MAP conversion and no gear table are used.
    r = cli({QStringLiteral("dlf2csv"), dlf, QStringLiteral("-o"), out});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(readBytes(out).count("\r\n"), 4);
}
