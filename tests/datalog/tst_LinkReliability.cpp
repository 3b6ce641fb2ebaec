// The datalog link end to end: vexor-sim serves a simulated ECU on a
// pseudo-terminal, the connection talks to it through the real serial-port
// implementation, and what was recorded is compared with what the simulator
// says it sent.

#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "sim/mdlEcuSim.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>

namespace {

QString binary(const QString& name)
{
    const QString dir = qEnvironmentVariableIsSet("VEXOR_BIN") ? qEnvironmentVariable("VEXOR_BIN")
                                                               : QCoreApplication::applicationDirPath();
    return dir + QLatin1Char('/') + name;
}

// A simulator child process; its sent-sample log is read after it stopped.
class TSim {
public:
    TSim(int protocol, const QStringList& extra, const QString& sentLog)
    {
        m_proc.setProgram(binary(QStringLiteral("vexor-sim")));
        m_proc.setArguments(QStringList{QStringLiteral("ecu"), QStringLiteral("--protocol"), QString::number(protocol),
                                        QStringLiteral("--sent-log"), sentLog} +
                            extra);
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.start();
        if (!m_proc.waitForStarted(10000))
            return;
        QDeadlineTimer deadline(10000);
        while (!m_proc.canReadLine() && !deadline.hasExpired())
            m_proc.waitForReadyRead(100);
        m_path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }
    ~TSim()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }
    [[nodiscard]] const QString& path() const { return m_path; }
    // Stops the simulator and returns its closing statistics line.
    QString stop()
    {
        m_proc.terminate();
        m_proc.waitForFinished(10000);
        return QString::fromLocal8Bit(m_proc.readAllStandardOutput()).trimmed();
    }
    static qint64 stat(const QString& line, const QString& key)
    {
        const auto m = QRegularExpression(key + QStringLiteral("=(\\d+)")).match(line);
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    }

private:
    QProcess m_proc;
    QString m_path;
};

std::vector<DatalogSample> readLog(const QString& path)
{
    std::vector<DatalogSample> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray all = f.readAll();
    for (qsizetype at = 0; at + DatalogSample::Size <= all.size(); at += DatalogSample::Size)
        out.push_back(DatalogSample::fromBytes(all.constData() + at));
    return out;
}

// The host side: the real port, the real clock and timers.
struct THost {
    TSystemClock clock;
    TQtTimerFactory timers;
    TQtSerialPort port;
    TScriptedMessages messages;
    TTunerForm tuner{clock, timers, &port, &messages};
    TCuddleCore store{clock};
    QEventLoop loop;
    qint64 stopAt = -1;

    THost(int protocol, const QString& device, qint32 baud, int maxTries = 3)
    {
        TTunerSettings s;
        s.protocolIndex = protocol;
        s.port.portName = device;
        s.port.baudRate = baud;
        s.maxTries = maxTries;
        tuner.setSettings(s);
        messages.setDefaultAnswer(mrOk);
        QObject::connect(&tuner, &TTunerForm::sampleReady, [this](const DatalogSample& d) {
            store.append(d);
            if (stopAt > 0 && store.count() >= stopAt) {
                tuner.close();
                loop.quit();
            }
        });
        QObject::connect(&tuner, &TTunerForm::connectionEnded, &loop, &QEventLoop::quit);
    }
    // Runs until `samples` were recorded, the link ended or the time ran out.
    void run(qint64 samples, int timeoutMs)
    {
        stopAt = samples;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(timeoutMs);
        tuner.open();
        if (tuner.isActive())
            loop.exec();
    }
};

void expectSameChannels(const std::vector<DatalogSample>& sent, const TCuddleCore& store, qint64 count)
{
    ASSERT_GE(static_cast<qint64>(sent.size()), count);
    for (qint64 i = 0; i < count; ++i) {
        DatalogSample got;
        ASSERT_TRUE(store.readAt(i, got));
        if (!got.sameChannels(sent[static_cast<size_t>(i)])) {
            ADD_FAILURE() << "sample " << i << " differs: got " << got.toBytes().left(36).toHex().constData()
                          << " sent " << sent[static_cast<size_t>(i)].toBytes().left(36).toHex().constData();
            return;
        }
    }
}

class LinkReliability : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(binary(QStringLiteral("vexor-sim")))) << "build vexor-sim first";
        ASSERT_TRUE(dir.isValid());
    }
    QTemporaryDir dir;
};

} // namespace

TEST_P(LinkReliability, RecordsEverySampleSentByteForByte)
{
    const int protocol = GetParam();
    const QString log = dir.filePath(QStringLiteral("sent.dlf"));
    TSim sim(protocol, {QStringLiteral("--baud"), QStringLiteral("921600")}, log);
    ASSERT_FALSE(sim.path().isEmpty());
    THost host(protocol, sim.path(), 921600);
    host.run(2000, 120000);
    const QString stats = sim.stop();
    ASSERT_EQ(host.store.count(), 2000) << host.messages.count();
    EXPECT_EQ(host.messages.count(), 0);
    const auto sent = readLog(log);
    // The link was closed right after the 2000th sample; at most a reply to
    // the request already on its way can follow.
    EXPECT_LE(sent.size(), 2001u) << stats.toStdString();
    expectSameChannels(sent, host.store, 2000);
    EXPECT_EQ(host.tuner.stats().corruptFrames, 0u);
    // Time stamps never go backwards.
    DatalogSample prev, cur;
    host.store.readAt(0, prev);
    for (qint64 i = 1; i < host.store.count(); ++i) {
        host.store.readAt(i, cur);
        ASSERT_GE(static_cast<qint32>(cur.timeStamp() - prev.timeStamp()), 0) << i;
        prev = cur;
    }
}

TEST_P(LinkReliability, NoiseBadChecksumsAndDropsNeverCorruptASample)
{
    const int protocol = GetParam();
    const QString log = dir.filePath(QStringLiteral("sent.dlf"));
    const QStringList faults = protocol == 0 ? QStringList{QStringLiteral("--drop"), QStringLiteral("150")}
                                             : QStringList{QStringLiteral("--noise"),        QStringLiteral("3"),
                                                           QStringLiteral("--noise-bytes"),  QStringLiteral("23"),
                                                           QStringLiteral("--bad-checksum"), QStringLiteral("7"),
                                                           QStringLiteral("--drop"),         QStringLiteral("17")};
    TSim sim(protocol, QStringList{QStringLiteral("--baud"), QStringLiteral("921600")} + faults, log);
    ASSERT_FALSE(sim.path().isEmpty());
    THost host(protocol, sim.path(), 921600);
    const qint64 want = protocol == 0 ? 150 : 250;
    host.run(want, 120000);
    const QString stats = sim.stop();
    ASSERT_EQ(host.store.count(), want) << "the link kept streaming; " << stats.toStdString();
    EXPECT_EQ(host.messages.count(), 0);
    // Every recorded sample is one the simulator sent intact, in order: no
    // corrupted frame got through and none was skipped.
    expectSameChannels(readLog(log), host.store, want);
    EXPECT_GT(TSim::stat(stats, QStringLiteral("dropped")), 0);
    if (protocol != 0) {
        EXPECT_GT(TSim::stat(stats, QStringLiteral("corrupt")), 0);
        EXPECT_GT(TSim::stat(stats, QStringLiteral("noise")), 0);
        EXPECT_EQ(host.tuner.stats().corruptFrames, static_cast<quint64>(TSim::stat(stats, QStringLiteral("corrupt"))));
        EXPECT_GT(host.tuner.stats().noiseBytes, 0u);
    }
}

TEST_P(LinkReliability, SilenceEndsWithTimeOutAfterExactlyTheTries)
{
    const int protocol = GetParam();
    const QString log = dir.filePath(QStringLiteral("sent.dlf"));
    TSim sim(
        protocol,
        {QStringLiteral("--baud"), QStringLiteral("921600"), QStringLiteral("--silence-after"), QStringLiteral("60")},
        log);
    ASSERT_FALSE(sim.path().isEmpty());
    THost host(protocol, sim.path(), 921600, 3);
    host.run(-1, 30000);
    EXPECT_FALSE(host.tuner.isActive());
    ASSERT_EQ(host.messages.count(), 1);
    EXPECT_EQ(host.messages.last().text, QStringLiteral("Connection timed out."));
    EXPECT_EQ(host.messages.last().title, QStringLiteral("Datalog Error"));
    const QString stats = sim.stop();
    // MaxTries 3: the unanswered request and its three resends, nothing more.
    EXPECT_EQ(TSim::stat(stats, QStringLiteral("unanswered")), 4) << stats.toStdString();
    EXPECT_EQ(TSim::stat(stats, QStringLiteral("requests")), 64) << stats.toStdString();
    expectSameChannels(readLog(log), host.store, host.store.count());
}

// vexor-cli log used to take its tries from its flags only, never from vexor.ini.
TEST(LinkCli, TriesComeFromTheSettingsAndTheFlagOverridesThem)
{
    const struct {
        const char* flag;
        qint64 unanswered; // the request and its resends
    } rows[] = {{nullptr, 2}, {"2", 3}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.flag ? r.flag : "from vexor.ini");
        QTemporaryDir dir;
        const QString home = dir.filePath(QStringLiteral("home"));
        ASSERT_TRUE(QDir().mkpath(home));
        writeBytes(home + QStringLiteral("/vexor.ini"), "[Tuner Connection Settings]\nTimeout=100\nMaxTries=1\n");
        TSim sim(1,
                 {QStringLiteral("--baud"), QStringLiteral("460800"), QStringLiteral("--silence-after"),
                  QStringLiteral("20")},
                 dir.filePath(QStringLiteral("sent.dlf")));
        ASSERT_FALSE(sim.path().isEmpty());
        QStringList args{QStringLiteral("log"),
                         QStringLiteral("--port"),
                         sim.path(),
                         QStringLiteral("--protocol"),
                         QStringLiteral("1"),
                         QStringLiteral("--baud"),
                         QStringLiteral("460800"),
                         QStringLiteral("--seconds"),
                         QStringLiteral("60"),
                         QStringLiteral("-o"),
                         dir.filePath(QStringLiteral("out.dlf"))};
        if (r.flag)
            args << QStringLiteral("--max-tries") << QString::fromLatin1(r.flag);
        const TCliRun run = runCli(args, home, 30000);
        EXPECT_EQ(run.exitCode, 2) << run.err.constData();
        const QString stats = sim.stop();
        EXPECT_EQ(TSim::stat(stats, QStringLiteral("unanswered")), r.unanswered) << stats.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, LinkReliability, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& i) { return "Protocol" + std::to_string(i.param); });

TEST(LinkCrash, KilledMidRecordingLeavesALoadableRecoveryFile)
{
    ASSERT_TRUE(QFile::exists(binary(QStringLiteral("vexor-cli"))));
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sent.dlf"));
    TSim sim(1, {QStringLiteral("--baud"), QStringLiteral("460800")}, log);
    ASSERT_FALSE(sim.path().isEmpty());

    const QString home = dir.filePath(QStringLiteral("home"));
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VEXOR_HOME"), home);
    cli.setProcessEnvironment(env);
    const QString out = dir.filePath(QStringLiteral("out.dlf"));
    cli.start(binary(QStringLiteral("vexor-cli")),
              {QStringLiteral("log"), QStringLiteral("--port"), sim.path(), QStringLiteral("--protocol"),
               QStringLiteral("1"), QStringLiteral("--baud"), QStringLiteral("460800"), QStringLiteral("--seconds"),
               QStringLiteral("60"), QStringLiteral("-o"), out, QStringLiteral("--recovery-ms"),
               QStringLiteral("300")});
    ASSERT_TRUE(cli.waitForStarted(10000));
    const QString recovery = home + QStringLiteral("/~temp.dlf");
    QDeadlineTimer deadline(30000);
    while (!QFile::exists(recovery) && !deadline.hasExpired())
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(recovery)) << cli.readAllStandardError().constData();
    QThread::msleep(700); // a few more rewrites while it keeps recording
    ::kill(static_cast<pid_t>(cli.processId()), SIGKILL);
    cli.waitForFinished(10000);
    sim.stop();

    EXPECT_FALSE(QFile::exists(out));
    TManualClock clock;
    TCuddleCore store(clock);
    store.load(recovery);
    EXPECT_GT(store.count(), 10);
    EXPECT_EQ(QFileInfo(recovery).size(), store.count() * DatalogSample::Size) << "whole records only";
    expectSameChannels(readLog(log), store, store.count());
}

TEST(LinkPty, RefusedLineSettingsAreWarningsNotFailures)
{
    // Pseudo-terminals refuse parity, 7 data bits and the modem lines; the
    // connection must still run.
    QTemporaryDir dir;
    TSim sim(1, {QStringLiteral("--baud"), QStringLiteral("921600")}, dir.filePath(QStringLiteral("sent.dlf")));
    ASSERT_FALSE(sim.path().isEmpty());
    THost host(1, sim.path(), 921600);
    TTunerSettings s = host.tuner.settings();
    s.port.parity = TParity::Even;
    s.port.stopBits = TStopBits::OneAndHalf;
    host.tuner.setSettings(s);
    QStringList warnings;
    QObject::connect(&host.tuner, &TTunerForm::warning, [&](const QString& w) { warnings << w; });
    host.run(20, 30000);
    EXPECT_EQ(host.store.count(), 20);
    EXPECT_EQ(host.messages.count(), 0);
    ASSERT_TRUE(host.port.open());
    host.port.setDtr(true); // refused or not: never fatal
    host.port.setRts(false);
    EXPECT_TRUE(host.port.isOpen());
    EXPECT_FALSE(warnings.isEmpty()) << "a pseudo-terminal refuses even parity";
    for (const QString& w : warnings)
        EXPECT_TRUE(w.contains(sim.path())) << w.toStdString();
}

TEST(LinkPty, MissingDeviceIsABadPort)
{
    THost host(1, QStringLiteral("/dev/pts/does-not-exist"), 38400);
    host.run(1, 5000);
    ASSERT_EQ(host.messages.count(), 1);
    EXPECT_EQ(host.messages.last().text, QStringLiteral("/dev/pts/does-not-exist failed to open."));
    EXPECT_EQ(host.messages.last().title, QStringLiteral("Bad Port"));
    EXPECT_FALSE(host.tuner.isActive());
}
