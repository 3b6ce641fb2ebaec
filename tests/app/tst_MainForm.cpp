// The main window driven as a user would: opened on a generated ROM through
// the command-line path, commands run by their action names, values typed
// into the grid's in-place editor and pasted from the clipboard service,
// questions answered by the scripted message service.

#include "app/frmMain.h"
#include "editor/mdlColorScales.h"
#include "editor/mdlGraphGeometry.h"
#include "editor/ui/VexorGraph.h"
#include "editor/ui/VexorGrid.h"
#include "editor/ui/frmAdjustments.h"
#include "editor/ui/frmGraphs.h"
#include "options/ui/frmOptions.h"
#include "rom/mdlRomGen.h"
#include "rom/ui/frmNotes.h"
#include "settings/mdlSettingsStore.h"
#include "support/TestServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <set>

namespace {

class TFakeCellData : public IGridCellData {
public:
    std::set<std::pair<int, int>> Untunable;
    [[nodiscard]] TCellSamples samples(int, int, int) const override { return TCellSamples::None; }
    [[nodiscard]] double measuredLambda(int, int, int) const override { return 0; }
    [[nodiscard]] quint8 knockByte(int, int, int) const override { return 0; }
    [[nodiscard]] bool isTunable(int, int col, int row) const override { return !Untunable.count({col, row}); }
};

class MainForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        romPath = dir.filePath(QStringLiteral("demo.bin"));
        TRomGenOptions o;
        o.family = QStringLiteral("p28");
        o.notes = QByteArray("tune notes\r\n");
        QFile f(romPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(generateRom(o));
    }

    void TearDown() override
    {
        if (form) {
            form->rom().buffer().markSaved(); // no save question while tearing down
            form.reset();
        }
    }

    // Creates the window as main() does and waits for its first activation.
    void start(const QString& argument, TSettingsStore* store = nullptr)
    {
        form = std::make_unique<TMainForm>(svc.services(), store, argument);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        for (int i = 0; i < 200 && !form->started(); ++i)
            QTest::qWait(5);
        ASSERT_TRUE(form->started());
        form->amMainOnUpdate();
    }
    void startWithRom() { start(romPath); }

    QAction* act(const char* name) const
    {
        QAction* a = form->action(QLatin1String(name));
        EXPECT_NE(a, nullptr) << name;
        EXPECT_EQ(a->objectName(), QLatin1String(name));
        return a;
    }
    bool enabled(const char* name)
    {
        form->amMainOnUpdate();
        return act(name)->isEnabled();
    }
    // Runs a command the way a menu click does; it must be enabled.
    void run(const char* name)
    {
        if (!form->isActiveWindow()) {
            form->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        }
        form->amMainOnUpdate();
        QAction* a = act(name);
        // The clipboard is looked at a few times a second, not on every update.
        for (int i = 0; i < 40 && !a->isEnabled(); ++i) {
            QTest::qWait(10);
            form->amMainOnUpdate();
        }
        ASSERT_TRUE(a->isEnabled()) << name << " is disabled";
        a->trigger();
        form->amMainOnUpdate();
    }
    TVexorGrid* grid() const { return form->grid(); }
    // Types as a user does: every key goes to the widget that has the focus.
    static void type(const QString& text)
    {
        for (const QChar c : text) {
            QWidget* w = QApplication::focusWidget();
            ASSERT_NE(w, nullptr);
            QTest::keyClick(w, c.toLatin1());
        }
    }
    // Where two images first differ, for short failure messages.
    static int firstDiff(const QByteArray& a, const QByteArray& b)
    {
        const int n = std::min(a.size(), b.size());
        for (int i = 0; i < n; ++i)
            if (a[i] != b[i])
                return i;
        return a.size() == b.size() ? -1 : n;
    }
    QByteArray image() const
    {
        const TBinEdit& b = form->rom().buffer();
        return QByteArray(reinterpret_cast<const char*>(b.data()), b.size());
    }
    double value(int col, int row) const { return form->rom().tableValue(col, row, form->rom().CurrentTable); }
    // Selects data cells (data coordinates) on the grid.
    void select(int left, int top, int right, int bottom)
    {
        grid()->SelectRange(left + 1, top + 3, right + 1, bottom + 3);
        grid()->setFocus();
    }
    struct Cell {
        QString caption;
        TColor bkgnd, font;
    };
    Cell colorCell(int col, int row, bool selected = false)
    {
        Cell c{QString(), VexorColors::clWhite, VexorColors::clBlack};
        TFontStyles styles = 0;
        TAlignment align = taLeftJustify;
        grid()->OnColorCell(grid(), col, row, c.caption, c.bkgnd, c.font, styles, align, selected);
        return c;
    }
    // Undoes once and checks the image is back where it was.
    void expectOneUndoStep(const QByteArray& before, const char* what)
    {
        const QByteArray after = image();
        EXPECT_NE(firstDiff(after, before), -1) << what << " changed nothing";
        run("EditUndo");
        EXPECT_EQ(firstDiff(image(), before), -1) << what << " is not one undo step";
        run("EditRedo");
        EXPECT_EQ(firstDiff(image(), after), -1) << what << " does not redo";
    }

    QTemporaryDir dir;
    QString romPath;
    TTestServices svc;
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(MainForm, WithoutArgumentItStartsInTheNoRomState)
{
    start(QString());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - Untitled"));
    EXPECT_EQ(grid()->ColCount(), 11);
    EXPECT_EQ(grid()->RowCount(), 23);
    EXPECT_FALSE(grid()->isEnabled());
    for (const char* n : {"FileSave", "FileSaveAs", "FileClose", "FileReload", "EditCopy", "EditPaste", "EditIncrease",
                          "EditInterpolate", "EditUndo", "ViewLCF", "ViewLCI", "ViewDutyCycle", "ViewRefresh"})
        EXPECT_FALSE(enabled(n)) << n;
    EXPECT_TRUE(enabled("FileOpen"));
    EXPECT_TRUE(grid()->CellCaption(0, 0).isEmpty()) << "no cell is drawn without a ROM";
    EXPECT_EQ(svc.messages.count(), 0);
}

TEST_F(MainForm, OpensTheCommandLineRomAndShowsItsTable)
{
    startWithRom();
    TRom& rom = form->rom();
    ASSERT_TRUE(rom.isLoaded());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - demo.bin"));
    EXPECT_EQ(grid()->ColCount(), rom.columns() + 1);
    EXPECT_EQ(grid()->RowCount(), rom.rows() + 3);
    EXPECT_TRUE(grid()->isEnabled());
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("spRomType"))->text(), rom.baseName());

    // The grid paints what the display logic says: headers and fuel colours.
    EXPECT_EQ(grid()->CellCaption(0, 0), QStringLiteral("Col"));
    EXPECT_EQ(grid()->CellCaption(0, 1), QStringLiteral("mbar"));
    EXPECT_EQ(grid()->CellCaption(0, 3), QString::number(rom.rpm(false, 0)));
    const Cell c = colorCell(2, 4);
    EXPECT_EQ(c.caption, QString::asprintf("%.0f", value(2, 4)));
    EXPECT_EQ(c.bkgnd, FuelColor(rom.finalMultiplier() * value(2, 4)));
    EXPECT_TRUE(enabled("FileSave"));
    EXPECT_FALSE(enabled("EditUndo"));
    EXPECT_EQ(svc.messages.count(), 0);
}

TEST_F(MainForm, SwitchesTablesAndViewModes)
{
    startWithRom();
    TRom& rom = form->rom();
    run("ViewLCI");
    EXPECT_EQ(rom.CurrentTable, tkLowIgn);
    EXPECT_TRUE(act("ViewLCI")->isChecked());
    EXPECT_FALSE(act("ViewLCF")->isChecked());
    EXPECT_EQ(colorCell(1, 1).bkgnd, IgnitionColor(value(1, 1)));

    run("ViewHCF");
    EXPECT_EQ(rom.CurrentTable, tkHighFuel);
    if (rom.address(aeCorrectionHi) != 0) {
        run("ViewTargetLambda");
        EXPECT_EQ(form->viewMode(), vmTargetLambda);
        EXPECT_TRUE(act("ViewTargetLambda")->isChecked());
        EXPECT_FALSE(enabled("ViewLCI")) << "ignition tables only show values";
        EXPECT_EQ(colorCell(0, 0).bkgnd, LambdaColor(rom.correctionCell(1, 0, 0)));
    }
    run("ViewIgnFuel");
    run("ViewLCI");
    run("ViewDutyCycle");
    EXPECT_EQ(rom.CurrentTable, tkLowFuel) << "duty cycle shows the fuel map of the cam on screen";
    EXPECT_EQ(form->viewMode(), vmDutyCycle);
    EXPECT_TRUE(colorCell(0, 5).caption.endsWith(QLatin1Char('%')));

    // The lambda and knock views stay blank until datalog data exists.
    run("ViewKnock");
    EXPECT_TRUE(colorCell(0, 5).caption.isEmpty());
    EXPECT_TRUE(enabled("EditDelete"));
    EXPECT_FALSE(enabled("EditIncrease"));
    run("ViewIgnFuel");
    EXPECT_EQ(form->viewMode(), vmValues);

    // Units: AFR and psi are check items of the window.
    run("ViewAFR");
    EXPECT_TRUE(act("ViewAFR")->isChecked());
    run("ViewAFR");
    EXPECT_FALSE(act("ViewAFR")->isChecked());
}

TEST_F(MainForm, TypingIntoACellEditsTheRomAndUndoRevertsIt)
{
    startWithRom();
    run("ViewLCI");
    select(1, 2, 1, 2);
    const QByteArray before = image();
    type(QStringLiteral("12.5"));
    ASSERT_TRUE(grid()->EditorVisible()) << "typing a digit starts editing";
    EXPECT_EQ(grid()->Editor()->text(), QStringLiteral("12.5"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Minus); // refused by the key filter
    EXPECT_EQ(grid()->Editor()->text(), QStringLiteral("12.5"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_FALSE(grid()->EditorVisible());
    EXPECT_DOUBLE_EQ(value(1, 2), 12.5);
    form->amMainOnUpdate();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - demo.bin*"));
    EXPECT_EQ(colorCell(1, 2).caption, QStringLiteral("12.50"));
    expectOneUndoStep(before, "typing a value");

    // Escape leaves the cell as it was.
    const QByteArray edited = image();
    type(QStringLiteral("30"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Escape);
    EXPECT_EQ(firstDiff(image(), edited), -1);

    // A double click opens the editor pre-filled with the value.
    grid()->ShowEditor(2, 5);
    ASSERT_TRUE(grid()->EditorVisible());
    EXPECT_EQ(grid()->Editor()->text(), QString::asprintf("%.2f", value(1, 2)));
    grid()->CancelEditor();
}

TEST_F(MainForm, TypingIntoAnRpmHeaderRewritesTheScale)
{
    startWithRom();
    TRom& rom = form->rom();
    const int old = rom.rpm(false, 4);
    grid()->ShowEditor(0, 7);
    ASSERT_TRUE(grid()->EditorVisible());
    EXPECT_EQ(grid()->Editor()->text(), QString::number(old));
    grid()->Editor()->setText(QString::number(old + 200));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_NE(rom.rpm(false, 4), old);
    EXPECT_NEAR(rom.rpm(false, 4), old + 200, 100);
    EXPECT_EQ(grid()->CellCaption(0, 7), QString::number(rom.rpm(false, 4)));
}

TEST_F(MainForm, PastesFromTheClipboardAsOneStep)
{
    startWithRom();
    run("ViewLCI");
    select(0, 0, 2, 1);
    run("EditCopy");
    EXPECT_EQ(svc.clipboard.text().count(QLatin1String("\r\n")), 2);

    svc.clipboard.setText(QStringLiteral("10\t11\t12\r\n13\t14\t15\r\n"));
    select(3, 4, 5, 5);
    const QByteArray before = image();
    run("EditPaste");
    EXPECT_DOUBLE_EQ(value(3, 4), 10);
    EXPECT_DOUBLE_EQ(value(5, 5), 15);
    expectOneUndoStep(before, "paste");

    // A text of another shape is refused with the message, nothing changes.
    const QByteArray pasted = image();
    svc.messages.answer(mrOk);
    select(3, 4, 5, 6);
    run("EditPaste");
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("Clipboard data does not fit in selection."));
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Information"));
    EXPECT_EQ(firstDiff(image(), pasted), -1);

    // A field that is not a number: an error box, and still nothing written.
    svc.clipboard.setText(QStringLiteral("1\t2\t3\r\n4\tx5\t6\r\n7\t8\t9\r\n"));
    svc.messages.answer(mrOk);
    run("EditPaste");
    ASSERT_EQ(svc.messages.count(), 2);
    EXPECT_EQ(svc.messages.last().kind, TMsgKind::Error);
    EXPECT_EQ(svc.messages.last().text, QStringLiteral("'x5' is not a valid floating point value"));
    EXPECT_EQ(firstDiff(image(), pasted), -1);
    run("EditUndo");
    EXPECT_EQ(firstDiff(image(), before), -1) << "the failed paste left no undo step of its own";
}

TEST_F(MainForm, CutCopiesAndClears)
{
    startWithRom();
    run("ViewLCI");
    select(0, 0, 1, 0);
    const QString text = QString::asprintf("%.2f\t%.2f\r\n", value(0, 0), value(1, 0));
    const QByteArray before = image();
    run("EditCut");
    EXPECT_EQ(svc.clipboard.text(), text);
    EXPECT_DOUBLE_EQ(value(0, 0), 0);
    expectOneUndoStep(before, "cut");
}

TEST_F(MainForm, StepCommandsFromTheKeyboard)
{
    startWithRom();
    run("ViewLCI");
    select(2, 2, 3, 3);
    const double a = value(2, 2);
    QByteArray before = image();
    QTest::keyClick(grid(), Qt::Key_Plus);
    form->amMainOnUpdate();
    EXPECT_DOUBLE_EQ(value(2, 2), a + 0.25);
    EXPECT_DOUBLE_EQ(value(3, 3), form->rom().tableValue(3, 3, tkLowIgn));
    expectOneUndoStep(before, "increase");

    before = image();
    QTest::keyClick(grid(), Qt::Key_Minus);
    form->amMainOnUpdate();
    EXPECT_DOUBLE_EQ(value(2, 2), a);
    expectOneUndoStep(before, "decrease");
    EXPECT_FALSE(grid()->EditorVisible()) << "+ and - are commands, not typing";

    // The keypad's + and the unshifted = work as well.
    QTest::keyClick(grid(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(value(2, 2), a + 0.25);
    QTest::keyClick(grid(), Qt::Key_Equal);
    EXPECT_DOUBLE_EQ(value(2, 2), a + 0.5);
    QTest::keyClick(grid(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(value(2, 2), a + 0.25);

    // Fuel: the percentage step of the settings.
    run("ViewLCF");
    select(4, 4, 4, 4);
    const double f = value(4, 4);
    run("EditIncrease");
    EXPECT_NEAR(value(4, 4), TTableEditor::fuelStepUp(f, form->tableEditor().Steps), 4.0);

    // Arrows still move the selection: the graph moves are off here.
    select(0, 0, 0, 0);
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(grid()->Selection(), (TGridRect{1, 4, 2, 4}));

    // Page Down used to be taken by the large step, which does nothing here.
    form->amMainOnUpdate();
    before = image();
    QTest::keyClick(grid(), Qt::Key_PageDown);
    EXPECT_GT(grid()->Selection().Top, 4) << "Page Down pages the table grid";
    QTest::keyClick(grid(), Qt::Key_PageUp);
    EXPECT_EQ(grid()->Selection().Top, 3);
    EXPECT_EQ(firstDiff(image(), before), -1);
}

TEST_F(MainForm, TypedValuesTheTableCannotHoldAreReported)
{
    startWithRom();
    auto status = [this] { return form->statusBar()->currentMessage(); };
    run("ViewLCI");
    select(1, 2, 1, 2);
    // 99 degrees used to become 57.75 without a word.
    type(QStringLiteral("99"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(value(1, 2), 57.75);
    EXPECT_TRUE(status().contains(QLatin1String("57.75")) && status().contains(QLatin1String("99")))
        << qPrintable(status());
    form->statusBar()->clearMessage();
    type(QStringLiteral("30.1"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_TRUE(status().contains(QLatin1String("30.00"))) << "rounded to a quarter degree: " << qPrintable(status());
    form->statusBar()->clearMessage();
    type(QStringLiteral("30.5"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_TRUE(status().isEmpty()) << "a value kept as typed needs no notice: " << qPrintable(status());

    // "25%" on a map column of a ROM without throttle columns used to be
    // written as a load byte (187 mbar became 418).
    const QByteArray before = image();
    grid()->ShowEditor(2, 1);
    grid()->Editor()->setText(QStringLiteral("25%"));
    QTest::keyClick(grid()->Editor(), Qt::Key_Return);
    EXPECT_EQ(firstDiff(image(), before), -1);
    EXPECT_TRUE(status().contains(QLatin1String("throttle"))) << qPrintable(status());
}

TEST_F(MainForm, NissanRomsLeaveTheLambdaViewsDisabled)
{
    // They were enabled and did nothing: Nissan images have no target-lambda table.
    TRomGenOptions o;
    o.family = QStringLiteral("sr");
    QFile f(romPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(generateRom(o));
    f.close();
    startWithRom();
    for (const char* name : {"ViewTargetLambda", "ViewLambda", "ViewDifference"})
        EXPECT_FALSE(enabled(name)) << name;
    EXPECT_TRUE(enabled("ViewKnock"));
}

TEST_F(MainForm, SkipsCellsTheDatalogMarksNotTunable)
{
    startWithRom();
    run("ViewLCI");
    TFakeCellData data;
    data.Untunable = {{1, 1}};
    form->setCellData(&data);
    const Cell c = colorCell(1, 1);
    EXPECT_EQ(c.bkgnd, VexorColors::clWhite);
    EXPECT_EQ(c.font, VexorColors::clSilver);
    select(0, 1, 1, 1);
    const double a = value(0, 1), b = value(1, 1);
    run("EditIncrease");
    EXPECT_DOUBLE_EQ(value(0, 1), a + 0.25);
    EXPECT_DOUBLE_EQ(value(1, 1), b);
    form->setCellData(nullptr);
}

TEST_F(MainForm, InterpolateSmoothAndDeleteAreEachOneStep)
{
    startWithRom();
    run("ViewLCI");
    select(0, 2, 0, 3);
    EXPECT_FALSE(enabled("EditInterpolate")) << "two rows cannot be interpolated";
    EXPECT_FALSE(enabled("EditSmoothSelection"));
    svc.clipboard.setText(QStringLiteral("10\n5\n5\n5\n30\n"));
    select(0, 2, 0, 6);
    run("EditPaste");
    QByteArray before = image();
    run("EditInterpolate");
    EXPECT_GT(value(0, 3), 10);
    EXPECT_LT(value(0, 5), 30);
    expectOneUndoStep(before, "interpolate");

    svc.clipboard.setText(QStringLiteral("20 40 20 40 20 40"));
    select(0, 9, 5, 9);
    run("EditPaste");
    before = image();
    run("EditSmoothSelection");
    EXPECT_LT(value(1, 9), 40);
    expectOneUndoStep(before, "smooth selection");

    before = image();
    run("EditSmoothMap");
    if (image() != before)
        expectOneUndoStep(before, "smooth map");

    before = image();
    select(2, 2, 3, 3);
    run("EditDelete");
    EXPECT_DOUBLE_EQ(value(2, 2), 0);
    expectOneUndoStep(before, "delete");

    run("EditSelectAll");
    EXPECT_EQ(grid()->Selection(), (TGridRect{1, 3, grid()->ColCount() - 1, grid()->RowCount() - 1}));
}

TEST_F(MainForm, AdjustmentsWindowAddsToTheSelection)
{
    startWithRom();
    run("ViewLCI");
    select(1, 1, 2, 1);
    const double a = value(1, 1), b = value(2, 1);
    const QByteArray before = image();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* f = qobject_cast<TAdjustmentsForm*>(QApplication::activeModalWidget());
        ASSERT_NE(f, nullptr);
        seen = true;
        EXPECT_TRUE(f->rdoPercent->isChecked());
        EXPECT_EQ(f->txtAdd->text(), QStringLiteral("0"));
        QTest::mouseClick(f->rdoAdd, Qt::LeftButton);
        f->txtAdd->selectAll();
        QTest::keyClicks(f->txtAdd, QStringLiteral("x1.5")); // the x is filtered out
        EXPECT_EQ(f->txtAdd->text(), QStringLiteral("1.5"));
        QTest::mouseClick(f->findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    run("EditAdjustments");
    EXPECT_TRUE(seen);
    EXPECT_DOUBLE_EQ(value(1, 1), a + 1.5);
    EXPECT_DOUBLE_EQ(value(2, 1), b + 1.5);
    expectOneUndoStep(before, "adjustments");
}

TEST_F(MainForm, SavesWithACorrectChecksumAndAClearHistory)
{
    startWithRom();
    run("ViewLCI");
    select(0, 0, 0, 0);
    run("EditIncrease");
    ASSERT_TRUE(form->rom().buffer().modified());
    run("FileSave");
    EXPECT_FALSE(form->rom().buffer().modified());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - demo.bin"));
    EXPECT_FALSE(enabled("EditUndo"));
    QFile f(romPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    ASSERT_EQ(saved.left(image().size()), image());
    quint8 sum = 0;
    for (int i = 0; i < image().size(); ++i)
        sum = quint8(sum + quint8(saved[i]));
    EXPECT_EQ(sum, 0);
    EXPECT_TRUE(saved.endsWith("tune notes\r\n"));

    // Quick Save used to write its copy without a word.
    run("FileQuickSave");
    const QString status = form->statusBar()->currentMessage();
    EXPECT_TRUE(status.startsWith(QLatin1String("Saved demo.")) && status.endsWith(QLatin1String(".bin")))
        << qPrintable(status);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(status.mid(6))));
}

TEST_F(MainForm, ClosingAModifiedRomAsksFirst)
{
    startWithRom();
    run("ViewLCI");
    select(0, 0, 0, 0);
    run("EditIncrease");
    svc.messages.answer(mrCancel);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("Changes Made"));
    EXPECT_EQ(svc.messages.last().text,
              QStringLiteral("'demo.bin' has been modified.\r\rDo you wish to save modifications?"));

    svc.messages.answer(mrNo);
    run("FileClose");
    EXPECT_FALSE(form->rom().isLoaded());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - Untitled"));
    EXPECT_EQ(grid()->ColCount(), 11);
    EXPECT_FALSE(grid()->isEnabled());
}

TEST_F(MainForm, ReopensFromTheRecentFilesMenu)
{
    startWithRom();
    svc.messages.setDefaultAnswer(mrNo);
    run("FileClose");
    auto* menu = form->findChild<QMenu*>(QStringLiteral("mnuReopen"));
    ASSERT_NE(menu, nullptr);
    QAction* entry = nullptr;
    for (QAction* a : menu->actions())
        if (a->data().toString() == romPath)
            entry = a;
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isVisible());
    entry->trigger();
    for (int i = 0; i < 100 && !form->rom().isLoaded(); ++i)
        QTest::qWait(5);
    EXPECT_TRUE(form->rom().isLoaded());
}

TEST_F(MainForm, SettingsGiveTheStepSizesAndPlaceTheNotesWindow)
{
    QTemporaryDir home;
    TSettingsStore store(home.path());
    store.values().general.ignitionAdjustment = 1.5;
    start(romPath, &store);
    store.apply();
    run("ViewLCI");
    select(0, 0, 0, 0);
    const double a = value(0, 0);
    run("EditIncrease");
    EXPECT_DOUBLE_EQ(value(0, 0), a + 1.5);
    run("ViewAFR");
    store.collect();
    EXPECT_TRUE(store.values().general.showAFR);

    // The notes window's placement used to be bound to the settings only in tests.
    store.values().notesForm.windowWidth = 320;
    store.values().notesForm.windowHeight = 240;
    store.apply();
    EXPECT_EQ(form->notesForm()->size(), QSize(320, 240));
    form->notesForm()->resize(330, 250);
    store.collect();
    EXPECT_EQ(store.values().notesForm.windowWidth, 330);
    EXPECT_EQ(store.values().notesForm.windowHeight, 250);
}

TEST_F(MainForm, PopupMenuHoldsTheEditCommands)
{
    startWithRom();
    QStringList names;
    for (QAction* a : form->gridPopupMenu()->actions())
        if (!a->isSeparator())
            names << a->objectName();
    for (const char* n : {"EditCopy", "EditPaste", "EditCut", "EditDelete", "EditInterpolate", "EditUndo"})
        EXPECT_TRUE(names.contains(QLatin1String(n))) << n;
}

TEST_F(MainForm, FullScreenToggles)
{
    startWithRom();
    run("ViewFullScreen");
    EXPECT_TRUE(form->fullScreen());
    EXPECT_TRUE(act("ViewFullScreen")->isChecked());
    run("ViewFullScreen");
    EXPECT_FALSE(form->fullScreen());
    EXPECT_FALSE(form->isFullScreen());
}

TEST_F(MainForm, ExportedTablesImportBackAsOneStep)
{
    startWithRom();
    const QString ct2 = dir.filePath(QStringLiteral("tables.ct2"));
    svc.fileDialogs.answer(ct2);
    run("FileExport");
    ASSERT_TRUE(QFile::exists(ct2));
    const QByteArray exported = image();

    run("ViewLCI");
    svc.clipboard.setText(QStringLiteral("1 2 3"));
    select(0, 0, 2, 0);
    run("EditPaste");
    const QByteArray edited = image();
    svc.fileDialogs.answer(ct2);
    run("FileImport");
    EXPECT_DOUBLE_EQ(value(0, 0), form->rom().tableValue(0, 0, tkLowIgn));
    EXPECT_NE(firstDiff(image(), edited), -1) << "import restored nothing";
    run("EditUndo");
    EXPECT_EQ(firstDiff(image(), edited), -1) << "import is one undo step";
    run("EditUndo");
    EXPECT_EQ(firstDiff(image(), exported), -1);
}

TEST_F(MainForm, NotesWindowShowsTheTextAfterTheImage)
{
    startWithRom();
    run("ToolsNotes");
    ASSERT_NE(form->notesForm(), nullptr);
    EXPECT_TRUE(form->notesForm()->isVisible());
    EXPECT_EQ(form->notesForm()->memoText(), QStringLiteral("tune notes\n"));
    EXPECT_FALSE(form->rom().buffer().modified()) << "showing the notes changes nothing";
    form->notesForm()->hide();
}

TEST_F(MainForm, RebuildTablesIsOfferedOnlyForTheExtendedFamily)
{
    startWithRom();
    form->amMainOnUpdate();
    EXPECT_FALSE(act("ToolsRebuildTables")->isVisible());
    TRomGenOptions o;
    o.family = QStringLiteral("vexorau");
    const QString path = dir.filePath(QStringLiteral("au.bin"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(generateRom(o));
    f.close();
    form->document().loadFile(path);
    form->amMainOnUpdate();
    ASSERT_TRUE(form->rom().isLoaded());
    ASSERT_TRUE(form->rom().hasFlag(ffVexorAuFamily));
    EXPECT_TRUE(act("ToolsRebuildTables")->isVisible());
    EXPECT_TRUE(act("ToolsRebuildTables")->isEnabled());
    EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("spRomType"))->text(),
              form->rom().baseName() + QString::asprintf(" v%.2f", form->rom().version()));
}

TEST_F(MainForm, CommandStatesFollowWhenTheEventLoopGoesIdle)
{
    startWithRom();
    select(0, 0, 0, 0);
    form->amMainOnUpdate();
    ASSERT_FALSE(act("EditPaste")->isEnabled());
    svc.clipboard.setText(QStringLiteral("1"));
    // No explicit update: the event loop waits for events, and just before
    // it does, the window recomputes its commands.
    QEventLoop loop;
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    QTimer poke; // something to wake the loop now and then, as mouse moves do
    QObject::connect(&poke, &QTimer::timeout, [] {});
    poke.start(50);
    loop.exec();
    EXPECT_TRUE(act("EditPaste")->isEnabled());
}

TEST_F(MainForm, OffersToReloadAFileChangedOnDisk)
{
    startWithRom();
    TRomGenOptions o;
    o.family = QStringLiteral("p28");
    o.seed = 7;
    const QByteArray other = generateRom(o);
    {
        QFile f(romPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(other);
        f.close();
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    }
    svc.messages.answer(mrYes);
    // The program goes to the background and comes back.
    QWidget other_window;
    other_window.show();
    other_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other_window));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (int i = 0; i < 50 && svc.messages.count() == 0; ++i)
        QTest::qWait(10);
    ASSERT_EQ(svc.messages.count(), 1);
    EXPECT_EQ(svc.messages.last().title, QStringLiteral("File Modified"));
    EXPECT_EQ(firstDiff(image(), other.left(image().size())), -1) << "the file was loaded again";
}

TEST_F(MainForm, OpensAndSavesAsThroughTheFileDialogs)
{
    start(QString());
    svc.fileDialogs.answer(romPath);
    run("FileOpen");
    ASSERT_TRUE(form->rom().isLoaded());
    EXPECT_EQ(svc.fileDialogs.requests().last().request.title, QStringLiteral("Open ROM Image"));
    EXPECT_TRUE(grid()->isEnabled());

    run("ViewLCI");
    select(0, 0, 0, 0);
    run("EditIncrease");
    const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    svc.fileDialogs.answer(copy);
    run("FileSaveAs");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - copy.bin"));
    QFile f(copy);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(firstDiff(f.read(image().size()), image()), -1);

    // Cancelling the dialog changes nothing.
    svc.fileDialogs.answer(std::nullopt);
    run("FileOpen");
    EXPECT_EQ(form->windowTitle(), QStringLiteral("< VEXOR > - copy.bin"));
}

TEST_F(MainForm, SmartTrackingStepsTheCellsAroundTheLiveCell)
{
    startWithRom();
    run("ViewLCI");
    TLivePosition live;
    live.Active = true;
    live.Col = 3;
    live.Row = 5;
    live.TrackMode = tmQuadCell;
    form->setLivePosition(live);
    form->setSmartTracking(true);
    select(0, 0, 0, 0); // ignored while tracking
    const QByteArray before = image();
    const double sel = value(0, 0);
    double around[4];
    const QPoint cells[4] = {{3, 5}, {4, 5}, {4, 6}, {3, 6}};
    for (int i = 0; i < 4; ++i)
        around[i] = value(cells[i].x(), cells[i].y());
    run("EditIncrease");
    EXPECT_DOUBLE_EQ(value(0, 0), sel);
    for (int i = 0; i < 4; ++i)
        EXPECT_DOUBLE_EQ(value(cells[i].x(), cells[i].y()), around[i] + 0.25) << i;
    expectOneUndoStep(before, "tracked increase");

    form->setSmartTracking(false);
    run("EditDecrease");
    EXPECT_DOUBLE_EQ(value(0, 0), sel - 0.25);
}

// --- map graphs ------------------------------------------------------------------

namespace {

void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
void hover(QWidget* w, QPoint pos, bool held = false)
{
    sendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, held ? Qt::LeftButton : Qt::NoButton);
}
void press(QWidget* w, QPoint pos) { sendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton); }
void release(QWidget* w, QPoint pos) { sendMouse(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton); }

int countColor(const QImage& image, QRect area, QColor color)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.rect().contains(x, y) && image.pixelColor(x, y) == color;
    return n;
}

} // namespace

TEST_F(MainForm, GraphsShareTheSelectionWithTheGridBothWays)
{
    startWithRom();
    run("ViewLCI");
    EXPECT_FALSE(enabled("NavigateUpRpm")) << "no graph yet";
    run("ViewGraphs");
    TGraphsPanel* graphs = form->mapGraphs();
    ASSERT_TRUE(form->mapGraphsShown());
    EXPECT_TRUE(grid()->isVisible()) << "the graphs sit beside the grid";
    EXPECT_TRUE(act("ViewGraphs")->isChecked());
    TVexorGraph* pb2 = graphs->graph2D();
    TVexorGraph* pb3 = graphs->graph3D();
    EXPECT_EQ(QApplication::focusWidget(), pb2);
    EXPECT_TRUE(enabled("NavigateUpRpm"));
    EXPECT_TRUE(enabled("EditIncrease")) << "the edit commands act on what the graph shows";

    // Pointing at a 2D point selects its cell in the grid.
    const TGraphTable t = TGraphTable::build(form->display(), graphs->options());
    const TGraph2D g2(t, pb2->width(), pb2->height());
    hover(pb2, g2.cellPoint(2, 5).toPoint());
    EXPECT_EQ(form->dataSelection(), (TGridRect{2, 5, 2, 5}));
    // The selection moves of a focused graph now work.
    run("NavigateUpRpm");
    EXPECT_EQ(form->dataSelection(), (TGridRect{2, 6, 2, 6}));
    run("NavigateSelectMapUp");
    EXPECT_EQ(form->dataSelection().height(), 1);
    EXPECT_EQ(form->dataSelection().width(), 2);

    // Sweeping the 3D surface with the button held selects the bounding rectangle.
    TThreeD view;
    const TGraph3D g3(t, view, pb3->width(), pb3->height());
    ASSERT_FALSE(g3.fallback());
    hover(pb3, g3.cellPoint(1, 2));
    EXPECT_EQ(form->dataSelection(), (TGridRect{1, 2, 1, 2}));
    press(pb3, g3.cellPoint(1, 2));
    EXPECT_EQ(QApplication::focusWidget(), pb3);
    hover(pb3, g3.cellPoint(3, 4), true);
    hover(pb3, g3.cellPoint(2, 6), true);
    hover(pb3, QPoint(1, 1), true); // empty space keeps the selection
    release(pb3, QPoint(1, 1));
    EXPECT_EQ(form->dataSelection(), (TGridRect{1, 2, 3, 6}));

    // ViewGraphs pressed again flips the boost range; ViewTables hides the graphs.
    EXPECT_TRUE(graphs->options().ShowBoostRange);
    run("ViewGraphs");
    EXPECT_FALSE(graphs->options().ShowBoostRange);
    const bool duration = graphs->options().ShowDuration;
    run("ViewInjectorDuration");
    EXPECT_NE(graphs->options().ShowDuration, duration);
    EXPECT_EQ(act("ViewInjectorDuration")->isChecked(), !duration);
    run("ViewTables");
    EXPECT_FALSE(form->mapGraphsShown());
    run("ViewToggle");
    EXPECT_TRUE(form->mapGraphsShown()) << "the toggle goes from the grid to the graphs";
}

TEST_F(MainForm, DraggingAGraphPointWritesOneUndoStepOnRelease)
{
    startWithRom();
    run("ViewLCI");
    run("ViewGraphs");
    TVexorGraph* pb2 = form->mapGraphs()->graph2D();
    select(2, 5, 2, 5);
    pb2->setFocus();
    const double original = value(2, 5);
    const TGraphTable t = TGraphTable::build(form->display(), form->mapGraphs()->options());
    const TGraph2D g2(t, pb2->width(), pb2->height());
    const QPoint start = g2.cellPoint(2, 5).toPoint();

    // A click without movement writes nothing.
    QByteArray before = image();
    press(pb2, start);
    release(pb2, start);
    EXPECT_EQ(firstDiff(image(), before), -1);
    EXPECT_FALSE(form->rom().buffer().canUndo());

    // While dragging, the grid shows the new value; the release writes it.
    const QPoint target = g2.at(t.rpm(5), t.toPlotted(original + 5)).toPoint();
    press(pb2, start);
    hover(pb2, target, true);
    EXPECT_EQ(firstDiff(image(), before), -1) << "nothing is written before the release";
    EXPECT_NEAR(colorCell(2, 5).caption.toDouble(), original + 5, 0.3);
    release(pb2, target);
    EXPECT_NEAR(value(2, 5), original + 5, 0.3);
    expectOneUndoStep(before, "graph drag");

    // Dragged past the top of the graph, the cell takes its largest value.
    press(pb2, target);
    hover(pb2, QPoint(start.x(), -5000), true);
    release(pb2, QPoint(start.x(), -5000));
    EXPECT_DOUBLE_EQ(value(2, 5), 57.75 + form->rom().IgnitionOffset);
}

TEST_F(MainForm, GraphsShowTheLivePosition)
{
    startWithRom();
    run("ViewLCI");
    run("ViewGraphs");
    TVexorGraph* pb2 = form->mapGraphs()->graph2D();
    const TGraphTable t = TGraphTable::build(form->display(), form->mapGraphs()->options());
    const TGraph2D g2(t, pb2->width(), pb2->height());
    TLivePosition live;
    live.Active = true;
    live.Col = 3;
    live.Row = 7;
    live.Rpm = t.rpm(7);
    live.Ignition = t.stored(3, 7) + 2;
    const QPoint at = g2.at(live.Rpm, live.Ignition + TGraphTable::IgnitionLift).toPoint();
    const QRect marker(at.x() - 12, at.y() - 19, 25, 22);
    EXPECT_EQ(countColor(pb2->renderImage(), marker, GraphColors::Live), 0);
    form->setLivePosition(live);
    EXPECT_GT(countColor(pb2->renderImage(), marker, GraphColors::Live), 10);
    EXPECT_GT(countColor(form->mapGraphs()->graph3D()->renderImage(), form->mapGraphs()->graph3D()->rect(),
                         GraphColors::Live),
              10);
}

TEST_F(MainForm, OptionPagesEditTheRomAndUndoRefillsThem)
{
    startWithRom();
    run("ViewOptions");
    auto* panel = form->optionsPanel();
    ASSERT_TRUE(form->workPanelShown(panel));
    EXPECT_FALSE(panel->showsTree()); // a P28 image gets the simple page
    auto* rev = qobject_cast<QLineEdit*>(panel->control(QStringLiteral("txtRev")));
    ASSERT_NE(rev, nullptr);
    const QString before = rev->text();
    const QByteArray image0 = image();
    rev->setFocus();
    rev->selectAll();
    type(QStringLiteral("6800\t"));
    EXPECT_EQ(rev->text().toInt(), form->rom().revLimit());
    EXPECT_NE(rev->text(), before);
    expectOneUndoStep(image0, "txtRev");
    run("EditUndo");
    EXPECT_EQ(rev->text(), before) << "undo refills the page";
    run("ViewToggle");
    EXPECT_FALSE(form->workPanelShown(panel)); // back to the grid
}
