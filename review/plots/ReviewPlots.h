#pragma once

// The plot families of the review page: ECG paper plots, respiration and single-lead plots,
// the clock strips under each tab and the overview of the whole recording.

#include "import/RecordingFormat.h"
#include "review/data/Caliper.h"
#include "review/data/HeartRateTrend.h"
#include "review/data/SignalTrace.h"

#include <qwt_plot.h>
#include <qwt_series_data.h>

#include <QPen>

#include <memory>

class QwtDateScaleWithOffset;
class QwtPlotCurve;
class QwtPlotItem;
class QwtPlotMarker;
class QwtPlotPicker;
class QwtPlotShapeItem;
class QwtPlotGrid;
class QwtPlotZoneItem;
class QwtPlotScaleItem;
class CaliperItem;

// Common ground of the plots that show signal windows: no margins, a click picker on the canvas
// (how the events work picks times), curves rebuilt on every redraw.
class ReviewPlot : public QwtPlot
{
    Q_OBJECT
public:
    explicit ReviewPlot(QWidget *parent = nullptr);

    QwtPlotPicker *picker() const { return m_picker; }
    // Detaches and deletes every curve, then one envelope line curve per segment.
    void setSegments(const TraceSegments &segments);
    void removeCurves();
    QList<QwtPlotCurve *> curves() const;
    void setTracePen(const QPen &pen) { m_tracePen = pen; }
    // The canvas' accessible name: the lead name of an ECG plot, "ND" elsewhere.
    void setCanvasName(const QString &name);
    QString canvasName() const;

private:
    QwtPlotPicker *m_picker;
    QPen m_tracePen;
};

// Where the event shown on the events tab lies, ms from the recording start: its start, its end
// when it lasts, and the extreme of an ST event.
struct EventMarks {
    bool shown = false;
    double startMs = 0;
    double endMs = 0;
    bool hasDuration = false;
    bool isSt = false;
    double stTimeMs = 0;
    double stValue = 0;
};

// An ECG plot on pink millimetre paper: major grid (5 mm) on x bottom / y left, minor grid (1 mm)
// on x top / y right, no visible axes, a calibration pulse.
class EcgPaperPlot : public ReviewPlot
{
    Q_OBJECT
public:
    // halfRange: the fixed y scale runs from -halfRange to +halfRange mV.
    EcgPaperPlot(double halfRange, bool pinkMinorPen, QWidget *parent = nullptr);

    double halfRange() const { return m_halfRange; }
    void setTimeWindow(double from, double length, double majorStep, double minorStep);
    // Fixed paper scale, or y autoscaled without horizontal lines and without the pulse.
    void setAutoscale(bool on);
    bool isAutoscale() const { return m_autoscale; }
    // The pulse path; kept above every other item of the plot.
    void setCalibrationPulse(const QVector<QPointF> &path);
    QwtPlotShapeItem *calibrationPulse() const { return m_pulse; }
    // Beat marks: green circles without line (removed with the curves on every redraw).
    void setBeatMarks(const QVector<QPointF> &points);
    // Shaded spans of the window (ms) where the lead was not analysable, replacing earlier ones.
    void setZones(const QVector<QPair<double, double>> &spans);
    QList<QwtPlotZoneItem *> zones() const;
    // The event's markers, replacing earlier ones: at its start a blue triangle 15 pixels above
    // the bottom and a blue bar on it, the same in red at its end when it lasts, and for ST the
    // "ST MAX : " label at the extreme. Nothing when marks.shown is false.
    void setEventMarks(const EventMarks &marks);
    QList<QwtPlotMarker *> markers() const;
    QwtPlotGrid *majorGrid() const { return m_major; }
    QwtPlotGrid *minorGrid() const { return m_minor; }

    // The paper's gain (1 at 10 mm/mV): a caliper reads heights in mV of the paper.
    void setDisplayGain(double gain) { m_gain = gain > 0 ? gain : 1.0; }
    double displayGain() const { return m_gain; }
    // Calipers: Shift + drag on the paper opens one between two points (replacing the earlier
    // one), marchCaliper walks a copy of it one interval further right each time, clearCalipers
    // takes them all away. They stay where they are on the paper while the window moves.
    bool hasCaliper() const { return m_hasCaliper; }
    void marchCaliper();
    void clearCalipers();
    // The caliper and its marched copies, in ms of the recording at the current window.
    QVector<Caliper> calipers() const;

signals:
    // A caliper was opened (on release of the drag).
    void caliperDrawn();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointF paperPoint(const QPoint &pixel) const; // (ms from the window start, mV)

    double m_halfRange;
    bool m_autoscale = false;
    QwtPlotGrid *m_major;
    QwtPlotGrid *m_minor;
    QwtPlotShapeItem *m_pulse;
    double m_windowStart = 0;
    double m_gain = 1.0;
    bool m_hasCaliper = false;
    bool m_dragging = false;
    Caliper m_caliper; // ms from the window start
    int m_marches = 0;
    CaliperItem *m_caliperItem;
};

// Respiration plots and the SpO2 plot: vertical grid lines only.
class SignalPlot : public ReviewPlot
{
    Q_OBJECT
public:
    enum Kind { Respiration, SingleBreath, Oximetry };
    explicit SignalPlot(Kind kind, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    void setTimeWindow(double from, double length, double step);
    // The oximetry dots (5 x 5 black circles, no line).
    void setDots(const QVector<QPointF> &points);
    QwtPlotScaleItem *topScale() const { return m_topScale; }

private:
    Kind m_kind;
    QwtPlotScaleItem *m_topScale = nullptr;
};

// The clock strip under a tab: only its x bottom axis, labelled with the time of day.
class TimeStripPlot : public QwtPlot
{
    Q_OBJECT
public:
    explicit TimeStripPlot(QWidget *parent = nullptr);

    QwtDateScaleWithOffset *clock() const;
    void setOffset(qint64 seconds);
    void setTimeWindow(double from, double length, double step);
    // "hh:mm" on minute ticks (10-minute windows), "hh:mm:ss" otherwise.
    void setMinuteLabels(bool minutes);
    // The records' times as points at y 0, read in place (not copied) from the mapped file that
    // owner keeps open for as long as the strip shows them.
    template <class R>
    void setRecordTimes(const R *begin, const R *end, std::shared_ptr<const void> owner);
    void clearRecordTimes();
    QwtPlotCurve *curve() const { return m_curve; }

    // The scale spans the whole strip, like the canvases of the plots above it (end labels
    // may be cut rather than the scale inset to make room for them).
    void updateLayout() override;

private:
    void setTimeSeries(QwtSeriesData<QPointF> *series);

    QwtPlotCurve *m_curve;
};

// Times of a run of mapped records as a series, without copying them.
template <class R>
class RecordTimeSeries : public QwtSeriesData<QPointF>
{
public:
    RecordTimeSeries(const R *begin, const R *end, std::shared_ptr<const void> owner)
        : m_owner(std::move(owner)), m_begin(begin), m_size(std::size_t(end - begin))
    {
    }
    size_t size() const override { return m_size; }
    QPointF sample(size_t i) const override { return QPointF(m_begin[i].time, 0.0); }
    QRectF boundingRect() const override
    {
        if (m_size == 0)
            return QRectF(0, 0, -1, -1);
        return QRectF(m_begin[0].time, 0.0, double(m_begin[m_size - 1].time) - m_begin[0].time, 0.0);
    }

private:
    std::shared_ptr<const void> m_owner;
    const R *m_begin;
    std::size_t m_size;
};

template <class R>
void TimeStripPlot::setRecordTimes(const R *begin, const R *end, std::shared_ptr<const void> owner)
{
    setTimeSeries(new RecordTimeSeries<R>(begin, end, std::move(owner)));
}

// The overview of the whole recording above the tabs: a coarse curve, green band over the
// recorded span, red bands over the missing intervals, a blue line at the window start.
class OverviewPlot : public QwtPlot
{
    Q_OBJECT
public:
    explicit OverviewPlot(QWidget *parent = nullptr);

    QwtPlotPicker *picker() const { return m_picker; }
    QwtPlotCurve *curve() const { return m_curve; }
    QwtPlotMarker *marker() const { return m_marker; }
    void setPoints(const QVector<QPointF> &points);
    void setMarkerPosition(double x);
    void setZones(double spanFrom, double spanTo, const QVector<MissingInterval> &holes);
    void removeZones();
    QList<QwtPlotZoneItem *> zones() const;

protected:
    // The green band over the recorded span (the missing intervals are always shaded).
    bool m_recordedSpanBand = true;

private:
    QwtPlotCurve *m_curve;
    QwtPlotMarker *m_marker;
    QwtPlotPicker *m_picker;
};

// The heart-rate trend under the overview, on the overview's time axis with its zones, window
// marker and click: per minute the mean rate as a line and the span of its ten-beat means as a
// band, both broken where minutes have no rate; the bpm scale is drawn inside the canvas so that
// the canvas keeps the overview's width.
class HeartRatePlot : public OverviewPlot
{
    Q_OBJECT
public:
    explicit HeartRatePlot(QWidget *parent = nullptr);

    void setMinutes(const QVector<MinuteRate> &minutes);
    // The mean-rate lines, one per run of minutes.
    const QVector<QwtPlotCurve *> &rateCurves() const { return m_lines; }

private:
    static constexpr double DefaultLowBpm = 40;
    static constexpr double DefaultHighBpm = 120;
    static constexpr double ScaleRoom = 0.18; // of the span, below and above the labelled rates
    void setRateScale(double low, double high);

    QVector<QwtPlotCurve *> m_lines;
    QVector<QwtPlotItem *> m_bands;
};
