#pragma once

// The two data graphs: the channels chosen in the settings ("Graph1",
// "Graph2"), each with its own y scale in its own colour, over the whole
// recording against time in seconds since the first sample, and the playback
// cursor. Long recordings are drawn through per-pixel min/max decimation, so
// the cost of a repaint follows the chart's width, not the recording's
// length. The two graphs share one time axis: the same span, over the same
// pixels, so the cursors line up. Drag across either graph to zoom both into
// a time span; a right click shows the whole recording again.

#include "datalog/mdlDataGraph.h"

#include <QChartView>
#include <QHash>
#include <QWidget>

class QLineSeries;
class QValueAxis;

class TDataGraphView : public QChartView {
    Q_OBJECT
public:
    explicit TDataGraphView(const QString& name, QWidget* parent = nullptr);

    // Sets the channels (a "DataGraphs" bit set) and their scales.
    void setChannels(int bits, const TSampleDisplay& units);
    [[nodiscard]] int channels() const { return m_bits; }
    // Draws the recording's values; the x range follows the recording unless zoomed.
    void redraw(const TDataGraphSeries& series);
    void setCursorTime(double seconds);
    [[nodiscard]] bool zoomed() const { return m_zoomed; }
    void zoomTo(double x0, double x1);
    void resetZoom() { m_zoomed = false; }

    // Points drawn for a channel (tests and diagnostics).
    [[nodiscard]] qsizetype pointCount(int channel) const;
    [[nodiscard]] QLineSeries* seriesOf(int channel) const { return m_series.value(channel); }
    [[nodiscard]] QValueAxis* axisOf(int channel) const { return m_axes.value(channel); }
    [[nodiscard]] QValueAxis* timeAxis() const { return m_x; }

Q_SIGNALS:
    void redrawNeeded();
    // The user zoomed into a time span, or asked for the whole recording.
    void timeSpanZoomed(double x0, double x1);
    void zoomResetRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void setTimeRange(double x0, double x1);

    QChart* m_chart;
    QValueAxis* m_x;
    QValueAxis* m_cursorAxis;
    QLineSeries* m_cursor;
    QHash<int, QLineSeries*> m_series;
    QHash<int, QValueAxis*> m_axes;
    int m_bits = -1;
    QString m_unitsKey;
    bool m_zoomed = false;
    bool m_settingRange = false;
    double m_cursorTime = -1;
};

class TDataGraphsPanel : public QWidget {
    Q_OBJECT
public:
    explicit TDataGraphsPanel(QWidget* parent = nullptr);

    // Brings both graphs up to date with the recording.
    void refresh(const QByteArray& records, const TSampleDisplay& units, int graph1, int graph2);
    void setCursorTime(double seconds);
    [[nodiscard]] TDataGraphView* graph(int index) const { return index == 0 ? m_graph1 : m_graph2; }
    [[nodiscard]] const TDataGraphSeries& series() const { return m_series; }

private:
    void redraw();
    void alignTimeAxes();

    TDataGraphView* m_graph1;
    TDataGraphView* m_graph2;
    TDataGraphSeries m_series;
};
