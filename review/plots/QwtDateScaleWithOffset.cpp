#include "review/plots/QwtDateScaleWithOffset.h"

#include <QDateTime>

#include <cmath>

const QString QwtDateScaleWithOffset::DefaultFormat = QStringLiteral("hh:mm:ss");

QwtDateScaleWithOffset::QwtDateScaleWithOffset(Qt::TimeSpec timeSpec)
    : QwtDateScaleDraw(timeSpec)
{
}

void QwtDateScaleWithOffset::setOffset(qint64 offsetSeconds)
{
    m_offsetSeconds = offsetSeconds;
    // Labels are cached per value: drop the ones of the old offset.
    invalidateCache();
}

void QwtDateScaleWithOffset::setLabelFormat(const QString &format)
{
    m_format = format;
    invalidateCache();
}

QwtText QwtDateScaleWithOffset::label(double value) const
{
    return QwtText(labelText(m_offsetSeconds, value, m_format, timeSpec()));
}

QString QwtDateScaleWithOffset::labelText(qint64 offsetSeconds, double value, const QString &format,
                                          Qt::TimeSpec timeSpec)
{
    const qint64 ms = offsetSeconds * 1000 + qint64(std::llround(value));
    return QDateTime::fromMSecsSinceEpoch(ms, timeSpec).toString(format);
}
