#pragma once

#include <qwt_plot_curve.h>

#include <QPolygonF>

class QwtScaleMap;
template <typename T> class QwtSeriesData;

// A line curve that stays cheap however many samples fall on one pixel column: where the series
// is denser than a few points per column it draws, per column, the first, lowest, highest and
// last sample in that order. The polyline then covers exactly the pixels of the full trace, so
// QRS spikes keep their height (a low-pass decimation would flatten them) while a 10-minute
// window costs a few thousand line points instead of hundreds of thousands.
class EnvelopeCurve : public QwtPlotCurve
{
public:
    explicit EnvelopeCurve(const QString &title = QString());

    // Series points per pixel column above which the envelope replaces the plain polyline.
    static constexpr int PointsPerColumn = 4;

    // The envelope of points from..to in paint coordinates, rounded to whole pixels.
    static QPolygonF envelope(const QwtSeriesData<QPointF> &series, int from, int to, const QwtScaleMap &xMap,
                              const QwtScaleMap &yMap);

protected:
    void drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap, const QRectF &canvasRect,
                   int from, int to) const override;
};
