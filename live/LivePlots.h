#pragma once

// The plots of the live page: ECG strips with their value axis, the respiration plots, and the
// series that lets a curve draw the points of a live trace in place.

#include "live/data/LiveRefresh.h"
#include "review/plots/ReviewPlots.h"

#include <qwt_plot.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_draw.h>
#include <qwt_series_data.h>

#include <QPen>

#include <deque>
#include <vector>

class QwtPlotCurve;

// Tick labels of the ECG value axis: the value with 2 decimals.
class YAxisScaleDraw : public QwtScaleDraw
{
public:
    QwtText label(double value) const override;
};

// One live trace as a curve's series, read where the refresh keeps it (not copied).
class CurveData : public QwtSeriesData<QPointF>
{
public:
    explicit CurveData(TraceSegment points) : m_points(std::move(points)) {}

    size_t size() const override { return m_points->size(); }
    QPointF sample(size_t i) const override { return (*m_points)[i]; }
    QRectF boundingRect() const override;
    const TraceSegment &points() const { return m_points; }

private:
    TraceSegment m_points;
};

// The paper of the live plots. Lines wider than a pixel are filled as rectangles: stroking them
// made up most of the cost of a repaint, twelve strips a hundred times a second.
class LiveGrid : public QwtPlotGrid
{
public:
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;
};

// Canvas, grid and axes shared by the live plots.
class LivePlot : public QwtPlot
{
    Q_OBJECT
public:
    explicit LivePlot(QWidget *parent = nullptr);
    LiveGrid *grid() const { return m_grid; }

protected:
    QwtPlotCurve *addCurve(const TraceSegment &points, const QPen &pen);

private:
    LiveGrid *m_grid;
};

// One ECG lead: the value axis on the left, millimetre-like paper fixed to the window (the grid
// follows the top axis, 0 to the window length), one curve per trace segment.
class LiveEcgPlot : public LivePlot
{
    Q_OBJECT
public:
    explicit LiveEcgPlot(int windowMs, QWidget *parent = nullptr);

    // Curves follow the segments: the ones whose segment was dropped go, new segments get one.
    void showSegments(const std::deque<TraceSegment> &segments);
    const std::vector<QwtPlotCurve *> &curves() const { return m_curves; }

private:
    std::vector<QwtPlotCurve *> m_curves;
};

// The respiration channels or their sum: no visible axes, values autoscaled.
class LiveBreathPlot : public LivePlot
{
    Q_OBJECT
public:
    LiveBreathPlot(const std::vector<TraceSegment> &traces, const std::vector<QColor> &colours, int windowMs,
                   QWidget *parent = nullptr);

    // The grid is fixed to the window: one line a second.
    void setWindow(int windowMs);
    const std::vector<QwtPlotCurve *> &curves() const { return m_curves; }

private:
    std::vector<QwtPlotCurve *> m_curves;
};

// The clock under a column of plots: the recorder's time as "mm:ss". It scrolls with every
// redraw; its scale asks the strip to lay itself out again each time, which changes nothing as
// long as the strip keeps its size and margins, so those requests are let go.
class LiveTimeStrip : public TimeStripPlot
{
    Q_OBJECT
public:
    explicit LiveTimeStrip(QWidget *parent = nullptr);

    void updateLayout() override;

protected:
    bool event(QEvent *event) override;

private:
    QSize m_laidOutSize;
    QMargins m_laidOutMargins;
};
