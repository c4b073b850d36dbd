#include "device/CalibrationCheck.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace calibration {

namespace {

// mean_i = (v_i + i * mean_(i-1)) / (i + 1)
struct RunningMean {
    double mean = 0;
    qint64 count = 0;
    void add(double value)
    {
        mean = (value + double(count) * mean) / double(count + 1);
        ++count;
    }
};

bool isAsciiLetterOrDigit(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

} // namespace

float channelAmplitude(const std::vector<float> &values)
{
    if (values.empty())
        return 0.0f;
    float minimum = values[0];
    float maximum = values[0];
    RunningMean all;
    for (float v : values) {
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        all.add(v);
    }
    const double threshold = std::fabs(double(maximum) - double(minimum)) / 10.0;
    const double high = all.mean + threshold;
    const double low = all.mean - threshold;

    // One counter and one edge flag for both plateaus: an edge into either starts the count.
    RunningMean highPlateau;
    RunningMean lowPlateau;
    int counter = 0;
    bool edge = false;
    for (std::size_t k = 1; k < values.size(); ++k) {
        const bool isHigh = values[k] > high;
        const bool isLow = values[k] < low;
        if (!isHigh && !isLow)
            continue;
        const float jump = values[k] - values[k - 1];
        if (std::fabs(jump) > EdgeJump) {
            edge = true;
            ++counter;
        } else if (edge) {
            ++counter;
        }
        if (counter > SettleSamples) {
            (isHigh ? highPlateau : lowPlateau).add(values[k]);
            counter = 0;
            edge = false;
        }
    }
    return float(highPlateau.mean - lowPlateau.mean);
}

std::vector<float> measureAmplitudes(const SampleList &ecgRecords)
{
    std::vector<float> amplitudes;
    for (int c = 1; c <= ChannelCount; ++c) {
        std::vector<float> values;
        values.reserve(ecgRecords.size());
        for (const SampleRecord &record : ecgRecords)
            if (record.size() > std::size_t(c))
                values.push_back(record[std::size_t(c)]);
        qInfo().noquote() << "Calibration channel " + QString::number(c) + " : size - " + QString::number(values.size());
        QStringList elements;
        elements.reserve(int(values.size()));
        for (float v : values)
            elements << QString::number(double(v));
        qInfo().noquote() << "Calibration channel " + QString::number(c) + " : elements : " + elements.join(' ');
        amplitudes.push_back(channelAmplitude(values));
    }
    return amplitudes;
}

bool checkRatios(const std::vector<float> &amplitudes, const std::vector<float> &factors,
                 const std::vector<float> &ratios, QString *error)
{
    for (std::size_t i = 0; i < amplitudes.size(); ++i) {
        if (i >= factors.size() || i >= ratios.size()) {
            *error = QStringLiteral("channel %1 has no calibration factor or ratio to compare with").arg(i + 1);
            return false;
        }
        const float q = amplitudes[i] / factors[i];
        const double ratio = ratios[i];
        const float lower = float(ratio - ratio * RatioTolerance);
        const float upper = float(ratio * RatioTolerance + ratio);
        qInfo().noquote() << "ratio : " + QString::number(double(lower)) + " < " + QString::number(double(q)) + " < "
                                 + QString::number(double(upper));
        // Written so that a quotient that is not a number (0 / 0) fails too.
        if (!(q >= lower && q <= upper)) {
            *error = QStringLiteral("channel %1: amplitude / factor %2 outside %3 .. %4")
                         .arg(i + 1)
                         .arg(double(q))
                         .arg(double(lower))
                         .arg(double(upper));
            return false;
        }
    }
    return true;
}

QString sessionIdentifier(const QString &fiscalCode, qint64 sessionId, QString *error)
{
    if (fiscalCode.size() != 16 || !std::all_of(fiscalCode.begin(), fiscalCode.end(), isAsciiLetterOrDigit)) {
        *error = QStringLiteral("the fiscal code \"%1\" is not 16 letters and digits: the recorder cannot "
                                "take it as a session name")
                     .arg(fiscalCode);
        return QString();
    }
    if (sessionId < 0 || sessionId > 9999) {
        *error = QStringLiteral("the session id %1 does not fit in the 4 digits of a session name").arg(sessionId);
        return QString();
    }
    return fiscalCode + QStringLiteral("%1").arg(sessionId, 4, 10, QLatin1Char('0'));
}

} // namespace calibration
