// The emulator operations headless against vexor-sim on a pseudo-terminal:
// put, get and verify through vexor-cli, then the simulator's memory dump
// compared with the image byte for byte.

#include "sim/mdlEmuSim.h"
#include "support/TestCli.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

QString simPath()
{
    const QString dir = qEnvironmentVariableIsSet("VEXOR_BIN") ? qEnvironmentVariable("VEXOR_BIN")
                                                               : QCoreApplication::applicationDirPath();
    return dir + QStringLiteral("/vexor-sim");
}

class TEmuSim {
public:
    explicit TEmuSim(const QStringList& args)
    {
        m_proc.start(simPath(), QStringList{QStringLiteral("emu")} + args);
        if (!m_proc.waitForStarted(10000))
            return;
        QDeadlineTimer deadline(10000);
        while (!m_proc.canReadLine() && !deadline.hasExpired())
            m_proc.waitForReadyRead(100);
        path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }
    ~TEmuSim()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }
    QString stop()
    {
        m_proc.terminate();
        m_proc.waitForFinished(10000);
        return QString::fromLocal8Bit(m_proc.readAllStandardOutput()).trimmed();
    }
    QString path;

private:
    QProcess m_proc;
};

QByteArray randomImage(int size, quint32 seed)
{
    QByteArray b(size, '\0');
    QRandomGenerator g(seed);
    for (auto& c : b)
        c = static_cast<char>(g.bounded(256));
    return b;
}

TEST(RTPSimulator, PutGetVerifyThroughTheCli)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir dir;
    struct Row {
        int hardware;
        char model;
        int size;
        QStringList faults;
    } rows[] = {{2, 'O', 0x8000, {}},
                {3, 'O', 0x10000, {}},
                {3, 'A', 0x8000, {QStringLiteral("--bad-sum"), QStringLiteral("5")}},
                {3, 'D', 0x8000, {QStringLiteral("--noise")}},
                {0, 'O', 0x400, {}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "hardware " << r.hardware << r.model << " size " << r.size);
        const QString dump = dir.filePath(QStringLiteral("dump%1%2").arg(r.hardware).arg(r.model));
        TEmuSim sim(QStringList{QStringLiteral("--hardware"), QString::number(r.hardware), QStringLiteral("--model"),
                                QString(QLatin1Char(r.model)), QStringLiteral("--dump"), dump} +
                    r.faults);
        ASSERT_FALSE(sim.path.isEmpty());
        const QByteArray image = randomImage(r.size, static_cast<quint32>(r.size + r.model));
        const QString rom = dir.filePath(QStringLiteral("image.bin"));
        QFile f(rom);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        const QStringList common{QStringLiteral("--port"),     sim.path,
                                 QStringLiteral("--hardware"), QString::number(r.hardware),
                                 QStringLiteral("--size"),     QString::number(r.size)};
        const TCliRun put = runCli(QStringList{QStringLiteral("rtp"), QStringLiteral("put"), rom} + common, dir.path());
        ASSERT_EQ(put.exitCode, 0) << put.errText().toStdString();
        EXPECT_TRUE(put.errText().contains(QStringLiteral("Writing data to RTP... 100%")));
        const QString got = dir.filePath(QStringLiteral("got.bin"));
        const TCliRun get = runCli(
            QStringList{QStringLiteral("rtp"), QStringLiteral("get"), QStringLiteral("-o"), got} + common, dir.path());
        ASSERT_EQ(get.exitCode, 0) << get.errText().toStdString();
        QFile g(got);
        ASSERT_TRUE(g.open(QIODevice::ReadOnly));
        EXPECT_EQ(g.readAll(), image);
        const TCliRun verify =
            runCli(QStringList{QStringLiteral("rtp"), QStringLiteral("verify"), rom} + common, dir.path());
        EXPECT_EQ(verify.exitCode, 0) << verify.errText().toStdString();
        EXPECT_TRUE(verify.outText().contains(QStringLiteral("Emulator data successfuly verified.")));

        sim.stop();
        QFile d(dump);
        ASSERT_TRUE(d.open(QIODevice::ReadOnly));
        const QByteArray memory = d.readAll();
        ASSERT_EQ(memory.size(), TEmuModel::MemorySize);
        TEmuModel layout(r.hardware, r.model);
        layout.memory() = memory;
        EXPECT_EQ(layout.imageView(r.size), image);
    }
}

TEST(RTPSimulator, SilenceEndsInNoConnectionAfterTheSlowRetry)
{
    if (!cliBuilt())
        GTEST_SKIP() << "vexor-cli not built";
    QTemporaryDir home;
    TEmuSim sim(
        {QStringLiteral("--hardware"), QStringLiteral("3"), QStringLiteral("--silence-after"), QStringLiteral("0")});
    ASSERT_FALSE(sim.path.isEmpty());
    const TCliRun run = runCli({QStringLiteral("rtp"), QStringLiteral("detect"), QStringLiteral("--port"), sim.path,
                                QStringLiteral("--hardware"), QStringLiteral("3"), QStringLiteral("--timeout"),
                                QStringLiteral("50"), QStringLiteral("--max-tries"), QStringLiteral("3")},
                               home.path());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errText().contains(QStringLiteral("No RTP connection was detected .")));
    // Four handshakes at 920000 baud, four more at 115200.
    EXPECT_TRUE(sim.stop().contains(QStringLiteral("commands=8 ")));
}

} // namespace
