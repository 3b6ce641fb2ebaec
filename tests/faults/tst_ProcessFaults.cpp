// The command-line tool killed at random moments (seeded, so a failure
// repeats) and a serial line whose far end goes away mid-session. A killed
// write leaves the old file or the whole new one, never a mix; a vanished
// line ends the connection with a message and keeps what was recorded.

#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <random>

namespace {

QString program(const char* name)
{
    return QFileInfo(cliPath()).absolutePath() + QLatin1Char('/') + QLatin1String(name);
}

// vexor-sim serving a simulated ECU on a pseudo-terminal.
class TEcuSimProcess {
public:
    explicit TEcuSimProcess(int protocol)
    {
        m_proc.start(program("vexor-sim"),
                     {QStringLiteral("ecu"), QStringLiteral("--protocol"), QString::number(protocol),
                      QStringLiteral("--baud"), QStringLiteral("460800")});
        if (!m_proc.waitForStarted(10000))
            return;
        QDeadlineTimer deadline(10000);
        while (!m_proc.canReadLine() && !deadline.hasExpired())
            m_proc.waitForReadyRead(100);
        m_path = QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }
    ~TEcuSimProcess() { kill(); }
    [[nodiscard]] const QString& path() const { return m_path; }
    void kill()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_proc.processId()), SIGKILL);
            m_proc.waitForFinished(5000);
        }
    }

private:
    QProcess m_proc;
    QString m_path;
};

// Starts the tool and kills it after `delayMs`; false when it could not start.
bool runAndKill(const QStringList& args, const QString& home, int delayMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VEXOR_HOME"), home);
    p.setProcessEnvironment(env);
    p.start(cliPath(), args);
    if (!p.waitForStarted(10000))
        return false;
    QThread::msleep(static_cast<unsigned long>(delayMs));
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
    p.waitForFinished(10000);
    return true;
}

TEST(ProcessFaults, KilledEditOrExportLeavesTheOldOrTheWholeNewFile)
{
    ASSERT_TRUE(cliBuilt());
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString rom = dir.filePath(QStringLiteral("in.bin"));
    writeBytes(rom, generateRom(TRomGenOptions{}));
    const QByteArray old = QByteArray("[Old]\r\nkept=1\r\n") + QByteArray(40000, 'o');
    struct Row {
        const char* name;
        const char* out;
        QStringList args; // the output path is appended
    } rows[] = {
        {"edit",
         "out.bin",
         {QStringLiteral("edit"), rom, QStringLiteral("--set-cell"), QStringLiteral("lcf:0:0=20"),
          QStringLiteral("--set"), QStringLiteral("rev_limit=8000"), QStringLiteral("-o")}},
        {"export ct2", "out.ct2", {QStringLiteral("export"), rom}},
        {"export ctv", "out.ctv", {QStringLiteral("export"), rom}},
    };
    std::mt19937 random(20261209);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString out = dir.filePath(QLatin1String(r.out));
        // The whole new file, and how long a run takes on this machine.
        writeBytes(out, old);
        QElapsedTimer t;
        t.start();
        const TCliRun done = runCli(r.args + QStringList{out}, home);
        const int runMs = static_cast<int>(t.elapsed());
        ASSERT_EQ(done.exitCode, 0) << done.errText().toStdString();
        const QByteArray whole = readBytes(out);
        ASSERT_NE(whole, old);
        std::uniform_int_distribution<int> moment(0, runMs + 20);
        for (int i = 0; i < 4; ++i) {
            writeBytes(out, old);
            const int at = moment(random);
            ASSERT_TRUE(runAndKill(r.args + QStringList{out}, home, at));
            const QByteArray now = readBytes(out);
            EXPECT_TRUE(now == old || now == whole) << "killed after " << at << " ms: " << now.size() << " bytes";
        }
    }
}

TEST(ProcessFaults, KilledLogLeavesWholeRecordsOnly)
{
    ASSERT_TRUE(cliBuilt());
    std::mt19937 random(7);
    std::uniform_int_distribution<int> moment(100, 1500);
    for (int i = 0; i < 3; ++i) {
        QTemporaryDir dir;
        const QString home = dir.filePath(QStringLiteral("home"));
        TEcuSimProcess sim(1);
        ASSERT_FALSE(sim.path().isEmpty());
        const QString out = dir.filePath(QStringLiteral("out.dlf"));
        const int at = moment(random);
        ASSERT_TRUE(runAndKill({QStringLiteral("log"), QStringLiteral("--port"), sim.path(),
                                QStringLiteral("--protocol"), QStringLiteral("1"), QStringLiteral("--baud"),
                                QStringLiteral("460800"), QStringLiteral("--samples"), QStringLiteral("200"),
                                QStringLiteral("--recovery-ms"), QStringLiteral("100"), QStringLiteral("-o"), out},
                               home, at));
        SCOPED_TRACE(testing::Message() << "killed after " << at << " ms");
        for (const QString& f : {out, home + QStringLiteral("/~temp.dlf")}) {
            if (!QFileInfo::exists(f))
                continue;
            EXPECT_EQ(QFileInfo(f).size() % DatalogSample::Size, 0) << f.toStdString();
            TManualClock clock;
            TCuddleCore store(clock);
            EXPECT_NO_THROW(store.load(f));
        }
    }
}

TEST(ProcessFaults, VanishedTerminalEndsTheConnectionAndKeepsTheRecording)
{
    for (int protocol : {0, 1}) {
        SCOPED_TRACE(protocol);
        TEcuSimProcess sim(protocol);
        ASSERT_FALSE(sim.path().isEmpty());
        TSystemClock clock;
        TQtTimerFactory timers;
        TQtSerialPort port;
        TScriptedMessages messages;
        messages.setDefaultAnswer(mrOk);
        TTunerForm tuner(clock, timers, &port, &messages);
        TTunerSettings s;
        s.protocolIndex = protocol;
        s.port.portName = sim.path();
        s.port.baudRate = 460800;
        tuner.setSettings(s);
        TCuddleCore store(clock);
        QEventLoop loop;
        QObject::connect(&tuner, &TTunerForm::sampleReady, [&](const DatalogSample& d) {
            store.append(d);
            if (store.count() == 20)
                loop.quit();
        });
        QObject::connect(&tuner, &TTunerForm::connectionEnded, &loop, &QEventLoop::quit);
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(30000);
        tuner.open();
        loop.exec();
        ASSERT_EQ(store.count(), 20) << "streaming before the line goes";
        sim.kill(); // the far end of the terminal closes mid-session
        loop.exec();
        EXPECT_FALSE(tuner.isActive()) << "the connection ended";
        EXPECT_EQ(messages.count(), 1);
        EXPECT_GE(store.count(), 20) << "the recording stays";
        tuner.close();
    }
}

} // namespace
