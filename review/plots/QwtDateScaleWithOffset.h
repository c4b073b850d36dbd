#pragma once

#include <qwt_date_scale_draw.h>

// Time axis of the review plots: the values are milliseconds from the acquisition start and the
// ticks show the wall-clock time of offset (seconds since the epoch) plus the value, as "hh:mm:ss"
// unless another format is set (long windows show "hh:mm").
class QwtDateScaleWithOffset : public QwtDateScaleDraw
{
public:
    explicit QwtDateScaleWithOffset(Qt::TimeSpec timeSpec = Qt::LocalTime);

    void setOffset(qint64 offsetSeconds);
    qint64 offset() const { return m_offsetSeconds; }
    void setLabelFormat(const QString &format);
    QString labelFormat() const { return m_format; }

    QwtText label(double value) const override;
    static QString labelText(qint64 offsetSeconds, double value, const QString &format = DefaultFormat,
                             Qt::TimeSpec timeSpec = Qt::LocalTime);

    static const QString DefaultFormat;

private:
    qint64 m_offsetSeconds = 0;
    QString m_format = DefaultFormat;
};
