#pragma once

// The map graphs beside each other: the 2D curve graph pbMain on pnlGraphs
// and the 3D surface pbMain3D on pnlGraphs3D. The panel turns the mouse into
// picks, selections and drags through the geometry classes and reports them
// to its owner, which holds the grid selection and the ROM; it never writes
// the ROM itself.

#include "editor/ui/mdlGraphPaint.h"

#include <QWidget>
#include <functional>

class QBoxLayout;
class TVexorGraph;

class TGraphsPanel : public QWidget {
    Q_OBJECT
public:
    // `display` gives the ROM and its display options (the drag value goes
    // there); `live` the engine position.
    TGraphsPanel(TGridDisplay& display, const ILivePositionSource* live, QWidget* parent = nullptr);

    TGraphOptions& options() { return m_options; }
    [[nodiscard]] const TGraphOptions& options() const { return m_options; }

    // The grid's selection in data coordinates.
    std::function<TGridRect()> GetSelection;
    // A pick: the grid selects this rectangle (data coordinates) and the
    // views refresh.
    std::function<void(const TGridRect&)> OnSelect;
    // The mouse was released after a drag: write the cell (table units).
    std::function<void(const TDragCell&)> OnDragWrite;
    // The drag value changed: the grid shows it too.
    std::function<void()> OnDragChanged;

    [[nodiscard]] TVexorGraph* graph2D() const { return pbMain; }
    [[nodiscard]] TVexorGraph* graph3D() const { return pbMain3D; }
    [[nodiscard]] QWidget* panel2D() const { return pnlGraphs; }
    [[nodiscard]] QWidget* panel3D() const { return pnlGraphs3D; }
    [[nodiscard]] bool hasGraphFocus() const;
    [[nodiscard]] bool dragging() const { return m_drag.dragging(); }
    [[nodiscard]] const TThreeD& projection() const { return m_view; }

    // Side by side (horizontal) or one above the other (vertical).
    void setOrientation(Qt::Orientation o);

    // Schedules a repaint of the visible graphs (merged until the next paint).
    void invalidate();

private:
    void paint2D(QPainter& p, QSize size);
    void paint3D(QPainter& p, QSize size);
    void mouseDown2D(Qt::MouseButton button, QPoint pos);
    void mouseMove2D(Qt::MouseButton button, QPoint pos);
    void mouseUp2D(Qt::MouseButton button);
    void mouseDown3D();
    void mouseMove3D(QPoint pos);
    [[nodiscard]] TGraphMarks marks() const;
    [[nodiscard]] TGridRect selection() const;

    TGridDisplay& m_display;
    const ILivePositionSource* m_live;
    TGraphOptions m_options;
    TGraphDrag m_drag;
    TGraphPick m_pick;
    TThreeD m_view;

    QBoxLayout* m_layout;
    QWidget* pnlGraphs;
    QWidget* pnlGraphs3D;
    TVexorGraph* pbMain;
    TVexorGraph* pbMain3D;
};
