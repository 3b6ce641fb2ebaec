// The ROM file flows end to end: real files in temporary folders, every
// question answered by the scripted message service and asserted word for word.
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlErrors.h"
#include "settings/mdlSettingsStore.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString ChangesText = QStringLiteral("'%1' has been modified.\r\rDo you wish to save modifications?");
const QString ReadOnlyText =
    QStringLiteral("\r\n\r\nCannot overwrite this file. Would you like to save the changes in another file?");
const QString OutsideText =
    QStringLiteral("This file has been modified outside of Vexor. Would you like to reload the file?");
const TMsgButtons YesNoCancel = TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel;
const TMsgButtons YesNo = TMsgButton::Yes | TMsgButton::No;

int imageSum(const QByteArray& file, int imageSize = TBinEdit::SmallImage)
{
    int sum = 0;
    for (int i = 0; i < imageSize && i < file.size(); ++i)
        sum += quint8(file[i]);
    return sum & 0xFF;
}

void setModifiedTime(const QString& path, const QDateTime& t)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(t, QFileDevice::FileModificationTime));
}

void makeReadOnly(const QString& path)
{
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

class RomDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        doc = std::make_unique<TRomDocument>(rom, svc.services());
        doc->events.refresh = [this] { ++refreshes; };
        doc->events.recentChanged = [this] { log << QStringLiteral("recent"); };
        doc->events.romClosed = [this] { log << QStringLiteral("closed"); };
        doc->events.romLoaded = [this] { log << QStringLiteral("loaded"); };
        doc->events.runRomHandlers = [this] {
            log << QStringLiteral("handlers");
            EXPECT_TRUE(doc->loading());
        };
        doc->events.tableShape = [this](int rows, int columns) {
            log << QStringLiteral("shape %1x%2").arg(rows).arg(columns);
        };
        doc->events.onVexorAuLoaded = [this] { log << QStringLiteral("upgrade"); };
        doc->events.currentTime = [] { return QTime(14, 30, 5); };
    }

    void TearDown() override
    {
        EXPECT_FALSE(svc.messages.pending()) << "answers left unused";
        // Permissions of read-only test files must not stop the folder's removal.
        QDir d(dir.path());
        for (const QFileInfo& fi : d.entryInfoList(QDir::Files))
            QFile::setPermissions(fi.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    QString makeRom(const QString& name, const QByteArray& notes = {}, const QString& family = QStringLiteral("p28"),
                    quint32 seed = 1)
    {
        TRomGenOptions o;
        o.family = family;
        o.notes = notes;
        o.seed = seed;
        const QString path = dir.filePath(name);
        writeBytes(path, generateRom(o));
        return path;
    }

    // Opens through the Open flow with the dialog answering `path`.
    void openRom(const QString& path)
    {
        svc.fileDialogs.answer(path);
        ASSERT_TRUE(doc->open());
        svc.messages.clear();
        log.clear();
    }

    void edit()
    {
        TBinEdit& b = rom.buffer();
        b.writeByte(0x1000, quint8(b.readByte(0x1000) ^ 0xFF));
        ASSERT_TRUE(doc->modified());
    }

    void expectMessage(int index, const QString& text, const QString& title, TMsgKind kind, TMsgButtons buttons)
    {
        ASSERT_GT(svc.messages.count(), index);
        const TMessage& m = svc.messages.messages().at(index);
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.title, title);
        EXPECT_EQ(m.kind, kind);
        EXPECT_EQ(m.buttons, buttons);
    }

    QTemporaryDir dir;
    TTestServices svc;
    TRom rom;
    std::unique_ptr<TRomDocument> doc;
    QStringList log;
    int refreshes = 0;
};

TEST_F(RomDocument, OpenAsksForTheFileAndLoadsIt)
{
    const QString path = makeRom(QStringLiteral("a.bin"), "my notes");
    svc.fileDialogs.answer(path);
    ASSERT_TRUE(doc->open());

    ASSERT_EQ(svc.fileDialogs.requests().size(), 1);
    const auto& r = svc.fileDialogs.requests().first();
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.request.title, QStringLiteral("Open ROM Image"));
    EXPECT_EQ(r.request.filter, QStringLiteral("Binary Files|*.bin|All Files|*.*"));
    EXPECT_EQ(r.request.defaultExt, QStringLiteral(".bin"));
    EXPECT_EQ(svc.messages.count(), 0);

    EXPECT_EQ(doc->path(), QFileInfo(path).absoluteFilePath());
    EXPECT_TRUE(doc->romLoaded());
    EXPECT_FALSE(doc->modified());
    EXPECT_FALSE(doc->readOnly());
    EXPECT_FALSE(doc->loading());
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin"));
    EXPECT_EQ(doc->notes(), QStringLiteral("my notes"));
    EXPECT_EQ(doc->recentFiles(), QStringList{doc->path()});
    // The old image goes first, the handlers run inside the load, the window
    // hears about the new ROM and the datalog link learns the table shape.
    EXPECT_EQ(
        log, (QStringList{QStringLiteral("closed"), QStringLiteral("handlers"), QStringLiteral("recent"),
                          QStringLiteral("loaded"), QStringLiteral("shape %1x%2").arg(rom.rows()).arg(rom.columns())}));

    edit();
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin*"));
}

TEST_F(RomDocument, CancelledOpenDialogKeepsTheImage)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    edit();
    svc.messages.answer(mrNo); // discard? -> the dialog is cancelled anyway
    svc.fileDialogs.answer(std::nullopt);
    EXPECT_FALSE(doc->open());
    EXPECT_TRUE(doc->romLoaded());
    EXPECT_TRUE(doc->modified());
    EXPECT_TRUE(log.isEmpty());
}

// The close query before every replacement or discard of a modified image.
TEST_F(RomDocument, CloseQueryAnswersDecideEveryFlow)
{
    enum Flow { Open, Reopen, Close, Exit };
    struct Row {
        Flow flow;
        int answer;
        bool proceeds;
        bool fileSaved;
    };
    const Row rows[] = {
        {Open, mrYes, true, true},   {Open, mrNo, true, false},   {Open, mrCancel, false, false},
        {Reopen, mrYes, true, true}, {Reopen, mrNo, true, false}, {Reopen, mrCancel, false, false},
        {Close, mrYes, true, true},  {Close, mrNo, true, false},  {Close, mrCancel, false, false},
        {Exit, mrYes, true, true},   {Exit, mrNo, true, false},   {Exit, mrCancel, false, false},
    };
    const QString other = makeRom(QStringLiteral("other.bin"), {}, QStringLiteral("p30"));
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "flow " << row.flow << " answer " << row.answer);
        const QString path = makeRom(QStringLiteral("a.bin"));
        const QByteArray before = readBytes(path);
        openRom(path);
        edit();
        svc.messages.answer(row.answer);
        if (row.flow == Open && row.proceeds)
            svc.fileDialogs.answer(other);
        bool ok = false;
        switch (row.flow) {
        case Open: ok = doc->open(); break;
        case Reopen: ok = doc->reopen(other); break;
        case Close: ok = doc->close(); break;
        case Exit: ok = doc->exitQuery(); break;
        }
        EXPECT_EQ(ok, row.proceeds);
        ASSERT_EQ(svc.messages.count(), 1);
        expectMessage(0, ChangesText.arg(QStringLiteral("a.bin")), QStringLiteral("Changes Made"),
                      TMsgKind::Confirmation, YesNoCancel);
        EXPECT_EQ(readBytes(path) != before, row.fileSaved);
        if (row.fileSaved) {
            EXPECT_EQ(imageSum(readBytes(path)), 0);
        }
        if (!row.proceeds) {
            EXPECT_TRUE(doc->modified()); // Cancel keeps the edit
            EXPECT_EQ(doc->fileName(), QStringLiteral("a.bin"));
        } else if (row.flow == Open || row.flow == Reopen) {
            EXPECT_EQ(doc->fileName(), QStringLiteral("other.bin"));
        } else if (row.flow == Close) {
            EXPECT_EQ(doc->path(), QStringLiteral("Untitled"));
            EXPECT_FALSE(doc->romLoaded());
        }
        // Exit leaves the image alone: the window closes after the query.
        if (row.flow == Exit) {
            EXPECT_EQ(doc->fileName(), QStringLiteral("a.bin"));
        }
        if (doc->modified())
            svc.messages.answer(mrNo);
        doc->close();
        svc.messages.clear();
    }
}

TEST_F(RomDocument, CloseQueryOnlyAsksForModifiedImages)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    EXPECT_TRUE(doc->closeQuery());
    EXPECT_TRUE(doc->close());
    EXPECT_EQ(svc.messages.count(), 0);
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - Untitled"));
}

TEST_F(RomDocument, CloseQueryYesStopsWhenTheSaveDoesNot)
{
    // Untitled image (a template): Yes leads to Save As, cancelling it keeps the window.
    const QString tpl = makeRom(QStringLiteral("t.NEW"));
    openRom(tpl);
    edit();
    svc.messages.answer(mrYes);
    svc.fileDialogs.answer(std::nullopt);
    EXPECT_FALSE(doc->closeQuery());
    expectMessage(0, ChangesText.arg(QStringLiteral("Untitled")), QStringLiteral("Changes Made"),
                  TMsgKind::Confirmation, YesNoCancel);
    EXPECT_TRUE(svc.fileDialogs.requests().last().save);
    EXPECT_TRUE(doc->modified());

    // Read-only file: Yes, then No to the offer of another file.
    const QString ro = makeRom(QStringLiteral("ro.bin"));
    svc.messages.answer(mrNo);
    openRom(ro);
    makeReadOnly(ro);
    edit();
    svc.messages.answer(mrYes);
    svc.messages.answer(mrNo);
    EXPECT_FALSE(doc->closeQuery());
    expectMessage(1, QFileInfo(ro).absoluteFilePath() + ReadOnlyText, QStringLiteral("Read-Only File"),
                  TMsgKind::Information, YesNo);
}

TEST_F(RomDocument, SaveFixesTheChecksumKeepsNotesAndClearsUndo)
{
    QByteArray notes;
    for (int i = 0; i < 256; ++i)
        notes += char(i);
    notes += "\r\nline two\rthree\n";
    const QString path = makeRom(QStringLiteral("a.bin"), notes);
    // A wrong checksum byte on disk: saving without any edit corrects it.
    QByteArray bytes = readBytes(path);
    bytes[0x3B] = char(bytes[0x3B] + 1);
    writeBytes(path, bytes);
    openRom(path);
    ASSERT_TRUE(doc->save());
    EXPECT_EQ(svc.messages.count(), 0);
    QByteArray saved = readBytes(path);
    EXPECT_EQ(imageSum(saved), 0);
    EXPECT_EQ(saved.mid(TBinEdit::SmallImage), notes);

    edit();
    ASSERT_TRUE(doc->save());
    saved = readBytes(path);
    EXPECT_EQ(imageSum(saved), 0);
    EXPECT_EQ(saved.mid(TBinEdit::SmallImage), notes); // byte for byte, line breaks included
    EXPECT_FALSE(doc->modified());
    EXPECT_FALSE(rom.buffer().canUndo());
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin"));

    // And the saved file opens again with the same notes.
    openRom(path);
    EXPECT_EQ(rom.buffer().trailer(), notes);
    EXPECT_EQ(doc->notes().toLatin1(), notes);
}

TEST_F(RomDocument, SaveOfAReadOnlyFileOffersAnotherFile)
{
    const QString path = makeRom(QStringLiteral("a.bin"));
    makeReadOnly(path);
    openRom(path);
    EXPECT_TRUE(doc->readOnly());
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin (Read-Only)"));
    edit();
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin* (Read-Only)"));
    const QByteArray before = readBytes(path);

    svc.messages.answer(mrNo);
    EXPECT_FALSE(doc->save());
    expectMessage(0, doc->path() + ReadOnlyText, QStringLiteral("Read-Only File"), TMsgKind::Information, YesNo);
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_TRUE(svc.fileDialogs.requests().size() == 1); // only the open

    const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    svc.messages.answer(mrYes);
    svc.fileDialogs.answer(copy);
    EXPECT_TRUE(doc->save());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(doc->path(), copy);
    EXPECT_FALSE(doc->readOnly());
    EXPECT_FALSE(doc->modified());
    EXPECT_EQ(imageSum(readBytes(copy)), 0);
}

TEST_F(RomDocument, SaveAsTakesTheNewNameOnlyAfterSuccess)
{
    const QString path = makeRom(QStringLiteral("a.bin"), "n");
    openRom(path);
    edit();
    const QByteArray before = readBytes(path);

    // Cancelled: nothing written, nothing changed.
    svc.fileDialogs.answer(std::nullopt);
    EXPECT_FALSE(doc->saveAs());
    const auto& r = svc.fileDialogs.requests().last();
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.request.title, QStringLiteral("Save ROM Image As..."));
    EXPECT_EQ(r.request.filter, QStringLiteral("Binary Files|*.bin|All Files|*.*"));
    EXPECT_EQ(r.request.defaultExt, QStringLiteral(".bin"));
    EXPECT_EQ(r.request.fileName, QStringLiteral("a.bin"));
    EXPECT_TRUE(doc->modified());

    // A target whose folder is a regular file cannot be written.
    const QString bad = path + QStringLiteral("/b.bin");
    svc.fileDialogs.answer(bad);
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->saveAs());
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Error"));
    EXPECT_EQ(svc.messages.last().kind, TMsgKind::Error);
    EXPECT_EQ(svc.messages.last().buttons, TMsgButtons(TMsgButton::OK));
    EXPECT_TRUE(svc.messages.last().text.startsWith(QStringLiteral("Could not save '%1'.\r\n\r\n").arg(bad)));
    EXPECT_GT(svc.messages.last().text.size(), QStringLiteral("Could not save '%1'.\r\n\r\n").arg(bad).size());
    EXPECT_EQ(doc->path(), QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(doc->recentFiles().size(), 1);
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(readBytes(path), before);

    // Success: new path first in the recent list, old file untouched.
    const QString target = dir.filePath(QStringLiteral("b.bin"));
    svc.fileDialogs.answer(target);
    EXPECT_TRUE(doc->saveAs());
    EXPECT_EQ(doc->path(), target);
    EXPECT_EQ(doc->recentFiles().first(), target);
    EXPECT_EQ(doc->recentFiles().size(), 2);
    EXPECT_FALSE(doc->modified());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(readBytes(target).mid(TBinEdit::SmallImage), QByteArray("n"));
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - b.bin"));
}

TEST_F(RomDocument, SaveAsNeverReplacesAReadOnlyFile)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    edit();
    const QString ro = makeRom(QStringLiteral("ro.bin"), {}, QStringLiteral("p30"));
    makeReadOnly(ro);
    const QByteArray roBefore = readBytes(ro);
    const QString good = dir.filePath(QStringLiteral("good.bin"));

    svc.fileDialogs.answer(ro);
    svc.messages.answer(mrYes); // choose another file
    svc.fileDialogs.answer(good);
    EXPECT_TRUE(doc->saveAs());
    expectMessage(0, ro + ReadOnlyText, QStringLiteral("Read-Only File"), TMsgKind::Information, YesNo);
    EXPECT_EQ(readBytes(ro), roBefore);
    EXPECT_EQ(doc->path(), good);

    edit();
    svc.fileDialogs.answer(ro);
    svc.messages.answer(mrNo);
    EXPECT_FALSE(doc->saveAs());
    EXPECT_EQ(readBytes(ro), roBefore);
    EXPECT_EQ(doc->path(), good);
    EXPECT_TRUE(doc->modified());
}

TEST_F(RomDocument, FailedSaveLeavesTheOldFileIntact)
{
    const QString path = makeRom(QStringLiteral("a.bin"), QByteArray(5000, 'x'));
    openRom(path);
    edit();
    const QByteArray before = readBytes(path);
    {
        // The write stops part-way, as on a full disk.
        TFileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        svc.messages.answer(mrOk);
        EXPECT_FALSE(doc->save());
    }
    EXPECT_EQ(readBytes(path), before);
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - a.bin*"));
    ASSERT_EQ(svc.messages.count(), 1);
    expectMessage(0, svc.messages.last().text, QStringLiteral("Error"), TMsgKind::Error, TMsgButton::OK);
    EXPECT_TRUE(svc.messages.last().text.startsWith(QStringLiteral("Could not save '%1'.").arg(doc->path())));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.bin")});

    // A folder in place of the document: the system's error, the image still modified.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkdir(path));
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->save());
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(svc.messages.last().kind, TMsgKind::Error);

    // Once writing works again the same image saves.
    ASSERT_TRUE(QDir().rmdir(path));
    svc.fileDialogs.answer(path); // the file is gone: Save asks for a name
    EXPECT_TRUE(doc->save());
    EXPECT_EQ(imageSum(readBytes(path)), 0);
    EXPECT_FALSE(doc->modified());
}

TEST(RomQuickSaveName, ReplacesATrailingBinInTheDocumentsFolder)
{
    const QTime t(14, 30, 5);
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"/r/car.bin", "/r/car.143005.bin"},         {"/r/CAR.BIN", "/r/CAR.143005.bin"},
        {"/r/car.Bin", "/r/car.143005.bin"},         {"/r/car", "/r/car.143005.bin"},
        {"/r/car.rom", "/r/car.rom.143005.bin"},     {"/r/my.bin.bak", "/r/my.bin.bak.143005.bin"},
        {"/r.bin/car.bin", "/r.bin/car.143005.bin"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(quickSaveName(QString::fromLatin1(r.in), t), QString::fromLatin1(r.out)) << r.in;
    EXPECT_EQ(quickSaveName(QStringLiteral("/r/a.bin"), QTime(9, 5, 3)), QStringLiteral("/r/a.090503.bin"));
    EXPECT_EQ(quickSaveName(QStringLiteral("/r/a.bin"), QTime(0, 0, 0)), QStringLiteral("/r/a.000000.bin"));
}

TEST_F(RomDocument, QuickSaveWritesATimeStampedCopyBesideTheDocument)
{
    const QString path = makeRom(QStringLiteral("car.bin"), "notes");
    openRom(path);
    edit();
    const QByteArray before = readBytes(path);
    // Another working directory must not receive the copy.
    QTemporaryDir elsewhere;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(elsewhere.path());
    const bool ok = doc->quickSave();
    QDir::setCurrent(oldCwd);
    ASSERT_TRUE(ok);
    EXPECT_EQ(svc.messages.count(), 0);
    const QString copy = dir.filePath(QStringLiteral("car.143005.bin"));
    ASSERT_TRUE(QFileInfo::exists(copy));
    EXPECT_TRUE(QDir(elsewhere.path()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(imageSum(readBytes(copy)), 0);
    EXPECT_EQ(readBytes(copy).mid(TBinEdit::SmallImage), QByteArray("notes"));
    EXPECT_EQ(readBytes(path), before); // the document file is not touched
    EXPECT_EQ(doc->path(), QFileInfo(path).absoluteFilePath());
    EXPECT_FALSE(doc->modified());
    EXPECT_EQ(doc->recentFiles().size(), 1);

    // A copy name that is taken by a read-only file is refused with the error.
    edit();
    makeReadOnly(copy);
    const QByteArray copyBefore = readBytes(copy);
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->quickSave());
    EXPECT_EQ(readBytes(copy), copyBefore);
    EXPECT_EQ(svc.messages.last().kind, TMsgKind::Error);
    EXPECT_TRUE(doc->modified());
}

TEST_F(RomDocument, QuickSaveOfAnUntitledImageIsSaveAs)
{
    openRom(makeRom(QStringLiteral("t.new")));
    edit();
    const QString target = dir.filePath(QStringLiteral("named.bin"));
    svc.fileDialogs.answer(target);
    EXPECT_TRUE(doc->quickSave());
    EXPECT_EQ(svc.fileDialogs.requests().last().request.title, QStringLiteral("Save ROM Image As..."));
    EXPECT_EQ(doc->path(), target);
}

TEST_F(RomDocument, TemplatesOpenUntitledAndSaveAsksForAName)
{
    const QString tpl = makeRom(QStringLiteral("base.NEW"));
    openRom(tpl);
    EXPECT_TRUE(doc->romLoaded());
    EXPECT_FALSE(doc->hasFile());
    EXPECT_EQ(doc->path(), QStringLiteral("Untitled"));
    EXPECT_EQ(doc->caption(), QStringLiteral("< VEXOR > - Untitled"));
    EXPECT_TRUE(doc->recentFiles().isEmpty());
    const QByteArray before = readBytes(tpl);
    edit();
    svc.fileDialogs.answer(std::nullopt);
    EXPECT_FALSE(doc->save());
    EXPECT_TRUE(svc.fileDialogs.requests().last().save);
    EXPECT_EQ(readBytes(tpl), before);
}

TEST_F(RomDocument, LoadRefusesBlankAndUnknownImages)
{
    struct Row {
        QByteArray bytes;
        const char* title;
        bool handlersRun;
    };
    QByteArray unknown(TBinEdit::SmallImage, '\x11');
    const Row rows[] = {
        {QByteArray(TBinEdit::SmallImage, '\0'), "Invalid File", false},
        {QByteArray(10, '\0'), "Invalid File", false},
        {unknown, "Invalid File1", true},
        // A P30 signature in 100 bytes used to open with an all-zero map.
        {generateRom({QStringLiteral("p30")}).left(100), "Invalid File1", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.title);
        openRom(makeRom(QStringLiteral("good.bin")));
        const QString bad = dir.filePath(QStringLiteral("bad.bin"));
        writeBytes(bad, r.bytes);
        svc.fileDialogs.answer(bad);
        svc.messages.answer(mrOk);
        EXPECT_FALSE(doc->open());
        expectMessage(0, QStringLiteral("Could not load file."), QString::fromLatin1(r.title), TMsgKind::Error,
                      TMsgButton::OK);
        EXPECT_EQ(log.contains(QStringLiteral("handlers")), r.handlersRun);
        EXPECT_FALSE(doc->romLoaded());
        EXPECT_EQ(doc->path(), QStringLiteral("Untitled"));
        EXPECT_FALSE(doc->loading());
        EXPECT_FALSE(doc->recentFiles().contains(QFileInfo(bad).absoluteFilePath()));
        EXPECT_EQ(log.last(), QStringLiteral("closed"));
    }
}

TEST_F(RomDocument, ReceivedImageLoadsWithoutAFile)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    TRomGenOptions o;
    o.family = QStringLiteral("p30");
    rom.buffer().loadBytes(generateRom(o));
    EXPECT_TRUE(doc->loadReceivedImage());
    EXPECT_EQ(doc->path(), QStringLiteral("Untitled"));
    EXPECT_EQ(rom.BaseType, btP30);
    EXPECT_EQ(doc->recentFiles().size(), 1);

    rom.buffer().loadBytes(QByteArray(TBinEdit::SmallImage, '\0'));
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->loadReceivedImage());
    expectMessage(0, QStringLiteral("Could not load ROM."), QStringLiteral("Invalid ROM"), TMsgKind::Error,
                  TMsgButton::OK);
    EXPECT_FALSE(doc->romLoaded());
}

// A file that vanished, a folder, or an oversized file: the open image stays.
TEST_F(RomDocument, BadFilesNeverCostTheOpenImage)
{
    const QString path = makeRom(QStringLiteral("a.bin"));
    openRom(path);
    edit();
    const QString folder = dir.filePath(QStringLiteral("folder.bin"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString gone = dir.filePath(QStringLiteral("gone.bin"));
    struct Row {
        QString chosen;
        QString text;
        QString title;
    };
    const Row rows[] = {
        {gone, QStringLiteral("'%1' does not exist.").arg(gone), QStringLiteral("Error")},
        {folder, QStringLiteral("Could not load file.\r\n\r\n'%1': this is a folder, not a file.").arg(folder),
         QStringLiteral("Invalid File")},
    };
    for (const Row& r : rows) {
        svc.messages.clear();
        svc.messages.answer(mrNo); // discard the edit...
        svc.fileDialogs.answer(r.chosen);
        svc.messages.answer(mrOk); // ...but the file cannot be read
        EXPECT_FALSE(doc->open());
        expectMessage(1, r.text, r.title, TMsgKind::Error, TMsgButton::OK);
        EXPECT_TRUE(doc->romLoaded());
        EXPECT_TRUE(doc->modified());
        EXPECT_EQ(doc->path(), QFileInfo(path).absoluteFilePath());
    }
    // The same through the recent list: the folder is kept there (it exists), the image too.
    svc.messages.clear();
    svc.messages.answer(mrNo);
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->reopen(folder));
    EXPECT_TRUE(doc->romLoaded());
    EXPECT_TRUE(doc->modified());
}

TEST_F(RomDocument, ReopenOfAMissingFileDropsItFromTheList)
{
    const QString a = makeRom(QStringLiteral("a.bin"));
    const QString b = makeRom(QStringLiteral("b.bin"));
    openRom(a);
    openRom(b);
    edit();
    ASSERT_TRUE(QFile::remove(QFileInfo(a).absoluteFilePath()));
    const QString aPath = QFileInfo(a).absoluteFilePath();
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->reopen(aPath));
    // Checked before the close query: no question about the open image.
    ASSERT_EQ(svc.messages.count(), 1);
    expectMessage(0, QStringLiteral("'%1' does not exist.").arg(aPath), QStringLiteral("Error"), TMsgKind::Error,
                  TMsgButton::OK);
    EXPECT_EQ(doc->recentFiles(), QStringList{QFileInfo(b).absoluteFilePath()});
    EXPECT_TRUE(log.contains(QStringLiteral("recent")));
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(doc->fileName(), QStringLiteral("b.bin"));
}

TEST_F(RomDocument, RecentListHoldsTenPathsOnceEach)
{
    QStringList opened;
    for (int i = 0; i < 12; ++i) {
        const QString p = makeRom(QStringLiteral("r%1.bin").arg(i));
        openRom(p);
        opened.prepend(QFileInfo(p).absoluteFilePath());
    }
    EXPECT_EQ(doc->recentFiles(), opened.mid(0, 10));
    // Reopening an entry moves it to the head, it is never listed twice.
    const QString again = opened.at(5);
    ASSERT_TRUE(doc->reopen(again));
    EXPECT_EQ(doc->recentFiles().size(), 10);
    EXPECT_EQ(doc->recentFiles().first(), again);
    EXPECT_EQ(doc->recentFiles().count(again), 1);
    // A relative path names the same file as its absolute form.
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const bool ok = doc->reopen(QStringLiteral("r0.bin"));
    QDir::setCurrent(oldCwd);
    EXPECT_TRUE(ok);
    EXPECT_EQ(doc->recentFiles().first(), dir.filePath(QStringLiteral("r0.bin")));
    EXPECT_EQ(doc->recentFiles().count(dir.filePath(QStringLiteral("r0.bin"))), 1);

    doc->setRecentFiles(
        {QStringLiteral("/x/a.bin"), QStringLiteral("/x/a.bin"), QString(), QStringLiteral("/x/b.bin")});
    EXPECT_EQ(doc->recentFiles(), (QStringList{QStringLiteral("/x/a.bin"), QStringLiteral("/x/b.bin")}));
}

TEST_F(RomDocument, RecentListLivesInTheSettingsStore)
{
    QTemporaryDir home;
    auto store = std::make_unique<TSettingsStore>(home.path());
    TSettings values;
    values.recentFiles.assign({QStringLiteral("/old/one.bin"), QStringLiteral("/old/two.bin")});
    store->setValues(values);
    doc->bindSettings(*store);
    EXPECT_EQ(doc->recentFiles(), values.recentFiles.paths());

    const QString p = QFileInfo(makeRom(QStringLiteral("a.bin"))).absoluteFilePath();
    openRom(p);
    // The store holds the live list at once, so applying its values keeps it.
    EXPECT_EQ(store->values().recentFiles.paths().first(), p);
    store->apply();
    EXPECT_EQ(doc->recentFiles().size(), 3);
    EXPECT_EQ(doc->recentFiles().first(), p);

    // Through vexor.ini and back.
    ASSERT_TRUE(store->save());
    TSettingsStore reread(home.path());
    ASSERT_TRUE(reread.load());
    EXPECT_EQ(reread.values().recentFiles.paths(), doc->recentFiles());

    TSettings other = store->values();
    other.recentFiles.assign({QStringLiteral("/new.bin")});
    store->setValues(other);
    store->apply();
    EXPECT_EQ(doc->recentFiles(), QStringList{QStringLiteral("/new.bin")});

    // The document goes first: the store no longer calls it.
    doc.reset();
    store->apply();
    store->collect();
    EXPECT_EQ(store->values().recentFiles.paths(), QStringList{QStringLiteral("/new.bin")});
}

TEST_F(RomDocument, ReloadEmptiesTheFuelCorrectionsBeforeTheHandlers)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    int calls = 0;
    doc->events.runRomHandlers = [&] {
        ++calls;
        EXPECT_EQ(rom.fuelCorrectionCount(), 0);
        rom.addFuelCorrection(TFuelCorrItem{QStringLiteral("Main Fuel"), 0x100, 0x102});
    };
    ASSERT_TRUE(doc->reload());
    ASSERT_TRUE(doc->reload());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(rom.fuelCorrectionCount(), 1);
    const QString shape = QStringLiteral("shape %1x%2").arg(rom.rows()).arg(rom.columns());
    EXPECT_EQ(log, (QStringList{shape, shape}));

    // The image no longer identifies: error, then no ROM.
    rom.buffer().writeWord(0x23, 0x1111);
    rom.buffer().writeWord(0x7CC0, 0);
    svc.messages.answer(mrOk);
    EXPECT_FALSE(doc->reload());
    expectMessage(0, QStringLiteral("Error trying to reload ROM."), QStringLiteral("Invalid ROM"), TMsgKind::Error,
                  TMsgButton::OK);
    EXPECT_FALSE(doc->romLoaded());
    EXPECT_EQ(doc->path(), QStringLiteral("Untitled"));
}

TEST_F(RomDocument, AFailingHandlerLeavesNoHalfLoadedRom)
{
    const QString path = makeRom(QStringLiteral("a.bin"));
    doc->events.runRomHandlers = [] { throw EVexorError(QStringLiteral("Index out of bounds.")); };
    EXPECT_THROW(doc->loadFile(path), EVexorError);
    EXPECT_FALSE(doc->loading());
    EXPECT_FALSE(doc->romLoaded());
    EXPECT_FALSE(doc->hasFile());
    EXPECT_TRUE(doc->recentFiles().isEmpty());

    // On reload the image stays: only the handlers' work is missing.
    doc->events.runRomHandlers = nullptr;
    ASSERT_TRUE(doc->loadFile(path));
    edit();
    doc->events.runRomHandlers = [] { throw EVexorError(QStringLiteral("Index out of bounds.")); };
    EXPECT_THROW(doc->reload(), EVexorError);
    EXPECT_FALSE(doc->loading());
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(doc->fileName(), QStringLiteral("a.bin"));
}

TEST_F(RomDocument, ReloadKeepsTheModifiedState)
{
    openRom(makeRom(QStringLiteral("a.bin")));
    edit();
    ASSERT_TRUE(doc->reload());
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(doc->fileName(), QStringLiteral("a.bin"));
}

TEST_F(RomDocument, OutsideChangeIsOfferedOnceForEachChange)
{
    const QString path = makeRom(QStringLiteral("a.bin"), "first");
    openRom(path);
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 0);

    // Changed on disk, answered No: not asked again until it changes again.
    writeBytes(path, generateRom(TRomGenOptions{QStringLiteral("p28"), 20, 24, "second", 2}));
    setModifiedTime(path, QDateTime::currentDateTime().addSecs(10));
    svc.messages.answer(mrNo);
    doc->onApplicationActivated();
    expectMessage(0, OutsideText, QStringLiteral("File Modified"), TMsgKind::Confirmation, YesNo);
    EXPECT_EQ(doc->notes(), QStringLiteral("first"));
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 1);

    // Changed again, answered Yes: loaded again without the close query.
    edit();
    setModifiedTime(path, QDateTime::currentDateTime().addSecs(20));
    svc.messages.answer(mrYes);
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 2);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("File Modified"));
    EXPECT_EQ(doc->notes(), QStringLiteral("second"));
    EXPECT_FALSE(doc->modified());
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 2);

    // Our own save is no outside change.
    edit();
    ASSERT_TRUE(doc->save());
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 2);

    // A vanished file is not offered.
    ASSERT_TRUE(QFile::remove(path));
    doc->onApplicationActivated();
    EXPECT_EQ(svc.messages.count(), 2);
}

TEST_F(RomDocument, OutsideChangeIsNotCheckedDuringALoad)
{
    const QString path = makeRom(QStringLiteral("a.bin"));
    openRom(path);
    setModifiedTime(path, QDateTime::currentDateTime().addSecs(30));
    // Activation arriving while the handlers run (a script dialog, say).
    doc->events.runRomHandlers = [&] { doc->onApplicationActivated(); };
    ASSERT_TRUE(doc->reload());
    EXPECT_EQ(svc.messages.count(), 0);
}

// The question box itself deactivates and reactivates the application.
class TReenteringMessages : public TScriptedMessages {
public:
    std::function<void()> whileShown;

protected:
    int doShowMessage(const TMessage& message) override
    {
        if (whileShown)
            whileShown();
        return TScriptedMessages::doShowMessage(message);
    }
};

TEST_F(RomDocument, OutsideChangeQuestionIsNotAskedTwiceByItsOwnActivation)
{
    TReenteringMessages messages;
    TServices services = svc.services();
    services.messages = &messages;
    TRom localRom;
    TRomDocument local(localRom, services);
    const QString path = makeRom(QStringLiteral("a.bin"));
    ASSERT_TRUE(local.loadFile(path));
    setModifiedTime(path, QDateTime::currentDateTime().addSecs(40));
    messages.whileShown = [&] { local.onApplicationActivated(); };
    messages.answer(mrNo);
    local.onApplicationActivated();
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.last().title, QStringLiteral("File Modified"));
}

TEST_F(RomDocument, StartupLoadsAnExistingFileWithoutAsking)
{
    const QString path = makeRom(QStringLiteral("a.bin"));
    EXPECT_FALSE(doc->startupLoad(QString()));
    EXPECT_FALSE(doc->startupLoad(dir.filePath(QStringLiteral("missing.bin"))));
    EXPECT_FALSE(doc->startupLoad(dir.path()));
    EXPECT_EQ(svc.messages.count(), 0);
    EXPECT_TRUE(doc->startupLoad(path));
    EXPECT_TRUE(doc->romLoaded());
    EXPECT_EQ(svc.messages.count(), 0);
    EXPECT_TRUE(svc.fileDialogs.requests().isEmpty());
    EXPECT_EQ(doc->recentFiles(), QStringList{QFileInfo(path).absoluteFilePath()});
}

TEST_F(RomDocument, OlderExtendedFamilyImagesAreUpgradedOnLoad)
{
    struct Row {
        const char* family;
        int minor;
        bool upgrade;
    };
    const Row rows[] = {{"vexorau", 96, false}, {"vexorau", 95, true}, {"vexorau", 90, true}, {"p28", 95, false}};
    for (const Row& r : rows) {
        const QString path = makeRom(QStringLiteral("x.bin"), {}, QString::fromLatin1(r.family));
        QByteArray bytes = readBytes(path);
        const int oldMinor = quint8(bytes[58]);
        bytes[58] = char(r.minor);
        bytes[0x3B] = char(quint8(bytes[0x3B]) + oldMinor - r.minor); // keep the checksum
        writeBytes(path, bytes);
        log.clear();
        ASSERT_TRUE(doc->loadFile(path));
        EXPECT_EQ(log.contains(QStringLiteral("upgrade")), r.upgrade) << r.family << " " << r.minor;
    }
}

TEST_F(RomDocument, NotesRoundTripAndMarkModified)
{
    openRom(makeRom(QStringLiteral("a.bin"), "old"));
    EXPECT_FALSE(doc->modified());
    doc->setNotes(QStringLiteral("old"));
    EXPECT_FALSE(doc->modified()); // nothing changed
    doc->setNotes(QStringLiteral("caf\u00e9 50\u00b0"));
    EXPECT_TRUE(doc->modified());
    EXPECT_EQ(rom.buffer().trailer(), QByteArray("caf\xe9 50\xb0")); // one byte per character
    EXPECT_FALSE(rom.buffer().canUndo());
    doc->setNotes(QStringLiteral("\u20ac"));
    EXPECT_EQ(rom.buffer().trailer(), QByteArray("\xe2\x82\xac")); // UTF-8 when it does not fit

    // The editor works with "\n"; the notes keep the breaks they had, and
    // the encoding they are shown in.
    struct Row {
        QByteArray before;
        QString shown;
        QString typed;
        QByteArray after;
    };
    const Row rows[] = {
        {"a\r\nb", QStringLiteral("a\nb"), QStringLiteral("a\nb\nc"), "a\r\nb\r\nc"},
        {"a\rb", QStringLiteral("a\nb"), QStringLiteral("a\nbc"), "a\rbc"},
        {"a\nb", QStringLiteral("a\nb"), QStringLiteral("a\nb!"), "a\nb!"},
        {"", QString(), QStringLiteral("x\ny"), "x\r\ny"},
        // UTF-8 notes used to show as Latin-1 mojibake.
        {"caf\xc3\xa9\r\n", QStringLiteral("caf\u00e9\n"), QStringLiteral("caf\u00e9\n50\u00b0"),
         "caf\xc3\xa9\r\n50\xc2\xb0"},
        {"caf\xe9", QStringLiteral("caf\u00e9"), QStringLiteral("caf\u00e9!"), "caf\xe9!"},
        {"\xc3\xa9\xe9", QStringLiteral("\u00c3\u00a9\u00e9"), QStringLiteral("\u00c3\u00a9\u00e9!"),
         "\xc3\xa9\xe9!"}, // not valid UTF-8: one character per byte
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.before.toStdString());
        rom.buffer().trailer() = r.before;
        EXPECT_EQ(doc->notesForEditor(), r.shown);
        doc->setNotesFromEditor(r.shown);
        EXPECT_EQ(rom.buffer().trailer(), r.before) << "untouched notes keep their bytes";
        doc->setNotesFromEditor(r.typed);
        EXPECT_EQ(rom.buffer().trailer(), r.after);
    }
}

TEST(RomWriteFile, RefusesReadOnlyTargetsAndFolders)
{
    QTemporaryDir dir;
    TRom rom;
    rom.buffer().loadBytes(generateRom(TRomGenOptions{}));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);

    const QString ro = dir.filePath(QStringLiteral("ro.bin"));
    writeBytes(ro, "keep");
    makeReadOnly(ro);
    QString error;
    EXPECT_FALSE(writeRomFile(rom, ro, &error));
    EXPECT_EQ(error, QStringLiteral("'%1' is read-only.").arg(ro));
    EXPECT_EQ(readBytes(ro), QByteArray("keep"));
    EXPECT_TRUE(isReadOnlyFile(ro));

    error.clear();
    EXPECT_FALSE(writeRomFile(rom, dir.path(), &error));
    EXPECT_FALSE(error.isEmpty());

    const QString ok = dir.filePath(QStringLiteral("ok.bin"));
    EXPECT_TRUE(writeRomFile(rom, ok, &error));
    EXPECT_EQ(imageSum(readBytes(ok)), 0);
    EXPECT_FALSE(isReadOnlyFile(ok));
    EXPECT_FALSE(isReadOnlyFile(dir.filePath(QStringLiteral("none.bin"))));
}

} // namespace
