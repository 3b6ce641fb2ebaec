// The option pages driven with the keyboard, offscreen.
#include "editor/ui/VexorGrid.h"
#include "options/mdlCorrectionGrids.h"
#include "options/ui/frmOptions.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

struct Panel {
    explicit Panel(const char* family)
    {
        rom.buffer().loadBytes(generateRom({QString::fromLatin1(family)}));
        EXPECT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
        rom.buffer().clearUndo();
        panel.onChanged = [this] { ++changes; };
        panel.setUnits(TDisplayUnits{false, true, false, false});
        panel.rebuild();
        panel.resize(1000, 700);
        panel.show();
        panel.activateWindow();
        (void)QTest::qWaitForWindowExposed(&panel);
    }
    TRom rom;
    TTableStructureMarks marks;
    TScriptedMessages messages;
    TOptionsPanel panel{rom, marks, &messages};
    int changes = 0;
};

TEST(OptionsPanel, TreeDrivenByKeyboard)
{
    Panel p("vexorau");
    ASSERT_TRUE(p.panel.showsTree());
    QTreeWidget* tree = p.panel.tree();
    ASSERT_EQ(tree->topLevelItemCount(), 15);
    int nodes = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++nodes;
    EXPECT_EQ(nodes, OptionNodeCount);
    for (const TOptionNode& n : OptionNodes) // every node's topic has its control on the form
        EXPECT_NE(p.panel.control(QString::fromLatin1(n.focus)), nullptr) << n.focus;

    tree->setFocus();
    // Down through the nodes: each selects its page and sub-page.
    for (int node = 1; node <= 16; ++node) {
        QTest::keyClick(tree, Qt::Key_Down);
        EXPECT_EQ(tree->currentItem()->data(0, Qt::UserRole).toInt(), node);
        EXPECT_EQ(p.panel.pages()->currentIndex(), OptionNodes[size_t(node)].page) << node;
    }
    // Enter on the rev-cut node focuses its first control; typing and Enter write it.
    QTest::keyClick(tree, Qt::Key_Return);
    auto* revCut = qobject_cast<QLineEdit*>(p.panel.control(QStringLiteral("txtLoRevCut")));
    ASSERT_NE(revCut, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), revCut);
    revCut->selectAll();
    QTest::keyClicks(revCut, QStringLiteral("8000"));
    QTest::keyClick(revCut, Qt::Key_Return);
    EXPECT_EQ(p.rom.wordAt(p.rom.address(aeRevLimitLo)), 234);
    EXPECT_EQ(revCut->text(), QStringLiteral("8012")); // refilled from the ROM
    EXPECT_NE(QApplication::focusWidget(), revCut);    // Enter moved on
    EXPECT_GE(p.changes, 1);

    // Text that is not a number: the conversion error, and the stored value shows again.
    p.messages.setDefaultAnswer(mrOk);
    revCut->setFocus();
    revCut->selectAll();
    QTest::keyClicks(revCut, QStringLiteral("80.0.0"));
    QTest::keyClick(revCut, Qt::Key_Return);
    EXPECT_EQ(p.messages.last().kind, TMsgKind::Error);
    EXPECT_EQ(revCut->text(), QStringLiteral("8012"));

    // Event 2 through its node: the sub-page follows, conditions wait for an input.
    p.panel.selectNode(29);
    auto* events = p.panel.findChild<QTabWidget*>(QStringLiteral("pgcEvents"));
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(events->currentIndex(), 1);
    auto* minRpm = p.panel.control(QStringLiteral("txtEv2MinRPM"));
    EXPECT_FALSE(minRpm->isEnabled());
    auto* input = qobject_cast<QComboBox*>(p.panel.control(QStringLiteral("cbxEv2Input")));
    p.panel.focusNode(29);
    EXPECT_EQ(QApplication::focusWidget(), input);
    QTest::keyClick(input, Qt::Key_Down); // a closed combo box steps to the next item
    EXPECT_EQ(p.rom.byteAt(p.rom.address(aeEvent2Block)), 0x89);
    EXPECT_TRUE(minRpm->isEnabled());

    // A correction grid: type into a cell, the ROM holds it.
    auto* grid = qobject_cast<TVexorGrid*>(p.panel.control(QStringLiteral("cgECTFuelOpen")));
    ASSERT_NE(grid, nullptr);
    p.panel.selectNode(4);
    grid->SelectCell(1, 1);
    ASSERT_TRUE(grid->ShowEditorText(1, 1, QStringLiteral("10")));
    grid->CommitEditor();
    TCorrectionGrid model(*findCorrectionGrid(QStringLiteral("cgECTFuelOpen")),
                          TOptionContext{p.rom, TDisplayUnits{}, nullptr, nullptr});
    const double unity = model.unity();
    EXPECT_EQ(model.storedValue(0, 0), int(std::round(1.1 * unity)));
    EXPECT_EQ(grid->CellCaption(1, 1), QString::asprintf("%.1f", (std::round(1.1 * unity) / unity - 1) * 100));

    // Page Up steps the selected cell by a tenth of unity, Ctrl+Page Down by one.
    const int stored = model.storedValue(0, 0);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_PageUp);
    EXPECT_EQ(model.storedValue(0, 0), stored + int(unity) / 10);
    QTest::keyClick(grid, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(model.storedValue(0, 0), stored + int(unity) / 10 - 1);

    // While logging, the break point the coolant sensor is at shows magenta (silver when selected).
    const int ectByte = p.rom.byteAt(p.rom.address(aeEctOpenLo) + 2 * 3);
    p.panel.setLiveSensors(true, ectByte, 0);
    auto colorOf = [&](int col, bool selected) {
        QString caption;
        TColor bk = VexorColors::clWhite, font = VexorColors::clBlack;
        TFontStyles styles = 0;
        TAlignment align = taLeftJustify;
        grid->OnColorCell(grid, col, 0, caption, bk, font, styles, align, selected);
        return bk;
    };
    EXPECT_EQ(colorOf(model.liveColumn(ectByte), false), VexorColors::clFuchsia);
    EXPECT_EQ(colorOf(model.liveColumn(ectByte), true), VexorColors::clSilver);
    p.panel.setLiveSensors(false, ectByte, 0);
    EXPECT_NE(colorOf(model.liveColumn(ectByte), false), VexorColors::clFuchsia);
}

TEST(OptionsPanel, NodesRevealTheirGroupOnLongPages)
{
    Panel p("vexorau");
    p.panel.resize(1000, 360); // a short window: most pages scroll
    QApplication::processEvents();
    // The visible part of the page holds the node's group box.
    auto groupShown = [&](const char* control) {
        QWidget* w = p.panel.control(QString::fromLatin1(control));
        QWidget* group = w;
        while (group && !qobject_cast<QGroupBox*>(group))
            group = group->parentWidget();
        auto* scroll = qobject_cast<QScrollArea*>(group->parentWidget()->parentWidget()->parentWidget());
        const QRect inViewport(group->mapTo(scroll->viewport(), QPoint(0, 0)), group->size());
        return std::pair{scroll->viewport()->rect().contains(inViewport.topLeft()),
                         scroll->verticalScrollBar()->value()};
    };
    for (int node : {6, 4, 6, 28, 26}) {
        SCOPED_TRACE(node);
        p.panel.selectNode(node);
        EXPECT_TRUE(groupShown(OptionNodes[size_t(node)].focus).first);
    }
    p.panel.selectNode(6); // the battery grid lies below the fold of its page
    EXPECT_GT(groupShown("cgBattery").second, 0);

    // The pulse-frequency track bar shows its position in Hz.
    auto* pulse = qobject_cast<QSlider*>(p.panel.control(QStringLiteral("trkPulseFrequency")));
    ASSERT_NE(pulse, nullptr);
    auto* caption = p.panel.findChild<QLabel*>(QStringLiteral("trkPulseFrequencyCaption"));
    EXPECT_EQ(caption->text(), QStringLiteral("30Hz"));
    pulse->setValue(40);
    EXPECT_EQ(caption->text(), QStringLiteral("40Hz"));
}

TEST(OptionsPanel, SimplePageOnOtherFamilies)
{
    Panel p("p28");
    EXPECT_FALSE(p.panel.showsTree());
    ASSERT_NE(p.panel.simplePage(), nullptr);
    auto* rev = qobject_cast<QLineEdit*>(p.panel.control(QStringLiteral("txtRev")));
    ASSERT_NE(rev, nullptr);
    rev->setFocus();
    rev->selectAll();
    QTest::keyClicks(rev, QStringLiteral("900"));
    QTest::keyClick(rev, Qt::Key_Tab);
    EXPECT_NEAR(p.rom.revLimit(), 7400, 40); // below 1000: the default limit
    EXPECT_EQ(rev->text().toInt(), p.rom.revLimit());
    auto* iab = p.panel.control(QStringLiteral("txtIAB"));
    EXPECT_EQ(iab->isEnabled(), p.rom.hasFlag(ffIAB));
}

} // namespace
