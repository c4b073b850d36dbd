#include "review/plots/EnvelopeCurve.h"

#include <qwt_clipper.h>
#include <qwt_painter.h>
#include <qwt_scale_map.h>
#include <qwt_series_data.h>

#include <QPainter>

#include <algorithm>
#include <cmath>

EnvelopeCurve::EnvelopeCurve(const QString &title) : QwtPlotCurve(title)
{
    setStyle(QwtPlotCurve::Lines);
}

QPolygonF EnvelopeCurve::envelope(const QwtSeriesData<QPointF> &series, int from, int to, const QwtScaleMap &xMap,
                                  const QwtScaleMap &yMap)
{
    QPolygonF out;
    if (to < from)
        return out;
    out.reserve(std::min(to - from + 1, 4 * int(std::abs(xMap.p2() - xMap.p1()) + 2)));

    double column = 0, first = 0, low = 0, high = 0, last = 0;
    bool open = false;
    auto push = [&out](double x, double y) {
        if (out.isEmpty() || out.last() != QPointF(x, y))
            out.append(QPointF(x, y));
    };
    auto flush = [&] {
        push(column, first);
        push(column, low);
        push(column, high);
        push(column, last);
    };
    for (int i = from; i <= to; ++i) {
        const QPointF sample = series.sample(size_t(i));
        const double x = std::round(xMap.transform(sample.x()));
        const double y = std::round(yMap.transform(sample.y()));
        if (open && x == column) {
            low = std::min(low, y);
            high = std::max(high, y);
            last = y;
            continue;
        }
        if (open)
            flush();
        column = x;
        first = low = high = last = y;
        open = true;
    }
    if (open)
        flush();
    return out;
}

void EnvelopeCurve::drawLines(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                              const QRectF &canvasRect, int from, int to) const
{
    const double columns = std::max(1.0, std::abs(xMap.p2() - xMap.p1()));
    if (to - from + 1 <= PointsPerColumn * columns || !QwtPainter::roundingAlignment(painter)) {
        QwtPlotCurve::drawLines(painter, xMap, yMap, canvasRect, from, to);
        return;
    }
    QPolygonF polyline = envelope(*data(), from, to, xMap, yMap);
    if (testPaintAttribute(ClipPolygons)) {
        const qreal pw = std::max(qreal(1.0), painter->pen().widthF());
        polyline = QwtClipper::clipPolygonF(canvasRect.adjusted(-pw, -pw, pw, pw), polyline, false);
    }
    QwtPainter::drawPolyline(painter, polyline);
}
