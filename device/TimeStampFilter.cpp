#include "device/TimeStampFilter.h"

#include "import/StreamWriter.h"

#include <QDebug>

void TimeStampFilter::add(SampleRecord &&record, SampleList *passed)
{
    m_held.push_back(std::move(record));
    const auto t = [this](std::size_t i) { return qint64(sampleTime(m_held[i])); };
    for (;;) {
        bool outOfLine;
        if (m_previous) {
            if (m_held.size() < 2)
                return;
            outOfLine = timeOutOfLine(*m_previous, t(0), t(1));
        } else {
            if (m_held.size() < 3)
                return;
            outOfLine = firstTimeOutOfLine(t(0), t(1), t(2));
        }
        if (outOfLine) {
            ++m_leftOut;
            qInfo().noquote() << "Streamed time stamp out of line left out:" << t(0);
        } else {
            m_previous = t(0);
            passed->push_back(std::move(m_held.front()));
        }
        m_held.pop_front();
    }
}

void TimeStampFilter::flush(SampleList *passed)
{
    while (!m_held.empty()) {
        const qint64 time = qint64(sampleTime(m_held.front()));
        if (!m_previous || (time >= *m_previous && time - *m_previous <= LoneRecordSpanMs)) {
            m_previous = time;
            passed->push_back(std::move(m_held.front()));
        } else {
            ++m_leftOut;
            qInfo().noquote() << "Streamed time stamp out of line left out:" << time;
        }
        m_held.pop_front();
    }
}
