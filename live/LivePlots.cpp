#include "live/LivePlots.h"

#include "review/plots/QwtDateScaleWithOffset.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_map.h>
#include <qwt_plot_layout.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor canvasColour(255, 218, 185);
const QColor gridColour(255, 192, 203);

// The axis labels in their own point size. The application style sheet hands every widget its
// parent's font when it polishes it, which would undo a font merely set on the axis: the size is
// given in the axis' own style sheet, which the polish applies.
QFont setAxisPoints(QwtPlot *plot, int axis, int points)
{
    QFont font = plot->axisFont(axis);
    font.setPointSize(points);
    plot->setAxisFont(axis, font);
    plot->axisWidget(axis)->setStyleSheet(QStringLiteral("font-size: %1pt;").arg(points));
    return font;
}

} // namespace

QwtText YAxisScaleDraw::label(double value) const { return QwtText(QString::number(value, 'f', 2)); }

QRectF CurveData::boundingRect() const
{
    if (m_points->empty())
        return QRectF(0, 0, -1, -1); // invalid: left out of the autoscale
    return qwtBoundingRect(*this);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The grid's own rule: lines on the ticks that fall inside the canvas, pixel-aligned.
void drawGridLines(QPainter *painter, const QRectF &canvasRect, Qt::Orientation orientation,
                   const QwtScaleMap &map, const QList<double> &values, const QPen &pen)
{
    const double width = std::max(1.0, pen.widthF());
    const double x1 = canvasRect.left();
    const double x2 = canvasRect.right() - 1.0;
    const double y1 = canvasRect.top();
    const double y2 = canvasRect.bottom() - 1.0;
    for (double value : values) {
        const double at = std::round(map.transform(value));
        if (orientation == Qt::Vertical) {
            if (at < x1 || at > x2)
                continue;
            if (width > 1)
                painter->fillRect(QRectF(at - width / 2, y1, width, y2 - y1), pen.color());
            else
                painter->drawLine(QLineF(at, y1, at, y2));
        } else {
            if (at < y1 || at > y2)
                continue;
            if (width > 1)
                painter->fillRect(QRectF(x1, at - width / 2, x2 - x1, width), pen.color());
            else
                painter->drawLine(QLineF(x1, at, x2, at));
        }
    }
}

} // namespace

void LiveGrid::draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &canvasRect) const
{
    // Minor lines first, the major ones over them.
    painter->setPen(minorPen());
    if (xEnabled() && xMinEnabled()) {
        drawGridLines(painter, canvasRect, Qt::Vertical, xMap, xScaleDiv().ticks(QwtScaleDiv::MinorTick), minorPen());
        drawGridLines(painter, canvasRect, Qt::Vertical, xMap, xScaleDiv().ticks(QwtScaleDiv::MediumTick), minorPen());
    }
    if (yEnabled() && yMinEnabled()) {
        drawGridLines(painter, canvasRect, Qt::Horizontal, yMap, yScaleDiv().ticks(QwtScaleDiv::MinorTick), minorPen());
        drawGridLines(painter, canvasRect, Qt::Horizontal, yMap, yScaleDiv().ticks(QwtScaleDiv::MediumTick), minorPen());
    }
    painter->setPen(majorPen());
    if (xEnabled())
        drawGridLines(painter, canvasRect, Qt::Vertical, xMap, xScaleDiv().ticks(QwtScaleDiv::MajorTick), majorPen());
    if (yEnabled())
        drawGridLines(painter, canvasRect, Qt::Horizontal, yMap, yScaleDiv().ticks(QwtScaleDiv::MajorTick), majorPen());
}

LivePlot::LivePlot(QWidget *parent) : QwtPlot(parent), m_grid(new LiveGrid)
{
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis)
        enableAxis(axis, false);
    setContentsMargins(0, 0, 0, 0);
    plotLayout()->setCanvasMargin(0);
    plotLayout()->setSpacing(0);
    // No frame: the strips are told apart by the gap between them (a framed canvas cost a fifth
    // of every repaint).
    if (auto *canvas = qobject_cast<QwtPlotCanvas *>(this->canvas()))
        canvas->setFrameStyle(QFrame::NoFrame);
    // The hidden time axes only map the traces: no labels to lay out on every scroll.
    for (int axis : {QwtPlot::xBottom, QwtPlot::xTop})
        axisScaleDraw(axis)->enableComponent(QwtAbstractScaleDraw::Labels, false);
    setCanvasBackground(canvasColour);
    // Strips stacked in a column share their height by stretch alone.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    setMinimumHeight(10);

    m_grid->setMajorPen(QPen(gridColour, 2));
    m_grid->setXAxis(QwtPlot::xTop);
    m_grid->attach(this);
}

QwtPlotCurve *LivePlot::addCurve(const TraceSegment &points, const QPen &pen)
{
    auto *curve = new QwtPlotCurve;
    curve->setPen(pen);
    curve->setData(new CurveData(points));
    curve->attach(this);
    return curve;
}

// ---------------------------------------------------------------------------------------------

LiveEcgPlot::LiveEcgPlot(int windowMs, QWidget *parent) : LivePlot(parent)
{
    enableAxis(QwtPlot::yLeft, true);
    const QFont small = setAxisPoints(this, QwtPlot::yLeft, 6);
    setAxisMaxMajor(QwtPlot::yLeft, 3);
    setAxisMaxMinor(QwtPlot::yLeft, 0);
    setAxisScaleDraw(QwtPlot::yLeft, new YAxisScaleDraw);
    QwtText title(QStringLiteral("mV"));
    title.setFont(small);
    setAxisTitle(QwtPlot::yLeft, title);

    grid()->setMinorPen(QPen(gridColour, 1));
    grid()->enableXMin(true);
    setAxisScale(QwtPlot::xTop, 0, windowMs, 200);
    setAutoReplot(false);
}

void LiveEcgPlot::showSegments(const std::deque<TraceSegment> &segments)
{
    // Segments only leave from the front and arrive at the back.
    const auto first = segments.empty() ? m_curves.end()
                                        : std::find_if(m_curves.begin(), m_curves.end(), [&](QwtPlotCurve *curve) {
                                              return static_cast<CurveData *>(curve->data())->points()
                                                  == segments.front();
                                          });
    for (auto it = m_curves.begin(); it != first; ++it) {
        (*it)->detach();
        delete *it;
    }
    m_curves.erase(m_curves.begin(), first);
    for (std::size_t s = m_curves.size(); s < segments.size(); ++s)
        m_curves.push_back(addCurve(segments[s], QPen(Qt::black, 1)));
}

// ---------------------------------------------------------------------------------------------

LiveBreathPlot::LiveBreathPlot(const std::vector<TraceSegment> &traces, const std::vector<QColor> &colours,
                               int windowMs, QWidget *parent)
    : LivePlot(parent)
{
    for (std::size_t c = 0; c < traces.size(); ++c)
        m_curves.push_back(addCurve(traces[c], QPen(colours[c], 1)));
    setAxisAutoScale(QwtPlot::yLeft);
    setWindow(windowMs);
    setAutoReplot(true);
}

void LiveBreathPlot::setWindow(int windowMs) { setAxisScale(QwtPlot::xTop, 0, windowMs, 1000); }

// ---------------------------------------------------------------------------------------------

LiveTimeStrip::LiveTimeStrip(QWidget *parent) : TimeStripPlot(parent)
{
    // Recorder milliseconds read as UTC give the recorder's own minutes and seconds.
    auto *clock = new QwtDateScaleWithOffset(Qt::UTC);
    clock->setLabelFormat(QStringLiteral("mm:ss"));
    setAxisScaleDraw(QwtPlot::xBottom, clock);
    setAxisPoints(this, QwtPlot::xBottom, 7);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LiveTimeStrip::updateLayout()
{
    TimeStripPlot::updateLayout();
    m_laidOutSize = size();
    m_laidOutMargins = contentsMargins();
}

bool LiveTimeStrip::event(QEvent *event)
{
    // A resize or new margins lay the strip out through their own events.
    if (event->type() == QEvent::LayoutRequest && size() == m_laidOutSize && contentsMargins() == m_laidOutMargins)
        return true;
    return TimeStripPlot::event(event);
}
