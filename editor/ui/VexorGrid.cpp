#include "editor/ui/VexorGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtMath>
#include <algorithm>
#include <numeric>

namespace {

QColor toQColor(TColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

TColor toTColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

} // namespace

// ---------------------------------------------------------------------------
// In-place editor

TVexorGridEditor::TVexorGridEditor(TVexorGrid* grid, QWidget* parent) : QLineEdit(parent), m_grid(grid)
{
    setObjectName(QStringLiteral("txtCellEdit"));
    setFrame(false);
    // Text can only come in through the key filter: no context-menu paste,
    // no drops, no middle-button paste.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setDragEnabled(false);
    hide();
}

void TVexorGridEditor::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: m_grid->finishEdit(true, true); return;
    case Qt::Key_Escape: m_grid->finishEdit(false, true); return;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        // Spreadsheet habit: leaving the cell vertically keeps the typed value.
        const int d = e->key() == Qt::Key_Up ? -1 : 1;
        m_grid->finishEdit(true, true);
        m_grid->moveCurrent(0, d, false);
        return;
    }
    default: break;
    }
    if (e->matches(QKeySequence::Paste)) {
        pasteFiltered();
        return;
    }
    // Backspace and Delete are filtered like characters.
    QString keys;
    if (e->key() == Qt::Key_Backspace)
        keys = QChar(8);
    else if (e->key() == Qt::Key_Delete)
        keys = QChar(0x7F);
    else if (!(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        keys = e->text();
    for (const QChar ch : std::as_const(keys)) {
        if (!m_grid->acceptEditKey(ch)) {
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void TVexorGridEditor::pasteFiltered()
{
    const QString text = QGuiApplication::clipboard()->text();
    QString kept;
    for (const QChar ch : text)
        if (!ch.isNull() && m_grid->acceptEditKey(ch))
            kept += ch;
    if (!kept.isEmpty())
        insert(kept);
}

void TVexorGridEditor::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Focus moving to another control applies the text; a popup menu or the
    // window losing activation does not end the edit.
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
        return;
    // Disabling the grid takes the focus away too; then nothing is applied.
    m_grid->finishEdit(m_grid->isEnabled(), false);
}

void TVexorGridEditor::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::MiddleButton) {
        e->accept(); // no selection paste past the key filter
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

// ---------------------------------------------------------------------------
// Grid

TVexorGrid::TVexorGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    // We paint every pixel of the viewport ourselves: no background erase.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setAutoFillBackground(false);
    m_defaultRowHeight = QFontMetrics(font()).height() + 3;
    m_colWidths.assign(static_cast<size_t>(m_colCount), -1);
    m_rowHeights.assign(static_cast<size_t>(m_rowCount), -1);
    m_editor = new TVexorGridEditor(this, viewport());
    setSelectionCorners(m_fixedCols, m_fixedRows, m_fixedCols, m_fixedRows);
    relayout();
}

TVexorGrid::~TVexorGrid()
{
    // The editor's focus-out during teardown must not reach the owner, and
    // it must go while this object is still whole.
    m_finishing = true;
    delete m_editor;
    m_editor = nullptr;
}

// --- properties -------------------------------------------------------------

void TVexorGrid::setAlignment(TAlignment a)
{
    m_alignment = a;
    viewport()->update();
}

void TVexorGrid::setHideSelection(bool on)
{
    m_hideSelection = on;
    viewport()->update();
}

void TVexorGrid::setAutoSizeColumn(bool on)
{
    m_autoSizeColumn = on;
    m_autoDeltaW = 0;
    relayout();
}

void TVexorGrid::setAutoSizeRow(bool on)
{
    m_autoSizeRow = on;
    m_autoDeltaH = 0;
    relayout();
}

void TVexorGrid::setAutoSizeOnColumn(int col)
{
    m_autoSizeOnColumn = col;
    m_autoDeltaW = 0;
    relayout();
}

void TVexorGrid::setAutoSizeOnRow(int row)
{
    m_autoSizeOnRow = row;
    m_autoDeltaH = 0;
    relayout();
}

void TVexorGrid::setColCount(int n)
{
    n = std::max(0, n);
    if (n == m_colCount)
        return;
    m_colCount = n;
    m_colWidths.resize(static_cast<size_t>(n), -1);
    if (m_editCol >= n)
        finishEdit(false, true);
    setSelectionCorners(m_anchorCol, m_anchorRow, m_curCol, m_curRow);
    relayout();
}

void TVexorGrid::setRowCount(int n)
{
    n = std::max(0, n);
    if (n == m_rowCount)
        return;
    m_rowCount = n;
    m_rowHeights.resize(static_cast<size_t>(n), -1);
    if (m_editRow >= n)
        finishEdit(false, true);
    setSelectionCorners(m_anchorCol, m_anchorRow, m_curCol, m_curRow);
    relayout();
}

void TVexorGrid::setFixedCols(int n)
{
    m_fixedCols = std::max(0, n);
    setSelectionCorners(m_anchorCol, m_anchorRow, m_curCol, m_curRow);
    relayout();
}

void TVexorGrid::setFixedRows(int n)
{
    m_fixedRows = std::max(0, n);
    setSelectionCorners(m_anchorCol, m_anchorRow, m_curCol, m_curRow);
    relayout();
}

void TVexorGrid::setDefaultColWidth(int w)
{
    m_defaultColWidth = std::max(0, w);
    relayout();
}

void TVexorGrid::setDefaultRowHeight(int h)
{
    m_defaultRowHeight = std::max(0, h);
    relayout();
}

int TVexorGrid::ColWidths(int col) const
{
    if (col < 0 || col >= m_colCount)
        return 0;
    const int stored = m_colWidths[static_cast<size_t>(col)];
    int w = stored >= 0 ? stored : m_defaultColWidth;
    if (m_autoSizeColumn && col == m_autoSizeOnColumn)
        w = std::max(0, w + m_autoDeltaW);
    return w;
}

int TVexorGrid::RowHeights(int row) const
{
    if (row < 0 || row >= m_rowCount)
        return 0;
    const int stored = m_rowHeights[static_cast<size_t>(row)];
    int h = stored >= 0 ? stored : m_defaultRowHeight;
    if (m_autoSizeRow && row == m_autoSizeOnRow)
        h = std::max(0, h + m_autoDeltaH);
    return h;
}

void TVexorGrid::setColWidths(int col, int w)
{
    if (col < 0 || col >= m_colCount)
        return;
    m_colWidths[static_cast<size_t>(col)] = std::max(0, w);
    if (col == m_autoSizeOnColumn)
        m_autoDeltaW = 0; // an explicit width replaces what resizing added
    relayout();
}

void TVexorGrid::FitColumnsToCaptions(int minWidth)
{
    // The text sits 2 pixels inside a cell whose frame takes up to 3 more.
    constexpr int margin = 6;
    const QFontMetrics fm(font());
    bool changed = false;
    for (int c = 0; c < m_colCount; ++c) {
        int w = minWidth;
        for (int r = 0; r < m_rowCount; ++r) {
            const QString caption = CellCaption(c, r);
            if (!caption.isEmpty())
                w = std::max(w, fm.horizontalAdvance(caption) + margin);
        }
        int& stored = m_colWidths[static_cast<size_t>(c)];
        if (stored != w) {
            stored = w;
            changed = true;
        }
    }
    if (changed)
        relayout();
}

void TVexorGrid::setRowHeights(int row, int h)
{
    if (row < 0 || row >= m_rowCount)
        return;
    m_rowHeights[static_cast<size_t>(row)] = std::max(0, h);
    if (row == m_autoSizeOnRow)
        m_autoDeltaH = 0;
    relayout();
}

TColor TVexorGrid::Color() const
{
    return m_hasColor ? m_color : toTColor(palette().color(QPalette::Active, QPalette::Base));
}

void TVexorGrid::setColor(TColor c)
{
    m_color = c;
    m_hasColor = true;
    viewport()->update();
}

TColor TVexorGrid::FixedColor() const
{
    return m_hasFixedColor ? m_fixedColor : toTColor(palette().color(QPalette::Active, QPalette::Button));
}

void TVexorGrid::setFixedColor(TColor c)
{
    m_fixedColor = c;
    m_hasFixedColor = true;
    viewport()->update();
}

TColor TVexorGrid::FontColor() const
{
    return m_hasFontColor ? m_fontColor : toTColor(palette().color(QPalette::Active, QPalette::Text));
}

void TVexorGrid::setFontColor(TColor c)
{
    m_fontColor = c;
    m_hasFontColor = true;
    viewport()->update();
}

// --- layout -----------------------------------------------------------------

namespace {

// Shares `room` beyond the sizes' sum out over them, the smallest first:
// they rise to a common level (so a narrow column catches up with the wide
// ones before any grows further); with a limit, none grows past it.
void spreadRoom(std::vector<int>& sizes, int room, int limit)
{
    auto grown = [&](int level) {
        int total = 0;
        for (const int s : sizes)
            total += std::max(s, limit > 0 ? std::min(level, std::max(s, limit)) : level);
        return total;
    };
    if (sizes.empty() || grown(0) >= room)
        return;
    int lo = 0, hi = room; // the highest level whose sizes still fit the room
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (grown(mid) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    int spare = room - grown(lo);
    for (int& s : sizes) {
        const int target = std::max(s, limit > 0 ? std::min(lo, std::max(s, limit)) : lo);
        // The pixels left over go one each to the sizes at the level.
        const bool atLevel = target == lo && (limit <= 0 || lo < limit);
        s = target + (atLevel && spare > 0 ? 1 : 0);
        if (atLevel && spare > 0)
            --spare;
    }
}

} // namespace

void TVexorGrid::setStretchToFit(bool on)
{
    m_stretchToFit = on;
    relayout();
}

void TVexorGrid::relayout()
{
    std::vector<int> widths(static_cast<size_t>(m_colCount));
    for (int c = 0; c < m_colCount; ++c)
        widths[static_cast<size_t>(c)] = ColWidths(c);
    std::vector<int> heights(static_cast<size_t>(m_rowCount));
    for (int r = 0; r < m_rowCount; ++r)
        heights[static_cast<size_t>(r)] = RowHeights(r);
    m_naturalSize =
        QSize(std::accumulate(widths.begin(), widths.end(), 0), std::accumulate(heights.begin(), heights.end(), 0));
    if (m_stretchToFit) {
        // A grid smaller than its view takes the room: wider columns, and
        // rows up to twice their height (taller rows only spread the numbers).
        const QSize room = maximumViewportSize();
        spreadRoom(widths, room.width(), 0);
        spreadRoom(heights, room.height(), 2 * m_defaultRowHeight);
    }
    m_colPos.resize(static_cast<size_t>(m_colCount) + 1);
    m_colPos[0] = 0;
    for (int c = 0; c < m_colCount; ++c)
        m_colPos[static_cast<size_t>(c) + 1] = m_colPos[static_cast<size_t>(c)] + widths[static_cast<size_t>(c)];
    m_rowPos.resize(static_cast<size_t>(m_rowCount) + 1);
    m_rowPos[0] = 0;
    for (int r = 0; r < m_rowCount; ++r)
        m_rowPos[static_cast<size_t>(r) + 1] = m_rowPos[static_cast<size_t>(r)] + heights[static_cast<size_t>(r)];
    updateScrollBars();
    updateGeometry();
    placeEditor();
    viewport()->update();
}

QSize TVexorGrid::contentSize() const
{
    return {m_colPos.empty() ? 0 : m_colPos.back(), m_rowPos.empty() ? 0 : m_rowPos.back()};
}

void TVexorGrid::updateScrollBars()
{
    // Ranges follow from the viewport as it will be once the scroll bars
    // have settled, not as it is now: a grid that fits exactly would
    // otherwise keep a bar it no longer needs (the bar's own size makes it
    // look needed).
    const QSize content = contentSize();
    const QSize max = maximumViewportSize();
    const int barW = verticalScrollBar()->sizeHint().width();
    const int barH = horizontalScrollBar()->sizeHint().height();
    const bool hAsNeeded = horizontalScrollBarPolicy() == Qt::ScrollBarAsNeeded;
    const bool vAsNeeded = verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded;
    bool needH = hAsNeeded && content.width() > max.width();
    bool needV = vAsNeeded && content.height() > max.height();
    if (needH && !needV)
        needV = vAsNeeded && content.height() > max.height() - barH;
    if (needV && !needH)
        needH = hAsNeeded && content.width() > max.width() - barW;
    const QSize view(max.width() - (needV ? barW : 0), max.height() - (needH ? barH : 0));
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
    horizontalScrollBar()->setPageStep(std::max(1, view.width() - fixedWidth()));
    horizontalScrollBar()->setSingleStep(std::max(1, m_defaultColWidth));
    verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(std::max(1, view.height() - fixedHeight()));
    verticalScrollBar()->setSingleStep(std::max(1, m_defaultRowHeight));
}

int TVexorGrid::fixedWidth() const { return m_colPos[static_cast<size_t>(std::min(m_fixedCols, m_colCount))]; }

int TVexorGrid::fixedHeight() const { return m_rowPos[static_cast<size_t>(std::min(m_fixedRows, m_rowCount))]; }

int TVexorGrid::colLeft(int col) const
{
    const int x = m_colPos[static_cast<size_t>(col)];
    return col < m_fixedCols ? x : x - horizontalScrollBar()->value();
}

int TVexorGrid::rowTop(int row) const
{
    const int y = m_rowPos[static_cast<size_t>(row)];
    return row < m_fixedRows ? y : y - verticalScrollBar()->value();
}

namespace {

// Index i with pos[i] <= x < pos[i + 1] among [from, to), or -1.
int findSpan(const std::vector<int>& pos, int from, int to, int x)
{
    if (from >= to || x < pos[static_cast<size_t>(from)] || x >= pos[static_cast<size_t>(to)])
        return -1;
    auto it = std::upper_bound(pos.begin() + from, pos.begin() + to + 1, x);
    return static_cast<int>(it - pos.begin()) - 1;
}

} // namespace

int TVexorGrid::colAtX(int x) const
{
    const int fixed = std::min(m_fixedCols, m_colCount);
    if (x < fixedWidth())
        return findSpan(m_colPos, 0, fixed, x);
    return findSpan(m_colPos, fixed, m_colCount, x + horizontalScrollBar()->value());
}

int TVexorGrid::rowAtY(int y) const
{
    const int fixed = std::min(m_fixedRows, m_rowCount);
    if (y < fixedHeight())
        return findSpan(m_rowPos, 0, fixed, y);
    return findSpan(m_rowPos, fixed, m_rowCount, y + verticalScrollBar()->value());
}

QRect TVexorGrid::CellRect(int ACol, int ARow) const
{
    if (ACol < 0 || ACol >= m_colCount || ARow < 0 || ARow >= m_rowCount)
        return {};
    const auto c = static_cast<size_t>(ACol), r = static_cast<size_t>(ARow);
    return {colLeft(ACol), rowTop(ARow), m_colPos[c + 1] - m_colPos[c], m_rowPos[r + 1] - m_rowPos[r]};
}

bool TVexorGrid::MouseToCell(const QPoint& pos, int& ACol, int& ARow) const
{
    ACol = colAtX(pos.x());
    ARow = rowAtY(pos.y());
    return ACol >= 0 && ARow >= 0;
}

void TVexorGrid::ScrollInView(int ACol, int ARow)
{
    const QSize view = viewport()->size();
    if (ACol >= m_fixedCols && ACol < m_colCount) {
        const int avail = view.width() - fixedWidth();
        const int left = m_colPos[static_cast<size_t>(ACol)] - fixedWidth();
        const int right = m_colPos[static_cast<size_t>(ACol) + 1] - fixedWidth();
        QScrollBar* h = horizontalScrollBar();
        if (left < h->value())
            h->setValue(left);
        else if (right > h->value() + avail)
            h->setValue(std::min(left, right - avail));
    }
    if (ARow >= m_fixedRows && ARow < m_rowCount) {
        const int avail = view.height() - fixedHeight();
        const int top = m_rowPos[static_cast<size_t>(ARow)] - fixedHeight();
        const int bottom = m_rowPos[static_cast<size_t>(ARow) + 1] - fixedHeight();
        QScrollBar* v = verticalScrollBar();
        if (top < v->value())
            v->setValue(top);
        else if (bottom > v->value() + avail)
            v->setValue(std::min(top, bottom - avail));
    }
}

QSize TVexorGrid::sizeHint() const
{
    // Its own size, not the stretched one: what the grid takes from its view
    // must not become what it asks of it.
    const int f = 2 * frameWidth();
    return m_naturalSize + QSize(f, f);
}

QSize TVexorGrid::minimumSizeHint() const
{
    const int f = 2 * frameWidth();
    return QSize(fixedWidth() + m_defaultColWidth + f, fixedHeight() + m_defaultRowHeight + f);
}

// --- painting ---------------------------------------------------------------

bool TVexorGrid::selectionShown() const
{
    return !m_hideSelection || hasFocus() || (m_editor->isVisible() && m_editor->hasFocus());
}

TVexorGrid::FontCache& TVexorGrid::fontCache(TFontStyles styles)
{
    FontCache& c = m_fontCache[styles & 0x0F];
    if (c.ready)
        return c;
    c = FontCache();
    QFont f = font();
    f.setBold(styles & fsBold);
    f.setItalic(styles & fsItalic);
    f.setUnderline(styles & fsUnderline);
    f.setStrikeOut(styles & fsStrikeOut);
    c.font = f;
    const QFontMetrics fm(f);
    c.ascent = fm.ascent();
    c.height = fm.height();
    c.raw = QRawFont::fromFont(f);
    c.glyphsUsable = c.raw.isValid();
    if (c.glyphsUsable) {
        QString ascii;
        for (int ch = 32; ch < 127; ++ch)
            ascii += QChar(ch);
        const QList<quint32> glyphs = c.raw.glyphIndexesForString(ascii);
        const QList<QPointF> advances = c.raw.advancesForGlyphIndexes(glyphs);
        if (glyphs.size() != ascii.size() || advances.size() != ascii.size()) {
            c.glyphsUsable = false;
        } else {
            for (int i = 0; i < ascii.size(); ++i) {
                c.glyph[static_cast<size_t>(32 + i)] = glyphs[i];
                c.advance[static_cast<size_t>(32 + i)] = advances[i].x();
            }
        }
    }
    c.ready = true;
    return c;
}

void TVexorGrid::usePainterFont(QPainter& p, TFontStyles styles)
{
    if (m_painterStyle != (styles & 0x0F)) {
        p.setFont(fontCache(styles).font);
        m_painterStyle = styles & 0x0F;
    }
}

void TVexorGrid::drawCaption(QPainter& p, const QRect& tr, const QString& caption, TAlignment align, TFontStyles styles)
{
    if (caption.isEmpty())
        return;
    const FontCache& fc = fontCache(styles);
    // Captions of plain ASCII (every number the grids show) are laid out from
    // the cached glyphs; anything else goes through full text layout.
    bool simple = fc.glyphsUsable;
    qreal width = 0;
    if (simple) {
        for (const QChar ch : caption) {
            const char16_t u = ch.unicode();
            if (u < 32 || u >= 127 || fc.glyph[u] == 0) {
                simple = false;
                break;
            }
            width += fc.advance[u];
        }
    }
    int w;
    if (simple) {
        w = qCeil(width);
    } else {
        usePainterFont(p, styles);
        w = p.fontMetrics().horizontalAdvance(caption);
    }
    int x = tr.left() + 2;
    if (align == taRightJustify)
        x = tr.left() + tr.width() - 2 - w;
    else if (align == taCenter)
        x = tr.left() + (tr.width() - w) / 2;
    const int y = tr.top() + 1 + fc.ascent;
    // Clip only the rare caption that does not fit: clipping every cell would
    // double the cost of a repaint.
    const bool clip = x < tr.left() || x + w > tr.left() + tr.width() || fc.height + 1 > tr.height();
    if (clip) {
        p.save();
        p.setClipRect(tr, Qt::IntersectClip);
    }
    if (simple) {
        m_runGlyphs.resize(caption.size());
        m_runPositions.resize(caption.size());
        qreal at = 0;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const char16_t u = caption[i].unicode();
            m_runGlyphs[i] = fc.glyph[u];
            m_runPositions[i] = QPointF(at, 0);
            at += fc.advance[u];
        }
        QGlyphRun run;
        run.setRawFont(fc.raw);
        run.setGlyphIndexes(m_runGlyphs);
        run.setPositions(m_runPositions);
        run.setUnderline(styles & fsUnderline);
        run.setStrikeOut(styles & fsStrikeOut);
        p.drawGlyphRun(QPointF(x, y), run);
    } else {
        p.drawText(x, y, caption);
    }
    if (clip)
        p.restore();
}

void TVexorGrid::setPenColor(QPainter& p, const QColor& c)
{
    if (!m_penValid || c.rgb() != m_penRgb) {
        p.setPen(c);
        m_penRgb = c.rgb();
        m_penValid = true;
    }
}

void TVexorGrid::flushLines(QPainter& p)
{
    // Cell borders are collected and drawn per colour in one call: three
    // pens per repaint instead of three per cell.
    const QPalette& pal = palette();
    auto draw = [&](std::vector<QLine>& lines, const QColor& color) {
        if (lines.empty())
            return;
        setPenColor(p, color);
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
        lines.clear();
    };
    draw(m_silverLines, toQColor(VexorColors::clSilver));
    draw(m_lightLines, pal.color(QPalette::Active, QPalette::Light));
    draw(m_darkLines, pal.color(QPalette::Active, QPalette::Dark));
}

void TVexorGrid::paintFixedCell(QPainter& p, int col, int row, const QRect& r)
{
    QString caption;
    TAlignment align = m_alignment;
    if (OnFixedCell)
        OnFixedCell(this, col, row, caption, align);
    p.fillRect(r, toQColor(FixedColor()));
    const QPalette& pal = palette();
    // Raised frame: light on the top and left edges, shadow on the bottom and right.
    m_lightLines.emplace_back(r.left(), r.top(), r.right(), r.top());
    m_lightLines.emplace_back(r.left(), r.top(), r.left(), r.bottom());
    m_darkLines.emplace_back(r.left(), r.bottom(), r.right(), r.bottom());
    m_darkLines.emplace_back(r.right(), r.top(), r.right(), r.bottom());
    setPenColor(p, isEnabled() ? toQColor(FontColor()) : pal.color(QPalette::Disabled, QPalette::WindowText));
    drawCaption(p, r.adjusted(1, 1, -2, -2), caption, align, 0);
    if (OnDrawCell) {
        flushLines(p); // the owner draws over the finished cell
        p.save();
        OnDrawCell(this, col, row, p, r, gdFixed);
        p.restore();
        m_painterStyle = -1;
        m_penValid = false;
    }
}

void TVexorGrid::paintDataCell(QPainter& p, int col, int row, const QRect& r, bool shown)
{
    const QPalette& pal = palette();
    const bool selected = shown && Selection().contains(col, row);
    QString caption;
    TFontStyles styles = 0;
    TAlignment align = m_alignment;
    TColor bk;
    TColor fc;
    const int dc = col - m_fixedCols;
    const int dr = row - m_fixedRows;
    if (!isEnabled()) {
        // A disabled grid still shows its captions, in plain window colours.
        bk = Color();
        fc = FontColor();
        if (OnColorCell)
            OnColorCell(this, dc, dr, caption, bk, fc, styles, align, false);
        bk = toTColor(pal.color(QPalette::Active, QPalette::Base));
        fc = toTColor(pal.color(QPalette::Active, QPalette::Text));
    } else if (selected) {
        bk = toTColor(pal.color(QPalette::Active, QPalette::Highlight));
        fc = toTColor(pal.color(QPalette::Active, QPalette::HighlightedText));
        if (OnColorCell)
            OnColorCell(this, dc, dr, caption, bk, fc, styles, align, true);
    } else {
        bk = Color();
        fc = FontColor();
        if (OnColorCell)
            OnColorCell(this, dc, dr, caption, bk, fc, styles, align, false);
    }
    p.fillRect(r, toQColor(bk));
    m_silverLines.emplace_back(r.left(), r.bottom(), r.right(), r.bottom());
    m_silverLines.emplace_back(r.right(), r.top(), r.right(), r.bottom());
    setPenColor(p, toQColor(fc));
    drawCaption(p, r, caption, align, styles);
    if (OnDrawCell) {
        TGridDrawState st = selected ? gdSelected : 0;
        if (hasFocus() && col == m_curCol && row == m_curRow)
            st |= gdFocused;
        flushLines(p);
        p.save();
        OnDrawCell(this, col, row, p, r, st);
        p.restore();
        m_painterStyle = -1;
        m_penValid = false;
    }
}

void TVexorGrid::paintEvent(QPaintEvent* e)
{
    QPainter p(viewport());
    m_painterStyle = -1;
    m_penValid = false;
    const QRect exposed = e->rect();
    const QSize view = viewport()->size();
    const int fw = fixedWidth();
    const int fh = fixedHeight();
    const int fixedC = std::min(m_fixedCols, m_colCount);
    const int fixedR = std::min(m_fixedRows, m_rowCount);
    const bool shown = selectionShown();
    const int hOff = horizontalScrollBar()->value();
    const int vOff = verticalScrollBar()->value();

    // Visible scrolled columns and rows.
    int c0 = std::max(fixedC, colAtX(std::max(fw, exposed.left())));
    if (colAtX(std::max(fw, exposed.left())) < 0)
        c0 = m_colCount; // nothing scrolled is visible
    int r0 = std::max(fixedR, rowAtY(std::max(fh, exposed.top())));
    if (rowAtY(std::max(fh, exposed.top())) < 0)
        r0 = m_rowCount;
    auto colVisible = [&](int c) { return colLeft(c) <= exposed.right(); };
    auto rowVisible = [&](int r) { return rowTop(r) <= exposed.bottom(); };

    // Area past the last cell.
    const QColor back = toQColor(Color());
    const int contentRight = m_colPos.back() - (m_colCount > fixedC ? hOff : 0);
    const int contentBottom = m_rowPos.back() - (m_rowCount > fixedR ? vOff : 0);
    if (contentRight < view.width())
        p.fillRect(QRect(contentRight, 0, view.width() - contentRight, view.height()), back);
    if (contentBottom < view.height())
        p.fillRect(QRect(0, contentBottom, view.width(), view.height() - contentBottom), back);

    // Data cells, clipped off the frozen headers.
    if (c0 < m_colCount && r0 < m_rowCount) {
        p.setClipRect(QRect(fw, fh, view.width() - fw, view.height() - fh).intersected(exposed));
        for (int r = r0; r < m_rowCount && rowVisible(r); ++r)
            for (int c = c0; c < m_colCount && colVisible(c); ++c)
                paintDataCell(p, c, r, CellRect(c, r), shown);
        flushLines(p);
    }
    // Fixed rows over the scrolled columns.
    if (fixedR > 0 && c0 < m_colCount && exposed.top() < fh) {
        p.setClipRect(QRect(fw, 0, view.width() - fw, fh).intersected(exposed));
        for (int r = 0; r < fixedR; ++r)
            for (int c = c0; c < m_colCount && colVisible(c); ++c)
                paintFixedCell(p, c, r, CellRect(c, r));
        flushLines(p);
    }
    // Fixed columns beside the scrolled rows.
    if (fixedC > 0 && r0 < m_rowCount && exposed.left() < fw) {
        p.setClipRect(QRect(0, fh, fw, view.height() - fh).intersected(exposed));
        for (int r = r0; r < m_rowCount && rowVisible(r); ++r)
            for (int c = 0; c < fixedC; ++c)
                paintFixedCell(p, c, r, CellRect(c, r));
        flushLines(p);
    }
    // The corner.
    if (fixedC > 0 && fixedR > 0 && exposed.left() < fw && exposed.top() < fh) {
        p.setClipRect(QRect(0, 0, fw, fh).intersected(exposed));
        for (int r = 0; r < fixedR; ++r)
            for (int c = 0; c < fixedC; ++c)
                paintFixedCell(p, c, r, CellRect(c, r));
        flushLines(p);
    }
}

// --- selection --------------------------------------------------------------

bool TVexorGrid::hasDataCells() const { return m_colCount > m_fixedCols && m_rowCount > m_fixedRows; }

TGridRect TVexorGrid::Selection() const
{
    if (!hasDataCells())
        return {};
    return {std::min(m_anchorCol, m_curCol), std::min(m_anchorRow, m_curRow), std::max(m_anchorCol, m_curCol),
            std::max(m_anchorRow, m_curRow)};
}

void TVexorGrid::setSelectionCorners(int anchorCol, int anchorRow, int curCol, int curRow)
{
    if (!hasDataCells())
        return;
    auto cc = [this](int c) { return std::clamp(c, m_fixedCols, m_colCount - 1); };
    auto cr = [this](int r) { return std::clamp(r, m_fixedRows, m_rowCount - 1); };
    anchorCol = cc(anchorCol);
    anchorRow = cr(anchorRow);
    curCol = cc(curCol);
    curRow = cr(curRow);
    const TGridRect before = Selection();
    const bool moved = curCol != m_curCol || curRow != m_curRow || anchorCol != m_anchorCol || anchorRow != m_anchorRow;
    if (!moved)
        return;
    m_anchorCol = anchorCol;
    m_anchorRow = anchorRow;
    m_curCol = curCol;
    m_curRow = curRow;
    if (!(Selection() == before)) {
        // A new selection ends an open edit, keeping what was typed.
        finishEdit(true, false);
        viewport()->update();
        if (OnSelectionChange)
            OnSelectionChange(this);
    }
}

void TVexorGrid::SelectRange(int Left, int Top, int Right, int Bottom)
{
    if (!hasDataCells())
        return;
    auto cc = [this](int c) { return std::clamp(c, m_fixedCols, m_colCount - 1); };
    auto cr = [this](int r) { return std::clamp(r, m_fixedRows, m_rowCount - 1); };
    const int l = cc(Left), t = cr(Top), r = cc(Right), b = cr(Bottom);
    setSelectionCorners(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b));
}

void TVexorGrid::SelectAll() { SelectRange(m_fixedCols, m_fixedRows, m_colCount - 1, m_rowCount - 1); }

void TVexorGrid::SelectColumns(int fromCol, int toCol)
{
    setSelectionCorners(fromCol, m_fixedRows, toCol, m_rowCount - 1);
}

void TVexorGrid::SelectRows(int fromRow, int toRow)
{
    setSelectionCorners(m_fixedCols, fromRow, m_colCount - 1, toRow);
}

void TVexorGrid::moveCurrent(int dCol, int dRow, bool extend)
{
    if (!hasDataCells())
        return;
    const int c = std::clamp(m_curCol + dCol, m_fixedCols, m_colCount - 1);
    const int r = std::clamp(m_curRow + dRow, m_fixedRows, m_rowCount - 1);
    if (extend)
        setSelectionCorners(m_anchorCol, m_anchorRow, c, r);
    else
        setSelectionCorners(c, r, c, r);
    ScrollInView(c, r);
}

void TVexorGrid::Increment(TIncrementSize Size)
{
    if (!hasDataCells())
        return;
    const TGridRect s = Selection();
    if (OnIncrement)
        OnIncrement(this, s.Left - m_fixedCols, s.Top - m_fixedRows, idPositive, Size);
    viewport()->update();
}

void TVexorGrid::Decrement(TIncrementSize Size)
{
    if (!hasDataCells())
        return;
    const TGridRect s = Selection();
    if (OnIncrement)
        OnIncrement(this, s.Left - m_fixedCols, s.Top - m_fixedRows, idNegative, Size);
    viewport()->update();
}

QString TVexorGrid::CellCaption(int ACol, int ARow)
{
    QString caption;
    if (ACol < 0 || ACol >= m_colCount || ARow < 0 || ARow >= m_rowCount)
        return caption;
    TAlignment align = m_alignment;
    if (ACol < m_fixedCols || ARow < m_fixedRows) {
        if (OnFixedCell)
            OnFixedCell(this, ACol, ARow, caption, align);
    } else if (OnColorCell) {
        TColor bk = Color();
        TColor fc = FontColor();
        TFontStyles st = 0;
        OnColorCell(this, ACol - m_fixedCols, ARow - m_fixedRows, caption, bk, fc, st, align, false);
    }
    return caption;
}

void TVexorGrid::Invalidate() { viewport()->update(); }

// --- mouse ------------------------------------------------------------------

void TVexorGrid::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    // Taking the focus first lets an open editor apply its text before the
    // selection moves.
    setFocus(Qt::MouseFocusReason);
    int c, r;
    if (!MouseToCell(e->position().toPoint(), c, r))
        return;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (c < m_fixedCols && r < m_fixedRows) {
        SelectAll();
        m_drag = DragMode::None;
    } else if (r < m_fixedRows) {
        SelectColumns(shift ? m_anchorCol : c, c);
        m_drag = DragMode::Columns;
    } else if (c < m_fixedCols) {
        SelectRows(shift ? m_anchorRow : r, r);
        m_drag = DragMode::Rows;
    } else {
        if (shift)
            setSelectionCorners(m_anchorCol, m_anchorRow, c, r);
        else
            setSelectionCorners(c, r, c, r);
        m_drag = DragMode::Cells;
    }
    if (OnCellClick)
        OnCellClick(this, c, r);
}

void TVexorGrid::mouseMoveEvent(QMouseEvent* e)
{
    if (m_drag == DragMode::None || !(e->buttons() & Qt::LeftButton) || !hasDataCells())
        return;
    const QPoint pos = e->position().toPoint();
    const QSize view = viewport()->size();
    // Outside the data area the nearest cell counts, so a drag past the edge
    // reaches the last column or row and scrolls towards it.
    int c = colAtX(std::clamp(pos.x(), fixedWidth(), std::max(fixedWidth(), view.width() - 1)));
    int r = rowAtY(std::clamp(pos.y(), fixedHeight(), std::max(fixedHeight(), view.height() - 1)));
    if (c < 0)
        c = m_colCount - 1;
    if (r < 0)
        r = m_rowCount - 1;
    if (pos.x() >= view.width())
        c = std::min(c + 1, m_colCount - 1);
    if (pos.y() >= view.height())
        r = std::min(r + 1, m_rowCount - 1);
    switch (m_drag) {
    case DragMode::Cells:
        setSelectionCorners(m_anchorCol, m_anchorRow, c, r);
        ScrollInView(c, r);
        break;
    case DragMode::Columns:
        SelectColumns(m_anchorCol, c);
        ScrollInView(c, m_fixedRows);
        break;
    case DragMode::Rows:
        SelectRows(m_anchorRow, r);
        ScrollInView(m_fixedCols, r);
        break;
    case DragMode::None: break;
    }
}

void TVexorGrid::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        m_drag = DragMode::None;
    QAbstractScrollArea::mouseReleaseEvent(e);
}

void TVexorGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    // Qt delivers the second press of a double click only as this event, so
    // a double click is one OnCellClick followed by one OnCellDblClick.
    int c, r;
    if (!MouseToCell(e->position().toPoint(), c, r))
        return;
    if (OnCellDblClick)
        OnCellDblClick(this, c, r);
}

// --- keyboard ---------------------------------------------------------------

void TVexorGrid::keyPressEvent(QKeyEvent* e)
{
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
    case Qt::Key_Left: moveCurrent(-1, 0, shift); return;
    case Qt::Key_Right: moveCurrent(1, 0, shift); return;
    case Qt::Key_Up: moveCurrent(0, -1, shift); return;
    case Qt::Key_Down: moveCurrent(0, 1, shift); return;
    case Qt::Key_Home: moveCurrent(-m_colCount, ctrl ? -m_rowCount : 0, shift); return;
    case Qt::Key_End: moveCurrent(m_colCount, ctrl ? m_rowCount : 0, shift); return;
    case Qt::Key_PageUp: moveCurrent(0, -pageRows(), shift); return;
    case Qt::Key_PageDown: moveCurrent(0, pageRows(), shift); return;
    case Qt::Key_F2:
        if (hasDataCells()) {
            const TGridRect s = Selection();
            ShowEditor(s.Left, s.Top);
        }
        return;
    default: break;
    }
    // Typing a character the key filter accepts starts editing the
    // selection's top-left cell with that character.
    const QString text = e->text();
    if (!text.isEmpty() && hasDataCells() &&
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        bool printable = true;
        for (const QChar ch : text)
            if (!ch.isPrint() || !acceptEditKey(ch))
                printable = false;
        if (printable) {
            const TGridRect s = Selection();
            if (startEditing(s.Left, s.Top, &text))
                return;
        }
    }
    e->ignore();
}

int TVexorGrid::pageRows() const
{
    // The data rows one view shows, as a spreadsheet pages.
    const int dataRows = std::max(1, m_rowCount - m_fixedRows);
    const int rowHeight = std::max(1, (contentSize().height() - fixedHeight()) / dataRows);
    return std::max(1, (viewport()->height() - fixedHeight()) / rowHeight - 1);
}

void TVexorGrid::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void TVexorGrid::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

void TVexorGrid::changeEvent(QEvent* e)
{
    QAbstractScrollArea::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange:
        for (FontCache& c : m_fontCache)
            c.ready = false;
        m_editor->setFont(font());
        viewport()->update();
        break;
    case QEvent::EnabledChange:
        // A grid disabled under an open editor (the ROM is closing) must not
        // write the half-typed value anywhere.
        if (!isEnabled())
            finishEdit(false, false);
        viewport()->update();
        break;
    case QEvent::PaletteChange: viewport()->update(); break;
    default: break;
    }
}

void TVexorGrid::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    const QSize old = e->oldSize();
    if (old.isValid()) {
        if (m_autoSizeColumn)
            m_autoDeltaW += e->size().width() - old.width();
        if (m_autoSizeRow)
            m_autoDeltaH += e->size().height() - old.height();
    }
    relayout();
}

void TVexorGrid::scrollContentsBy(int, int)
{
    placeEditor();
    viewport()->update();
}

// --- in-place editor --------------------------------------------------------

bool TVexorGrid::acceptEditKey(QChar key)
{
    bool accept = true;
    if (OnAcceptEditKey)
        OnAcceptEditKey(this, key, accept);
    return accept;
}

bool TVexorGrid::EditorVisible() const { return m_editCol >= 0; }

QLineEdit* TVexorGrid::Editor() const { return m_editor; }

bool TVexorGrid::ShowEditor(int ACol, int ARow) { return startEditing(ACol, ARow, nullptr); }

bool TVexorGrid::ShowEditorText(int ACol, int ARow, const QString& text, bool selectAll)
{
    if (!isEnabled() || ACol < 0 || ACol >= m_colCount || ARow < 0 || ARow >= m_rowCount)
        return false;
    finishEdit(true, false);
    m_editCol = ACol;
    m_editRow = ARow;
    m_editor->setFont(font());
    m_editor->setText(text);
    ScrollInView(ACol, ARow);
    placeEditor();
    m_editor->show();
    m_editor->raise();
    m_editor->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        m_editor->selectAll();
    else
        m_editor->end(false);
    return true;
}

bool TVexorGrid::startEditing(int col, int row, const QString* typed)
{
    if (!isEnabled() || col < 0 || col >= m_colCount || row < 0 || row >= m_rowCount)
        return false;
    QString text = CellCaption(col, row);
    bool canEdit = true;
    if (OnGetEditText)
        OnGetEditText(this, col, row, text, canEdit);
    if (!canEdit)
        return false;
    if (typed)
        return ShowEditorText(col, row, *typed, false);
    return ShowEditorText(col, row, text, true);
}

void TVexorGrid::finishEdit(bool commit, bool refocus)
{
    if (m_finishing || m_editCol < 0)
        return;
    m_finishing = true;
    const QString text = m_editor->text();
    const int c = m_editCol;
    const int r = m_editRow;
    if (refocus && m_editor->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_editCol = -1;
    m_editRow = -1;
    m_editor->hide();
    m_finishing = false;
    if (commit) {
        if (OnEditCommit)
            OnEditCommit(this, c, r, text);
    } else if (OnEditCancel) {
        OnEditCancel(this, c, r);
    }
    viewport()->update();
}

void TVexorGrid::placeEditor()
{
    if (m_editCol < 0 || m_editCol >= m_colCount || m_editRow < 0 || m_editRow >= m_rowCount)
        return;
    m_editor->setGeometry(CellRect(m_editCol, m_editRow));
}
