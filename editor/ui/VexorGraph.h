#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

class QPainter;

// The paint box of the map graphs. It draws only through OnPaint, into an
// off-screen image sized to the control, and copies that image onto the
// screen in one step, so repaints while logging or dragging never flicker.
// It is opaque: the background is erased only when DoEraseBackground is set.
class TVexorGraph : public QWidget {
    Q_OBJECT
public:
    using TPaintEvent = std::function<void(TVexorGraph* sender, QPainter& canvas, QSize size)>;
    using TMouseEvent = std::function<void(TVexorGraph* sender, Qt::MouseButton button, QPoint pos)>;

    explicit TVexorGraph(QWidget* parent = nullptr);

    TPaintEvent OnPaint;
    TMouseEvent OnMouseDown; // not raised for the second press of a double click
    TMouseEvent OnMouseMove; // button: the left button while it is held, else NoButton
    TMouseEvent OnMouseUp;

    [[nodiscard]] bool DoEraseBackground() const { return m_erase; }
    void setDoEraseBackground(bool on);

    // Draws the control's image now and returns it (what the next paint copies).
    const QImage& renderImage();
    // Schedules a repaint; repeated requests before the next paint merge into one.
    void Invalidate() { update(); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage m_image;
    bool m_painting = false; // a paint handler that triggers a paint does not re-enter
    bool m_erase = false;
};
