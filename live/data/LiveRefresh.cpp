#include "live/data/LiveRefresh.h"

#include "import/RecordingFormat.h"
#include "review/data/SignalTrace.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

MonotonicClock steadyClock()
{
    return [] {
        static const QElapsedTimer since = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return since.elapsed();
    };
}

// ---------------------------------------------------------------------------------------------

void PlayClock::start(quint32 base)
{
    m_base = base;
    m_startedAt = m_now();
    m_started = true;
}

qint64 PlayClock::playTime() const { return m_now() - m_startedAt + qint64(m_base) - DelayMs; }

SampleList DueRecords::take()
{
    if (m_records.isEmpty())
        return {};
    if (!m_clock.isStarted()) {
        SampleRecord first;
        if (!m_records.takeFirst(&first))
            return {};
        m_clock.start(sampleTime(first));
    }
    const qint64 playTime = m_clock.playTime();
    // Computed in signed arithmetic: a recorder clock still below the delay must not wrap round
    // and release the whole buffer at once.
    if (playTime < 0)
        return {};
    return m_records.takeUntil(quint32(std::min<qint64>(playTime, std::numeric_limits<quint32>::max())));
}

// ---------------------------------------------------------------------------------------------

EcgRefresh::EcgRefresh(RecordBuffer &records, MonotonicClock now, int windowMs)
    : m_due(records, std::move(now)), m_windowMs(windowMs)
{
    for (auto &segments : m_plots)
        segments.push_back(std::make_shared<TracePoints>());
}

double EcgRefresh::plotValue(const SampleRecord &record, int plot, int divisor)
{
    static const EcgMeans noBaseline{};
    return leadValue(record.data() + 1, noBaseline, plot) / divisor;
}

void EcgRefresh::setDivisor(int divisor)
{
    // The gain selector offers 1 to 12; nothing else may turn the traces into infinities.
    if (divisor >= 1)
        m_divisor = divisor;
}

int EcgRefresh::maxPoints() const { return m_windowMs / int(EcgFormat.stepMs); }

int EcgRefresh::pointCount(int plot) const
{
    int count = 0;
    for (const TraceSegment &segment : m_plots[std::size_t(plot)])
        count += int(segment->size());
    return count;
}

bool EcgRefresh::step()
{
    const SampleList batch = m_due.take();
    if (batch.empty())
        return false;

    m_batchTimes.clear();
    m_batchTimes.reserve(batch.size());
    for (const SampleRecord &record : batch)
        m_batchTimes.push_back(sampleTime(record));

    for (int plot = 0; plot < PlotCount; ++plot) {
        std::deque<TraceSegment> &segments = m_plots[std::size_t(plot)];
        // Each record is measured against the one drawn before it: measured against the batch's
        // start instead, every record of the first batch after a gap would open a segment of its own.
        double previous = m_lastDrawn;
        for (std::size_t r = 0; r < batch.size(); ++r) {
            const double t = m_batchTimes[r];
            if (t - previous > SegmentGapMs && !segments.back()->empty())
                segments.push_back(std::make_shared<TracePoints>());
            if (t > previous) {
                segments.back()->emplace_back(t, plotValue(batch[r], plot, m_divisor));
                previous = t;
            }
        }
        trim(segments);
    }
    m_lastDrawn = m_batchTimes.back();
    return true;
}

// The points beyond the limit go from the front of the oldest segment, which goes when empty
// (and so on to the next one: the limit holds after every refresh); a plot always keeps one
// segment to draw into.
void EcgRefresh::trim(std::deque<TraceSegment> &segments) const
{
    int count = 0;
    for (const TraceSegment &segment : segments)
        count += int(segment->size());
    int excess = count - maxPoints();
    while (excess > 0) {
        TracePoints &oldest = *segments.front();
        const int removed = std::min(excess, int(oldest.size()));
        oldest.erase(oldest.begin(), oldest.begin() + removed);
        excess -= removed;
        if (!oldest.empty() || segments.size() == 1)
            break;
        segments.pop_front();
    }
}

void EcgRefresh::reset()
{
    m_due.reset();
    m_lastDrawn = 0;
    m_batchTimes.clear();
    for (auto &segments : m_plots) {
        segments.clear();
        segments.push_back(std::make_shared<TracePoints>());
    }
}

// ---------------------------------------------------------------------------------------------

BreathRefresh::BreathRefresh(RecordBuffer &records, MonotonicClock now)
    : m_due(records, std::move(now)), m_sum(std::make_shared<TracePoints>())
{
    for (TraceSegment &channel : m_channels)
        channel = std::make_shared<TracePoints>();
}

void BreathRefresh::toggleVisible(int channel)
{
    if (channel >= 0 && channel < ChannelCount)
        m_visible[std::size_t(channel)] = !m_visible[std::size_t(channel)];
}

bool BreathRefresh::step()
{
    const SampleList batch = m_due.take();
    if (batch.empty())
        return false;

    m_batchTimes.clear();
    for (const SampleRecord &record : batch) {
        const double t = sampleTime(record);
        m_batchTimes.push_back(t);
        if (!(t > m_lastDrawn))
            continue;
        double sum = 0;
        for (int c = 0; c < ChannelCount; ++c) {
            const double value = record[std::size_t(c) + 1];
            m_channels[std::size_t(c)]->emplace_back(t, value);
            sum += value;
        }
        m_sum->emplace_back(t, sum);
        m_lastDrawn = t;
    }
    auto keepLast = [](TracePoints &points) {
        if (points.size() > std::size_t(MaxPoints))
            points.erase(points.begin(), points.end() - MaxPoints);
    };
    for (TraceSegment &channel : m_channels)
        keepLast(*channel);
    keepLast(*m_sum);
    return true;
}

void BreathRefresh::reset()
{
    m_due.reset();
    m_lastDrawn = 0;
    m_batchTimes.clear();
    for (TraceSegment &channel : m_channels)
        channel->clear();
    m_sum->clear();
}
