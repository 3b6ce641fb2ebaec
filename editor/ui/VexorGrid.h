#pragma once

#include "editor/mdlGridTypes.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QLine>
#include <QLineEdit>
#include <QList>
#include <QRawFont>
#include <QString>
#include <array>
#include <functional>
#include <vector>

class QPainter;
class TVexorGrid;

// State bits handed to OnDrawCell.
enum TGridDrawStateBit : quint8 { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = quint8;

// The in-place editor of TVexorGrid. Every character the user types or
// pastes is put to the grid's OnAcceptEditKey first; Enter commits, Escape
// cancels, Up and Down commit and move the selection, and losing the focus to
// another control commits.
class TVexorGridEditor : public QLineEdit {
    Q_OBJECT
public:
    explicit TVexorGridEditor(TVexorGrid* grid, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void pasteFiltered();
    TVexorGrid* m_grid;
};

// The program's own grid control: a string grid that stores no strings. Every
// caption, alignment and colour is asked from the owner through the events
// below while the cell is painted, so the grid always shows the model's
// current state and never a stale copy. Used by the table grid, the option
// page grids and the live view.
//
// Coordinates: "grid" coordinates count fixed rows and columns; "data"
// coordinates (OnColorCell, OnIncrement) start at the first non-fixed cell.
// Colours in the events are 0x00BBGGRR values.
class TVexorGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    using TDrawCellEvent = std::function<void(TVexorGrid* Sender, int ACol, int ARow, QPainter& Canvas,
                                              const QRect& Rect, TGridDrawState State)>;
    using TFixedCellEvent =
        std::function<void(TVexorGrid* Sender, int ACol, int ARow, QString& Caption, TAlignment& AlignTo)>;
    using TColorCellEvent =
        std::function<void(TVexorGrid* Sender, int Col, int Row, QString& Caption, TColor& BkgndColor,
                           TColor& FontColor, TFontStyles& FontStyles, TAlignment& AlignTo, bool Selected)>;
    using TCellClickEvent = std::function<void(TVexorGrid* Sender, int ACol, int ARow)>;
    using TAcceptEditKeyEvent = std::function<void(TVexorGrid* Sender, QChar Key, bool& Accept)>;
    using TIncrementEvent =
        std::function<void(TVexorGrid* Sender, int ACol, int ARow, TIncrementDirection Direction, TIncrementSize Size)>;
    // Asked before the in-place editor opens on a cell (grid coordinates):
    // Text comes pre-filled with the cell's caption; clear CanEdit to refuse.
    using TGetEditTextEvent = std::function<void(TVexorGrid* Sender, int ACol, int ARow, QString& Text, bool& CanEdit)>;
    using TEditCommitEvent = std::function<void(TVexorGrid* Sender, int ACol, int ARow, const QString& Text)>;
    using TNotifyEvent = std::function<void(TVexorGrid* Sender)>;

    explicit TVexorGrid(QWidget* parent = nullptr);
    ~TVexorGrid() override;

    // Events, in the order the owner usually wires them.
    TDrawCellEvent OnDrawCell;           // after the default drawing of a cell
    TFixedCellEvent OnFixedCell;         // caption and alignment of a fixed cell
    TColorCellEvent OnColorCell;         // caption and colours of a data cell
    TCellClickEvent OnCellClick;         // left press (not a double click)
    TCellClickEvent OnCellDblClick;      // left double click
    TAcceptEditKeyEvent OnAcceptEditKey; // key filter of the in-place editor
    TIncrementEvent OnIncrement;         // Increment() / Decrement()
    TGetEditTextEvent OnGetEditText;     // the in-place editor is about to open
    TEditCommitEvent OnEditCommit;       // editor closed keeping its text
    TCellClickEvent OnEditCancel;        // editor closed with Escape
    TNotifyEvent OnSelectionChange;      // the selected rectangle changed

    // Properties.
    [[nodiscard]] TAlignment Alignment() const { return m_alignment; }
    void setAlignment(TAlignment a);
    [[nodiscard]] bool HideSelection() const { return m_hideSelection; }
    void setHideSelection(bool on);
    [[nodiscard]] bool Enabled() const { return isEnabled(); }
    void setGridEnabled(bool on) { setEnabled(on); }
    [[nodiscard]] bool AutoSizeColumn() const { return m_autoSizeColumn; }
    void setAutoSizeColumn(bool on);
    [[nodiscard]] bool AutoSizeRow() const { return m_autoSizeRow; }
    void setAutoSizeRow(bool on);
    [[nodiscard]] int AutoSizeOnColumn() const { return m_autoSizeOnColumn; }
    void setAutoSizeOnColumn(int col);
    [[nodiscard]] int AutoSizeOnRow() const { return m_autoSizeOnRow; }
    void setAutoSizeOnRow(int row);
    // The cells grow to fill a view larger than the grid: columns share the
    // spare width, rows the spare height up to twice their own height.
    [[nodiscard]] bool StretchToFit() const { return m_stretchToFit; }
    void setStretchToFit(bool on);

    // Shape. Changing a count keeps the explicit widths and heights of the
    // columns and rows that remain and clamps the selection into the grid.
    [[nodiscard]] int ColCount() const { return m_colCount; }
    [[nodiscard]] int RowCount() const { return m_rowCount; }
    [[nodiscard]] int FixedCols() const { return m_fixedCols; }
    [[nodiscard]] int FixedRows() const { return m_fixedRows; }
    void setColCount(int n);
    void setRowCount(int n);
    void setFixedCols(int n);
    void setFixedRows(int n);
    [[nodiscard]] int DefaultColWidth() const { return m_defaultColWidth; }
    [[nodiscard]] int DefaultRowHeight() const { return m_defaultRowHeight; }
    void setDefaultColWidth(int w);
    void setDefaultRowHeight(int h);
    // The width or height set, including the auto-size adjustment (a
    // stretched cell may be larger: CellRect gives what is drawn).
    [[nodiscard]] int ColWidths(int col) const;
    [[nodiscard]] int RowHeights(int row) const;
    void setColWidths(int col, int w);
    // Sets every column as wide as the widest caption the events give for it
    // now, margins included, and at least minWidth.
    void FitColumnsToCaptions(int minWidth);
    void setRowHeights(int row, int h);

    // Colours (0x00BBGGRR); until set they follow the widget palette.
    [[nodiscard]] TColor Color() const;
    void setColor(TColor c);
    [[nodiscard]] TColor FixedColor() const;
    void setFixedColor(TColor c);
    [[nodiscard]] TColor FontColor() const;
    void setFontColor(TColor c);

    // Selection, in grid coordinates. Col/Row is the moving end of the
    // selection, the anchor its other corner.
    [[nodiscard]] TGridRect Selection() const;
    [[nodiscard]] int Col() const { return m_curCol; }
    [[nodiscard]] int Row() const { return m_curRow; }
    [[nodiscard]] int AnchorCol() const { return m_anchorCol; }
    [[nodiscard]] int AnchorRow() const { return m_anchorRow; }
    // Clamps Left/Top to the first non-fixed column/row and Right/Bottom to
    // the last ones (each also kept inside the data area), orders the corners,
    // then selects. Nothing happens while the grid has no data cells.
    void SelectRange(int Left, int Top, int Right, int Bottom);
    void SelectCell(int ACol, int ARow) { SelectRange(ACol, ARow, ACol, ARow); }
    void SelectAll();
    void SelectColumns(int fromCol, int toCol);
    void SelectRows(int fromRow, int toRow);
    [[nodiscard]] bool hasDataCells() const;

    // Report the selection's top-left data cell to OnIncrement, then repaint.
    void Increment(TIncrementSize Size);
    void Decrement(TIncrementSize Size);

    // In-place editor. ShowEditor asks OnGetEditText (text defaults to the
    // caption), opens the editor over the cell with the whole text selected
    // and returns whether it opened.
    bool ShowEditor(int ACol, int ARow);
    bool ShowEditorText(int ACol, int ARow, const QString& text, bool selectAll = true);
    void CommitEditor() { finishEdit(true, true); }
    void CancelEditor() { finishEdit(false, true); }
    [[nodiscard]] bool EditorVisible() const;
    [[nodiscard]] int EditCol() const { return m_editCol; }
    [[nodiscard]] int EditRow() const { return m_editRow; }
    [[nodiscard]] QLineEdit* Editor() const;

    // Geometry in viewport coordinates; MouseToCell gives false outside cells.
    [[nodiscard]] QRect CellRect(int ACol, int ARow) const;
    bool MouseToCell(const QPoint& pos, int& ACol, int& ARow) const;
    // Scrolls so the cell is fully in view (as far as the view allows).
    void ScrollInView(int ACol, int ARow);
    // Full size of all cells in pixels.
    [[nodiscard]] QSize contentSize() const;

    // Caption of any cell, as the events give it (also the editor's default).
    [[nodiscard]] QString CellCaption(int ACol, int ARow);

    // Repaint everything (the model changed).
    void Invalidate();

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class TVexorGridEditor;
    enum class DragMode : quint8 { None, Cells, Columns, Rows };

    void relayout();
    void updateScrollBars();
    [[nodiscard]] int fixedWidth() const;
    [[nodiscard]] int fixedHeight() const;
    [[nodiscard]] int colLeft(int col) const; // viewport x
    [[nodiscard]] int rowTop(int row) const;  // viewport y
    [[nodiscard]] int colAtX(int x) const;    // -1 outside
    [[nodiscard]] int rowAtY(int y) const;
    void paintFixedCell(QPainter& p, int col, int row, const QRect& r);
    void setPenColor(QPainter& p, const QColor& c);
    void flushLines(QPainter& p);
    void paintDataCell(QPainter& p, int col, int row, const QRect& r, bool focused);
    // Per font style: the font, and the glyphs and advances of the printable
    // ASCII characters, so the numbers of a repaint skip text shaping.
    struct FontCache {
        bool ready = false;
        bool glyphsUsable = false;
        QFont font;
        QRawFont raw;
        int ascent = 0;
        int height = 0;
        std::array<quint32, 128> glyph{};
        std::array<qreal, 128> advance{};
    };
    void drawCaption(QPainter& p, const QRect& textRect, const QString& caption, TAlignment align, TFontStyles styles);
    FontCache& fontCache(TFontStyles styles);
    void usePainterFont(QPainter& p, TFontStyles styles);
    void setSelectionCorners(int anchorCol, int anchorRow, int curCol, int curRow);
    void moveCurrent(int dCol, int dRow, bool extend);
    [[nodiscard]] int pageRows() const;
    bool acceptEditKey(QChar key);
    bool startEditing(int col, int row, const QString* typed);
    void finishEdit(bool commit, bool refocus);
    void placeEditor();
    [[nodiscard]] bool selectionShown() const;

    TAlignment m_alignment = taLeftJustify;
    bool m_hideSelection = false;
    bool m_autoSizeColumn = false;
    bool m_autoSizeRow = false;
    int m_autoSizeOnColumn = 0;
    int m_autoSizeOnRow = 0;
    bool m_stretchToFit = false;
    int m_autoDeltaW = 0; // width change since AutoSizeColumn was set
    int m_autoDeltaH = 0;

    int m_colCount = 5;
    int m_rowCount = 5;
    int m_fixedCols = 1;
    int m_fixedRows = 1;
    int m_defaultColWidth = 64;
    int m_defaultRowHeight = 18;
    std::vector<int> m_colWidths; // -1: default
    std::vector<int> m_rowHeights;
    std::vector<int> m_colPos; // unscrolled left edge of each column, plus the end
    std::vector<int> m_rowPos;
    QSize m_naturalSize; // all cells at their own sizes, without stretching

    bool m_hasColor = false, m_hasFixedColor = false, m_hasFontColor = false;
    TColor m_color = 0, m_fixedColor = 0, m_fontColor = 0;

    int m_anchorCol = 1, m_anchorRow = 1, m_curCol = 1, m_curRow = 1;
    DragMode m_drag = DragMode::None;

    TVexorGridEditor* m_editor = nullptr;
    int m_editCol = -1, m_editRow = -1;
    bool m_finishing = false;

    std::array<FontCache, 16> m_fontCache;
    int m_painterStyle = -1;                                     // style of the painter's font during a paint
    std::vector<QLine> m_silverLines, m_lightLines, m_darkLines; // borders of a paint
    QRgb m_penRgb = 0;
    bool m_penValid = false;
    QList<quint32> m_runGlyphs;
    QList<QPointF> m_runPositions;
};
