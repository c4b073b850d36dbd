#pragma once

#include "import/FrameScanner.h"

#include <deque>
#include <optional>

// Leaves out the streamed records whose time stamp lies far off while their neighbours agree (a
// frame whose check byte passed with a damaged time), by the decoder's rule. A record far in the
// future would otherwise never come due on the live page, and every record behind it would wait
// with it. Each record is held until the next one has come (the stream's first until two more
// have); one filter per stream, used by one thread.
class TimeStampFilter
{
public:
    // A record let through without a successor must lie this close after the last one passed.
    static constexpr qint64 LoneRecordSpanMs = 1000;

    // Appends to `passed` the records that are decided, in order.
    void add(SampleRecord &&record, SampleList *passed);
    // The stream has paused: the records still held go without waiting for a successor, those
    // in line with the last one passed; the others are left out.
    void flush(SampleList *passed);
    // The stream was stopped: what is held is dropped and the next record has no predecessor.
    void reset()
    {
        m_previous.reset();
        m_held.clear();
    }
    // Records left out so far.
    quint64 leftOut() const { return m_leftOut; }

private:
    std::optional<qint64> m_previous; // time of the last record passed
    std::deque<SampleRecord> m_held;
    quint64 m_leftOut = 0;
};
