#pragma once

// The heart rate over the recording, from the analysis' beat list: per minute the mean rate and
// the lowest and highest mean of ten consecutive beats (the trend strip under the overview), and
// for the report the mean, highest and lowest of the 10-second and of the 1-minute averages.
// A rate is beats over the intervals between them: 60000 x intervals / their sum in ms. An
// interval outside the bounds below is a gap in the beats (missing data, a noisy stretch, a double
// detection), not a heartbeat: it counts nowhere and starts the ten-beat means again. Averages
// over a span that the intervals cover less than half of are left out. Spans are counted from the
// recording start. Widget-free.

#include "review/data/AnalysisFolder.h"

#include <QVector>
#include <QtGlobal>

struct MinuteRate {
    qint64 startMs; // from the recording start
    double meanBpm;
    double lowBpm;  // lowest and highest mean of ten beats ending in the minute (at least the
    double highBpm; // span of the minute's mean)
};

// One automatic rate of the report: a 10-second average with the start of its 10 seconds (-1 when
// it stands for no one instant, as a mean does) and a 1-minute average (0 when there is none).
struct RateFigure {
    double tenSecondBpm = 0;
    qint64 tenSecondAtMs = -1;
    double oneMinuteBpm = 0;
};

struct HeartRateSummary {
    bool present = false; // at least one 10-second average
    RateFigure mean;
    RateFigure highest;
    RateFigure lowest;
};

class HeartRateTrend
{
public:
    static constexpr double MinRrMs = 200.0;  // the detector's refractory period
    static constexpr double MaxRrMs = 3000.0; // 20 bpm
    static constexpr int BeatsPerMean = 10;
    static constexpr qint64 ShortAverageMs = 10000;
    static constexpr qint64 LongAverageMs = 60000;
    static constexpr double MinCoveredShare = 0.5;

    HeartRateTrend() = default;
    // beats in time order, seconds from the recording start.
    explicit HeartRateTrend(const QVector<Beat> &beats);

    // The minutes with a rate, in time order.
    const QVector<MinuteRate> &minutes() const { return m_minutes; }
    const HeartRateSummary &summary() const { return m_summary; }

private:
    QVector<MinuteRate> m_minutes;
    HeartRateSummary m_summary;
};
