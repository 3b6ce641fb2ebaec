// Every kind of save under the two faults a user meets: a disk that fills up
// part-way through the write and a folder that does not take new files. The
// old file must stay byte for byte, the user must be told, and no temporary
// file may be left in the folder.

#include "datalog/clsCuddleCore.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlDatalogSession.h"
#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlCalibrationFlows.h"
#include "rom/mdlRomGen.h"
#include "settings/mdlSettingsStore.h"
#include "support/FakeSerialPort.h"
#include "support/FileSizeLimit.h"
#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTime>

#include <functional>
#include <unistd.h>

namespace {

enum class TFault { FullDisk, ReadOnlyFolder };

// One save of a changed document over an existing target file.
struct TSaveRig {
    QTemporaryDir dir;
    QString folder;
    TTestServices svc;
    TRom rom;
    std::unique_ptr<TRomDocument> doc;
    TManualClock clock;
    TFakeSerialPort port;
    std::unique_ptr<TTunerForm> tuner;
    std::unique_ptr<TCuddleCore> store;
    std::unique_ptr<TDatalogSession> session;
    std::unique_ptr<TSettingsStore> settings;

    TSaveRig()
    {
        folder = dir.filePath(QStringLiteral("target"));
        QDir().mkpath(folder);
        svc.messages.setDefaultAnswer(mrYes);
    }
    [[nodiscard]] QString path(const char* name) const { return folder + QLatin1Char('/') + QLatin1String(name); }
    void openRom(const QString& path)
    {
        writeBytes(path, generateRom(TRomGenOptions{}));
        doc = std::make_unique<TRomDocument>(rom, svc.services());
        doc->events.currentTime = [] { return QTime(14, 30, 5); };
        svc.fileDialogs.answer(path);
        ASSERT_TRUE(doc->open());
        rom.buffer().writeByte(0x1000, quint8(rom.buffer().readByte(0x1000) ^ 0xFF));
    }
    void recording()
    {
        tuner = std::make_unique<TTunerForm>(clock, clock, &port, &svc.messages);
        store = std::make_unique<TCuddleCore>(clock);
        session = std::make_unique<TDatalogSession>(*tuner, *store, clock, clock, &svc.messages, &svc.fileDialogs);
        session->exportCsv = [this](const QString& p) { exportCsvFile(p, store->data(), TCsvOptions{}); };
        DatalogSample s;
        for (int i = 0; i < 50; ++i) {
            s.setTimeStamp(quint32(1000 + i * 20));
            store->append(s);
        }
    }
};

struct TSaveKind {
    const char* name;
    const char* target; // in the target folder; it exists with old bytes
    std::function<void(TSaveRig&)> prepare;
    std::function<bool(TSaveRig&)> save; // true when the save reports success
    std::function<bool(TSaveRig&)> told; // the user was told why
};

bool errorShown(TSaveRig& r)
{
    for (const TMessage& m : r.svc.messages.messages())
        if (m.kind == TMsgKind::Error && !m.text.isEmpty())
            return true;
    return false;
}

const std::vector<TSaveKind>& saveKinds()
{
    static const std::vector<TSaveKind> kinds{
        {"RomSave", "car.bin", [](TSaveRig& r) { r.openRom(r.path("car.bin")); },
         [](TSaveRig& r) { return r.doc->save(); }, errorShown},
        {"RomSaveAs", "other.bin",
         [](TSaveRig& r) {
             r.openRom(r.dir.filePath(QStringLiteral("car.bin")));
             r.svc.fileDialogs.answer(r.path("other.bin"));
         },
         [](TSaveRig& r) { return r.doc->saveAs(); }, errorShown},
        {"RomQuickSave", "car.143005.bin", [](TSaveRig& r) { r.openRom(r.path("car.bin")); },
         [](TSaveRig& r) { return r.doc->quickSave(); }, errorShown},
        {"Settings", "vexor.ini",
         [](TSaveRig& r) {
             r.settings = std::make_unique<TSettingsStore>(r.folder);
             ASSERT_TRUE(r.settings->load());
             r.settings->values().options.revDelta = 800;
         },
         [](TSaveRig& r) {
             QString error;
             const bool ok = r.settings->save(&error);
             r.svc.messages.showMessage(error, QString(), TMsgKind::Error, TMsgButton::OK); // what the caller shows
             return ok;
         },
         errorShown},
        {"Datalog", "log.dlf",
         [](TSaveRig& r) {
             r.recording();
             r.svc.fileDialogs.answer(r.path("log.dlf"));
         },
         [](TSaveRig& r) {
             r.session->tunerSave();
             return r.store->isEmpty(); // a saved recording is cleared
         },
         [](TSaveRig& r) { return errorShown(r) && r.store->count() == 50; }},
        {"CsvExport", "log.csv",
         [](TSaveRig& r) {
             r.recording();
             r.svc.fileDialogs.answer(r.path("log.csv"));
         },
         [](TSaveRig& r) {
             r.session->tunerSave();
             return !errorShown(r);
         },
         errorShown},
        {"CalibrationCt2", "maps.ct2",
         [](TSaveRig& r) {
             r.openRom(r.dir.filePath(QStringLiteral("car.bin")));
             r.svc.fileDialogs.answer(r.path("maps.ct2"));
         },
         [](TSaveRig& r) {
             auto services = r.svc.services();
             return runExportCalibration(r.rom, services);
         },
         errorShown},
        {"CalibrationCtv", "maps.ctv",
         [](TSaveRig& r) {
             r.openRom(r.dir.filePath(QStringLiteral("car.bin")));
             r.svc.fileDialogs.answer(r.path("maps.ctv"));
         },
         [](TSaveRig& r) {
             auto services = r.svc.services();
             return runExportCalibration(r.rom, services);
         },
         errorShown},
    };
    return kinds;
}

class SaveFaults : public testing::TestWithParam<std::tuple<int, TFault>> {};

TEST_P(SaveFaults, OldFileStaysAndTheUserIsTold)
{
    const TSaveKind& kind = saveKinds()[static_cast<size_t>(std::get<0>(GetParam()))];
    const TFault fault = std::get<1>(GetParam());
    if (fault == TFault::ReadOnlyFolder && geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the full-disk case covers this save";
    TSaveRig rig;
    ASSERT_TRUE(rig.dir.isValid());
    // The old file: no save of this kind would write these bytes (a ROM
    // save's old file is the document itself).
    const QString target = rig.path(kind.target);
    writeBytes(target, QByteArray("[Old]\r\nkept=1\r\n") + QByteArray(300, 'o'));
    kind.prepare(rig);
    if (testing::Test::HasFatalFailure())
        return;
    const QByteArray old = readBytes(target);
    rig.svc.messages.clear();
    const QStringList before = QDir(rig.folder).entryList(QDir::Files | QDir::Hidden);
    bool saved = false;
    if (fault == TFault::FullDisk) {
        TFileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        saved = kind.save(rig);
    } else {
        ASSERT_TRUE(QFile::setPermissions(rig.folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        saved = kind.save(rig);
        QFile::setPermissions(rig.folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(readBytes(target), old);
    EXPECT_TRUE(kind.told(rig));
    EXPECT_EQ(QDir(rig.folder).entryList(QDir::Files | QDir::Hidden), before) << "no temporary file left";
    if (rig.doc) {
        EXPECT_TRUE(rig.doc->modified()) << "the image is still unsaved";
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveFaults,
                         testing::Combine(testing::Range(0, 8),
                                          testing::Values(TFault::FullDisk, TFault::ReadOnlyFolder)),
                         [](const testing::TestParamInfo<std::tuple<int, TFault>>& p) {
                             return std::string(saveKinds()[static_cast<size_t>(std::get<0>(p.param))].name) +
                                    (std::get<1>(p.param) == TFault::FullDisk ? "_FullDisk" : "_ReadOnlyFolder");
                         });

} // namespace
