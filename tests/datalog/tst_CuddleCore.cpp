// The recording store, datalog files, the recovery file and the session flows
// of the main window's datalog commands.

#include "datalog/clsCuddleCore.h"
#include "datalog/mdlDatalogSession.h"
#include "settings/mdlErrors.h"
#include "sim/mdlEcuSim.h"
#include "support/FakeSerialPort.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace {

DatalogSample sampleAt(quint32 ms, quint8 tag = 0)
{
    DatalogSample s = TEngineModel().sampleAt(ms);
    s.setU8(DatalogSample::Reserved, tag);
    s.setTimeStamp(ms);
    return s;
}

DatalogSample marker(quint32 ms)
{
    DatalogSample s = sampleAt(ms);
    s.setU32(DatalogSample::Errors, DatalogSample::MarkerWord);
    return s;
}

struct TStoreFixture {
    QTemporaryDir dir;
    TManualClock clock;
    TCuddleCore store{clock};
    TStoreFixture() { store.setRecoveryFilePath(path(QStringLiteral("~temp.dlf"))); }
    [[nodiscard]] QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

TEST(CuddleCore, AppendReadSeek)
{
    TStoreFixture f;
    EXPECT_TRUE(f.store.isEmpty());
    EXPECT_TRUE(f.store.atEnd());
    for (quint32 i = 0; i < 5; ++i)
        f.store.append(sampleAt(1000 + 100 * i, static_cast<quint8>(i)));
    EXPECT_EQ(f.store.count(), 5);
    EXPECT_TRUE(f.store.unsaved());
    DatalogSample s;
    ASSERT_TRUE(f.store.readAt(3, s));
    EXPECT_EQ(s.u8(DatalogSample::Reserved), 3);
    // Past the end nothing is read and the destination is left alone.
    DatalogSample untouched = sampleAt(7, 99);
    EXPECT_FALSE(f.store.readAt(5, untouched));
    EXPECT_EQ(untouched.u8(DatalogSample::Reserved), 99);
    f.store.seek(4);
    ASSERT_TRUE(f.store.readNext(s));
    EXPECT_EQ(s.u8(DatalogSample::Reserved), 4);
    EXPECT_TRUE(f.store.atEnd());
    EXPECT_FALSE(f.store.readNext(s));
    f.store.rewind();
    EXPECT_EQ(f.store.cursor(), 0);
    f.store.clear();
    EXPECT_TRUE(f.store.isEmpty());
    EXPECT_FALSE(f.store.unsaved());
}

TEST(CuddleCore, SamplesPerSecondAndPageSize)
{
    struct Row {
        std::vector<quint32> stamps;
        double sps;
        int page;
    };
    const Row rows[] = {
        {{}, 0, 1},
        {{5000}, 0, 1},             // one sample: first and last stamps equal
        {{5000, 5000, 5000}, 0, 1}, // equal stamps: no division by zero
        {{0, 1000}, 2, 2},
        {{1000, 1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800, 1900, 2000}, 11, 11},
        {{0xFFFFFF00u, 0x2E8u}, 2, 2}, // 1000 ms across the wrap of the tick counter
        {{0, 10000}, 0.2, 1},          // rounds to 0: the page is still at least 1
    };
    for (const Row& r : rows) {
        TStoreFixture f;
        for (quint32 t : r.stamps)
            f.store.append(sampleAt(t));
        EXPECT_NEAR(f.store.samplesPerSecond(), r.sps, 1e-9) << r.stamps.size();
        EXPECT_EQ(f.store.playbackPageSize(), r.page) << r.stamps.size();
    }
}

TEST(CuddleCore, SaveLoadRoundTripWithMarkers)
{
    TStoreFixture f;
    f.store.append(sampleAt(0));
    f.store.append(marker(10));
    f.store.append(sampleAt(20));
    f.store.append(marker(30));
    EXPECT_EQ(f.store.markers(), (QVector<quint32>{1, 3}));
    const QString file = f.path(QStringLiteral("a.dlf"));
    f.store.save(file);
    EXPECT_EQ(readBytes(file), f.store.data()) << "no header, no footer";
    EXPECT_EQ(readBytes(file).size(), 160);

    TCuddleCore other(f.clock);
    other.setCrashRecovery(true);
    other.load(file);
    EXPECT_EQ(other.data(), f.store.data());
    EXPECT_EQ(other.markers(), (QVector<quint32>{1, 3}));
    EXPECT_FALSE(other.crashRecovery());
    EXPECT_FALSE(other.unsaved());
}

TEST(CuddleCore, LoadEdgeCases)
{
    TStoreFixture f;
    // A torn last record is left out.
    QByteArray bytes = sampleAt(1).toBytes() + sampleAt(2).toBytes() + QByteArray(17, '\x01');
    writeBytes(f.path(QStringLiteral("torn.dlf")), bytes);
    f.store.load(f.path(QStringLiteral("torn.dlf")));
    EXPECT_EQ(f.store.count(), 2);
    // An empty file is an empty session.
    writeBytes(f.path(QStringLiteral("empty.dlf")), {});
    f.store.load(f.path(QStringLiteral("empty.dlf")));
    EXPECT_TRUE(f.store.isEmpty());
    EXPECT_EQ(f.store.samplesPerSecond(), 0.0);
    // A missing file names the failure and leaves the store as it was.
    f.store.append(sampleAt(5));
    try {
        f.store.load(f.path(QStringLiteral("missing.dlf")));
        ADD_FAILURE() << "no error";
    } catch (const EVexorError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("missing.dlf")));
    }
    EXPECT_EQ(f.store.count(), 1);
}

TEST(CuddleCore, RecoveryWrittenAtMostOncePerMinute)
{
    TStoreFixture f;
    f.store.setCrashRecovery(true);
    f.store.clear();
    const QString rec = f.store.recoveryFilePath();
    for (int i = 0; i < 59; ++i) {
        f.clock.advance(1000);
        f.store.append(sampleAt(f.clock.tickCount()));
    }
    EXPECT_FALSE(QFile::exists(rec)) << "59 seconds: not yet";
    f.clock.advance(1001);
    f.store.append(sampleAt(f.clock.tickCount()));
    ASSERT_TRUE(QFile::exists(rec));
    EXPECT_EQ(readBytes(rec), f.store.data());
    // Not again until another minute has passed.
    f.clock.advance(30000);
    f.store.append(sampleAt(f.clock.tickCount()));
    EXPECT_EQ(readBytes(rec).size(), 60 * 40);
    // Saving removes the recovery file.
    f.store.save(f.path(QStringLiteral("s.dlf")));
    EXPECT_FALSE(QFile::exists(rec));
}

TEST(CuddleCore, FailedRecoveryWriteIsReportedOnce)
{
    TStoreFixture f;
    // A plain file where the folder should be: every write fails.
    writeBytes(f.path(QStringLiteral("blocker")), "x");
    f.store.setRecoveryFilePath(f.path(QStringLiteral("blocker/~temp.dlf")));
    QStringList reports;
    f.store.onRecoveryFailed = [&](const QString& e) { reports << e; };
    f.store.setCrashRecovery(true);
    f.store.clear();
    for (int i = 0; i < 5; ++i) {
        f.clock.advance(61000);
        f.store.append(sampleAt(f.clock.tickCount()));
    }
    EXPECT_EQ(reports.size(), 1);
    EXPECT_EQ(f.store.count(), 5) << "recording goes on";
}

TEST(CuddleCore, SavingOntoTheRecoveryFileKeepsIt)
{
    TStoreFixture f;
    f.store.append(sampleAt(1));
    f.store.save(f.store.recoveryFilePath());
    EXPECT_TRUE(QFile::exists(f.store.recoveryFilePath()));
}

// ------------------------------------------------------------ session flows

namespace {
struct TSessionFixture {
    QTemporaryDir dir;
    TManualClock clock;
    TFakeSerialPort port;
    TScriptedMessages messages;
    TScriptedFileDialogs dialogs;
    TTunerForm tuner{clock, clock, &port, &messages};
    TCuddleCore store{clock};
    TDatalogSession session{tuner, store, clock, clock, &messages, &dialogs};
    int refreshes = 0;

    TSessionFixture()
    {
        store.setRecoveryFilePath(dir.filePath(QStringLiteral("~temp.dlf")));
        QObject::connect(&session, &TDatalogSession::refreshRequested, [this] { ++refreshes; });
        TTunerSettings s;
        s.protocolIndex = 1;
        s.port.portName = QStringLiteral("/dev/ttyUSB0");
        tuner.setSettings(s);
    }
    void record(int n)
    {
        for (int i = 0; i < n; ++i)
            session.samplePipeline(sampleAt(1000 + 50 * static_cast<quint32>(i)));
    }
};
} // namespace

TEST(DatalogSession, UnsavedCheckAnswers)
{
    struct Row {
        const char* what;
        int answer;
        std::optional<QString> dialog; // "" = the test's file name
        bool passes;
        bool cleared;
    };
    const Row rows[] = {
        {"No discards", mrNo, std::nullopt, true, false},
        {"Cancel keeps", mrCancel, std::nullopt, false, false},
        {"Yes saves", mrYes, QString(), true, true},
        {"Yes, dialog cancelled", mrYes, std::nullopt, false, false},
    };
    for (const Row& r : rows) {
        TSessionFixture f;
        f.record(3);
        f.messages.answer(r.answer);
        const QString file = f.dir.filePath(QStringLiteral("x.dlf"));
        if (r.answer == mrYes)
            f.dialogs.answer(r.dialog ? std::optional<QString>(file) : std::nullopt);
        EXPECT_EQ(f.session.unsavedRecordingCheck(), r.passes) << r.what;
        ASSERT_EQ(f.messages.count(), 1);
        EXPECT_EQ(f.messages.last().text,
                  QStringLiteral("You currently have an unsaved recording\r\n\r\nDo want to save it first?"));
        EXPECT_EQ(f.messages.last().title, QStringLiteral("Unsaved Data"));
        EXPECT_EQ(f.messages.last().buttons, TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel);
        EXPECT_EQ(f.store.isEmpty(), r.cleared) << r.what;
        if (r.cleared) {
            EXPECT_EQ(readBytes(file).size(), 3 * 40);
        }
        if (r.answer == mrYes) {
            EXPECT_EQ(f.dialogs.requests().last().request.title, QStringLiteral("Save Datalog File"));
            EXPECT_EQ(f.dialogs.requests().last().request.filter, QStringLiteral("Datalog Files|*.dlf|All Files|*.*"));
        }
    }
}

TEST(DatalogSession, StartCancelledLeavesRecordingAndLinkAlone)
{
    TSessionFixture f;
    f.record(4);
    f.messages.answer(mrCancel);
    f.session.tunerStart();
    EXPECT_FALSE(f.tuner.isActive());
    EXPECT_EQ(f.store.count(), 4);
    EXPECT_TRUE(f.store.unsaved());
}

TEST(DatalogSession, StartClearsAndOpensThenToggles)
{
    TSessionFixture f;
    f.session.autoSaveLogs = false;
    f.session.tunerStart();
    EXPECT_TRUE(f.tuner.isActive());
    EXPECT_FALSE(f.store.crashRecovery());
    EXPECT_EQ(f.session.recordingStart(), f.clock.tickCount());
    f.session.tunerStart(); // running: stops
    EXPECT_FALSE(f.tuner.isActive());
}

TEST(DatalogSession, SaveClearsOnlyAfterTheWriteSucceeded)
{
    TSessionFixture f;
    f.record(5);
    ASSERT_TRUE(f.store.writeRecovery());
    const QByteArray recovered = readBytes(f.store.recoveryFilePath());
    ASSERT_EQ(recovered.size(), 200);
    // A full disk used to pass for a save: the commit without a flush renamed a
    // truncated file into place and the recovery file was deleted.
    const struct {
        const char* name;
        qint64 sizeLimit; // 0: none
    } failures[] = {{"no/such/folder/x.dlf", 0}, {"full-disk.dlf", 100}};
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        const QString target = f.dir.filePath(QString::fromLatin1(c.name));
        f.dialogs.answer(target);
        f.messages.answer(mrOk);
        {
            std::optional<TFileSizeLimit> limit;
            if (c.sizeLimit > 0) {
                ASSERT_TRUE(limit.emplace(static_cast<rlim_t>(c.sizeLimit)).active());
            }
            f.session.tunerSave();
        }
        EXPECT_EQ(f.store.count(), 5);
        EXPECT_TRUE(f.store.unsaved());
        EXPECT_EQ(readBytes(f.store.recoveryFilePath()), recovered);
        EXPECT_FALSE(QFile::exists(target));
        EXPECT_EQ(f.messages.last().kind, TMsgKind::Error);
    }

    f.dialogs.answer(f.dir.filePath(QStringLiteral("ok.dlf")));
    f.session.tunerSave();
    EXPECT_TRUE(f.store.isEmpty());
    EXPECT_FALSE(QFile::exists(f.store.recoveryFilePath()));
    EXPECT_EQ(readBytes(f.dir.filePath(QStringLiteral("ok.dlf"))).size(), 200);
    EXPECT_EQ(f.dialogs.requests().last().request.filter,
              QStringLiteral("Datalog Files|*.dlf|CSV Export|*.csv|All Files|*.*"));
}

TEST(DatalogSession, CsvNameExportsAndKeepsTheRecording)
{
    for (const char* name : {"a.csv", "b.CSV", "c.Csv"}) {
        TSessionFixture f;
        f.record(2);
        QString exported;
        f.session.exportCsv = [&](const QString& p) { exported = p; };
        f.dialogs.answer(f.dir.filePath(QLatin1String(name)));
        f.session.tunerSave();
        EXPECT_EQ(exported, f.dir.filePath(QLatin1String(name)));
        EXPECT_EQ(f.store.count(), 2) << name;
        EXPECT_TRUE(f.store.unsaved());
    }
}

TEST(DatalogSession, LoadReplaysAndSetsUpPlayback)
{
    TSessionFixture f;
    // 21 samples over 2 s with a marker.
    {
        TCuddleCore src(f.clock);
        for (int i = 0; i <= 20; ++i)
            src.append(i == 7 ? marker(5000 + 100 * i)
                              : sampleAt(5000 + 100 * static_cast<quint32>(i), static_cast<quint8>(i)));
        src.save(f.dir.filePath(QStringLiteral("in.dlf")));
    }
    int cleared = 0;
    std::vector<bool> replayFlags;
    f.session.clearAccumulators = [&] { ++cleared; };
    f.session.trackSample = [&](const DatalogSample&, bool replay) { replayFlags.push_back(replay); };
    f.dialogs.answer(f.dir.filePath(QStringLiteral("in.dlf")));
    std::vector<bool> busy;
    QObject::connect(&f.session, &TDatalogSession::busyChanged, [&](bool b) { busy.push_back(b); });
    f.session.tunerLoad();
    EXPECT_TRUE(f.session.isReplaying());
    while (f.clock.fireNext()) {}
    EXPECT_FALSE(f.session.isReplaying());
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(replayFlags, std::vector<bool>(21, true));
    const TPlaybackBar& bar = f.session.playbackBar();
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.max, 20);
    EXPECT_EQ(bar.pageSize, 10); // 21 samples in 2 s = 10.5, halves round to even
    EXPECT_EQ(f.session.recordingStart(), 5000u);
    EXPECT_EQ(f.tuner.sample().u8(DatalogSample::Reserved), 0) << "the first sample is shown";
    EXPECT_EQ(f.store.markers(), QVector<quint32>{7});

    std::vector<double> cursor;
    QObject::connect(&f.session, &TDatalogSession::graphCursorMoved, [&](double s) { cursor.push_back(s); });
    int located = 0;
    f.session.locateSample = [&](const DatalogSample&) { ++located; };
    f.session.playbackMove(12);
    EXPECT_EQ(f.tuner.sample().u8(DatalogSample::Reserved), 12);
    EXPECT_EQ(cursor, std::vector<double>{1.2});
    EXPECT_EQ(located, 1);
    f.session.playbackMove(99); // past the end: nothing changes
    EXPECT_EQ(f.tuner.sample().u8(DatalogSample::Reserved), 12);
}

TEST(DatalogSession, EmptyFileLoadsWithoutPlayback)
{
    TSessionFixture f;
    writeBytes(f.dir.filePath(QStringLiteral("e.dlf")), {});
    EXPECT_TRUE(f.session.loadDatalog(f.dir.filePath(QStringLiteral("e.dlf")), false));
    EXPECT_FALSE(f.session.playbackBar().visible);
    EXPECT_EQ(f.store.samplesPerSecond(), 0.0);
}

TEST(DatalogSession, CrashRecoveryOffer)
{
    for (int answer : {mrYes, mrNo}) {
        TSessionFixture f;
        f.record(6);
        ASSERT_TRUE(f.store.writeRecovery());
        f.store.clear();
        f.messages.answer(answer);
        f.session.crashRecoveryCheck();
        ASSERT_EQ(f.messages.count(), 1);
        EXPECT_EQ(f.messages.last().text,
                  QStringLiteral("There is an unsaved datalogging session found.\r\nDo you want to load it?"));
        EXPECT_EQ(f.messages.last().title, QStringLiteral("Unsaved Session Found"));
        if (answer == mrYes) {
            EXPECT_EQ(f.store.count(), 6);
            EXPECT_TRUE(f.store.unsaved()) << "the recovered session is asked about before it is discarded";
            EXPECT_TRUE(f.session.playbackBar().visible);
        } else {
            EXPECT_TRUE(f.store.isEmpty());
            EXPECT_FALSE(QFile::exists(f.store.recoveryFilePath()));
        }
    }
    TSessionFixture none;
    none.session.crashRecoveryCheck(); // no file: no question
    EXPECT_EQ(none.messages.count(), 0);
}

TEST(DatalogSession, DisplayRefreshIsPacedAndDeferred)
{
    struct Row {
        int priority;
        int samples;
        int refreshes; // after each one is let through the event loop
    };
    const Row rows[] = {{4, 12, 2}, {1, 5, 4}, {0, 5, 5}};
    for (const Row& r : rows) {
        TSessionFixture f;
        f.session.samplingPriority = r.priority;
        int total = 0;
        for (int i = 0; i < r.samples; ++i) {
            f.session.samplePipeline(sampleAt(static_cast<quint32>(i)));
            EXPECT_EQ(f.refreshes, total) << "never painted from inside the sample path";
            f.clock.advance(0);
            total = f.refreshes;
        }
        EXPECT_EQ(total, r.refreshes) << r.priority;
    }
}

TEST(DatalogSession, RecordModeOffRecordsNothing)
{
    TSessionFixture f;
    f.session.recordMode = false;
    int tracked = 0;
    f.session.trackSample = [&](const DatalogSample&, bool replay) {
        EXPECT_FALSE(replay);
        ++tracked;
    };
    f.record(3);
    EXPECT_EQ(tracked, 3);
    EXPECT_TRUE(f.store.isEmpty());
}
