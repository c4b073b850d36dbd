#pragma once

#include "import/FrameScanner.h"

#include <QMutex>

#include <deque>

// Records on their way from the stream consumer (a pool thread) to the live view (the GUI thread):
// the consumer appends, the view's refresh takes what has become due. Each buffer has its own
// mutex; no code holds two buffers' locks at once.
class RecordBuffer
{
public:
    void append(SampleList &&records);
    void append(const SampleList &records);
    void clear();

    bool isEmpty() const;
    std::size_t size() const;
    // The first record, taken off the buffer; false when there is none.
    bool takeFirst(SampleRecord *record);
    // The records from the front whose time is at most `time`, in order.
    SampleList takeUntil(quint32 time);
    SampleList copy() const;

private:
    mutable QMutex m_mutex;
    std::deque<SampleRecord> m_records;
};
