#pragma once

// The body position of a minute from the recorder's accelerometer (axes and labels in
// analysis/AnalysisCriteria.h). Widget-free.

#include <QByteArray>
#include <QtGlobal>

// Accumulates the IMU samples of one minute.
class PositionMinute
{
public:
    void add(float x, float y, float z);
    bool empty() const { return m_count == 0; }
    // "STAND", "SIT", "SUPINE", "PRONE", "LEFT_SIDE" or "RIGHT_SIDE".
    QByteArray label() const;
    void clear() { *this = PositionMinute(); }

private:
    double m_x = 0, m_y = 0, m_z = 0;
    double m_magnitude = 0, m_magnitudeSquares = 0;
    qint64 m_count = 0;
};

// The label for a mean gravity direction (any scale) and the spread of the acceleration's size
// over the minute, as a share of its mean.
QByteArray positionLabel(double x, double y, double z, double movement);
