#include "import/StreamWriter.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// A device time below this after a backward step means the recorder restarted its clock.
constexpr quint32 RestartLimitMs = 100;
// A missing period matches a restart when it started less than this before the floor.
constexpr quint32 IntervalLeadMs = 10000;
constexpr std::size_t WriteBufferBytes = std::size_t(1) << 20;

bool writeList(StreamWriter &writer, Stream stream, const SampleList &records, QString *error)
{
    const std::size_t elements = std::size_t(decodedFormat(stream).valueCount) + 1;
    for (const SampleRecord &record : records) {
        if (record.size() != elements) {
            if (error)
                *error = QStringLiteral("%1: a record has %2 elements instead of %3")
                             .arg(QLatin1String(decodedFormat(stream).fileName))
                             .arg(record.size())
                             .arg(elements);
            writer.close();
            return false;
        }
        writer.add(sampleTime(record), record.data() + 1);
    }
    if (!writer.close()) {
        if (error)
            *error = writer.errorString();
        return false;
    }
    return true;
}

QString streamPath(const QString &sessionFolder, Stream stream)
{
    return sessionFolder + QLatin1Char('/') + QLatin1String(decodedFormat(stream).fileName);
}

} // namespace

StreamClock &DecodeState::clock(Stream stream)
{
    return stream == Stream::Ecg ? ecg : stream == Stream::Breath ? breath : imu;
}

QString Calibration::errorString() const
{
    if (gain < 1)
        return QStringLiteral("gain %1 is not a positive integer").arg(gain);
    if (factors.size() != std::size_t(EcgFormat.valueCount))
        return QStringLiteral("%1 calibration factors given, 8 needed").arg(factors.size());
    return QString();
}

bool Calibration::fromText(const QString &text, Calibration *calibration, QString *error)
{
    const QStringList fields = text.split(QLatin1Char(','));
    Calibration parsed;
    bool ok = false;
    parsed.gain = fields.first().trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("calibration text '%1': the gain '%2' is not an integer")
                     .arg(text, fields.first());
        return false;
    }
    parsed.factors.clear();
    for (int i = 1; i < fields.size(); ++i) {
        parsed.factors.push_back(fields[i].trimmed().toFloat(&ok));
        // "nan" and "inf" read as numbers, but would leave a channel without a signal.
        if (!ok || !std::isfinite(parsed.factors.back())) {
            *error = QStringLiteral("calibration text '%1': factor %2 '%3' is not a finite number")
                         .arg(text)
                         .arg(i)
                         .arg(fields[i]);
            return false;
        }
    }
    const QString problem = parsed.errorString();
    if (!problem.isEmpty()) {
        *error = QStringLiteral("calibration text '%1': %2").arg(text, problem);
        return false;
    }
    *calibration = parsed;
    return true;
}

StreamWriter::StreamWriter(Stream stream, const QString &path, StreamClock &clock,
                           const QVector<MissingInterval> &missingIntervals)
    : m_format(decodedFormat(stream)),
      m_clock(clock),
      m_intervals(missingIntervals),
      m_file(path)
{
}

StreamWriter::~StreamWriter()
{
    close();
}

void StreamWriter::setScaling(const Calibration &calibration)
{
    m_scaled = true;
    m_gain = float(calibration.gain);
    for (int k = 0; k < m_format.valueCount; ++k)
        m_factors[k] = calibration.factors[std::size_t(k)];
}

void StreamWriter::add(quint32 deviceTime, const float *values)
{
    if (!m_error.isEmpty())
        return;
    // At most two records wait for a decision (three for the stream's first), so there is room.
    Held &record = held(m_heldCount++);
    record.time = deviceTime;
    record.index = m_clock.recordIndex++;
    if (m_scaled) {
        for (int k = 0; k < m_format.valueCount; ++k)
            record.values[k] = (values[k] * m_factors[k]) / m_gain;
    } else {
        std::memcpy(record.values, values, sizeof(float) * std::size_t(m_format.valueCount));
    }
    decideHeld(false);
}

bool timeOutOfLine(qint64 previous, qint64 time, qint64 next)
{
    const qint64 a = previous, b = time, c = next;
    if (a > c || (a <= b && b <= c) || (b > c && c < RestartLimitMs))
        return false;
    return std::min(std::abs(b - a), std::abs(b - c)) > c - a;
}

bool firstTimeOutOfLine(qint64 time, qint64 next, qint64 afterNext)
{
    const qint64 b = time, c = next, d = afterNext;
    return c <= d && b > c && c >= RestartLimitMs && b - c > d - c;
}

// Whether the first held record lies far off while its neighbours agree: the previous record
// and the next one, or for the stream's very first record the two after it.
bool StreamWriter::frontOutOfLine()
{
    const auto t = [this](int i) { return qint64(held(i).time); };
    if (m_clock.firstChunk)
        return m_heldCount >= 3 && firstTimeOutOfLine(t(0), t(1), t(2));
    return m_heldCount >= 2 && timeOutOfLine(m_clock.lastDeviceTime, t(0), t(1));
}

void StreamWriter::decideHeld(bool flushing)
{
    while (m_heldCount > 0 && m_error.isEmpty()) {
        const int needed = m_clock.firstChunk ? 3 : 2;
        if (m_heldCount < needed && !flushing)
            return;
        const Held &record = held(0);
        if (frontOutOfLine()) {
            ++m_outOfLine;
            qInfo().noquote() << "Time stamp out of line" << record.index << record.time;
        } else {
            place(record, m_heldCount > 1 ? &held(1) : nullptr);
        }
        m_heldFirst = (m_heldFirst + 1) & (HeldCapacity - 1);
        --m_heldCount;
    }
    if (!m_error.isEmpty())
        m_heldCount = 0;
}

void StreamWriter::place(const Held &record, const Held *next)
{
    StreamClock &clock = m_clock;
    const quint32 deviceTime = record.time;
    if (clock.firstChunk) {
        clock.firstChunk = false;
        clock.offset = deviceTime;
        clock.lastFileTime = 0;
        put(0, record.values);
    } else {
        const quint32 previous = clock.lastDeviceTime;
        const qint64 relative = qint64(deviceTime) - clock.offset;
        if (deviceTime >= previous && relative >= clock.floor) {
            if (relative > qint64(MaxRecordingMs)) {
                // A single time stamp past the longest recording is a damaged one (the last of
                // the stream, or one before a restart, has no neighbours to tell); the recording
                // itself running on past it is refused.
                if (!next || qint64(next->time) - clock.offset <= qint64(MaxRecordingMs)) {
                    ++m_outOfLine;
                    qInfo().noquote() << "Time stamp out of line" << record.index << deviceTime;
                    return;
                }
                exceed(QStringLiteral("%1: the recording goes on past %2 hours (record %3 at %4 ms)")
                           .arg(QLatin1String(m_format.fileName))
                           .arg(MaxRecordingMs / 3600000)
                           .arg(record.index)
                           .arg(relative));
                return;
            }
            put(relative, record.values);
            clock.gap = false;
            clock.lastFileTime = relative;
        } else if (deviceTime < previous && !clock.gap) {
            qInfo().noquote() << "Hole found" << record.index << deviceTime << previous;
            clock.floor = qint64(previous) - clock.offset;
            clock.gap = true;
            if (deviceTime >= RestartLimitMs || !fillRestart())
                ++m_dropped;
        } else {
            ++m_dropped;
        }
    }
    clock.lastDeviceTime = deviceTime;
}

bool StreamWriter::fillRestart()
{
    StreamClock &clock = m_clock;
    // A period starting in the first 10 s never matches: its start is taken in unsigned 32-bit
    // arithmetic, as the recorder's times are. The last matching period wins.
    const MissingInterval *match = nullptr;
    for (const MissingInterval &interval : m_intervals) {
        if (qint64(quint32(interval.start - IntervalLeadMs)) < clock.floor && clock.floor < qint64(interval.stop))
            match = &interval;
    }
    if (!match)
        return false;
    if (match->stop > MaxRecordingMs) {
        exceed(QStringLiteral("%1: the missing data logged up to %2 ms would carry the recording past %3 hours")
                   .arg(QLatin1String(m_format.fileName))
                   .arg(match->stop)
                   .arg(MaxRecordingMs / 3600000));
        return true;
    }
    static constexpr float zeros[MaxStreamValues] = {};
    do {
        clock.lastFileTime += m_format.stepMs;
        put(clock.lastFileTime, zeros);
        ++m_filled;
    } while (clock.lastFileTime < qint64(match->stop));
    clock.offset = -clock.lastFileTime;
    clock.floor = 0;
    clock.gap = false;
    return true;
}

void StreamWriter::exceed(const QString &what)
{
    m_exceeded = true;
    if (m_error.isEmpty())
        m_error = what;
}

void StreamWriter::put(qint64 fileTime, const float *values)
{
    if (!m_error.isEmpty())
        return;
    if (!m_file.isOpen()) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            m_error = QStringLiteral("cannot open %1: %2").arg(m_file.fileName(), m_file.errorString());
            return;
        }
        m_buffer.resize(WriteBufferBytes - WriteBufferBytes % std::size_t(m_format.recordSize));
    }
    if (m_used == m_buffer.size())
        flush();
    putRecord(m_buffer.data() + m_used, quint32(fileTime), values, m_format.valueCount);
    m_used += std::size_t(m_format.recordSize);
    ++m_written;
}

void StreamWriter::flush()
{
    if (m_used == 0 || !m_error.isEmpty())
        return;
    const qint64 wanted = qint64(m_used);
    if (m_file.write(reinterpret_cast<const char *>(m_buffer.data()), wanted) != wanted)
        m_error = QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString());
    m_used = 0;
}

bool StreamWriter::close()
{
    decideHeld(true);
    if (m_file.isOpen()) {
        flush();
        m_file.close();
        m_buffer = std::vector<uchar>();
    }
    return m_error.isEmpty();
}

bool writeEcgBreathFiles(const QString &sessionFolder, const SampleList &ecgRecords,
                         const SampleList &breathRecords,
                         const QVector<MissingInterval> &missingIntervals, int gain,
                         const std::vector<float> &factors, DecodeState &state, QString *error)
{
    qInfo().noquote() << "current gain:" << gain;
    Calibration calibration;
    calibration.gain = gain;
    calibration.factors = factors;
    const QString problem = calibration.errorString();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    StreamWriter ecg(Stream::Ecg, streamPath(sessionFolder, Stream::Ecg), state.ecg, missingIntervals);
    ecg.setScaling(calibration);
    if (!writeList(ecg, Stream::Ecg, ecgRecords, error))
        return false;
    StreamWriter breath(Stream::Breath, streamPath(sessionFolder, Stream::Breath), state.breath,
                        missingIntervals);
    return writeList(breath, Stream::Breath, breathRecords, error);
}

bool writeImuFile(const QString &sessionFolder, const SampleList &imuRecords, DecodeState &state,
                  const QVector<MissingInterval> &missingIntervals, QString *error)
{
    StreamWriter imu(Stream::Imu, streamPath(sessionFolder, Stream::Imu), state.imu, missingIntervals);
    return writeList(imu, Stream::Imu, imuRecords, error);
}
