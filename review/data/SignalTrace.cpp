#include "review/data/SignalTrace.h"

#include <QPair>
#include <QStringList>

#include <algorithm>
#include <cmath>

QString leads::name(int lead)
{
    return lead >= 0 && lead < LeadCount ? QString::fromLatin1(LeadNames[lead]) : QString();
}

int leads::fromChannel(const QString &channel)
{
    const QString wanted = channel.trimmed();
    for (int lead = 0; lead < LeadCount; ++lead)
        if (wanted.compare(QLatin1String(LeadNames[lead]), Qt::CaseInsensitive) == 0)
            return lead;
    // The limb leads as printed on the paper.
    const QPair<const char *, int> printed[] = {{"I", I}, {"II", II}, {"III", 8}};
    for (const auto &[text, lead] : printed)
        if (wanted.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return lead;
    return -1;
}

WindowHoles::WindowHoles(const QVector<MissingInterval> &holes, quint32 from, quint32 to)
{
    for (const MissingInterval &hole : holes)
        if (hole.stop >= from && hole.start <= to)
            m_holes.append(hole);
}

bool WindowHoles::inside(quint32 time) const
{
    for (const MissingInterval &hole : m_holes)
        if (hole.start < time && time < hole.stop)
            return true;
    return false;
}

bool WindowHoles::onEdge(quint32 time) const
{
    for (const MissingInterval &hole : m_holes)
        if (time == hole.start || time == hole.stop)
            return true;
    return false;
}

bool TraceBuilder::add(quint32 time, double value)
{
    if (m_started && time <= m_lastTime)
        return false;
    if (!m_started || time - m_lastTime > m_maxGap) {
        m_segments.append(QVector<QPointF>());
        if (!m_started)
            m_segments.last().reserve(m_expected);
    }
    m_segments.last().append(QPointF(time, value));
    m_lastTime = time;
    m_started = true;
    return true;
}

QVector<QPointF> calibrationPulse(quint32 firstTime, double width, double gain, double offset)
{
    const double x0 = std::ceil(firstTime / width) * width;
    const double rest = -offset;
    const double top = gain - offset;
    return {{x0, rest}, {x0 + width, rest}, {x0 + width, top}, {x0 + 2 * width, top},
            {x0 + 2 * width, rest}, {x0 + 3 * width, rest}};
}

int recordsForWindow(double windowMs, double periodMs)
{
    return int(std::ceil(windowMs / periodMs));
}

AxisRange spo2AxisRange(const QVector<QPointF> &points)
{
    if (points.isEmpty())
        return {70.0, 100.0, 10.0};
    double lower = points.first().y();
    double upper = lower;
    for (const QPointF &p : points) {
        lower = std::min(lower, p.y());
        upper = std::max(upper, p.y());
    }
    if (lower == upper) {
        lower -= 2.0;
        upper += 2.0;
    }
    return {lower, upper, std::floor((upper - lower) / 4.0)};
}
