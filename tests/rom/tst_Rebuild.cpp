// Table structure of the extended family: the setters, the rebuild question,
// the breakpoint sets, the rebuild as one undo step and its dialog; and the
// New ROM template list and dialog.
#include "CalibTestUtil.h"

#include "rom/mdlNewRom.h"
#include "rom/mdlTableRebuild.h"
#include "rom/ui/frmNewRom.h"
#include "rom/ui/frmRebuildTables.h"
#include "settings/mdlErrors.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

QVector<int> arithmetic(int start, int step, int n)
{
    QVector<int> v;
    for (int k = 0; k < n; ++k)
        v << start + k * step;
    return v;
}

int countByte(const TRom& rom, int entry) { return rom.byteAt(rom.address(entry)); }

} // namespace

TEST(TableStructure, CountSettersClampStoreAndMark)
{
    const struct {
        bool columns, high;
        int typed, stored; // stored: the byte at the count entry, -1 = unchanged
        const char* why;
    } rows[] = {
        {true, false, 30, 22, "30 columns store 24"},
        {true, true, 1, 0, "1 column stores 2"},
        {false, false, 1, 0, "1 row stores 2"},
        {false, true, 19, 17, "19 rows"},
        {false, false, 25, -1, "25 rows clamp to 20, the displayed count: nothing stored"},
        {false, false, 17, 15, "17 rows"},
        {true, false, 10, -1, "the displayed count: nothing stored"},
        {false, true, 20, -1, "the displayed count: nothing stored"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.why);
        TRom rom;
        loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
        const int entry = r.high ? (r.columns ? 135 : 134) : (r.columns ? 133 : 132);
        const int before = countByte(rom, entry);
        TTableStructureMarks marks;
        const bool stored =
            r.columns ? setTableColumns(rom, r.high, r.typed, marks) : setTableRows(rom, r.high, r.typed, marks);
        EXPECT_EQ(stored, r.stored >= 0);
        EXPECT_EQ(countByte(rom, entry), r.stored >= 0 ? r.stored : before);
        EXPECT_EQ(marks.columns, r.stored >= 0 && r.columns);
        EXPECT_EQ(marks.lowRows, r.stored >= 0 && !r.columns && !r.high);
        EXPECT_EQ(marks.highRows, r.stored >= 0 && !r.columns && r.high);
        EXPECT_EQ(marks.tablesChanged, r.stored >= 0);
        EXPECT_FALSE(rom.buffer().modified() && r.stored < 0);
    }
    // A family without adjustable shapes ignores them.
    TRom p28;
    loadGenerated(p28, QStringLiteral("p28"));
    TTableStructureMarks marks;
    EXPECT_FALSE(setTableColumns(p28, false, 15, marks));
    EXPECT_FALSE(marks.any());
    EXPECT_FALSE(p28.buffer().modified());
}

TEST(TableStructure, IndexingModes)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    TTableStructureMarks marks;
    setExtendedLowCams(rom, true, marks);
    EXPECT_TRUE(extendedLowCams(rom));
    EXPECT_EQ(rom.byteAt(0x09E2), 0xFE);
    EXPECT_TRUE(marks.lowRows);
    setExtendedLowCams(rom, false, marks);
    EXPECT_FALSE(rom.hasFlag(ffPeriodRevScale));
    EXPECT_EQ(rom.byteAt(0x09E2), 0x36);

    setAlphaNIndex(rom, true);
    EXPECT_TRUE(alphaNIndex(rom));
    EXPECT_EQ(rom.byteAt(rom.address(aeAlphaNSwitch)), 0xFF);
    setAlphaNIndex(rom, false);
    EXPECT_FALSE(rom.hasFlag(ffITB));
    EXPECT_EQ(rom.byteAt(rom.address(aeAlphaNSwitch)), 0x00);

    const struct {
        double percent;
        int byte;
    } thresholds[] = {{25, 76}, {0, 24}, {200, 255}, {-50, 0}, {10.5, 46}};
    for (const auto& t : thresholds) {
        setThrottleThreshold(rom, t.percent);
        EXPECT_EQ(rom.byteAt(rom.address(aeTpsLoadBlock) + 2), t.byte) << t.percent;
    }
    EXPECT_EQ(throttleThreshold(rom), 11); // T(46) = round(22 / 2.07)
    EXPECT_THROW(setThrottleThreshold(rom, std::nan("")), EVexorError);

    // Only the extended family with its own map has the period switch.
    TRom p30;
    loadGenerated(p30, QStringLiteral("p30"));
    const QByteArray before = imageBytes(p30);
    TTableStructureMarks none;
    setExtendedLowCams(p30, true, none);
    setAlphaNIndex(p30, true);
    EXPECT_EQ(imageBytes(p30), before);
    EXPECT_EQ(p30.FeatureFlags & (ffPeriodRevScale | ffITB), 0);
}

TEST(TableStructure, RebuildQuestionNeedsAMarkAndAModifiedImage)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    TTableStructureMarks marks;
    EXPECT_FALSE(rebuildQuestionDue(rom, marks));
    marks.tablesChanged = true;
    EXPECT_FALSE(rebuildQuestionDue(rom, marks)) << "not modified";
    setTableRows(rom, false, 12, marks);
    EXPECT_TRUE(rebuildQuestionDue(rom, marks));
    marks.clear();
    EXPECT_FALSE(rebuildQuestionDue(rom, marks));

    TTestServices t;
    t.messages.answer(mrNo);
    EXPECT_FALSE(askRebuildTables(t.messages));
    t.messages.answer(mrYes);
    EXPECT_TRUE(askRebuildTables(t.messages));
    const TMessage& m = t.messages.last();
    EXPECT_EQ(m.text,
              QStringLiteral(
                  "The changes you made may have altered the table structures. Would you like to rebuild the tables?"));
    EXPECT_EQ(m.title, QStringLiteral("Rebuild Tables"));
    EXPECT_EQ(m.kind, TMsgKind::Warning);
    EXPECT_EQ(m.buttons, TMsgButton::Yes | TMsgButton::No);
}

TEST(TableRebuild, BreakpointSets)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    ASSERT_EQ(rom.byteToMillibar(0, true), -59);
    ASSERT_EQ(rom.byteToMillibar(255, true), 1782);
    const TRebuildGroup def{TRebuildChoice::Default}, dist{TRebuildChoice::Distribute},
        inc{TRebuildChoice::Increment, 100, 7}, keep{TRebuildChoice::Unchanged};
    const QVector<int> firstTen = {114, 201, 288, 403, 576, 750, 865, 923, 981, 1035};

    // Ten displayed columns: 1035 from the tenth load on.
    QVector<int> loads = rebuildLoadSet(rom, def);
    ASSERT_EQ(loads.size(), 24);
    EXPECT_EQ(loads.mid(0, 10), firstTen);
    EXPECT_EQ(loads.mid(10), QVector<int>(14, 1035));
    EXPECT_EQ(rebuildLoadSet(rom, dist), arithmetic(-59, 184, 24)); // round(1841 / 10)
    EXPECT_EQ(rebuildLoadSet(rom, inc), arithmetic(100, 7, 24));
    EXPECT_TRUE(rebuildLoadSet(rom, keep).isEmpty());

    EXPECT_EQ(rebuildLowRpmSet(rom, def), (QVector<int>{500,  602,  703,  797,  1000, 1250, 1500, 1750, 2000, 2248,
                                                        2500, 3000, 3188, 3500, 4000, 4496, 5000, 6000, 7000, 7936}));
    EXPECT_EQ(rebuildLowRpmSet(rom, dist), arithmetic(500, 375, 20)); // 7500 / 20
    EXPECT_EQ(rebuildHighRpmSet(rom, def).mid(0, 3), (QVector<int>{0, 3533, 4007}));
    EXPECT_EQ(rebuildHighRpmSet(rom, def).last(), 10986);
    EXPECT_EQ(rebuildHighRpmSet(rom, dist), arithmetic(0, 550, 20)); // 11000 / 20
    EXPECT_EQ(rebuildHighRpmSet(rom, inc), arithmetic(100, 7, 20));

    // The counts are the displayed ones of the current table's cam.
    TTableStructureMarks marks;
    setTableColumns(rom, true, 24, marks);
    setTableRows(rom, true, 16, marks);
    TTableStructureMarks ext;
    setExtendedLowCams(rom, true, ext);
    EXPECT_EQ(rebuildLowRpmSet(rom, dist), arithmetic(0, 550, 20)) << "period encoding: 11000 / 20";
    rom.CurrentTable = tkHighIgn;
    loads = rebuildLoadSet(rom, def);
    EXPECT_EQ(loads.mid(0, 10), firstTen);
    EXPECT_EQ(loads.mid(10), arithmetic(1035 + 53, 53, 14));         // round(747 / 14)
    EXPECT_EQ(rebuildLoadSet(rom, dist), arithmetic(-59, 77, 24));   // round(1841 / 24)
    EXPECT_EQ(rebuildHighRpmSet(rom, dist), arithmetic(0, 688, 20)); // round(11000 / 16)
    EXPECT_EQ(rebuildLowRpmSet(rom, dist), arithmetic(0, 688, 20));
}

TEST(TableRebuild, DefaultsFollowTheMarks)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    TTableStructureMarks marks;
    marks.columns = true;
    TRebuildRequest r = rebuildDefaults(rom, marks);
    EXPECT_EQ(r.loads.choice, TRebuildChoice::Default);
    EXPECT_EQ(r.lowRpm.choice, TRebuildChoice::Unchanged);
    EXPECT_EQ(r.highRpm.choice, TRebuildChoice::Unchanged);
    EXPECT_EQ(r.loads.start, -59);
    EXPECT_EQ(r.loads.step, 184);
    EXPECT_EQ(r.lowRpm.start, 500);
    EXPECT_EQ(r.lowRpm.step, 375);
    EXPECT_EQ(r.highRpm.start, 3000);
    EXPECT_EQ(r.highRpm.step, 400); // round(8000 / 20)
    marks = {};
    marks.lowRows = marks.highRows = true;
    r = rebuildDefaults(rom, marks);
    EXPECT_EQ(r.loads.choice, TRebuildChoice::Unchanged);
    EXPECT_EQ(r.lowRpm.choice, TRebuildChoice::Default);
    EXPECT_EQ(r.highRpm.choice, TRebuildChoice::Default);
}

TEST(TableRebuild, WritesOneUndoStep)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 24);
    const QByteArray original = imageBytes(rom);

    EXPECT_FALSE(rebuildTables(rom, TRebuildRequest{}));
    EXPECT_EQ(rom.buffer().undoStack().position(), 0) << "all Unchanged records nothing";
    EXPECT_FALSE(rom.buffer().modified());

    const int lastLowRpm = rom.rpm(false, 19), lastHighRpm = rom.rpm(true, 19);
    TRebuildRequest r;
    r.loads.choice = TRebuildChoice::Default;
    r.lowRpm.choice = TRebuildChoice::Default;
    r.highRpm = {TRebuildChoice::Increment, 1000, 450};
    ASSERT_TRUE(rebuildTables(rom, r));
    const QVector<int> loads = rebuildLoadSet(rom, r.loads), low = rebuildLowRpmSet(rom, r.lowRpm);
    for (int i = 0; i < 23; ++i)
        EXPECT_NEAR(rom.load(false, i), loads[i], 4) << i; // one byte of the sensor's 1841 mbar span
    EXPECT_EQ(rom.byteAt(rom.address(aeLoadScaleLo) + 23), 0) << "the last column is stored as 0";
    for (int i = 0; i < 19; ++i) {
        EXPECT_GE(rom.rpm(false, i), low[i]) << i; // exponent encoding rounds up
        EXPECT_NEAR(rom.rpm(true, i), 1000 + 450 * i, 25) << i;
    }
    EXPECT_EQ(rom.rpm(false, 19), lastLowRpm) << "the last row is never written";
    EXPECT_EQ(rom.rpm(true, 19), lastHighRpm);

    const TBinUndoStack& u = rom.buffer().undoStack();
    EXPECT_EQ(u.at(0).position, TBinUndoStack::Marker);
    EXPECT_EQ(u.at(0).oldByte, ugTableRebuild);
    EXPECT_EQ(u.at(u.position() - 1).oldByte, ugTableRebuild);
    rom.buffer().undo();
    EXPECT_EQ(imageBytes(rom), original);
    EXPECT_FALSE(rom.buffer().canUndo());
}

TEST(TableRebuild, FailureLeavesTheImageUnchanged)
{
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    const QByteArray original = imageBytes(rom);
    int calls = 0;
    rom.setHook(TRom::OnSetRevScalar, [&calls](double, double, double, double) -> double {
        if (++calls == 5)
            throw EVexorError(QStringLiteral("script failed"));
        return 0;
    });
    TRebuildRequest r;
    r.loads.choice = TRebuildChoice::Distribute;
    r.lowRpm.choice = TRebuildChoice::Default;
    EXPECT_THROW(rebuildTables(rom, r), EVexorError);
    EXPECT_EQ(imageBytes(rom), original);
    EXPECT_FALSE(rom.buffer().modified());
}

TEST(TableRebuild, DialogPreselectsWritesAndClearsTheMarks)
{
    TTestServices t;
    TServices services = t.services();
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    TTableStructureMarks marks;
    setTableRows(rom, true, 16, marks);
    const QByteArray afterSetter = imageBytes(rom);
    {
        TRebuildTablesForm form(rom, marks, services);
        EXPECT_TRUE(form.findChild<QRadioButton*>(QStringLiteral("rbLoadsUnchanged"))->isChecked());
        EXPECT_TRUE(form.findChild<QRadioButton*>(QStringLiteral("rbLowRpmUnchanged"))->isChecked());
        EXPECT_TRUE(form.findChild<QRadioButton*>(QStringLiteral("rbHighRpmDefault"))->isChecked());
        EXPECT_EQ(form.findChild<QSpinBox*>(QStringLiteral("txtHighRpmStart"))->value(), 3000);
        EXPECT_EQ(form.findChild<QSpinBox*>(QStringLiteral("txtHighRpmStep"))->value(),
                  400); // current cam: low, 20 rows
        EXPECT_FALSE(form.findChild<QSpinBox*>(QStringLiteral("txtHighRpmStart"))->isEnabled());
        form.findChild<QRadioButton*>(QStringLiteral("rbLoadsIncrement"))->setChecked(true);
        EXPECT_TRUE(form.findChild<QSpinBox*>(QStringLiteral("txtLoadsStart"))->isEnabled());
        form.findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
        EXPECT_FALSE(form.rebuilt());
    }
    EXPECT_FALSE(marks.any()) << "closing the dialog clears the marks";
    EXPECT_EQ(imageBytes(rom), afterSetter);

    marks.columns = true;
    TRebuildTablesForm form(rom, marks, services);
    form.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    EXPECT_TRUE(form.rebuilt());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_NEAR(rom.load(false, 3), 403, 4);
    EXPECT_FALSE(marks.any());
}

TEST(TableRebuild, QuestionOpensTheDialogOnYes)
{
    TTestServices t;
    TServices services = t.services();
    TRom rom;
    loadGenerated(rom, QStringLiteral("vexorau"), 20, 10);
    TTableStructureMarks marks;
    EXPECT_FALSE(runRebuildQuestion(rom, marks, services)) << "nothing changed: no question";
    EXPECT_EQ(t.messages.count(), 0);

    setTableColumns(rom, false, 12, marks);
    t.messages.answer(mrNo);
    EXPECT_FALSE(runRebuildQuestion(rom, marks, services));
    EXPECT_EQ(t.messages.count(), 1);
    EXPECT_TRUE(marks.columns) << "No keeps the marks";

    t.messages.answer(mrYes);
    QTimer::singleShot(0, [] {
        auto* form = qobject_cast<TRebuildTablesForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        form->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    EXPECT_TRUE(runRebuildQuestion(rom, marks, services));
    EXPECT_EQ(t.messages.count(), 2);
    EXPECT_FALSE(marks.any());
    EXPECT_NEAR(rom.load(false, 4), 576, 4);
}

TEST(NewRom, ListsTemplatesAndReturnsTheChosenPath)
{
    QTemporaryDir home;
    qputenv("VEXOR_HOME", home.path().toUtf8());
    const QString folder = newRomTemplateFolder();
    EXPECT_EQ(folder, home.path() + QStringLiteral("/NEW"));
    EXPECT_FALSE(QDir(folder).exists());

    TTestServices t;
    TServices services = t.services();
    QTimer::singleShot(0, [] {
        auto* form = qobject_cast<TNewRomForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->list()->count(), 0);
        // An empty list used to be all a first start showed.
        EXPECT_TRUE(form->emptyHint()->isVisible());
        EXPECT_TRUE(form->emptyHint()->text().contains(QDir::toNativeSeparators(newRomTemplateFolder())));
        form->reject();
    });
    EXPECT_FALSE(runNewRomDialog(services).has_value());
    EXPECT_TRUE(QDir(folder).exists()) << "created when missing";

    for (const char* name : {"b28.new", "A VexorAu.NEW", "c.bin", "notes.new.txt"})
        writeBytes(folder + QLatin1Char('/') + QString::fromLatin1(name), "x");
    QDir(folder).mkdir(QStringLiteral("sub.new"));
    const QList<TNewRomTemplate> list = listNewRomTemplates(folder);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].name, QStringLiteral("A VexorAu"));
    EXPECT_EQ(list[1].name, QStringLiteral("b28"));
    EXPECT_EQ(list[1].path, folder + QStringLiteral("/b28.new"));
    EXPECT_TRUE(isRomTemplateFile(list[0].path));
    EXPECT_FALSE(isRomTemplateFile(QStringLiteral("x.bin")));

    QString opened;
    TNewRomForm form(folder, [&opened](const QString& f) { opened = f; });
    ASSERT_EQ(form.list()->count(), 2);
    EXPECT_TRUE(form.emptyHint()->isHidden());
    EXPECT_EQ(form.list()->item(0)->text(), QStringLiteral("A VexorAu"));
    form.list()->setCurrentRow(1);
    EXPECT_EQ(form.selectedPath(), list[1].path);
    form.findChild<QPushButton*>(QStringLiteral("btnOpenFolder"))->click();
    EXPECT_EQ(opened, folder);
    form.findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);

    QTimer::singleShot(0, [] {
        auto* f = qobject_cast<TNewRomForm*>(QApplication::activeModalWidget());
        ASSERT_NE(f, nullptr);
        f->list()->setCurrentRow(0);
        f->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    EXPECT_EQ(runNewRomDialog(services), list[0].path);
    qunsetenv("VEXOR_HOME");
}
