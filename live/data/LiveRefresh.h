#pragma once

// The rules by which the live page moves streamed records onto its plots, without any plot: the
// clock that plays the recorder's time 500 ms behind, the batch that has become due, the trace
// segments with their gap and order rules, the derived leads and the gain divisor, the point
// limits. The page keeps one curve per segment and draws these points as they are.

#include "device/RecordBuffer.h"

#include <QPointF>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// Milliseconds of a monotonic clock; the page runs on the steady clock, tests pass their own.
using MonotonicClock = std::function<qint64()>;
MonotonicClock steadyClock();

// The recorder's time the page shows: the first record after a reset starts the clock with its
// time stamp (the base), and from then on the play time is base + wall time since - delay.
class PlayClock
{
public:
    // The records arrive in bursts; playing this far behind lets the traces scroll evenly.
    static constexpr qint64 DelayMs = 500;

    explicit PlayClock(MonotonicClock now) : m_now(std::move(now)) {}

    bool isStarted() const { return m_started; }
    void start(quint32 base);
    // The next record starts a new clock.
    void reset() { m_started = false; }
    // Signed: right after the start the play time lies before the base (and before 0 when the
    // recorder's clock is still below the delay).
    qint64 playTime() const;

private:
    MonotonicClock m_now;
    bool m_started = false;
    quint32 m_base = 0;
    qint64 m_startedAt = 0;
};

// The points of one curve, oldest first. Shared with the curve that draws them.
using TracePoints = std::deque<QPointF>;
using TraceSegment = std::shared_ptr<TracePoints>;

// Takes the records of a buffer that are due by its play clock.
class DueRecords
{
public:
    DueRecords(RecordBuffer &records, MonotonicClock now) : m_records(records), m_clock(std::move(now)) {}

    // One refresh: the first record after a reset starts the clock and is dropped (it only says
    // where the stream stands); afterwards the records whose time has come, in order.
    SampleList take();
    void reset() { m_clock.reset(); }

private:
    RecordBuffer &m_records;
    PlayClock m_clock;
};

// The twelve ECG strip plots. Plot index = lead index: 0 V6, 1 I, 2 II, 3 V2, 4 V3, 5 V4, 6 V5,
// 7 V1 (record slots 1..8), 8 III, 9 aVR, 10 aVL, 11 aVF (from I and II).
class EcgRefresh
{
public:
    static constexpr int PlotCount = 12;
    static constexpr int DefaultWindowMs = 5000;
    // A jump in time larger than this between two drawn records starts a new segment.
    static constexpr double SegmentGapMs = 1000;

    explicit EcgRefresh(RecordBuffer &records, MonotonicClock now = steadyClock(),
                        int windowMs = DefaultWindowMs);

    // One refresh step; true when a batch was taken (the plots changed, even if no record of it
    // was drawn).
    bool step();
    // Empties the traces (one empty segment per plot is left) and starts a new clock.
    void reset();

    // The value a plot draws for a record: its lead (derived ones from I and II) divided by the
    // divisor.
    static double plotValue(const SampleRecord &record, int plot, int divisor);

    void setDivisor(int divisor);
    int divisor() const { return m_divisor; }
    int windowMs() const { return m_windowMs; }
    // The points a plot keeps: as many as the window holds at one record every 2 ms.
    int maxPoints() const;

    const std::deque<TraceSegment> &segments(int plot) const { return m_plots[std::size_t(plot)]; }
    int pointCount(int plot) const;
    // Time stamps of the latest batch, drawn or not.
    const std::vector<double> &batchTimes() const { return m_batchTimes; }
    double lastDrawnTime() const { return m_lastDrawn; }

private:
    void trim(std::deque<TraceSegment> &segments) const;

    DueRecords m_due;
    int m_windowMs;
    int m_divisor = 6;
    double m_lastDrawn = 0;
    std::array<std::deque<TraceSegment>, PlotCount> m_plots;
    std::vector<double> m_batchTimes;
};

// The five respiration channels on one plot and their sum on another, drawn unscaled.
class BreathRefresh
{
public:
    static constexpr int ChannelCount = 5;
    // 64 s at one record every 20 ms: the longest window (60 s) stays filled.
    static constexpr int MaxPoints = 3200;

    explicit BreathRefresh(RecordBuffer &records, MonotonicClock now = steadyClock());

    bool step();
    // Empties the traces and starts a new clock; the channel visibility stays.
    void reset();

    // Hidden channels are still drawn into their curve and still counted in the sum.
    void toggleVisible(int channel);
    bool isVisible(int channel) const { return m_visible[std::size_t(channel)]; }

    const TraceSegment &channel(int c) const { return m_channels[std::size_t(c)]; }
    const TraceSegment &sum() const { return m_sum; }
    const std::vector<double> &batchTimes() const { return m_batchTimes; }
    double lastDrawnTime() const { return m_lastDrawn; }

private:
    DueRecords m_due;
    double m_lastDrawn = 0;
    std::array<TraceSegment, ChannelCount> m_channels;
    TraceSegment m_sum;
    std::array<bool, ChannelCount> m_visible{{true, true, true, true, true}};
    std::vector<double> m_batchTimes;
};
