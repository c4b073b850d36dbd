#pragma once

// Turning a window of decoded records into the traces the review plots draw: lead values with
// the derived leads, channel means, the split into continuous segments and the calibration pulse.
// Widget-free, so the rules can be checked without plots and shared by every ECG and
// respiration plot.

#include "import/RecordingFormat.h"

#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstddef>

// The twelve leads: 0..7 the recorded channels in record order, 8..11 derived from I and II.
namespace leads {
inline constexpr int Count = 12;
inline constexpr int Recorded = 8;
inline constexpr int I = 1;
inline constexpr int II = 2;
inline constexpr int V1 = 7;
// Lead names as the plots' accessible names, the combos and the analysis files spell them.
QString name(int lead);
// The lead an analysis channel names ("V5", "L2", or "II", "aVF" as the paper labels them, in any
// case); -1 when it names none.
int fromChannel(const QString &channel);
}

// Respiration channel 5 on the single-lead tab stands for the sum of the five channels.
inline constexpr int BreathChannels = 5;
inline constexpr int BreathSumChannel = 5;

// A jump in time larger than this between two plotted records starts a new curve.
inline constexpr quint32 EcgSegmentGapMs = 16;
inline constexpr quint32 BreathSegmentGapMs = 200;

using TraceSegments = QVector<QVector<QPointF>>;

// The missing intervals that touch one window, for the per-record test of a redraw.
class WindowHoles
{
public:
    WindowHoles(const QVector<MissingInterval> &holes, quint32 from, quint32 to);
    // start < time < stop for one of them: the edges hold data.
    bool inside(quint32 time) const;
    // Whether a record is left out of the trace and its means: inside a hole, or the all-zero
    // record the decoder writes on a hole's stop edge when it fills the gap (not a measurement).
    template <int N>
    bool hides(quint32 time, const float (&values)[N]) const
    {
        if (m_holes.isEmpty())
            return false;
        if (inside(time))
            return true;
        return onEdge(time) && std::all_of(values, values + N, [](float v) { return v == 0.0f; });
    }
    bool empty() const { return m_holes.isEmpty(); }

private:
    bool onEdge(quint32 time) const;

    QVector<MissingInterval> m_holes;
};

// Collects the points of one trace: a record is plotted only when its time is above the last
// plotted one; a new segment starts with the first plotted point and after every jump of more
// than maxGap. Records hidden by the holes are not handed to it.
class TraceBuilder
{
public:
    // expected: the number of records about to be added, room made for them at once (a 10-minute
    // window's 300 000 points would otherwise be copied over and over as the trace grows).
    explicit TraceBuilder(quint32 maxGap, int expected = 0) : m_maxGap(maxGap), m_expected(expected) {}

    // Returns whether the record was plotted.
    bool add(quint32 time, double value);
    const TraceSegments &segments() const { return m_segments; }

private:
    quint32 m_maxGap;
    int m_expected;
    TraceSegments m_segments;
    quint32 m_lastTime = 0;
    bool m_started = false;
};

// Per-channel means of the records the holes do not hide (zeros when there is none).
template <class R, int N>
std::array<double, N> channelMeans(const R *begin, const R *end, const WindowHoles &holes)
{
    std::array<double, N> sums{};
    std::size_t count = 0;
    for (const R *r = begin; r != end; ++r) {
        if (holes.hides(r->time, r->values))
            continue;
        for (int c = 0; c < N; ++c)
            sums[std::size_t(c)] += r->values[c];
        ++count;
    }
    if (count > 0)
        for (double &sum : sums)
            sum /= double(count);
    return sums;
}

using EcgMeans = std::array<double, leads::Recorded>;

// The value of a lead in mV relative to the window mean of its channels.
inline double leadValue(const float *values, const EcgMeans &means, int lead)
{
    if (lead < leads::Recorded)
        return values[lead] - means[std::size_t(lead)];
    const double i = values[leads::I] - means[leads::I];
    const double ii = values[leads::II] - means[leads::II];
    switch (lead) {
    case 8: return ii - i;              // III
    case 9: return -(i + ii) / 2.0;     // aVR
    case 10: return i - ii / 2.0;       // aVL
    default: return ii - i / 2.0;       // aVF
    }
}

// The 1 mV calibration step drawn at the left of a lead plot: rest, step up for one width, back
// down. x0 is the first whole multiple of the width at or after the window's first record.
QVector<QPointF> calibrationPulse(quint32 firstTime, double width, double gain, double offset);

// Number of records that cover a window of the given length at the given sample period.
int recordsForWindow(double windowMs, double periodMs);

// y range of the SpO2 plot: min..max (widened by 2 each side when equal) with a quarter step,
// or 70..100 step 10 without points.
struct AxisRange {
    double lower;
    double upper;
    double step;
};
AxisRange spo2AxisRange(const QVector<QPointF> &points);
