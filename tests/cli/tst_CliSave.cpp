// `vexor-cli edit` writes through the editor's save path: a read-only or
// unwritable output is refused with exit 2 and left exactly as it was.
#include "rom/mdlRomGen.h"
#include "support/TestCli.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(CliSave, EditRefusesOutputsItMustNotReplace)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.bin"));
    writeBytes(in, generateRom(TRomGenOptions{}));
    const QString readOnly = dir.filePath(QStringLiteral("ro.bin"));
    writeBytes(readOnly, "keep me");
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
        const TCliRun run = runCli({QStringLiteral("edit"), in, QStringLiteral("-o"), r.out,
                                    QStringLiteral("--set-cell"), QStringLiteral("lcf:1:1=40")},
                                   dir.path());
        EXPECT_EQ(run.exitCode, 2) << r.out.toStdString();
        EXPECT_FALSE(run.err.isEmpty());
        EXPECT_TRUE(run.err.contains(r.errorPart)) << run.err.toStdString();
    }
    EXPECT_EQ(readBytes(readOnly), QByteArray("keep me"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("in.bin"), QStringLiteral("ro.bin")}));
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace
