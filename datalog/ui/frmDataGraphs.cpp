#include "datalog/ui/frmDataGraphs.h"

#include "datalog/mdlDecimate.h"

#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

const QMargins GraphMargins(4, 4, 4, 4);

QColor channelColor(int channel)
{
    static const QColor colors[dgChannelCount] = {
        QColor(0x80, 0x80, 0x00), // BATT
        QColor(0xE0, 0x60, 0x00), // AFR / lambda
        QColor(0x00, 0x80, 0x80), // O2V
        QColor(0x00, 0x80, 0x00), // ECT
        QColor(0x40, 0xA0, 0x40), // IAT
        QColor(0xFF, 0x00, 0x00), // KNCK
        QColor(0x80, 0x00, 0x80), // IGN
        QColor(0xC0, 0x40, 0x80), // INJ DC
        QColor(0x00, 0x00, 0xC0), // INJ
        QColor(0x80, 0x40, 0x00), // TP%
        QColor(0xC0, 0x00, 0x40), // BST
        QColor(0x00, 0x60, 0xC0), // MAP
        QColor(0x60, 0x60, 0x60), // GEAR
        QColor(0x00, 0xA0, 0xA0), // SPD
        QColor(0x00, 0x00, 0x00), // RPM
    };
    return channel >= 0 && channel < dgChannelCount ? colors[channel] : QColor(Qt::black);
}

} // namespace

TDataGraphView::TDataGraphView(const QString& name, QWidget* parent)
    : QChartView(new QChart(), parent) // the view owns the chart (setChart would orphan a default one)
{
    setObjectName(name);
    m_chart = chart();
    m_chart->legend()->setAlignment(Qt::AlignTop);
    m_chart->setMargins(GraphMargins);
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::HorizontalRubberBand);

    m_x = new QValueAxis(m_chart);
    m_x->setTitleText(QStringLiteral("Time (s)"));
    m_x->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_cursorAxis = new QValueAxis(m_chart);
    m_cursorAxis->setRange(0, 1);
    m_cursorAxis->setVisible(false);
    m_chart->addAxis(m_cursorAxis, Qt::AlignRight);
    m_cursor = new QLineSeries(m_chart);
    m_cursor->setName(QStringLiteral("cursor"));
    m_cursor->setPen(QPen(QColor(0x40, 0x40, 0x40), 1, Qt::DashLine));
    m_chart->addSeries(m_cursor);
    m_cursor->attachAxis(m_x);
    m_cursor->attachAxis(m_cursorAxis);
    const auto markers = m_chart->legend()->markers(m_cursor);
    for (auto* marker : markers)
        marker->setVisible(false);

    connect(m_x, &QValueAxis::rangeChanged, this, [this](qreal, qreal) {
        if (m_settingRange)
            return;
        // The rubber band zoomed: both graphs show the span at full resolution.
        Q_EMIT timeSpanZoomed(m_x->min(), m_x->max());
    });
    setTimeRange(0, 1);
}

void TDataGraphView::setTimeRange(double x0, double x1)
{
    m_settingRange = true;
    m_x->setRange(x0, x1);
    m_settingRange = false;
}

void TDataGraphView::setChannels(int bits, const TSampleDisplay& units)
{
    // Captions and ranges depend on the units; rebuild only when they change.
    QString key = QString::number(bits);
    for (int c : dataGraphChannels(bits)) {
        const TDataGraphChannelInfo info = dataGraphChannelInfo(c, units);
        key += QStringLiteral("|%1:%2:%3").arg(info.caption).arg(info.min).arg(info.max);
    }
    if (bits == m_bits && key == m_unitsKey)
        return;
    m_bits = bits;
    m_unitsKey = key;
    for (QLineSeries* s : std::as_const(m_series)) {
        m_chart->removeSeries(s);
        delete s;
    }
    for (QValueAxis* a : std::as_const(m_axes)) {
        m_chart->removeAxis(a);
        delete a;
    }
    m_series.clear();
    m_axes.clear();
    for (int c : dataGraphChannels(bits)) {
        const TDataGraphChannelInfo info = dataGraphChannelInfo(c, units);
        const QColor color = channelColor(c);
        auto* axis = new QValueAxis(m_chart);
        axis->setRange(info.min, info.max);
        axis->setTitleText(info.caption);
        axis->setLinePenColor(color);
        axis->setLabelsColor(color);
        axis->setTitleBrush(color);
        axis->setGridLineVisible(m_axes.isEmpty());
        m_chart->addAxis(axis, Qt::AlignLeft);
        auto* series = new QLineSeries(m_chart);
        series->setName(info.caption);
        series->setPen(QPen(color, 1));
        series->setUseOpenGL(false);
        m_chart->addSeries(series);
        series->attachAxis(m_x);
        series->attachAxis(axis);
        m_series.insert(c, series);
        m_axes.insert(c, axis);
    }
    m_chart->setTitle(bits == 0 ? tr("No channels chosen for %1 (Settings, Data Graphs)").arg(objectName())
                                : QString());
}

void TDataGraphView::redraw(const TDataGraphSeries& series)
{
    const double end = std::max(series.lastTime(), 1.0);
    if (!m_zoomed)
        setTimeRange(0, end);
    const double x0 = m_x->min();
    const double x1 = m_x->max();
    const int pixels = std::max(100, static_cast<int>(m_chart->plotArea().width()));
    const std::span<const double> times(series.times());
    for (auto it = m_series.constBegin(); it != m_series.constEnd(); ++it) {
        const std::span<const float> values(series.values(it.key()));
        it.value()->replace(datalog::decimateMinMax(times, values, x0, x1, pixels));
    }
}

void TDataGraphView::setCursorTime(double seconds)
{
    m_cursorTime = seconds;
    if (seconds < 0 || !std::isfinite(seconds)) {
        m_cursor->clear();
        return;
    }
    m_cursor->replace(QList<QPointF>{QPointF(seconds, 0), QPointF(seconds, 1)});
}

qsizetype TDataGraphView::pointCount(int channel) const
{
    const QLineSeries* s = m_series.value(channel);
    return s ? s->count() : 0;
}

void TDataGraphView::zoomTo(double x0, double x1)
{
    m_zoomed = true;
    setTimeRange(x0, x1);
}

void TDataGraphView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        Q_EMIT zoomResetRequested();
        e->accept();
        return;
    }
    QChartView::mouseReleaseEvent(e);
}

void TDataGraphView::resizeEvent(QResizeEvent* e)
{
    QChartView::resizeEvent(e);
    Q_EMIT redrawNeeded(); // more or fewer pixel columns
}

TDataGraphsPanel::TDataGraphsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnlDataGraphs"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_graph1 = new TDataGraphView(QStringLiteral("Graph1"), this);
    m_graph2 = new TDataGraphView(QStringLiteral("Graph2"), this);
    layout->addWidget(m_graph1);
    layout->addWidget(m_graph2);
    for (TDataGraphView* g : {m_graph1, m_graph2}) {
        connect(g, &TDataGraphView::redrawNeeded, this, [this] {
            alignTimeAxes();
            redraw();
        });
        connect(g, &TDataGraphView::timeSpanZoomed, this, [this](double x0, double x1) {
            m_graph1->zoomTo(x0, x1);
            m_graph2->zoomTo(x0, x1);
            redraw();
        });
        connect(g, &TDataGraphView::zoomResetRequested, this, [this] {
            m_graph1->resetZoom();
            m_graph2->resetZoom();
            redraw();
        });
    }
}

void TDataGraphsPanel::refresh(const QByteArray& records, const TSampleDisplay& units, int graph1, int graph2)
{
    m_series.update(records, units, graph1 | graph2);
    m_graph1->setChannels(graph1, units);
    m_graph2->setChannels(graph2, units);
    alignTimeAxes();
    redraw();
}

void TDataGraphsPanel::alignTimeAxes()
{
    // Each chart puts its plot area beside its own y axes, which differ in
    // number and label width: widen the margin on the narrower side so both
    // time axes span the same pixels.
    QChart* charts[] = {m_graph1->chart(), m_graph2->chart()};
    for (QChart* c : charts) {
        c->setMargins(GraphMargins);
        c->layout()->activate();
    }
    const qreal left = std::max(charts[0]->plotArea().left(), charts[1]->plotArea().left());
    const qreal right = std::min(charts[0]->plotArea().right(), charts[1]->plotArea().right());
    for (QChart* c : charts) {
        const QRectF area = c->plotArea();
        QMargins m = GraphMargins;
        m.setLeft(m.left() + static_cast<int>(std::lround(left - area.left())));
        m.setRight(m.right() + static_cast<int>(std::lround(area.right() - right)));
        c->setMargins(m);
        c->layout()->activate();
    }
}

void TDataGraphsPanel::redraw()
{
    m_graph1->redraw(m_series);
    m_graph2->redraw(m_series);
}

void TDataGraphsPanel::setCursorTime(double seconds)
{
    m_graph1->setCursorTime(seconds);
    m_graph2->setCursorTime(seconds);
}
