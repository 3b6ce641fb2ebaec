#include "editor/ui/frmGraphs.h"

#include "editor/ui/VexorGraph.h"
#include "editor/ui/mdlGraphPaint.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>

namespace {

QWidget* wrap(QWidget* parent, const char* name, TVexorGraph* graph)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    graph->setParent(panel);
    layout->addWidget(graph);
    // Focusing the panel focuses its graph: the navigation keys follow it.
    panel->setFocusProxy(graph);
    return panel;
}

} // namespace

TGraphsPanel::TGraphsPanel(TGridDisplay& display, const ILivePositionSource* live, QWidget* parent)
    : QWidget(parent), m_display(display), m_live(live)
{
    setObjectName(QStringLiteral("pnlMapGraphs"));
    pbMain = new TVexorGraph;
    pbMain->setObjectName(QStringLiteral("pbMain"));
    pbMain3D = new TVexorGraph;
    pbMain3D->setObjectName(QStringLiteral("pbMain3D"));
    pnlGraphs = wrap(this, "pnlGraphs", pbMain);
    pnlGraphs3D = wrap(this, "pnlGraphs3D", pbMain3D);
    m_layout = new QBoxLayout(QBoxLayout::LeftToRight, this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(4);
    m_layout->addWidget(pnlGraphs, 1);
    m_layout->addWidget(pnlGraphs3D, 1);
    setMinimumSize(200, 160);

    pbMain->OnPaint = [this](TVexorGraph*, QPainter& p, QSize s) { paint2D(p, s); };
    pbMain3D->OnPaint = [this](TVexorGraph*, QPainter& p, QSize s) { paint3D(p, s); };
    pbMain->OnMouseDown = [this](TVexorGraph*, Qt::MouseButton b, QPoint pos) { mouseDown2D(b, pos); };
    pbMain->OnMouseMove = [this](TVexorGraph*, Qt::MouseButton b, QPoint pos) { mouseMove2D(b, pos); };
    pbMain->OnMouseUp = [this](TVexorGraph*, Qt::MouseButton b, QPoint) { mouseUp2D(b); };
    pbMain3D->OnMouseDown = [this](TVexorGraph*, Qt::MouseButton, QPoint) { mouseDown3D(); };
    pbMain3D->OnMouseMove = [this](TVexorGraph*, Qt::MouseButton, QPoint pos) { mouseMove3D(pos); };
    pbMain3D->OnMouseUp = [this](TVexorGraph*, Qt::MouseButton, QPoint) { m_pick.release(); };
}

void TGraphsPanel::setOrientation(Qt::Orientation o)
{
    m_layout->setDirection(o == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

bool TGraphsPanel::hasGraphFocus() const
{
    const QWidget* f = QApplication::focusWidget();
    return f != nullptr && (f == pbMain || f == pbMain3D);
}

void TGraphsPanel::invalidate()
{
    if (!isVisible())
        return;
    pbMain->Invalidate();
    pbMain3D->Invalidate();
}

TGridRect TGraphsPanel::selection() const { return GetSelection ? GetSelection() : TGridRect{}; }

TGraphMarks TGraphsPanel::marks() const
{
    TGraphMarks m;
    m.Selection = selection();
    if (m_live)
        m.Live = m_live->livePosition();
    m.DragOriginal = m_drag.original();
    m.Highlight = palette().color(QPalette::Highlight);
    return m;
}

// --- painting ---------------------------------------------------------------------

void TGraphsPanel::paint2D(QPainter& p, QSize size)
{
    const TGraphTable table = TGraphTable::build(m_display, m_options);
    paintGraph2D(p, TGraph2D(table, size.width(), size.height()), marks());
}

void TGraphsPanel::paint3D(QPainter& p, QSize size)
{
    const TGraphTable table = TGraphTable::build(m_display, m_options);
    paintGraph3D(p, TGraph3D(table, m_view, size.width(), size.height()), marks());
}

// --- 2D mouse ---------------------------------------------------------------------

void TGraphsPanel::mouseDown2D(Qt::MouseButton button, QPoint)
{
    if (button != Qt::LeftButton)
        return;
    pnlGraphs->setFocus(Qt::MouseFocusReason);
    const TGraphTable table = TGraphTable::build(m_display, m_options);
    const TGridRect sel = selection();
    if (sel.isEmpty() || sel.Left < 0 || sel.Top < 0 || sel.Left >= table.columns() || sel.Top >= table.rows())
        return; // no displayed cell to drag
    m_drag.start(sel.Left, sel.Top, table.stored(sel.Left, sel.Top));
    m_display.options().Drag = TDragCell{sel.Left, sel.Top, m_display.cellValue(sel.Left, sel.Top)};
}

void TGraphsPanel::mouseMove2D(Qt::MouseButton, QPoint pos)
{
    const TGraphTable table = TGraphTable::build(m_display, m_options);
    const TGraph2D g(table, pbMain->width(), pbMain->height());
    if (m_drag.dragging()) {
        const auto cell = m_drag.cell();
        const double value = table.clampToCell(g.mouseValue(pos.y()));
        m_drag.follow(value);
        m_display.options().Drag = TDragCell{cell->Col, cell->Row, table.cellWriteValue(cell->Col, cell->Row, value)};
        if (OnDragChanged)
            OnDragChanged();
        invalidate();
        return;
    }
    const auto hit = g.pick(pos);
    if (!hit)
        return;
    const TGridRect single{hit->x(), hit->y(), hit->x(), hit->y()};
    if (single != selection() && OnSelect)
        OnSelect(single);
}

void TGraphsPanel::mouseUp2D(Qt::MouseButton button)
{
    if (button != Qt::LeftButton)
        return;
    const std::optional<TDragCell> written = m_display.options().Drag;
    const bool moved = m_drag.release().has_value();
    m_display.options().Drag.reset();
    if (moved && written && OnDragWrite)
        OnDragWrite(*written);
    if (OnDragChanged)
        OnDragChanged();
    invalidate();
}

// --- 3D mouse ---------------------------------------------------------------------

void TGraphsPanel::mouseDown3D()
{
    pnlGraphs3D->setFocus(Qt::MouseFocusReason);
    if (m_pick.press())
        pbMain3D->Invalidate();
}

void TGraphsPanel::mouseMove3D(QPoint pos)
{
    if (!m_pick.picking())
        return;
    const TGraphTable table = TGraphTable::build(m_display, m_options);
    const TGraph3D g(table, m_view, pbMain3D->width(), pbMain3D->height());
    const auto hit = g.pick(pos);
    if (!hit)
        return;
    const TGridRect rect = m_pick.hit(*hit);
    if (rect != selection() && OnSelect)
        OnSelect(rect);
    pbMain3D->Invalidate();
}
