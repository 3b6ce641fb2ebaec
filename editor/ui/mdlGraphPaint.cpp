#include "editor/ui/mdlGraphPaint.h"

#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace {

QColor toQColor(TColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

// Sizes in pixels: the graphs share the screen with the grid, and pixel
// sizes keep the texts in proportion to the bitmap on every screen.
QFont arial(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

// Draws a label unless it would overlap the one drawn before it.
void labelOnce(QPainter& p, QPoint at, const QString& text, QRect& last)
{
    const QRect r = p.fontMetrics().boundingRect(text).translated(at);
    if (!last.isNull() && r.adjusted(-3, 0, 3, 0).intersects(last))
        return;
    p.drawText(at, text);
    last = r;
}

// A square of the given half size around a point, outlined with the pen.
void square(QPainter& p, QPointF at, int half)
{
    const QPoint c = at.toPoint();
    p.drawRect(c.x() - half, c.y() - half, 2 * half, 2 * half);
}

// The live marker: a triangle 20 wide and 17 high standing on the point.
void liveTriangle(QPainter& p, QPointF at)
{
    const QPoint c = at.toPoint();
    const QPoint tri[3] = {{c.x() - 10, c.y()}, {c.x() + 10, c.y()}, {c.x(), c.y() - 17}};
    p.drawPolygon(tri, 3);
}

// A segment several pixels wide as a parallelogram, widened across its
// shorter direction so its ends join the neighbouring segments.
std::array<QPoint, 4> thickSegment(QPoint a, QPoint b, int width)
{
    const bool flat = std::abs(b.x() - a.x()) >= std::abs(b.y() - a.y());
    const QPoint lo = flat ? QPoint(0, -width / 2) : QPoint(-width / 2, 0);
    const QPoint hi = flat ? QPoint(0, width - width / 2) : QPoint(width - width / 2, 0);
    return {a + lo, b + lo, b + hi, a + hi};
}

void drawTitle(QPainter& p, const QString& text, const QColor& color, int y, bool bold)
{
    p.setFont(arial(18, bold));
    p.setPen(color);
    p.drawText(QRect(40, y, 4000, 40), Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

void paintGraph2D(QPainter& p, const TGraph2D& g, const TGraphMarks& marks)
{
    const TGraphTable& t = g.table();
    const int w = g.width(), h = g.height();
    p.fillRect(0, 0, w, h, GraphColors::Background2D);
    if (t.isEmpty())
        return;

    // Value and rpm lines with their labels.
    p.setPen(QPen(GraphColors::GridLine, 2, Qt::DotLine));
    p.setFont(arial(14, false));
    const int descent = p.fontMetrics().descent();
    QRect last;
    for (const TAxisLine& l : g.valueLines()) {
        p.drawLine(0, l.Pos, w, l.Pos);
        labelOnce(p, QPoint(2, l.Pos - 2 - descent), l.Label, last);
    }
    last = QRect();
    for (const TAxisLine& l : g.rpmLines()) {
        p.drawLine(l.Pos, 0, l.Pos, h);
        labelOnce(p, QPoint(l.Pos + 2, h - 5 - descent), l.Label, last);
    }

    // Live position: where the engine runs, and the value of its cell.
    if (marks.Live.Active) {
        p.setPen(QPen(GraphColors::Live, 2));
        p.setBrush(Qt::NoBrush);
        liveTriangle(p, g.at(marks.Live.Rpm, t.livePlotted(marks.Live)));
        if (t.showsLiveCell(marks.Live))
            square(p, g.cellPoint(marks.Live.Col, marks.Live.Row), 4);
    }

    // One curve per load column, each segment in the colour of its values.
    // Segments and points are gathered by colour and filled as polygons, one
    // brush change per colour: a stroked 4-pixel pen costs several times more.
    QHash<TColor, QVector<std::array<QPoint, 4>>> segments;
    QHash<TColor, QVector<QRect>> points;
    for (int c = 0; c < t.columns(); ++c) {
        QPoint prev = g.cellPoint(c, 0).toPoint();
        points[t.colorOf(t.stored(c, 0))].append(QRect(prev.x() - 1, prev.y() - 1, 3, 3));
        for (int r = 1; r < t.rows(); ++r) {
            const QPoint next = g.cellPoint(c, r).toPoint();
            segments[t.colorOf((t.stored(c, r - 1) + t.stored(c, r)) / 2)].append(thickSegment(prev, next, 4));
            points[t.colorOf(t.stored(c, r))].append(QRect(next.x() - 1, next.y() - 1, 3, 3));
            prev = next;
        }
    }
    p.setPen(Qt::NoPen);
    for (auto it = segments.cbegin(); it != segments.cend(); ++it) {
        p.setBrush(toQColor(it.key()));
        for (const auto& quad : it.value())
            p.drawPolygon(quad.data(), 4);
    }
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        p.setBrush(toQColor(it.key()));
        p.drawRects(it.value());
    }

    // The selection, or the point being dragged with its new value.
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    if (const auto& drag = t.drag(); drag && drag->Col < t.columns() && drag->Row < t.rows()) {
        const QPointF pt = g.cellPoint(drag->Col, drag->Row);
        square(p, pt, 4);
        p.setFont(arial(14, false));
        p.drawText(pt + QPointF(10, -15), t.dragText(marks.DragOriginal, t.stored(drag->Col, drag->Row)));
    } else {
        const TGridRect& s = marks.Selection;
        for (int c = std::max(0, s.Left); c <= std::min(s.Right, t.columns() - 1); ++c)
            for (int r = std::max(0, s.Top); r <= std::min(s.Bottom, t.rows() - 1); ++r)
                square(p, g.cellPoint(c, r), 4);
    }

    drawTitle(p, t.title(), QColor(0xC0, 0xC0, 0xC0), 10, true);
    drawTitle(p, t.selectionText(marks.Selection), QColor(0xC0, 0xC0, 0xC0), 40, false);

    p.setFont(arial(14, false));
    p.setPen(GraphColors::GridLine.lighter(180));
    // The value caption in the top right corner, or below the texts when the title needs the room.
    const QString caption = t.valueCaption();
    const int captionWidth = p.fontMetrics().horizontalAdvance(caption);
    p.save();
    p.setFont(arial(18, true));
    const bool beside = 40 + p.fontMetrics().horizontalAdvance(t.title()) + 16 + captionWidth < w - 8;
    p.restore();
    p.drawText(QRect(0, beside ? 14 : 64, w - 8, 30), Qt::AlignRight | Qt::AlignTop, caption);
}

void paintGraph3D(QPainter& p, const TGraph3D& g, const TGraphMarks& marks)
{
    const TGraphTable& t = g.table();
    const QRect all = p.viewport();
    p.fillRect(all, GraphColors::Background3D);
    if (t.isEmpty())
        return;

    // The three back faces of the box.
    auto face = [&](std::initializer_list<std::array<int, 3>> corners) {
        QPolygon poly;
        for (const auto& c : corners)
            poly << g.corner(c[0], c[1], c[2]);
        p.drawPolygon(poly);
    };
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0x44, 0x44, 0x44));
    face({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}); // floor
    face({{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}); // back wall
    face({{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}); // side wall

    // Value lines on the two walls, labelled beside the back wall's edge.
    p.setFont(arial(12, false));
    const QFontMetrics fm = p.fontMetrics();
    for (const TAxisLine& l : g.valueLines()) {
        const QPoint a = g.view().project(0, l.Pos, 0);
        const QPoint b = g.view().project(0, l.Pos, g.rpmLength());
        const QPoint c = g.view().project(g.loadLength(), l.Pos, g.rpmLength());
        p.setPen(QPen(GraphColors::GridLine.darker(160), 1, Qt::DotLine));
        p.drawLine(a, b);
        p.drawLine(b, c);
        p.setPen(GraphColors::Text3D);
        p.drawText(c + QPoint(4, fm.ascent() / 2), l.Label);
    }
    // Rpm labels along the front edge of the floor, loads along its near edge.
    p.setPen(GraphColors::Text3D);
    const int firstRpm = t.rpm(0), lastRpm = t.rpm(t.rows() - 1);
    QRect last;
    if (g.rpmScale() > 0)
        for (int rpm = (firstRpm + 999) / 1000 * 1000; rpm <= lastRpm; rpm += 1000) {
            const QPoint pt = g.view().project(g.loadLength(), 0, g.rpmOffset(rpm));
            p.drawLine(pt, pt + QPoint(0, 4));
            labelOnce(p, pt + QPoint(4, fm.ascent() + 2), QString::number(rpm / 1000) + QLatin1Char('k'), last);
        }
    const QVector<int> order = g.columnsBackToFront();
    last = QRect();
    if (g.loadScale() > 0)
        for (int c : order) {
            const QPoint pt = g.view().project(g.loadOffset(t.load(c)), 0, 0);
            const QString text = QString::number(t.load(c));
            labelOnce(p, pt + QPoint(-fm.horizontalAdvance(text) - 4, fm.ascent() / 2), text, last);
        }
    // Axis captions, kept inside the bitmap.
    p.setFont(arial(13, false));
    const QFontMetrics cm = p.fontMetrics();
    auto caption = [&](QPoint at, const QString& text) {
        const int x = std::clamp(at.x(), 2, std::max(2, all.width() - cm.horizontalAdvance(text) - 2));
        const int y = std::clamp(at.y(), cm.ascent() + 2, std::max(cm.ascent() + 2, all.height() - cm.descent() - 2));
        p.drawText(x, y, text);
    };
    const QPoint front = g.corner(1, 0, 0);
    caption((front + g.corner(1, 0, 1)) / 2 + QPoint(24, 34), QStringLiteral("Engine Speed (RPM)"));
    caption(QPoint(2, all.height()), QStringLiteral("Engine Load (mbar)"));
    const QString valueCaption = t.valueCaption();
    caption(g.corner(1, 1, 1) + QPoint(-cm.horizontalAdvance(valueCaption) / 2, -8), valueCaption);

    // The surface from the back rows to the front, so the near pieces hide the far ones.
    const TGridRect& sel = marks.Selection;
    p.setPen(QPen(GraphColors::SurfaceEdge, 1));
    for (int r = t.rows() - 1; r >= 1; --r)
        for (int i = 0; i + 1 < order.size(); ++i) {
            const int a = order[i], b = order[i + 1];
            const QPoint quad[4] = {g.cellPoint(a, r), g.cellPoint(b, r), g.cellPoint(b, r - 1), g.cellPoint(a, r - 1)};
            const bool selected =
                sel.contains(a, r) && sel.contains(b, r) && sel.contains(a, r - 1) && sel.contains(b, r - 1);
            const double mean = (t.stored(a, r) + t.stored(b, r) + t.stored(a, r - 1) + t.stored(b, r - 1)) / 4;
            p.setBrush(selected ? marks.Highlight : toQColor(t.colorOf(mean)));
            p.drawPolygon(quad, 4);
        }

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 2));
    for (int c = std::max(0, sel.Left); c <= std::min(sel.Right, t.columns() - 1); ++c)
        for (int r = std::max(0, sel.Top); r <= std::min(sel.Bottom, t.rows() - 1); ++r)
            square(p, g.cellPoint(c, r), 2);

    if (marks.Live.Active) {
        p.setPen(QPen(GraphColors::Live, 2));
        const QPoint at = g.at(marks.Live.Rpm, marks.Live.LoadMbar, t.livePlotted(marks.Live));
        liveTriangle(p, at);
        square(p, t.showsLiveCell(marks.Live) ? g.cellPoint(marks.Live.Col, marks.Live.Row) : at, 4);
    }

    drawTitle(p, t.title(), QColor(0xC0, 0xC0, 0xC0), 10, true);
}
