// vexor-cli autotune end to end: the simulator's engine runs rich in known
// cells, its log goes through the command, and exactly those cells of the
// written image come out leaner by the measured ratio.

#include "datalog/mdlLiveCell.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "sim/mdlEcuSim.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class AutoTuneCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid() && work.isValid());
        if (!cliBuilt())
            GTEST_SKIP() << "vexor-cli not built";
        // No wideband.ini in the settings folder: the shipped one applies.
        writeBytes(home.filePath(QStringLiteral("vexor.ini")),
                   "[Tuning Conditions]\r\nFilterData=0\r\nMapSmooth=0\r\nGearSet=012345\r\n");
    }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = work.filePath(name);
        writeBytes(path, bytes);
        return path;
    }
    QTemporaryDir home;
    QTemporaryDir work;
};

QByteArray drive(const TEngineModel& engine, int samples)
{
    QByteArray out;
    for (int i = 0; i < samples; ++i)
        out += engine.sampleAt(quint64(i) * 50).toBytes();
    return out;
}

} // namespace

TEST_F(AutoTuneCli, RichCellsComeOutLeanerByTheMeasuredRatio)
{
    TRomGenOptions o;
    o.family = QStringLiteral("p28");
    const QByteArray image = generateRom(o);
    const QString romPath = write(QStringLiteral("rom.bin"), image);
    TEngineModel engine;
    constexpr double Rich = 0.9;
    engine.richCells = {{6, 6, false, Rich}, {6, 5, false, Rich}}; // the two part-throttle cruises
    const QByteArray log = drive(engine, 2400);                    // two loops
    const QString logPath = write(QStringLiteral("drive.dlf"), log);
    const QString outPath = work.filePath(QStringLiteral("tuned.bin"));

    const TCliRun run =
        runCli({QStringLiteral("autotune"), romPath, logPath, QStringLiteral("-o"), outPath, QStringLiteral("--json")},
               home.path());
    ASSERT_EQ(run.exitCode, 0) << run.errText().toStdString();
    const QJsonObject j = run.json();
    EXPECT_EQ(j[QStringLiteral("samples")].toInt(), 2400);
    for (const char* key :
         {"throttle", "lambda", "rpm", "load", "temp", "gear", "transient", "full", "untunable", "outside"})
        EXPECT_TRUE(j[QStringLiteral("rejected")].toObject().contains(QLatin1String(key))) << key;
    EXPECT_GT(j[QStringLiteral("accepted")].toInt(), 0);
    EXPECT_GT(j[QStringLiteral("changed")].toObject()[QStringLiteral("low")].toInt(), 0);

    TRom before, after;
    before.buffer().loadBytes(image);
    ASSERT_EQ(before.loadFromBuffer(), TRom::LoadResult::Ok);
    ASSERT_EQ(after.loadFile(outPath), TRom::LoadResult::Ok);
    EXPECT_EQ(after.checksum(), 0) << "checksum fixed";

    // Which tuner cells saw only rich exhaust, as the engine model made it.
    const TSampleContext ctx = sampleContextFor(&before);
    QHash<int, QSet<bool>> richness; // low-cam cell -> rich or not, over its part-throttle samples
    for (int i = 0; i < log.size() / DatalogSample::Size; ++i) {
        const DatalogSample s = DatalogSample::fromBytes(log.constData() + i * DatalogSample::Size);
        const TEngineState st = engine.stateAt(quint64(i) * 50);
        const TLiveCell cell = findSampleCell(s, &before, 0, ctx);
        if (cell.Valid && !cell.HighCam && cell.Col < before.columns(0) && cell.Row < before.rows(0) &&
            st.throttlePct >= 5 && st.throttlePct <= 90 && st.injectorMs > 0)
            richness[cell.Col * 100 + cell.Row].insert(s.u8(DatalogSample::O2) !=
                                                       quint8(std::lround(sensorVoltsToByte(2.5))));
    }
    const double measured = 0.5 + 0.2 * sensorByteToVolts(std::lround(sensorVoltsToByte((Rich - 0.5) / 0.2)));
    int richCells = 0;
    for (auto it = richness.cbegin(); it != richness.cend(); ++it) {
        const int col = it.key() / 100, row = it.key() % 100;
        const double was = before.tableValue(col, row, tkLowFuel), now = after.tableValue(col, row, tkLowFuel);
        if (it.value() == QSet<bool>{true}) {
            ++richCells;
            EXPECT_NEAR(now / was, 1 / (1 - (measured - 1)), 0.03) << col << "," << row;
        } else if (it.value() == QSet<bool>{false}) {
            EXPECT_NEAR(now / was, 1.0, 0.03) << "stoichiometric cell " << col << "," << row;
        }
    }
    EXPECT_GE(richCells, 1);
}

TEST_F(AutoTuneCli, RefusesWithoutDataOrTargets)
{
    struct Row {
        const char* family;
        int samples; // of idle only: throttle closed, nothing qualifies
        const char* message;
    } rows[] = {
        {"p28", 100, "No data was recorded. Auto-tune process will be halted."},
        {"pr3", 100, "This ROM has no target lambda table."},
    };
    for (const Row& r : rows) {
        TRomGenOptions o;
        o.family = QLatin1String(r.family);
        const QString romPath = write(QStringLiteral("rom.bin"), generateRom(o));
        const QString logPath = write(QStringLiteral("idle.dlf"), drive(TEngineModel{}, r.samples));
        const QString outPath = work.filePath(QStringLiteral("out.bin"));
        const TCliRun run =
            runCli({QStringLiteral("autotune"), romPath, logPath, QStringLiteral("-o"), outPath}, home.path());
        EXPECT_EQ(run.exitCode, 2) << r.family;
        EXPECT_TRUE(run.errText().contains(QLatin1String(r.message))) << run.errText().toStdString();
        EXPECT_FALSE(QFile::exists(outPath)) << r.family;
    }
}
