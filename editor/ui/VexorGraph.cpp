#include "editor/ui/VexorGraph.h"

#include <QMouseEvent>
#include <QPainter>

TVexorGraph::TVexorGraph(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // hovering picks points
}

void TVexorGraph::setDoEraseBackground(bool on)
{
    m_erase = on;
    setAttribute(Qt::WA_OpaquePaintEvent, !on);
}

const QImage& TVexorGraph::renderImage()
{
    if (m_painting)
        return m_image;
    m_painting = true;
    const QSize s = size().expandedTo(QSize(1, 1));
    if (m_image.size() != s)
        m_image = QImage(s, QImage::Format_RGB32);
    if (m_erase)
        m_image.fill(palette().color(backgroundRole()));
    if (OnPaint) {
        QPainter p(&m_image);
        OnPaint(this, p, s);
    }
    m_painting = false;
    return m_image;
}

void TVexorGraph::paintEvent(QPaintEvent*)
{
    if (m_painting)
        return;
    const QImage& image = renderImage();
    QPainter p(this);
    p.drawImage(0, 0, image);
}

void TVexorGraph::mousePressEvent(QMouseEvent* e)
{
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->position().toPoint());
}

void TVexorGraph::mouseDoubleClickEvent(QMouseEvent* e) { e->accept(); }

void TVexorGraph::mouseMoveEvent(QMouseEvent* e)
{
    if (OnMouseMove)
        OnMouseMove(this, (e->buttons() & Qt::LeftButton) ? Qt::LeftButton : Qt::NoButton, e->position().toPoint());
}

void TVexorGraph::mouseReleaseEvent(QMouseEvent* e)
{
    if (OnMouseUp)
        OnMouseUp(this, e->button(), e->position().toPoint());
}
