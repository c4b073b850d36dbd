#include "device/ChunkQueue.h"

void ChunkQueue::append(QByteArray chunk)
{
    {
        const QWriteLocker lock(&m_lock);
        m_chunks.push_back(std::move(chunk));
    }
    m_added.wakeAll();
}

bool ChunkQueue::takeFirst(QByteArray *chunk, int waitMs)
{
    const QWriteLocker lock(&m_lock);
    if (m_chunks.empty())
        m_added.wait(&m_lock, unsigned(waitMs));
    if (m_chunks.empty())
        return false;
    *chunk = std::move(m_chunks.front());
    m_chunks.pop_front();
    return true;
}

void ChunkQueue::clear()
{
    const QWriteLocker lock(&m_lock);
    m_chunks.clear();
}

std::size_t ChunkQueue::size() const
{
    const QReadLocker lock(&m_lock);
    return m_chunks.size();
}

std::vector<int> ChunkQueue::chunkSizes() const
{
    const QReadLocker lock(&m_lock);
    std::vector<int> sizes;
    for (const QByteArray &c : m_chunks)
        sizes.push_back(c.size());
    return sizes;
}
