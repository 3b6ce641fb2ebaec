// `vexor-cli edit` writes through the editor's save path: a read-only or
// unwritable output is refused with exit 2 and left exactly as it was.
#include "rom/mdlRomGen.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliResult {
    int exitCode;
    QByteArray err;
};

CliResult runCli(const QStringList& args, const QString& home)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VEXOR_HOME"), home);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("VEXOR_BIN") + QStringLiteral("/vexor-cli"), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(CliSave, EditRefusesOutputsItMustNotReplace)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.bin"));
    {
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(generateRom(TRomGenOptions{}));
    }
    const QString readOnly = dir.filePath(QStringLiteral("ro.bin"));
    {
        QFile f(readOnly);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    const QString folder = dir.filePath(QStringLiteral("folder.bin"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString underFile = in + QStringLiteral("/out.bin");

    struct Row {
        QString out;
        const char* errorPart;
    };
    const Row rows[] = {{readOnly, "read-only"}, {folder, ""}, {underFile, ""}};
    for (const Row& r : rows) {
        const CliResult run = runCli({QStringLiteral("edit"), in, QStringLiteral("-o"), r.out,
                                      QStringLiteral("--set-cell"), QStringLiteral("lcf:1:1=40")},
                                     dir.path());
        EXPECT_EQ(run.exitCode, 2) << r.out.toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_TRUE(run.err.contains(r.errorPart)) << run.err.toStdString();
    }
    EXPECT_EQ(readAll(readOnly), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("in.bin"), QStringLiteral("ro.bin")}));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace
