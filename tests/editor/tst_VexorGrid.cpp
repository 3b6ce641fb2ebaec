#include "editor/mdlGridDisplay.h"
#include "editor/ui/VexorGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

struct Edit {
    int col, row;
    QString text;
    bool committed;
    TGridRect selectionAtCommit;
};

struct Inc {
    int col, row;
    TIncrementDirection dir;
    TIncrementSize size;
};

// A 5 x 5 data area under one fixed column and three fixed rows, the shape
// of the main table grid, every cell fully in view.
class VexorGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid = std::make_unique<TVexorGrid>();
        grid->setColCount(6);
        grid->setRowCount(8);
        grid->setFixedCols(1);
        grid->setFixedRows(3);
        grid->setDefaultColWidth(40);
        grid->setDefaultRowHeight(20);
        grid->resize(400, 300);
        grid->OnFixedCell = [this](TVexorGrid*, int c, int r, QString& caption, TAlignment&) {
            ++fixedAsked;
            caption = QStringLiteral("F%1.%2").arg(c).arg(r);
        };
        grid->OnColorCell = [this](TVexorGrid*, int c, int r, QString& caption, TColor& bk, TColor&, TFontStyles&,
                                   TAlignment&, bool) {
            caption = QStringLiteral("%1%2").arg(c).arg(r);
            if (c == 4 && r == 4)
                bk = RGB(10, 20, 200);
        };
        grid->OnCellClick = [this](TVexorGrid*, int c, int r) { clicks.push_back({c, r}); };
        grid->OnCellDblClick = [this](TVexorGrid*, int c, int r) { dblClicks.push_back({c, r}); };
        grid->OnEditCommit = [this](TVexorGrid* g, int c, int r, const QString& t) {
            edits.push_back({c, r, t, true, g->Selection()});
        };
        grid->OnEditCancel = [this](TVexorGrid* g, int c, int r) {
            edits.push_back({c, r, {}, false, g->Selection()});
        };
        grid->OnIncrement = [this](TVexorGrid*, int c, int r, TIncrementDirection d, TIncrementSize s) {
            incs.push_back({c, r, d, s});
        };
        grid->show();
        grid->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.get()));
        grid->setFocus();
    }

    void TearDown() override { grid.reset(); }

    QPoint at(int c, int r) const { return grid->CellRect(c, r).center(); }
    void click(int c, int r, Qt::KeyboardModifiers m = {})
    {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, m, at(c, r));
    }
    // Keys go where the application sends them: the focused widget.
    void key(int k, Qt::KeyboardModifiers m = {})
    {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        QTest::keyClick(w, Qt::Key(k), m);
    }
    void type(const QString& text)
    {
        for (QChar ch : text) {
            QWidget* w = QApplication::focusWidget();
            ASSERT_NE(w, nullptr);
            QTest::keyClick(w, ch.toLatin1());
        }
    }
    static TGridRect rect(int l, int t, int r, int b) { return {l, t, r, b}; }
    void resizeTo(int w, int h)
    {
        grid->resize(w, h);
        QApplication::processEvents();
        ASSERT_EQ(grid->size(), QSize(w, h));
    }

    std::unique_ptr<TVexorGrid> grid;
    int fixedAsked = 0;
    std::vector<QPoint> clicks, dblClicks;
    std::vector<Edit> edits;
    std::vector<Inc> incs;
};

} // namespace

TEST_F(VexorGridTest, ClicksSelectCellsColumnsRowsAndAll)
{
    struct Row {
        int col, row;
        Qt::KeyboardModifiers mods;
        TGridRect expected;
        const char* why;
    };
    const Row rows[] = {
        {3, 4, {}, rect(3, 4, 3, 4), "a data cell selects itself"},
        {5, 6, Qt::ShiftModifier, rect(3, 4, 5, 6), "shift-click extends from the anchor"},
        {0, 0, {}, rect(1, 3, 5, 7), "the corner selects every data cell"},
        {2, 0, {}, rect(2, 3, 2, 7), "column-number header selects the column"},
        {4, 1, {}, rect(4, 3, 4, 7), "load header selects the column too"},
        {3, 2, Qt::ShiftModifier, rect(3, 3, 4, 7), "shift on a header extends the columns"},
        {0, 5, {}, rect(1, 5, 5, 5), "rpm header selects the row"},
        {0, 7, Qt::ShiftModifier, rect(1, 5, 5, 7), "shift on an rpm header extends the rows"},
        {1, 2, {}, rect(1, 3, 1, 7), "any fixed row selects the column"},
    };
    for (const Row& r : rows) {
        clicks.clear();
        click(r.col, r.row, r.mods);
        EXPECT_EQ(grid->Selection(), r.expected) << r.why;
        ASSERT_EQ(clicks.size(), 1u) << r.why;
        EXPECT_EQ(clicks[0], QPoint(r.col, r.row)) << r.why << ": grid coordinates reported";
    }
    EXPECT_TRUE(dblClicks.empty());
}

TEST_F(VexorGridTest, DragExtendsTheSelection)
{
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, at(2, 3));
    QTest::mouseMove(grid->viewport(), at(4, 5));
    // A plain move event does not carry the button in every Qt version.
    QMouseEvent move(QEvent::MouseMove, QPointF(at(4, 6)), grid->viewport()->mapToGlobal(QPointF(at(4, 6))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at(4, 6));
    EXPECT_EQ(grid->Selection(), rect(2, 3, 4, 6));

    // Dragging across column headers selects whole columns.
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, at(4, 1));
    QMouseEvent move2(QEvent::MouseMove, QPointF(at(2, 1)), grid->viewport()->mapToGlobal(QPointF(at(2, 1))),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move2);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at(2, 1));
    EXPECT_EQ(grid->Selection(), rect(2, 3, 4, 7));
}

TEST_F(VexorGridTest, DoubleClickIsReportedOnceAsADoubleClick)
{
    // Through the window, as the platform delivers it: press, release,
    // press (+ double click), release.
    QTest::mouseDClick(grid->windowHandle(), Qt::LeftButton, {}, grid->viewport()->mapTo(grid.get(), at(3, 5)));
    ASSERT_EQ(dblClicks.size(), 1u);
    EXPECT_EQ(dblClicks[0], QPoint(3, 5));
    EXPECT_EQ(clicks.size(), 1u) << "the second press is not also a click";
    EXPECT_EQ(grid->Selection(), rect(3, 5, 3, 5));

    // A bare double-click event counts once too.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at(2, 4));
    ASSERT_EQ(dblClicks.size(), 2u);
    EXPECT_EQ(dblClicks[1], QPoint(2, 4));
    EXPECT_EQ(clicks.size(), 1u);

    // Two slow clicks are two clicks.
    click(1, 3);
    click(1, 3);
    EXPECT_EQ(clicks.size(), 3u);
    EXPECT_EQ(dblClicks.size(), 2u);
}

TEST_F(VexorGridTest, KeyboardMovesAndExtends)
{
    grid->SelectCell(2, 4);
    struct Step {
        int key;
        Qt::KeyboardModifiers mods;
        TGridRect expected;
        const char* why;
    };
    const Step steps[] = {
        {Qt::Key_Right, {}, rect(3, 4, 3, 4), "right"},
        {Qt::Key_Down, {}, rect(3, 5, 3, 5), "down"},
        {Qt::Key_Right, Qt::ShiftModifier, rect(3, 5, 4, 5), "shift-right extends"},
        {Qt::Key_Down, Qt::ShiftModifier, rect(3, 5, 4, 6), "shift-down extends"},
        {Qt::Key_Left, Qt::ShiftModifier, rect(3, 5, 3, 6), "shift-left shrinks back"},
        {Qt::Key_Left, Qt::ShiftModifier, rect(2, 5, 3, 6), "past the anchor it grows the other way"},
        {Qt::Key_Up, {}, rect(2, 5, 2, 5), "a plain move collapses the selection"},
        {Qt::Key_Up, {}, rect(2, 4, 2, 4), "up"},
        {Qt::Key_Up, {}, rect(2, 3, 2, 3), "up to the first data row"},
        {Qt::Key_Up, {}, rect(2, 3, 2, 3), "never into the header rows"},
        {Qt::Key_Left, {}, rect(1, 3, 1, 3), "left"},
        {Qt::Key_Left, {}, rect(1, 3, 1, 3), "never into the rpm column"},
        {Qt::Key_End, {}, rect(5, 3, 5, 3), "end of the row"},
        {Qt::Key_End, Qt::ControlModifier, rect(5, 7, 5, 7), "ctrl-end: last cell"},
        {Qt::Key_Down, {}, rect(5, 7, 5, 7), "never past the last row"},
        {Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier, rect(1, 3, 5, 7),
         "ctrl-shift-home selects back to the first cell"},
    };
    for (const Step& s : steps) {
        key(s.key, s.mods);
        EXPECT_EQ(grid->Selection(), s.expected) << s.why;
    }
}

TEST_F(VexorGridTest, TypingADigitEditsTheTopLeftCellAndEnterCommits)
{
    grid->SelectRange(2, 4, 3, 5);
    type(QStringLiteral("7"));
    ASSERT_TRUE(grid->EditorVisible());
    EXPECT_EQ(grid->EditCol(), 2);
    EXPECT_EQ(grid->EditRow(), 4);
    EXPECT_EQ(QApplication::focusWidget(), grid->Editor());
    EXPECT_EQ(grid->Editor()->geometry(), grid->CellRect(2, 4));
    type(QStringLiteral("5.5"));
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("75.5")) << "the first key is not lost or selected away";
    key(Qt::Key_Return);
    EXPECT_FALSE(grid->EditorVisible());
    EXPECT_FALSE(grid->Editor()->isVisible());
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_TRUE(edits[0].committed);
    EXPECT_EQ(edits[0].text, QStringLiteral("75.5"));
    EXPECT_EQ(QPoint(edits[0].col, edits[0].row), QPoint(2, 4));
    EXPECT_EQ(QApplication::focusWidget(), grid.get()) << "the grid takes the keyboard back";
    EXPECT_EQ(grid->Selection(), rect(2, 4, 3, 5)) << "committing keeps the selection";
}

TEST_F(VexorGridTest, EscapeCancelsWithoutCommitting)
{
    grid->SelectCell(3, 3);
    type(QStringLiteral("42"));
    key(Qt::Key_Escape);
    EXPECT_FALSE(grid->EditorVisible());
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_FALSE(edits[0].committed);
    EXPECT_EQ(QPoint(edits[0].col, edits[0].row), QPoint(3, 3));
    EXPECT_EQ(QApplication::focusWidget(), grid.get());
}

TEST_F(VexorGridTest, UpAndDownInTheEditorCommitAndMove)
{
    grid->SelectCell(3, 4);
    type(QStringLiteral("1"));
    key(Qt::Key_Down);
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_TRUE(edits[0].committed);
    EXPECT_EQ(QPoint(edits[0].col, edits[0].row), QPoint(3, 4));
    EXPECT_EQ(grid->Selection(), rect(3, 5, 3, 5));
    EXPECT_FALSE(grid->EditorVisible());
}

TEST_F(VexorGridTest, TheKeyFilterDecidesWhatCanBeTyped)
{
    grid->OnAcceptEditKey = [](TVexorGrid*, QChar k, bool& accept) { accept = TGridDisplay::acceptEditKey(k); };
    grid->SelectCell(2, 3);
    type(QStringLiteral("-"));
    EXPECT_FALSE(grid->EditorVisible()) << "a rejected key does not start editing";
    type(QStringLiteral("a"));
    EXPECT_FALSE(grid->EditorVisible());

    type(QStringLiteral("1-2a.5%"));
    ASSERT_TRUE(grid->EditorVisible());
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("12.5%")) << "minus and letters never reach the editor";
    key(Qt::Key_Backspace);
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("12.5"));

    // Pasting goes through the same filter.
    QApplication::clipboard()->setText(QStringLiteral("-3x4"));
    grid->Editor()->selectAll();
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("34"));

    // A filter that refuses Backspace keeps the text.
    grid->OnAcceptEditKey = [](TVexorGrid*, QChar k, bool& accept) { accept = k != QChar(8); };
    key(Qt::Key_Backspace);
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("34"));
}

TEST_F(VexorGridTest, ClickingAnotherCellCommitsBeforeTheSelectionMoves)
{
    grid->SelectCell(2, 3);
    type(QStringLiteral("9"));
    click(4, 6);
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_TRUE(edits[0].committed);
    EXPECT_EQ(edits[0].text, QStringLiteral("9"));
    EXPECT_EQ(QPoint(edits[0].col, edits[0].row), QPoint(2, 3));
    EXPECT_EQ(edits[0].selectionAtCommit, rect(2, 3, 2, 3)) << "the owner still sees the edited cell selected";
    EXPECT_EQ(grid->Selection(), rect(4, 6, 4, 6));
    EXPECT_FALSE(grid->EditorVisible());
}

TEST_F(VexorGridTest, ProgrammaticSelectionEndsTheEditOnce)
{
    grid->SelectCell(2, 3);
    type(QStringLiteral("8"));
    grid->SelectRange(1, 3, 5, 7);
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_TRUE(edits[0].committed);
    EXPECT_FALSE(grid->EditorVisible());
}

TEST_F(VexorGridTest, OwnerChoosesWhereAndWithWhatTheEditorOpens)
{
    grid->OnGetEditText = [](TVexorGrid*, int c, int r, QString& text, bool& canEdit) {
        canEdit = c != 5;
        if (r == 1)
            text = QStringLiteral("1013");
    };
    grid->SelectCell(5, 3);
    type(QStringLiteral("1"));
    EXPECT_FALSE(grid->EditorVisible()) << "refused cell";

    // F2 opens with the cell's caption, all selected so typing replaces it.
    grid->SelectCell(2, 4);
    key(Qt::Key_F2);
    ASSERT_TRUE(grid->EditorVisible());
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("11"));
    EXPECT_EQ(grid->Editor()->selectedText(), QStringLiteral("11"));
    key(Qt::Key_Escape);

    // Owners open it on header cells themselves (double click on a load).
    EXPECT_TRUE(grid->ShowEditor(3, 1));
    EXPECT_EQ(grid->Editor()->text(), QStringLiteral("1013"));
    EXPECT_EQ(grid->Editor()->geometry(), grid->CellRect(3, 1));
    type(QStringLiteral("9"));
    key(Qt::Key_Enter);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(QPoint(edits[1].col, edits[1].row), QPoint(3, 1));
    EXPECT_EQ(edits[1].text, QStringLiteral("9"));
}

TEST_F(VexorGridTest, SelectRangeClampsIntoTheDataCells)
{
    struct Row {
        int l, t, r, b;
        TGridRect expected;
        const char* why;
    };
    const Row rows[] = {
        {2, 4, 3, 5, rect(2, 4, 3, 5), "inside"},
        {0, 0, 3, 4, rect(1, 3, 3, 4), "left and top clamp to the first data cell"},
        {-5, -9, 99, 99, rect(1, 3, 5, 7), "everything clamps to the data area"},
        {4, 6, 2, 3, rect(2, 3, 4, 6), "reversed corners are put in order"},
        {9, 9, 12, 12, rect(5, 7, 5, 7), "entirely outside: the nearest data cell"},
        {0, 0, 0, 0, rect(1, 3, 1, 3), "entirely in the headers: the first data cell"},
    };
    for (const Row& r : rows) {
        grid->SelectRange(r.l, r.t, r.r, r.b);
        EXPECT_EQ(grid->Selection(), r.expected) << r.why;
    }
}

TEST_F(VexorGridTest, IncrementAndDecrementReportTheTopLeftDataCell)
{
    grid->SelectRange(3, 5, 5, 7);
    grid->Increment(isSmall);
    grid->Decrement(isLarge);
    ASSERT_EQ(incs.size(), 2u);
    EXPECT_EQ(QPoint(incs[0].col, incs[0].row), QPoint(2, 2)) << "data coordinates";
    EXPECT_EQ(incs[0].dir, idPositive);
    EXPECT_EQ(incs[0].size, isSmall);
    EXPECT_EQ(incs[1].dir, idNegative);
    EXPECT_EQ(incs[1].size, isLarge);

    // No data cells, no event.
    grid->setRowCount(3);
    grid->Increment(isSmall);
    EXPECT_EQ(incs.size(), 2u);
    EXPECT_TRUE(grid->Selection().isEmpty());
}

TEST_F(VexorGridTest, PaintAsksTheOwnerAndConvertsBgrColours)
{
    grid->SelectCell(1, 3);
    fixedAsked = 0;
    const QImage img = grid->viewport()->grab().toImage();
    // 6 fixed cells in row 0..2 plus 5 rpm cells of column 0: all visible.
    EXPECT_EQ(fixedAsked, 6 * 3 + 5);
    // The event's 0x00BBGGRR value lands on screen as red 10, green 20, blue 200.
    const QRect cell = grid->CellRect(5, 7);
    EXPECT_EQ(QColor(img.pixel(cell.right() - 3, cell.bottom() - 3)), QColor(10, 20, 200));
    // Silver lines at the bottom and right edges of a data cell.
    EXPECT_EQ(QColor(img.pixel(cell.right(), cell.top() + 3)), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(QColor(img.pixel(cell.left() + 3, cell.bottom())), QColor(0xC0, 0xC0, 0xC0));
    // A selected cell the owner does not colour keeps the highlight.
    const QRect sel = grid->CellRect(1, 3);
    EXPECT_EQ(QColor(img.pixel(sel.left() + 1, sel.top() + 1)),
              QColor(grid->palette().color(QPalette::Active, QPalette::Highlight).rgb()));
    // Fixed cells get a raised frame: light top-left, shadow bottom-right.
    const QRect head = grid->CellRect(2, 1);
    EXPECT_EQ(QColor(img.pixel(head.left() + 3, head.top())),
              QColor(grid->palette().color(QPalette::Active, QPalette::Light).rgb()));
    EXPECT_EQ(QColor(img.pixel(head.left(), head.top() + 3)),
              QColor(grid->palette().color(QPalette::Active, QPalette::Light).rgb()));
    EXPECT_EQ(QColor(img.pixel(head.right(), head.top() + 3)),
              QColor(grid->palette().color(QPalette::Active, QPalette::Dark).rgb()));
    EXPECT_EQ(QColor(img.pixel(head.left() + 3, head.bottom())),
              QColor(grid->palette().color(QPalette::Active, QPalette::Dark).rgb()));
    // Past the last cell the grid paints its own background.
    EXPECT_EQ(QColor(img.pixel(img.width() - 2, img.height() - 2)),
              QColor(grid->palette().color(QPalette::Active, QPalette::Base).rgb()));
}

TEST_F(VexorGridTest, OwnerDrawingGoesOverTheFinishedCell)
{
    std::vector<QPoint> drawn;
    grid->OnDrawCell = [&](TVexorGrid*, int c, int r, QPainter& canvas, const QRect& rc, TGridDrawState st) {
        drawn.push_back({c, r});
        if (c == 3 && r == 5) {
            EXPECT_FALSE(st & gdFixed);
            canvas.fillRect(rc, QColor(1, 2, 3)); // borders included
        }
        if (c == 0 && r == 0) {
            EXPECT_TRUE(st & gdFixed);
        }
    };
    const QImage img = grid->viewport()->grab().toImage();
    EXPECT_EQ(drawn.size(), size_t(6 * 8));
    const QRect rc = grid->CellRect(3, 5);
    EXPECT_EQ(QColor(img.pixel(rc.right(), rc.bottom())), QColor(1, 2, 3));
    EXPECT_EQ(QColor(img.pixel(rc.center())), QColor(1, 2, 3));
    // The next cell's border is still drawn normally.
    const QRect next = grid->CellRect(4, 5);
    EXPECT_EQ(QColor(img.pixel(next.right(), next.top() + 3)), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(VexorGridTest, HideSelectionShowsTheHighlightOnlyWithFocus)
{
    grid->setHideSelection(true);
    grid->SelectCell(2, 4);
    const QRect sel = grid->CellRect(2, 4);
    const QColor highlight = grid->palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(QColor(grid->viewport()->grab().toImage().pixel(sel.left() + 1, sel.top() + 1)), highlight);
    grid->clearFocus();
    EXPECT_NE(QColor(grid->viewport()->grab().toImage().pixel(sel.left() + 1, sel.top() + 1)), highlight);
}

TEST_F(VexorGridTest, LargeGridsScrollWithFrozenHeaders)
{
    grid->setColCount(30);
    grid->setRowCount(40);
    resizeTo(200, 150);
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid->Selection(), rect(29, 39, 29, 39));
    EXPECT_GT(grid->horizontalScrollBar()->value(), 0);
    EXPECT_GT(grid->verticalScrollBar()->value(), 0);
    const QRect view = grid->viewport()->rect();
    EXPECT_TRUE(view.contains(grid->CellRect(29, 39))) << "the selected cell is scrolled into view";
    EXPECT_EQ(grid->CellRect(0, 0).topLeft(), QPoint(0, 0)) << "headers do not scroll";
    EXPECT_EQ(grid->CellRect(29, 0).top(), 0);
    EXPECT_EQ(grid->CellRect(0, 39).left(), 0);
    // Clicks land on the scrolled cells.
    int c = -1, r = -1;
    ASSERT_TRUE(grid->MouseToCell(grid->CellRect(28, 38).center(), c, r));
    EXPECT_EQ(QPoint(c, r), QPoint(28, 38));
    click(28, 38);
    EXPECT_EQ(grid->Selection(), rect(28, 38, 28, 38));
    // An editor opened there sits on its cell and follows scrolling.
    ASSERT_TRUE(grid->ShowEditor(28, 38));
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->value() - 10);
    EXPECT_EQ(grid->Editor()->geometry(), grid->CellRect(28, 38));
    key(Qt::Key_Escape);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(grid->verticalScrollBar()->value(), 0);
}

TEST_F(VexorGridTest, AGridThatFitsShowsNoScrollBars)
{
    // Grown from a view too small for it, sized to its hint: scroll bars
    // shown meanwhile must go again (their own size once made them stay).
    resizeTo(120, 80);
    ASSERT_TRUE(grid->horizontalScrollBar()->isVisible());
    resizeTo(grid->sizeHint().width(), grid->sizeHint().height());
    QApplication::processEvents();
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_EQ(grid->viewport()->size(), grid->contentSize());
    // One pixel short in width: only the horizontal bar, and the vertical
    // one follows because the bar takes height.
    resizeTo(grid->sizeHint().width() - 1, grid->sizeHint().height());
    QApplication::processEvents();
    EXPECT_TRUE(grid->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
}

TEST_F(VexorGridTest, AutoSizeGivesTheWidthChangeToOneColumn)
{
    grid->setAutoSizeOnColumn(2);
    grid->setAutoSizeColumn(true);
    grid->setAutoSizeOnRow(5);
    grid->setAutoSizeRow(true);
    resizeTo(450, 330);
    EXPECT_EQ(grid->ColWidths(2), 90);
    EXPECT_EQ(grid->ColWidths(1), 40);
    EXPECT_EQ(grid->RowHeights(5), 50);
    resizeTo(300, 300);
    EXPECT_EQ(grid->ColWidths(2), 0) << "shrinking never gives a negative width";
    resizeTo(420, 300);
    EXPECT_EQ(grid->ColWidths(2), 60) << "and growing back restores it exactly";
    grid->setColWidths(2, 50);
    EXPECT_EQ(grid->ColWidths(2), 50) << "an explicit width replaces the adjustment";
}

TEST_F(VexorGridTest, StretchingFillsTheViewNarrowColumnsFirst)
{
    // Fixed-size cells used to leave the rest of a large window white.
    grid->setColWidths(1, 80);
    const QSize natural = grid->sizeHint();
    grid->setStretchToFit(true);
    resizeTo(natural.width() + 4 * 40 + 40, 1000); // room for every column at 80
    QApplication::processEvents();
    EXPECT_EQ(grid->contentSize().width(), grid->viewport()->width());
    EXPECT_EQ(grid->CellRect(2, 3).width(), 80) << "the 40-pixel columns catch up with the wide one";
    EXPECT_EQ(grid->CellRect(1, 3).width(), 80);
    EXPECT_EQ(grid->CellRect(0, 3).width(), 80);
    EXPECT_EQ(grid->CellRect(0, 3).height(), 40) << "rows stop at twice their height";
    EXPECT_EQ(grid->sizeHint(), natural) << "what the grid takes is not what it asks for";
    resizeTo(natural.width() / 2, natural.height());
    EXPECT_EQ(grid->CellRect(2, 3).width(), 40) << "too small: own sizes, and scrolling";
}

TEST_F(VexorGridTest, ShrinkingTheGridClampsTheSelectionAndDropsAnEditorOffTheGrid)
{
    grid->SelectCell(5, 7);
    type(QStringLiteral("3"));
    ASSERT_TRUE(grid->EditorVisible());
    grid->setColCount(4);
    EXPECT_FALSE(grid->EditorVisible());
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_FALSE(edits[0].committed) << "a cell that no longer exists takes no value";
    EXPECT_EQ(grid->Selection(), rect(3, 7, 3, 7));
}

TEST_F(VexorGridTest, ADisabledGridOpensNoEditorAndDropsAnOpenOne)
{
    grid->SelectCell(2, 3);
    type(QStringLiteral("5"));
    ASSERT_TRUE(grid->EditorVisible());
    grid->setGridEnabled(false);
    EXPECT_FALSE(grid->EditorVisible());
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_FALSE(edits[0].committed);
    EXPECT_FALSE(grid->ShowEditor(2, 3));
    EXPECT_FALSE(grid->Enabled());
}

TEST_F(VexorGridTest, CellCaptionUsesTheEvents)
{
    EXPECT_EQ(grid->CellCaption(0, 5), QStringLiteral("F0.5"));
    EXPECT_EQ(grid->CellCaption(3, 4), QStringLiteral("21"));
    EXPECT_EQ(grid->CellCaption(9, 9), QString());
}
