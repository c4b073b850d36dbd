#include "review/plots/ReviewPlots.h"

#include "review/plots/EnvelopeCurve.h"
#include "review/plots/QwtDateScaleWithOffset.h"

#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_picker_machine.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_intervalcurve.h>
#include <qwt_plot_layout.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_scaleitem.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_plot_zoneitem.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

const QColor paperMajor(240, 128, 128);
const QColor paperMinor(255, 192, 203);

void hideAllAxes(QwtPlot *plot)
{
    for (int axis = 0; axis < QwtPlot::axisCnt; ++axis) {
        plot->enableAxis(axis, false);
        // A hidden axis still lays out its scale on every replot: without labels that costs
        // nothing, with them it measured every tick's text (most of a redraw's time).
        plot->axisScaleDraw(axis)->enableComponent(QwtAbstractScaleDraw::Labels, false);
    }
}

void flattenMargins(QwtPlot *plot)
{
    plot->setContentsMargins(0, 0, 0, 0);
    plot->plotLayout()->setCanvasMargin(0);
    plot->plotLayout()->setAlignCanvasToScales(true);
    if (auto *canvas = qobject_cast<QwtPlotCanvas *>(plot->canvas())) {
        canvas->setFrameStyle(QFrame::NoFrame);
        canvas->setContentsMargins(0, 0, 0, 0);
    }
    plot->setCanvasBackground(Qt::white);
}

QwtPlotPicker *clickPicker(QwtPlot *plot)
{
    auto *picker = new QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::NoRubberBand,
                                     QwtPicker::AlwaysOff, plot->canvas());
    picker->setStateMachine(new QwtPickerClickPointMachine);
    return picker;
}

// A scale drawn inside the canvas on its left border (its labels to the right), so that the canvas
// keeps the width and time alignment of the plots it lines up with.
void insideValueScale(QwtPlot *plot)
{
    auto *values = new QwtPlotScaleItem(QwtScaleDraw::RightScale);
    values->setYAxis(QwtPlot::yLeft);
    values->setBorderDistance(0);
    values->attach(plot);
}

QwtPlotGrid *verticalGrid(QwtPlot *plot)
{
    auto *grid = new QwtPlotGrid;
    grid->setMajorPen(QPen(paperMajor, 1));
    grid->enableY(false);
    grid->attach(plot);
    return grid;
}

} // namespace

// ---------------------------------------------------------------------------------------------

ReviewPlot::ReviewPlot(QWidget *parent) : QwtPlot(parent), m_picker(nullptr), m_tracePen(Qt::black, 1)
{
    flattenMargins(this);
    m_picker = clickPicker(this);
    setCanvasName(QStringLiteral("ND"));
}

void ReviewPlot::removeCurves()
{
    const QwtPlotItemList items = itemList(QwtPlotItem::Rtti_PlotCurve);
    for (QwtPlotItem *item : items) {
        item->detach();
        delete item;
    }
}

void ReviewPlot::setSegments(const TraceSegments &segments)
{
    removeCurves();
    for (const QVector<QPointF> &segment : segments) {
        auto *curve = new EnvelopeCurve;
        curve->setPen(m_tracePen);
        curve->setSamples(segment); // shares the segment's buffer
        curve->attach(this);
    }
}

QList<QwtPlotCurve *> ReviewPlot::curves() const
{
    QList<QwtPlotCurve *> result;
    for (QwtPlotItem *item : itemList(QwtPlotItem::Rtti_PlotCurve))
        result.append(static_cast<QwtPlotCurve *>(item));
    return result;
}

void ReviewPlot::setCanvasName(const QString &name) { canvas()->setAccessibleName(name); }

QString ReviewPlot::canvasName() const { return canvas()->accessibleName(); }

// ---------------------------------------------------------------------------------------------

// The calipers of one paper plot, drawn over everything else: the legs of each from the top of the
// paper to the bottom, the first one's two points joined by its arm, and its figures above the arm.
class CaliperItem : public QwtPlotItem
{
public:
    explicit CaliperItem(const EcgPaperPlot *plot) : m_plot(plot)
    {
        setItemAttribute(QwtPlotItem::AutoScale, false);
        setZ(1000);
    }
    int rtti() const override { return QwtPlotItem::Rtti_PlotUserItem + 1; }

    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override
    {
        const QVector<Caliper> calipers = m_plot->calipers();
        if (calipers.isEmpty())
            return;
        const double gain = m_plot->displayGain();
        painter->save();
        const QColor ink(0, 0, 200);
        for (int i = 0; i < calipers.size(); ++i) {
            const Caliper &c = calipers.at(i);
            const double x1 = xMap.transform(c.startMs);
            const double x2 = xMap.transform(c.endMs);
            painter->setPen(QPen(i == 0 ? ink : QColor(90, 90, 220), 1, Qt::DashLine));
            for (double x : {x1, x2})
                painter->drawLine(QPointF(x, canvasRect.top()), QPointF(x, canvasRect.bottom()));
        }
        const Caliper &first = calipers.first();
        const QPointF from(xMap.transform(first.startMs), yMap.transform(first.startMv * gain));
        const QPointF to(xMap.transform(first.endMs), yMap.transform(first.endMv * gain));
        painter->setPen(QPen(ink, 1.5));
        painter->drawLine(from, to);
        for (const QPointF &point : {from, to})
            painter->drawLine(point - QPointF(5, 0), point + QPointF(5, 0));

        const QString text = first.figures();
        const QFontMetrics metrics(painter->font());
        QRectF box(std::min(from.x(), to.x()) + 4, std::min(from.y(), to.y()) - metrics.height() - 6,
                   metrics.horizontalAdvance(text) + 6, metrics.height() + 2);
        // Above the arm, or under it where the paper ends above; always on the paper.
        if (box.top() < canvasRect.top())
            box.moveTop(std::max(from.y(), to.y()) + 6);
        box.moveLeft(std::max(canvasRect.left(), std::min(box.left(), canvasRect.right() - box.width())));
        box.moveTop(std::max(canvasRect.top(), std::min(box.top(), canvasRect.bottom() - box.height())));
        painter->fillRect(box, QColor(255, 255, 255, 220));
        painter->setPen(ink);
        painter->drawText(box, Qt::AlignCenter, text);
        painter->restore();
    }

private:
    const EcgPaperPlot *m_plot;
};

EcgPaperPlot::EcgPaperPlot(double halfRange, bool pinkMinorPen, QWidget *parent)
    : ReviewPlot(parent), m_halfRange(halfRange), m_major(new QwtPlotGrid), m_minor(new QwtPlotGrid),
      m_pulse(new QwtPlotShapeItem), m_caliperItem(new CaliperItem(this))
{
    hideAllAxes(this);
    m_minor->setAxes(QwtPlot::xTop, QwtPlot::yRight);
    m_minor->setMajorPen(QPen(paperMinor, 1));
    m_minor->setZ(1);
    m_minor->attach(this);
    m_major->setAxes(QwtPlot::xBottom, QwtPlot::yLeft);
    m_major->setMajorPen(QPen(paperMajor, 1));
    if (pinkMinorPen)
        m_major->setMinorPen(QPen(paperMinor, 1));
    m_major->setZ(2);
    m_major->attach(this);

    m_pulse->setPen(QPen(Qt::blue, 2, Qt::SolidLine));
    m_pulse->attach(this);
    setAutoscale(false);
    setTimeWindow(0, 10000, 200, 40);
    m_caliperItem->attach(this);
    // After the click picker: a Shift + drag is the caliper's, not a picked point.
    canvas()->installEventFilter(this);
}

void EcgPaperPlot::setTimeWindow(double from, double length, double majorStep, double minorStep)
{
    m_windowStart = from;
    setAxisScale(QwtPlot::xBottom, from, from + length, majorStep);
    setAxisScale(QwtPlot::xTop, from, from + length, minorStep);
}

void EcgPaperPlot::setAutoscale(bool on)
{
    m_autoscale = on;
    if (on) {
        setAxisAutoScale(QwtPlot::yLeft);
    } else {
        setAxisScale(QwtPlot::yLeft, -m_halfRange, m_halfRange, 0.5);
        setAxisScale(QwtPlot::yRight, -m_halfRange, m_halfRange, 0.1);
    }
    m_major->enableY(!on);
    m_minor->enableY(!on);
    m_pulse->setVisible(!on);
}

void EcgPaperPlot::setCalibrationPulse(const QVector<QPointF> &path)
{
    QPainterPath shape;
    if (!path.isEmpty()) {
        shape.moveTo(path.first());
        for (int i = 1; i < path.size(); ++i)
            shape.lineTo(path.at(i));
    }
    m_pulse->setShape(shape);
    double top = 0;
    for (const QwtPlotItem *item : itemList())
        if (item != m_pulse)
            top = std::max(top, item->z());
    m_pulse->setZ(top + 10);
    m_pulse->setVisible(!m_autoscale);
}

void EcgPaperPlot::setBeatMarks(const QVector<QPointF> &points)
{
    auto *marks = new QwtPlotCurve;
    marks->setStyle(QwtPlotCurve::NoCurve);
    marks->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::green), QPen(Qt::darkGreen), QSize(5, 5)));
    marks->setSamples(points);
    marks->setZ(m_pulse->z() - 1);
    marks->attach(this);
}

void EcgPaperPlot::setZones(const QVector<QPair<double, double>> &spans)
{
    for (QwtPlotZoneItem *zone : zones()) {
        zone->detach();
        delete zone;
    }
    for (const auto &span : spans) {
        auto *zone = new QwtPlotZoneItem;
        zone->setOrientation(Qt::Vertical);
        zone->setInterval(span.first, span.second);
        zone->setBrush(QColor(255, 76, 0, 100));
        zone->setPen(QPen(Qt::NoPen));
        zone->setZ(3);
        zone->attach(this);
    }
}

QList<QwtPlotZoneItem *> EcgPaperPlot::zones() const
{
    QList<QwtPlotZoneItem *> result;
    for (QwtPlotItem *item : itemList(QwtPlotItem::Rtti_PlotZone))
        result.append(static_cast<QwtPlotZoneItem *>(item));
    return result;
}

void EcgPaperPlot::setEventMarks(const EventMarks &marks)
{
    for (QwtPlotMarker *marker : markers()) {
        marker->detach();
        delete marker;
    }
    if (!marks.shown)
        return;
    const QwtInterval y = axisScaleDiv(QwtPlot::yLeft).interval().normalized();
    const int height = std::max(canvas()->height(), 1);
    const double triangleY = y.minValue() + y.width() / height * 15;
    auto add = [this](double x, double yValue, QwtSymbol *symbol) {
        auto *marker = new QwtPlotMarker;
        marker->setValue(x, yValue);
        marker->setSymbol(symbol);
        marker->setZ(m_pulse->z() + 1);
        marker->attach(this);
        return marker;
    };
    auto edge = [&](double x, const QColor &colour) {
        add(x, triangleY, new QwtSymbol(QwtSymbol::UTriangle, QBrush(colour), QPen(colour), QSize(10, 10)));
        add(x, y.minValue(), new QwtSymbol(QwtSymbol::Rect, QBrush(colour), QPen(colour), QSize(4, 20)));
    };
    edge(marks.startMs, Qt::blue);
    if (marks.hasDuration)
        edge(marks.endMs, Qt::red);
    if (marks.isSt) {
        QwtText label("ST MAX : " + QString::number(marks.stValue, 'g', 6));
        label.setColor(Qt::blue);
        QwtPlotMarker *st = add(marks.stTimeMs, -1, nullptr);
        st->setLabel(label);
        st->setLabelAlignment(Qt::AlignTop | Qt::AlignHCenter);
    }
}

QList<QwtPlotMarker *> EcgPaperPlot::markers() const
{
    QList<QwtPlotMarker *> result;
    for (QwtPlotItem *item : itemList(QwtPlotItem::Rtti_PlotMarker))
        result.append(static_cast<QwtPlotMarker *>(item));
    return result;
}

QPointF EcgPaperPlot::paperPoint(const QPoint &pixel) const
{
    return QPointF(invTransform(QwtPlot::xBottom, pixel.x()) - m_windowStart,
                   invTransform(QwtPlot::yLeft, pixel.y()) / m_gain);
}

bool EcgPaperPlot::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != canvas())
        return ReviewPlot::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::ShiftModifier))
            return false;
        const QPointF at = paperPoint(mouse->pos());
        m_caliper = {at.x(), at.x(), at.y(), at.y()};
        m_marches = 0;
        m_hasCaliper = true;
        m_dragging = true;
    } else if (m_dragging) {
        const QPointF at = paperPoint(mouse->pos());
        m_caliper.endMs = at.x();
        m_caliper.endMv = at.y();
        m_dragging = type == QEvent::MouseMove;
    } else {
        return false;
    }
    replot();
    if (!m_dragging)
        emit caliperDrawn();
    return true;
}

void EcgPaperPlot::marchCaliper()
{
    if (!m_hasCaliper || m_caliper.intervalMs() <= 0)
        return;
    ++m_marches;
    replot();
}

void EcgPaperPlot::clearCalipers()
{
    if (!m_hasCaliper)
        return;
    m_hasCaliper = false;
    m_dragging = false;
    m_marches = 0;
    replot();
}

QVector<Caliper> EcgPaperPlot::calipers() const
{
    QVector<Caliper> result;
    if (!m_hasCaliper)
        return result;
    Caliper c = m_caliper;
    c.startMs += m_windowStart;
    c.endMs += m_windowStart;
    result.append(c);
    for (int i = 0; i < m_marches; ++i)
        result.append(result.last().marched());
    return result;
}

// ---------------------------------------------------------------------------------------------

SignalPlot::SignalPlot(Kind kind, QWidget *parent) : ReviewPlot(parent), m_kind(kind)
{
    hideAllAxes(this);
    verticalGrid(this);
    setTracePen(QPen(QColor(0, 0, 140), 1));
    if (kind != Respiration)
        setTimeWindow(0, 10000, 1000);
    if (kind == Oximetry) {
        // A bottom-aligned scale sits on the canvas' top border, its ticks pointing into the plot;
        // the clock strip below carries the time labels.
        m_topScale = new QwtPlotScaleItem(QwtScaleDraw::BottomScale);
        m_topScale->setXAxis(QwtPlot::xTop);
        m_topScale->setBorderDistance(0);
        m_topScale->scaleDraw()->enableComponent(QwtAbstractScaleDraw::Labels, false);
        m_topScale->attach(this);
        // The SpO2 values are read off a scale inside the canvas, lined up with the ECG plot above.
        insideValueScale(this);
        setAxisAutoScale(QwtPlot::yLeft);
    }
}

void SignalPlot::setTimeWindow(double from, double length, double step)
{
    setAxisScale(QwtPlot::xBottom, from, from + length, step);
    if (m_topScale)
        setAxisScale(QwtPlot::xTop, from, from + length, step);
}

void SignalPlot::setDots(const QVector<QPointF> &points)
{
    removeCurves();
    auto *curve = new QwtPlotCurve;
    curve->setStyle(QwtPlotCurve::Dots);
    curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(Qt::black), QPen(Qt::black), QSize(5, 5)));
    curve->setSamples(points);
    curve->attach(this);
}

// ---------------------------------------------------------------------------------------------

TimeStripPlot::TimeStripPlot(QWidget *parent) : QwtPlot(parent), m_curve(new QwtPlotCurve)
{
    flattenMargins(this);
    hideAllAxes(this);
    enableAxis(QwtPlot::xBottom, true);
    setAxisScaleDraw(QwtPlot::xBottom, new QwtDateScaleWithOffset);
    canvas()->setFixedHeight(0);
    m_curve->attach(this);
}

QwtDateScaleWithOffset *TimeStripPlot::clock() const
{
    return static_cast<QwtDateScaleWithOffset *>(const_cast<TimeStripPlot *>(this)->axisScaleDraw(QwtPlot::xBottom));
}

void TimeStripPlot::setOffset(qint64 seconds)
{
    clock()->setOffset(seconds);
    axisWidget(QwtPlot::xBottom)->update();
}

void TimeStripPlot::setTimeWindow(double from, double length, double step)
{
    setAxisScale(QwtPlot::xBottom, from, from + length, step);
}

void TimeStripPlot::setMinuteLabels(bool minutes)
{
    const QString format = minutes ? QStringLiteral("hh:mm") : QStringLiteral("hh:mm:ss");
    if (clock()->labelFormat() != format)
        clock()->setLabelFormat(format);
}

void TimeStripPlot::updateLayout()
{
    QwtPlot::updateLayout();
    QwtScaleWidget *scale = axisWidget(QwtPlot::xBottom);
    const QRect inner = contentsRect();
    scale->setGeometry(inner.left(), scale->geometry().top(), inner.width(), scale->geometry().height());
    scale->setBorderDist(0, 0);
    canvas()->setGeometry(inner.left(), canvas()->geometry().top(), inner.width(), canvas()->geometry().height());
}

void TimeStripPlot::setTimeSeries(QwtSeriesData<QPointF> *series) { m_curve->setData(series); }

void TimeStripPlot::clearRecordTimes() { m_curve->setSamples(QVector<QPointF>()); }

// ---------------------------------------------------------------------------------------------

OverviewPlot::OverviewPlot(QWidget *parent)
    : QwtPlot(parent), m_curve(new QwtPlotCurve), m_marker(new QwtPlotMarker), m_picker(nullptr)
{
    flattenMargins(this);
    enableAxis(QwtPlot::yLeft, false);
    enableAxis(QwtPlot::yRight, false);
    // Plot times are milliseconds from the recording start: read in UTC they give elapsed hours.
    auto *hours = new QwtDateScaleDraw(Qt::UTC);
    hours->setDateFormat(QwtDate::Hour, QStringLiteral("hh"));
    setAxisScaleDraw(QwtPlot::xBottom, hours);
    setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::UTC));
    setAxisAutoScale(QwtPlot::xBottom);
    plotLayout()->setCanvasMargin(0, QwtPlot::xBottom);
    setAutoReplot(true);
    canvas()->setAccessibleName(QStringLiteral("TotalPlot"));

    m_curve->setPen(QPen(Qt::darkGray, 1));
    m_curve->setSymbol(new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::black), QPen(Qt::black), QSize(1, 1)));
    m_curve->attach(this);

    m_marker->setSymbol(new QwtSymbol(QwtSymbol::VLine, QBrush(Qt::blue), QPen(Qt::blue), QSize(1000, 6000)));
    m_marker->setZ(100);
    m_marker->attach(this);

    m_picker = clickPicker(this);
}

void OverviewPlot::setPoints(const QVector<QPointF> &points) { m_curve->setSamples(points); }

void OverviewPlot::setMarkerPosition(double x) { m_marker->setValue(x, 0.0); }

void OverviewPlot::setZones(double spanFrom, double spanTo, const QVector<MissingInterval> &holes)
{
    removeZones();
    auto band = [this](double from, double to, const QColor &colour) {
        auto *zone = new QwtPlotZoneItem;
        zone->setOrientation(Qt::Vertical);
        zone->setInterval(from, to);
        QColor fill = colour;
        fill.setAlpha(120);
        zone->setBrush(fill);
        zone->setPen(QPen(Qt::NoPen));
        zone->attach(this);
    };
    if (m_recordedSpanBand)
        band(spanFrom, spanTo, QColor(76, 255, 0));
    for (const MissingInterval &hole : holes)
        band(hole.start, hole.stop, QColor(255, 76, 0));
}

void OverviewPlot::removeZones()
{
    for (QwtPlotZoneItem *zone : zones()) {
        zone->detach();
        delete zone;
    }
}

QList<QwtPlotZoneItem *> OverviewPlot::zones() const
{
    QList<QwtPlotZoneItem *> result;
    for (QwtPlotItem *item : itemList(QwtPlotItem::Rtti_PlotZone))
        result.append(static_cast<QwtPlotZoneItem *>(item));
    return result;
}

// ---------------------------------------------------------------------------------------------

HeartRatePlot::HeartRatePlot(QWidget *parent) : OverviewPlot(parent)
{
    // Redrawn with the overview, once per move.
    setAutoReplot(false);
    // Only the missing data is shaded: the rates read on white.
    m_recordedSpanBand = false;
    // The overview above carries the hours.
    enableAxis(QwtPlot::xBottom, false);
    canvas()->setAccessibleName(QStringLiteral("HeartRateTrend"));
    insideValueScale(this);
    setRateScale(DefaultLowBpm, DefaultHighBpm);
}

void HeartRatePlot::setMinutes(const QVector<MinuteRate> &minutes)
{
    for (QwtPlotItem *item : m_bands) {
        item->detach();
        delete item;
    }
    for (QwtPlotCurve *line : m_lines) {
        line->detach();
        delete line;
    }
    m_bands.clear();
    m_lines.clear();
    double low = 0;
    double high = 0;
    QVector<QPointF> means;
    QVector<QwtIntervalSample> spans;
    const auto endRun = [&] {
        if (means.isEmpty())
            return;
        auto *band = new QwtPlotIntervalCurve;
        band->setStyle(QwtPlotIntervalCurve::Tube);
        band->setPen(QPen(Qt::NoPen));
        band->setBrush(QColor(230, 120, 120, 110));
        band->setSamples(spans);
        band->attach(this);
        m_bands.append(band);
        auto *line = new QwtPlotCurve;
        line->setPen(QPen(QColor(150, 0, 0), 1));
        line->setSamples(means);
        line->setZ(band->z() + 1);
        line->attach(this);
        m_lines.append(line);
        means.clear();
        spans.clear();
    };
    for (int i = 0; i < minutes.size(); ++i) {
        const MinuteRate &m = minutes.at(i);
        if (i > 0 && m.startMs != minutes.at(i - 1).startMs + HeartRateTrend::LongAverageMs)
            endRun();
        // Each minute's figures stand at its middle.
        const double x = m.startMs + HeartRateTrend::LongAverageMs / 2.0;
        means.append(QPointF(x, m.meanBpm));
        spans.append(QwtIntervalSample(x, m.lowBpm, m.highBpm));
        low = i == 0 ? m.lowBpm : std::min(low, m.lowBpm);
        high = i == 0 ? m.highBpm : std::max(high, m.highBpm);
    }
    endRun();
    setRateScale(minutes.isEmpty() ? DefaultLowBpm : low, minutes.isEmpty() ? DefaultHighBpm : high);
    replot();
}

void HeartRatePlot::setRateScale(double low, double high)
{
    // Whole tens around the rates, labelled at the bottom, middle and top, with room around them
    // for the labels, which the canvas would cut at its edges.
    const double bottom = std::floor(low / 10.0) * 10.0;
    const double top = std::max(std::ceil(high / 10.0) * 10.0, bottom + 20.0);
    const double middle = std::round((bottom + top) / 20.0) * 10.0;
    const double room = (top - bottom) * ScaleRoom;
    setAxisScaleDiv(QwtPlot::yLeft, QwtScaleDiv(bottom - room, top + room, QList<double>(), QList<double>(),
                                                 QList<double>{bottom, middle, top}));
}
