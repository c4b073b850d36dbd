#include "import/StreamWriter.h"

#include <QDebug>
#include <QStringList>

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
        if (!ok) {
            *error = QStringLiteral("calibration text '%1': factor %2 '%3' is not a number")
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
    StreamClock &clock = m_clock;
    const quint64 index = clock.recordIndex++;
    float scaled[MaxStreamValues];
    if (m_scaled) {
        for (int k = 0; k < m_format.valueCount; ++k)
            scaled[k] = (values[k] * m_factors[k]) / m_gain;
        values = scaled;
    }
    if (clock.firstChunk) {
        clock.firstChunk = false;
        clock.offset = deviceTime;
        clock.lastFileTime = 0;
        put(0, values);
    } else {
        const quint32 previous = clock.lastDeviceTime;
        const qint64 relative = qint64(deviceTime) - clock.offset;
        if (deviceTime >= previous && relative >= clock.floor) {
            put(relative, values);
            clock.gap = false;
            clock.lastFileTime = relative;
        } else if (deviceTime < previous && !clock.gap) {
            qInfo().noquote() << "Hole found" << index << deviceTime << previous;
            clock.floor = qint64(previous) - clock.offset;
            clock.gap = true;
            if (deviceTime < RestartLimitMs)
                fillRestart();
        }
    }
    clock.lastDeviceTime = deviceTime;
}

void StreamWriter::fillRestart()
{
    StreamClock &clock = m_clock;
    // Matched in unsigned 32-bit arithmetic, as the recorder's times are: a period starting in
    // the first 10 s never matches. The last matching period wins.
    const quint32 floor = quint32(clock.floor);
    const MissingInterval *match = nullptr;
    for (const MissingInterval &interval : m_intervals) {
        if (quint32(interval.start - IntervalLeadMs) < floor && floor < interval.stop)
            match = &interval;
    }
    if (!match)
        return;
    static constexpr float zeros[MaxStreamValues] = {};
    do {
        clock.lastFileTime += m_format.stepMs;
        put(clock.lastFileTime, zeros);
        ++m_filled;
    } while (clock.lastFileTime < qint64(match->stop));
    clock.offset = -clock.lastFileTime;
    clock.floor = 0;
    clock.gap = false;
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
