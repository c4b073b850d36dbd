#include "device/RecordBuffer.h"

#include <iterator>

void RecordBuffer::append(SampleList &&records)
{
    const QMutexLocker lock(&m_mutex);
    m_records.insert(m_records.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
}

void RecordBuffer::append(const SampleList &records)
{
    const QMutexLocker lock(&m_mutex);
    m_records.insert(m_records.end(), records.begin(), records.end());
}

void RecordBuffer::clear()
{
    const QMutexLocker lock(&m_mutex);
    m_records.clear();
}

bool RecordBuffer::isEmpty() const
{
    const QMutexLocker lock(&m_mutex);
    return m_records.empty();
}

std::size_t RecordBuffer::size() const
{
    const QMutexLocker lock(&m_mutex);
    return m_records.size();
}

bool RecordBuffer::takeFirst(SampleRecord *record)
{
    const QMutexLocker lock(&m_mutex);
    if (m_records.empty())
        return false;
    *record = std::move(m_records.front());
    m_records.pop_front();
    return true;
}

SampleList RecordBuffer::takeUntil(quint32 time)
{
    SampleList due;
    const QMutexLocker lock(&m_mutex);
    while (!m_records.empty() && sampleTime(m_records.front()) <= time) {
        due.push_back(std::move(m_records.front()));
        m_records.pop_front();
    }
    return due;
}

SampleList RecordBuffer::copy() const
{
    const QMutexLocker lock(&m_mutex);
    return SampleList(m_records.begin(), m_records.end());
}
