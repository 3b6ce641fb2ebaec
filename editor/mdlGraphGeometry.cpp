#include "editor/mdlGraphGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double DegreesToRadians = 3.14159265358979323846 / 180;
// The projection of a long axis gives the pixels per unit without rounding loss.
constexpr double UnitLength = 50000;
constexpr double Tiny = 1e-9;

} // namespace

// --- 2D -----------------------------------------------------------------------

TGraph2D::TGraph2D(const TGraphTable& table, int width, int height)
    : m_table(table), m_width(std::max(0, width)), m_height(std::max(0, height))
{
    const double range = table.range();
    if (range > 0 && std::isfinite(range))
        m_valueScale = m_height / (range * Headroom);
    if (!table.isEmpty()) {
        const double span = table.rpm(table.rows() - 1) + 100.0;
        if (span > 0)
            m_rpmScale = m_width / span;
    }
}

QPointF TGraph2D::at(double rpm, double plotted) const { return {rpm * m_rpmScale, m_height - plotted * m_valueScale}; }

QPointF TGraph2D::cellPoint(int col, int row) const { return at(m_table.rpm(row), m_table.plotted(col, row)); }

QVector<TAxisLine> TGraph2D::valueLines() const
{
    QVector<TAxisLine> lines;
    if (m_valueScale <= 0)
        return lines;
    for (const TGraphTick& t : m_table.valueTicks())
        lines.append({int(std::lround(m_height - t.Value * m_valueScale)), t.Label});
    return lines;
}

QVector<TAxisLine> TGraph2D::rpmLines() const
{
    QVector<TAxisLine> lines;
    const long step = std::lround(1000 * m_rpmScale);
    if (step <= 0)
        return lines; // under a pixel per 1000 rpm: no lines rather than endless ones
    for (long k = 0; k * step <= m_width; ++k)
        lines.append({int(k * step), QString::number(k * 1000)});
    return lines;
}

double TGraph2D::mouseRpm(double x) const { return x / std::max(m_rpmScale, MinScale); }

double TGraph2D::mouseValue(double y) const
{
    return m_table.fromPlotted((m_height - y) / std::max(m_valueScale, MinScale));
}

std::optional<QPoint> TGraph2D::pick(QPointF mouse) const
{
    const double rpm = mouseRpm(mouse.x());
    const double value = mouseValue(mouse.y());
    const double tolerance = m_table.fuel() ? PickFuel : PickIgnition;
    for (int r = 0; r < m_table.rows(); ++r) {
        if (std::abs(m_table.rpm(r) - rpm) > PickRpm)
            continue;
        for (int c = 0; c < m_table.columns(); ++c)
            if (std::abs(m_table.stored(c, r) - value) <= tolerance)
                return QPoint(c, r);
        return std::nullopt;
    }
    return std::nullopt;
}

// --- projection -----------------------------------------------------------------

void TThreeD::setAngles(double a0, double a1, double a2)
{
    const std::array<double, 3> a{a0, a1, a2};
    for (size_t i = 0; i < 3; ++i) {
        m_cos[i] = std::cos(a[i] * DegreesToRadians);
        m_sin[i] = std::sin(a[i] * DegreesToRadians);
    }
}

QPoint TThreeD::project(double x, double y, double z) const
{
    const double h = m_sin[1] * (y * m_sin[0] + x * m_cos[0]) + m_cos[1] * z;
    const double g = y * m_cos[0] - m_sin[0] * x;
    return {int(std::lround(m_cos[2] * h - m_sin[2] * g)) + Origin.x(),
            Origin.y() - int(std::lround(h * m_sin[2] + m_cos[2] * g))};
}

// --- 3D -----------------------------------------------------------------------

TGraph3D::TGraph3D(const TGraphTable& table, TThreeD& view, int width, int height) : m_table(table), m_view(view)
{
    layout(width, height);
    if (table.isEmpty())
        return;
    m_firstRpm = table.rpm(0);
    const int rpmSpan = table.rpm(table.rows() - 1) - m_firstRpm;
    int lo = table.load(0), hi = table.load(0);
    for (int c = 1; c < table.columns(); ++c) {
        lo = std::min(lo, table.load(c));
        hi = std::max(hi, table.load(c));
    }
    m_loadBase = table.fuel() ? hi : table.load(0);
    const double range = table.range();
    if (rpmSpan > 0)
        m_rpmScale = double(m_rpmLength) / rpmSpan;
    if (hi > lo)
        m_loadScale = double(m_loadLength) / (hi - lo);
    if (range > 0 && std::isfinite(range))
        m_valueScale = m_valueLength / range;
}

void TGraph3D::layout(int width, int height)
{
    m_view.Origin = {0, 0};
    auto unit = [this](double x, double y, double z) { return QPointF(m_view.project(x, y, z)) / UnitLength; };
    const QPointF ex = unit(UnitLength, 0, 0);
    const QPointF ey = unit(0, UnitLength, 0);
    const QPointF ez = unit(0, 0, UnitLength);
    const double across = 5.0 / 7 * std::abs(ez.x()) + 2.0 / 7 * std::abs(ex.x());
    const double usable = width - MarginWidth;
    // Every axis must show on screen, and the value axis must rise.
    auto extent = [](QPointF e) { return std::hypot(e.x(), e.y()); };
    bool ok = extent(ex) > Tiny && extent(ez) > Tiny && across > Tiny && std::abs(ey.y()) > Tiny && usable > 0;
    if (ok) {
        const double o = usable / across;
        m_rpmLength = int(std::floor(o * 5 / 7));
        m_loadLength = int(std::floor(o * 2 / 7));
        int top = 0, bottom = 0;
        for (int l : {0, 1})
            for (int r : {0, 1}) {
                const int y = m_view.project(l * m_loadLength, 0, r * m_rpmLength).y();
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        m_valueLength = int(std::floor((height - MarginHeight - (bottom - top)) / std::abs(ey.y())));
        ok = m_rpmLength > 0 && m_loadLength > 0 && m_valueLength > 0;
    }
    if (!ok) {
        m_fallback = true;
        m_rpmLength = m_loadLength = m_valueLength = 0;
        m_view.Origin = {(width - MarginWidth) / 2, (height - MarginHeight) / 2};
        return;
    }
    m_fallback = false;
    int left = 0, top = 0;
    for (int l : {0, 1})
        for (int v : {0, 1})
            for (int r : {0, 1}) {
                const QPoint p = corner(l, v, r);
                left = std::min(left, p.x());
                top = std::min(top, p.y());
            }
    m_view.Origin = {OriginX - left, MarginHeight / 2 - top};
}

double TGraph3D::loadOffset(double load) const
{
    return (m_table.fuel() ? m_loadBase - load : load - m_loadBase) * m_loadScale;
}

double TGraph3D::rpmOffset(double rpm) const { return (rpm - m_firstRpm) * m_rpmScale; }

QPoint TGraph3D::at(double rpm, double load, double plotted) const
{
    return m_view.project(loadOffset(load), plotted * m_valueScale, rpmOffset(rpm));
}

QPoint TGraph3D::cellPoint(int col, int row) const
{
    return at(m_table.rpm(row), m_table.load(col), m_table.plotted(col, row));
}

QPoint TGraph3D::corner(int load, int value, int rpm) const
{
    return m_view.project(load * m_loadLength, value * m_valueLength, rpm * m_rpmLength);
}

QVector<int> TGraph3D::columnsBackToFront() const
{
    QVector<int> order(m_table.columns());
    for (int c = 0; c < order.size(); ++c)
        order[c] = c;
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return loadOffset(m_table.load(a)) < loadOffset(m_table.load(b)); });
    return order;
}

QVector<TAxisLine> TGraph3D::valueLines() const
{
    QVector<TAxisLine> lines;
    if (m_valueScale <= 0)
        return lines;
    for (const TGraphTick& t : m_table.valueTicks())
        lines.append({int(std::lround(t.Value * m_valueScale)), t.Label});
    return lines;
}

std::optional<QPoint> TGraph3D::pick(QPoint mouse) const
{
    for (int c = 0; c < m_table.columns(); ++c)
        for (int r = 0; r < m_table.rows(); ++r) {
            const QPoint p = cellPoint(c, r);
            if (std::abs(p.x() - mouse.x()) <= PickPixels && std::abs(p.y() - mouse.y()) <= PickPixels)
                return QPoint(c, r);
        }
    return std::nullopt;
}

// --- picking state ----------------------------------------------------------------

bool TGraphPick::press()
{
    if (isSingle()) {
        m_banding = true;
        return false;
    }
    m_rect = {m_rect.Left, m_rect.Top, m_rect.Left, m_rect.Top};
    return true;
}

TGridRect TGraphPick::hit(QPoint cell)
{
    if (m_banding) {
        m_rect.Left = std::min(m_rect.Left, cell.x());
        m_rect.Top = std::min(m_rect.Top, cell.y());
        m_rect.Right = std::max(m_rect.Right, cell.x());
        m_rect.Bottom = std::max(m_rect.Bottom, cell.y());
    } else {
        m_rect = {cell.x(), cell.y(), cell.x(), cell.y()};
    }
    return m_rect;
}
