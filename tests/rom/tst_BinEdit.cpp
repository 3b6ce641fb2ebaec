#include "emulator/clsRTPCommandQueue.h"
#include "rom/clsBinEdit.h"
#include "settings/mdlErrors.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString writeFile(QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    writeBytes(path, bytes);
    return path;
}

} // namespace

TEST(BinEdit, LoadSplitsImageAndTrailerBySize)
{
    QTemporaryDir dir;
    struct Row {
        int fileSize, imageSize, trailerSize;
    };
    const Row rows[] = {
        {49151, 32768, 16383}, // just short of the large image: small image plus notes
        {49152, 49152, 0},
        {524288, 49152, 524288 - 49152},
        {100, 32768, 0}, // short file: the rest of the image stays as cleared
    };
    for (const Row& r : rows) {
        QByteArray bytes(r.fileSize, '\x5A');
        TBinEdit b;
        EXPECT_EQ(b.load(writeFile(dir, QStringLiteral("f.bin"), bytes)), r.fileSize);
        EXPECT_EQ(b.size(), r.imageSize) << r.fileSize;
        EXPECT_EQ(b.trailer().size(), r.trailerSize) << r.fileSize;
        EXPECT_EQ(b.fileBytes().left(std::min(r.fileSize, r.imageSize)), bytes.left(std::min(r.fileSize, r.imageSize)));
    }
}

TEST(BinEdit, LoadOfMissingFileClearsAndFolderFails)
{
    QTemporaryDir dir;
    TBinEdit b;
    b.writeByte(5, 1);
    EXPECT_EQ(b.load(dir.filePath(QStringLiteral("nope.bin"))), 0);
    EXPECT_EQ(b.readByte(5), 0);
    EXPECT_TRUE(b.isBlank(true));
    EXPECT_EQ(b.load(dir.path()), -1);
}

TEST(BinEdit, RangeErrorsCarryTheirTexts)
{
    TBinEdit b;
    try {
        (void)b.readByte(0x8000);
        FAIL();
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Index out of bounds"));
    }
    EXPECT_THROW((void)b.readWord(0x7FFF), EVexorError);
    try {
        b.writeWord(0x7FFF, 1);
        FAIL();
    } catch (const EVexorError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Internal pointer has reached end of file."));
    }
    EXPECT_THROW(b.writeByte(-1, 1), EVexorError);
    EXPECT_FALSE(b.canUndo());
}

TEST(BinEdit, SameValueWriteRecordsNothing)
{
    TRTPCommandQueue queue;
    TBinEdit b;
    b.subscribe(&queue);
    b.setAutoUpload(true);
    int notes = 0;
    b.setOnChange([&](TBinEdit&) { ++notes; });
    b.writeByte(10, 7);
    b.writeByte(10, 7);
    b.writeWord(20, 0);
    EXPECT_EQ(b.undoStack().position(), 1);
    EXPECT_EQ(queue.count(), 1);
    EXPECT_EQ(notes, 1);
}

TEST(BinEdit, WordWriteIsOneUndoStepInEitherByteOrder)
{
    for (bool little : {true, false}) {
        TBinEdit b;
        b.setLittleEndian(little);
        b.writeWord(0x100, 0x1234);
        EXPECT_EQ(b.readByte(0x100), little ? 0x34 : 0x12);
        EXPECT_EQ(b.readWord(0x100), 0x1234);
        EXPECT_EQ(b.undoStack().position(), 4); // marker, two bytes, marker
        b.undo();
        EXPECT_EQ(b.readWord(0x100), 0);
        EXPECT_FALSE(b.canUndo());
        b.redo();
        EXPECT_EQ(b.readWord(0x100), 0x1234);
    }
}

TEST(BinEdit, GroupsUndoWholeAndSkipOtherKinds)
{
    TBinEdit b;
    b.writeByte(1, 1);
    b.beginGroup(4);
    b.writeByte(2, 2);
    b.writeWord(3, 0x0303); // nested kind 1 group
    b.writeByte(5, 5);
    b.endGroup(4);
    b.undo();
    EXPECT_EQ(b.readByte(2), 0);
    EXPECT_EQ(b.readWord(3), 0);
    EXPECT_EQ(b.readByte(5), 0);
    EXPECT_EQ(b.readByte(1), 1);
    b.redo();
    EXPECT_EQ(b.readByte(5), 5);
    EXPECT_EQ(b.readWord(3), 0x0303);
    EXPECT_FALSE(b.canRedo());
}

// Redo used to walk to the array's capacity and replay stale records that a
// newer edit had discarded.
TEST(BinEdit, RedoStopsAtTheTopOfValidRecords)
{
    TBinEdit b;
    b.beginGroup(9);
    for (int i = 0; i < 10; ++i)
        b.writeByte(100 + i, 0xAA);
    b.endGroup(9);
    b.undo();
    b.undo();
    EXPECT_FALSE(b.canUndo());
    // A newer, still open group overwrites the start of the stale one; the
    // stale records and closing marker remain in the array beyond the top.
    b.beginGroup(9);
    b.writeByte(200, 1);
    b.undo();
    b.undo();
    EXPECT_FALSE(b.canUndo());
    b.redo();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(b.readByte(100 + i), 0) << i;
    EXPECT_EQ(b.readByte(200), 1);
    EXPECT_FALSE(b.canRedo());
}

TEST(BinEdit, UnclosedGroupUndoStopsAtTheBottom)
{
    TBinEdit b;
    b.writeByte(1, 1);
    b.beginGroup(3);
    b.writeByte(2, 2);
    b.undo(); // undoes the byte only
    EXPECT_EQ(b.readByte(2), 0);
    b.undo(); // marker of kind 3 without a partner: walks to the bottom
    EXPECT_EQ(b.readByte(1), 0);
    EXPECT_FALSE(b.canUndo());
}

TEST(BinEdit, ModifiedFollowsTheSavedPoint)
{
    TBinEdit b;
    EXPECT_FALSE(b.modified());
    for (int i = 0; i < 256; ++i)
        b.writeByte(i, 1);
    EXPECT_TRUE(b.modified()); // an 8-bit count of changes would wrap to clean here
    b.markSaved();
    EXPECT_FALSE(b.modified());
    EXPECT_FALSE(b.canUndo());
    b.writeByte(1, 2);
    EXPECT_TRUE(b.modified());
    b.undo();
    EXPECT_FALSE(b.modified());
    b.redo();
    EXPECT_TRUE(b.modified());

    // Saved in the middle of the history, then a different edit replaces the redo list.
    b.setModified(false);
    b.undo();
    EXPECT_TRUE(b.modified());
    b.writeByte(3, 3);
    b.undo();
    EXPECT_TRUE(b.modified()) << "the saved state left the history; nothing may read clean";

    TBinEdit s;
    s.writeString(0x10, QByteArrayLiteral("AB"));
    EXPECT_TRUE(s.modified()) << "a string write that changed bytes";
    TBinEdit u;
    u.suspend();
    u.writeByte(4, 4);
    u.resume();
    EXPECT_FALSE(u.canUndo());
    EXPECT_TRUE(u.modified()) << "an unrecorded change cannot be undone away";
}

TEST(BinEdit, StringWritesStopAt0x8000)
{
    TBinEdit b;
    b.setSize(TBinEdit::LargeImage);
    b.writeString(0x7FFE, QByteArrayLiteral("ABCD"));
    EXPECT_EQ(b.readByte(0x7FFE), 'A');
    EXPECT_EQ(b.readByte(0x7FFF), 'B');
    EXPECT_EQ(b.readByte(0x8000), 0);
    EXPECT_EQ(b.readString(0x7FFE, 10), QByteArrayLiteral("AB"));
    b.undo();
    EXPECT_EQ(b.readByte(0x7FFE), 0);
}

TEST(BinEdit, AutoUploadQueuesEditsUndoAndWholeImage)
{
    TRTPCommandQueue queue;
    TBinEdit b;
    b.subscribe(&queue);
    b.writeByte(1, 1);
    EXPECT_TRUE(queue.isEmpty());
    b.setAutoUpload(true);
    b.writeWord(2, 0x0102);
    ASSERT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.at(0).address, 2);
    EXPECT_EQ(queue.at(0).value, 2);
    b.undo();
    EXPECT_EQ(queue.count(), 4);
    EXPECT_EQ(queue.at(3).value, 0);
    b.redo();
    EXPECT_EQ(queue.count(), 6);
    EXPECT_EQ(queue.at(5).value, 1);
    b.queueWholeImage();
    EXPECT_EQ(queue.count(), 0x8000);
    b.setAutoUpload(false);
    EXPECT_TRUE(queue.isEmpty());
    // An unsubscribed queue hears nothing more.
    b.setAutoUpload(true);
    b.unsubscribe(&queue);
    b.writeByte(3, 9);
    EXPECT_TRUE(queue.isEmpty());
}
