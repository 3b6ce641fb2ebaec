// Every file of tests/fuzz/corpus/<target>/ (seeds and every input that ever
// crashed, hung or misbehaved) through its fuzz entry point, under the
// sanitizers of this build. An input that runs past its time limit is a hang:
// the alarm stops the program naming the file.

#include "fuzz/mdlFuzzEntries.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr unsigned LimitSeconds = 20; // sanitized Debug build on a busy CI machine

char g_current[512];

void onAlarm(int)
{
    const char head[] = "corpus replay: time limit exceeded by ";
    (void)!write(STDERR_FILENO, head, sizeof head - 1);
    (void)!write(STDERR_FILENO, g_current, strnlen(g_current, sizeof g_current));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(3);
}

class CorpusReplay : public testing::TestWithParam<const char*> {};

TEST_P(CorpusReplay, EveryInputRunsCleanWithinItsLimit)
{
    const TFuzzTarget* target = findFuzzTarget(GetParam());
    ASSERT_NE(target, nullptr);
    const QDir dir(QStringLiteral(VEXOR_FUZZ_CORPUS "/") + QLatin1String(GetParam()));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no corpus in " << dir.path().toStdString();
    auto old = std::signal(SIGALRM, onAlarm);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = f.readAll();
        std::strncpy(g_current, f.fileName().toLocal8Bit().constData(), sizeof g_current - 1);
        QElapsedTimer t;
        t.start();
        alarm(LimitSeconds);
        target->entry(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        alarm(0);
        EXPECT_LT(t.elapsed(), LimitSeconds * 1000) << name.toStdString();
    }
    std::signal(SIGALRM, old);
}

std::vector<const char*> targetNames()
{
    std::vector<const char*> names;
    for (const TFuzzTarget& t : fuzzTargets())
        names.push_back(t.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, testing::ValuesIn(targetNames()),
                         [](const testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

} // namespace
