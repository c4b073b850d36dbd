#include "review/data/HeartRateTrend.h"

#include "import/RecordingFormat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// The intervals ending in one span of time.
struct Span {
    double intervalsMs = 0;
    int intervals = 0;
    double lowestMean = std::numeric_limits<double>::infinity();
    double highestMean = -std::numeric_limits<double>::infinity();

    bool covered(qint64 lengthMs) const { return intervalsMs >= HeartRateTrend::MinCoveredShare * lengthMs; }
    double bpm() const { return 60000.0 * intervals / intervalsMs; }
};

void add(std::vector<Span> &spans, qint64 lengthMs, double atMs, double intervalMs)
{
    const std::size_t index = std::size_t(atMs / lengthMs);
    if (index >= spans.size())
        spans.resize(index + 1);
    spans[index].intervalsMs += intervalMs;
    ++spans[index].intervals;
}

// Mean, highest and lowest of the covered spans' rates: (mean, highest, its span, lowest, its span).
struct Extremes {
    bool any = false;
    double mean = 0;
    double highest = 0;
    std::size_t highestAt = 0;
    double lowest = 0;
    std::size_t lowestAt = 0;
};

Extremes extremes(const std::vector<Span> &spans, qint64 lengthMs)
{
    Extremes e;
    double sum = 0;
    int n = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (!spans[i].covered(lengthMs))
            continue;
        const double bpm = spans[i].bpm();
        if (!e.any || bpm > e.highest) {
            e.highest = bpm;
            e.highestAt = i;
        }
        if (!e.any || bpm < e.lowest) {
            e.lowest = bpm;
            e.lowestAt = i;
        }
        e.any = true;
        sum += bpm;
        ++n;
    }
    e.mean = n > 0 ? sum / n : 0;
    return e;
}

} // namespace

HeartRateTrend::HeartRateTrend(const QVector<Beat> &beats)
{
    std::vector<Span> shortSpans;
    std::vector<Span> minutes;
    // The last ten intervals of the current run of heartbeats.
    std::array<double, BeatsPerMean> lastIntervals{};
    int run = 0;
    double runSum = 0;
    double previousMs = std::numeric_limits<double>::quiet_NaN();
    for (const Beat &beat : beats) {
        const double ms = beat.seconds * 1000.0;
        const double interval = ms - previousMs;
        previousMs = ms;
        if (!(ms >= 0 && ms < MaxRecordingMs) || !(interval >= MinRrMs && interval <= MaxRrMs)) {
            run = 0;
            runSum = 0;
            continue;
        }
        add(shortSpans, ShortAverageMs, ms, interval);
        add(minutes, LongAverageMs, ms, interval);
        double &slot = lastIntervals[std::size_t(run % BeatsPerMean)];
        if (run >= BeatsPerMean)
            runSum -= slot;
        slot = interval;
        runSum += interval;
        if (++run >= BeatsPerMean) {
            Span &minute = minutes[std::size_t(ms / LongAverageMs)];
            const double mean = 60000.0 * BeatsPerMean / runSum;
            minute.lowestMean = std::min(minute.lowestMean, mean);
            minute.highestMean = std::max(minute.highestMean, mean);
        }
    }

    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const Span &minute = minutes[i];
        if (!minute.covered(LongAverageMs))
            continue;
        const double bpm = minute.bpm();
        m_minutes.append({qint64(i) * LongAverageMs, bpm, std::min(bpm, minute.lowestMean),
                          std::max(bpm, minute.highestMean)});
    }

    const Extremes tens = extremes(shortSpans, ShortAverageMs);
    const Extremes ones = extremes(minutes, LongAverageMs);
    m_summary.present = tens.any;
    m_summary.mean = {tens.mean, -1, ones.mean};
    m_summary.highest = {tens.highest, qint64(tens.highestAt) * ShortAverageMs, ones.highest};
    m_summary.lowest = {tens.lowest, qint64(tens.lowestAt) * ShortAverageMs, ones.lowest};
}
