#pragma once

#include <QByteArray>
#include <QReadWriteLock>
#include <QWaitCondition>

#include <deque>
#include <vector>

// Byte chunks on their way from the socket reader to the parser, one producer and one consumer
// at a time. The consumer sleeps on the queue instead of spinning when it is empty.
class ChunkQueue
{
public:
    void append(QByteArray chunk);
    // The first chunk, taken off the queue; waits up to waitMs for one. False when none came.
    bool takeFirst(QByteArray *chunk, int waitMs);
    void clear();
    std::size_t size() const;
    // The sizes of the queued chunks, oldest first.
    std::vector<int> chunkSizes() const;

private:
    mutable QReadWriteLock m_lock;
    QWaitCondition m_added;
    std::deque<QByteArray> m_chunks;
};
