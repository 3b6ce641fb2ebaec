#pragma once

#include "editor/mdlGraphTable.h"

#include <QPoint>
#include <QPointF>
#include <QVector>
#include <array>
#include <optional>

// Where the graphs put things on screen, free of any painting: the 2D curve
// graph's scales and mouse conversions, the fixed oblique projection of the
// 3D surface with its layout, and the picking of cells under the mouse. The
// painters draw only what these classes compute, so the numbers are tested
// without a screen.

// A labelled line of an axis, at a pixel position.
struct TAxisLine {
    int Pos = 0;
    QString Label;
};

// --- 2D -----------------------------------------------------------------------

// The curve graph: engine speed across from 0, the plotted value upwards from
// the bottom edge.
class TGraph2D {
public:
    // The mouse conversions never divide by less than this many pixels per unit.
    static constexpr double MinScale = 0.01;
    static constexpr double PickRpm = 25;
    static constexpr double PickIgnition = 0.25;
    static constexpr double PickFuel = 5;
    static constexpr double Headroom = 1.05; // the highest value sits below the top edge

    TGraph2D(const TGraphTable& table, int width, int height);

    [[nodiscard]] const TGraphTable& table() const { return m_table; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    // Pixels per plotted unit and per rpm; 0 when there is nothing to span.
    [[nodiscard]] double valueScale() const { return m_valueScale; }
    [[nodiscard]] double rpmScale() const { return m_rpmScale; }

    [[nodiscard]] QPointF at(double rpm, double plotted) const;
    [[nodiscard]] QPointF cellPoint(int col, int row) const;
    [[nodiscard]] QVector<TAxisLine> valueLines() const;
    [[nodiscard]] QVector<TAxisLine> rpmLines() const;

    // Mouse position to rpm and to a cell value (table units).
    [[nodiscard]] double mouseRpm(double x) const;
    [[nodiscard]] double mouseValue(double y) const;
    // The first row within PickRpm of the mouse and in it the first column
    // whose value lies within the pick tolerance (data coordinates).
    [[nodiscard]] std::optional<QPoint> pick(QPointF mouse) const;

private:
    const TGraphTable& m_table;
    int m_width;
    int m_height;
    double m_valueScale = 0;
    double m_rpmScale = 0;
};

// --- 3D -----------------------------------------------------------------------

// The fixed oblique view: three rotation angles and an origin in pixels.
class TThreeD {
public:
    TThreeD() { setAngles(25, 41, 17); }
    // Degrees; the sines and cosines follow.
    void setAngles(double a0, double a1, double a2);
    // A point with load offset x, height y and rpm offset z, already in pixels.
    [[nodiscard]] QPoint project(double x, double y, double z) const;
    QPoint Origin{0, 0};

private:
    std::array<double, 3> m_cos{};
    std::array<double, 3> m_sin{};
};

// The surface graph. The constructor lays the box out in the bitmap and moves
// the projection's origin; the three scales follow from the axis lengths.
class TGraph3D {
public:
    static constexpr int PickPixels = 5;
    static constexpr int MarginWidth = 65;  // room beside the box for the value labels
    static constexpr int MarginHeight = 20; // room above and below the box
    static constexpr int OriginX = 15;

    TGraph3D(const TGraphTable& table, TThreeD& view, int width, int height);

    [[nodiscard]] const TGraphTable& table() const { return m_table; }
    [[nodiscard]] const TThreeD& view() const { return m_view; }
    // The layout could not be made (an axis without extent, a bitmap too
    // small): the origin sits in the middle and nothing has a length.
    [[nodiscard]] bool fallback() const { return m_fallback; }
    [[nodiscard]] int rpmLength() const { return m_rpmLength; }
    [[nodiscard]] int loadLength() const { return m_loadLength; }
    [[nodiscard]] int valueLength() const { return m_valueLength; }
    [[nodiscard]] double rpmScale() const { return m_rpmScale; }
    [[nodiscard]] double loadScale() const { return m_loadScale; }
    [[nodiscard]] double valueScale() const { return m_valueScale; }

    // Offsets in pixels along the three axes of a load, a plotted value and an rpm.
    [[nodiscard]] double loadOffset(double load) const;
    [[nodiscard]] double rpmOffset(double rpm) const;
    [[nodiscard]] QPoint at(double rpm, double load, double plotted) const;
    [[nodiscard]] QPoint cellPoint(int col, int row) const;
    // A corner of the box: each argument 0 (origin side) or 1 (far end).
    [[nodiscard]] QPoint corner(int load, int value, int rpm) const;
    // Displayed columns from the back of the box to the front.
    [[nodiscard]] QVector<int> columnsBackToFront() const;
    [[nodiscard]] QVector<TAxisLine> valueLines() const;

    // The first cell, column by column and row by row, whose screen point
    // lies within PickPixels of the mouse in both directions.
    [[nodiscard]] std::optional<QPoint> pick(QPoint mouse) const;

private:
    void layout(int width, int height);

    const TGraphTable& m_table;
    TThreeD& m_view;
    bool m_fallback = true;
    int m_rpmLength = 0;
    int m_loadLength = 0;
    int m_valueLength = 0;
    double m_rpmScale = 0;
    double m_loadScale = 0;
    double m_valueScale = 0;
    int m_firstRpm = 0;
    int m_loadBase = 0; // the load at the origin
};

// The 3D graph's picked rectangle (data coordinates) and the banding that
// grows it while the button is held.
class TGraphPick {
public:
    [[nodiscard]] const TGridRect& rect() const { return m_rect; }
    [[nodiscard]] bool banding() const { return m_banding; }
    void reset(const TGridRect& rect) { m_rect = rect; }
    // Returns true when the rectangle collapsed (the graph repaints).
    bool press();
    void release() { m_banding = false; }
    // Whether a mouse move picks at all.
    [[nodiscard]] bool picking() const { return m_banding || isSingle(); }
    // A cell found under the mouse: the rectangle the grid selects now.
    TGridRect hit(QPoint cell);

private:
    [[nodiscard]] bool isSingle() const { return m_rect.width() == 1 && m_rect.height() == 1; }
    TGridRect m_rect{0, 0, 0, 0};
    bool m_banding = false;
};
