#include "analysis/BodyPosition.h"

#include "analysis/AnalysisCriteria.h"

#include <cmath>

void PositionMinute::add(float x, float y, float z)
{
    // A record of zeros fills a gap in the recording: no reading.
    if (x == 0 && y == 0 && z == 0)
        return;
    const double magnitude = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    m_x += x;
    m_y += y;
    m_z += z;
    m_magnitude += magnitude;
    m_magnitudeSquares += magnitude * magnitude;
    ++m_count;
}

QByteArray PositionMinute::label() const
{
    const double mean = m_magnitude / double(m_count);
    const double spread = std::sqrt(std::max(0.0, m_magnitudeSquares / double(m_count) - mean * mean));
    return positionLabel(m_x, m_y, m_z, mean > 0 ? spread / mean : 0);
}

QByteArray positionLabel(double x, double y, double z, double movement)
{
    const double norm = std::sqrt(x * x + y * y + z * z);
    if (norm <= 0)
        return QByteArray();
    x /= norm;
    y /= norm;
    z /= norm;
    if (y >= criteria::UprightCos)
        return movement >= criteria::MovingG ? "STAND" : "SIT";
    // Lying: the axis nearest to up tells on which side.
    if (std::fabs(z) >= std::fabs(x))
        return z >= 0 ? "SUPINE" : "PRONE";
    return x >= 0 ? "RIGHT_SIDE" : "LEFT_SIDE";
}
