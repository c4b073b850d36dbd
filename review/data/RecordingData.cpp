#include "review/data/RecordingData.h"

#include "import/OximeterExport.h"
#include "import/RecorderLog.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <limits>

// ---- MappedRecords --------------------------------------------------------------------------

template <class R>
MappedRecords<R>::MappedRecords() = default;

template <class R>
MappedRecords<R>::~MappedRecords()
{
    close();
}

template <class R>
MappedRecords<R>::MappedRecords(MappedRecords &&other) noexcept
{
    *this = std::move(other);
}

template <class R>
MappedRecords<R> &MappedRecords<R>::operator=(MappedRecords &&other) noexcept
{
    if (this != &other) {
        close();
        m_file = std::move(other.m_file);
        m_records = std::exchange(other.m_records, nullptr);
        m_tail = std::exchange(other.m_tail, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_tailSize = std::exchange(other.m_tailSize, 0);
        m_open = std::exchange(other.m_open, false);
    }
    return *this;
}

template <class R>
bool MappedRecords<R>::open(const QString &path)
{
    close();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    const qint64 bytes = file->size();
    if (bytes > 0) {
        const uchar *data = file->map(0, bytes);
        if (!data)
            return false;
        // The map is page-aligned and every record size is a multiple of 4: the views are aligned.
        m_records = reinterpret_cast<const R *>(data);
        m_count = std::size_t(bytes) / sizeof(R);
        m_tailSize = std::size_t(bytes) % sizeof(R);
        m_tail = data + m_count * sizeof(R);
    }
    m_file = std::move(file);
    m_open = true;
    return true;
}

template <class R>
void MappedRecords<R>::close()
{
    // Closing the file unmaps it.
    m_file.reset();
    m_records = nullptr;
    m_tail = nullptr;
    m_count = 0;
    m_tailSize = 0;
    m_open = false;
}

namespace {

// First position in [0, count) whose time is not below `time` (count when none), timeAt(i) giving
// the time of record i. The decoded files step evenly through time (drop-outs are filled), so a
// guess by interpolation lands on the right page at once: a search touches a few pages instead of
// the twenty-odd a bisection visits. Every other step bisects, which bounds the worst case on
// uneven times at twice a bisection. The answer stays in [lo, hi].
template <class TimeAt>
std::size_t interpolatedLowerBound(std::size_t count, quint32 time, TimeAt timeAt)
{
    std::size_t lo = 0, hi = count;
    for (bool interpolate = true; lo < hi; interpolate = !interpolate) {
        const quint32 first = timeAt(lo), last = timeAt(hi - 1);
        if (time <= first)
            return lo;
        if (time > last)
            return hi;
        std::size_t guess = lo + (hi - lo) / 2;
        if (interpolate)
            guess = lo + std::size_t(double(time - first) / double(last - first) * double(hi - 1 - lo));
        if (timeAt(guess) < time)
            lo = guess + 1;
        else
            hi = guess;
    }
    return lo;
}

} // namespace

template <class R>
std::size_t MappedRecords<R>::lowerBound(quint32 time) const
{
    return interpolatedLowerBound(m_count, time, [this](std::size_t i) { return m_records[i].time; });
}

template <class R>
std::pair<const R *, const R *> MappedRecords<R>::range(quint32 from, quint32 to) const
{
    const R *first = begin() + lowerBound(from);
    if (to <= from)
        return {first, first};
    return {first, begin() + lowerBound(to)};
}

template class MappedRecords<EcgRecord>;
template class MappedRecords<BreathRecord>;
template class MappedRecords<ImuRecord>;

// ---- readers --------------------------------------------------------------------------------

namespace {

// Appends up to count records from position `at`, as a stream read would: a record that is not
// whole (the partial tail, or nothing at all past the end) is appended with zeros where bytes are
// missing, and ends the reading. Returns the byte count of the last record read.
template <class R>
std::size_t appendRecords(const MappedRecords<R> &records, std::size_t at, int count, SampleList &out)
{
    constexpr int values = MappedRecords<R>::ValueCount;
    std::size_t lastBytes = 0;
    for (int n = 0; n < count; ++n, ++at) {
        if (at < records.size()) {
            const R &record = records[at];
            out.push_back(makeSampleRecord(record.time, record.values, values));
            lastBytes = sizeof(R);
            continue;
        }
        R padded{};
        lastBytes = at == records.size() ? records.partialTailSize() : 0;
        if (lastBytes > 0)
            std::memcpy(&padded, records.partialTail(), lastBytes);
        out.push_back(makeSampleRecord(padded.time, padded.values, values));
        break;
    }
    return lastBytes;
}

QString joined(const QString &folder, const char *name)
{
    return folder + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

void RecordingData::readEcgRecords(SampleList &out, quint32 fromTime, int count) const
{
    out.clear();
    if (!m_ecg.isOpen())
        return;
    const std::size_t lastBytes = appendRecords(m_ecg, m_ecg.lowerBound(fromTime), count, out);
    // Debug level: a caller reading a window per redraw would fill the log.
    qDebug().noquote() << "ASLDKJKLASJSKLSDLJKSADJLKASLJDKASDLJK" << lastBytes;
}

void RecordingData::readBreathRecords(SampleList &out, quint32 fromTime, int count) const
{
    out.clear();
    if (m_breath.isOpen())
        appendRecords(m_breath, m_breath.lowerBound(fromTime), count, out);
}

void RecordingData::readImuRecords(SampleList &out, quint32 time, int count) const
{
    out.clear();
    if (m_imu.empty())
        return;
    const quint32 firstTime = m_imu.front().time;
    const auto positionOf = [this](quint32 t) {
        const std::size_t at = m_imu.lowerBound(t);
        return at < m_imu.size() && m_imu[at].time == t ? at : m_imu.size();
    };
    std::size_t at = positionOf(time);
    // The earlier candidates come in blocks of ten every 1010 ms (x = 1..10, 1011..1020, ...) and
    // are computed in single precision, so above 2^24 ms they fall on whole float steps. They never
    // increase: the search ends once they fall below the first record. Blocks that lie wholly after
    // the last record cannot match and are passed over (one block's margin covers the rounding).
    constexpr quint32 BlockMs = 1010;
    const quint32 lastTime = m_imu.back().time;
    qint64 firstX = 1;
    if (time > lastTime && (time - lastTime) / BlockMs > 1)
        firstX = qint64((time - lastTime) / BlockMs - 1) * BlockMs + 1;
    for (qint64 x = firstX; at == m_imu.size(); x += (x % 10 == 0) ? 1001 : 1) {
        const float candidate = float(time) - float(x);
        if (candidate < float(firstTime))
            return;
        at = positionOf(quint32(candidate));
    }
    appendRecords(m_imu, at, count, out);
}

// ---- figures --------------------------------------------------------------------------------

bool RecordingData::isTimeCorrect(qint64 ecgSpanMs)
{
    return qAbs(ecgSpanMs - NominalSpanMs) <= SpanToleranceMs;
}

int RecordingData::overviewCount(std::size_t records)
{
    // Short recordings show every record rather than dividing by zero.
    if (records < std::size_t(OverviewDivisor))
        return int(records);
    return int(records / (records / OverviewDivisor));
}

QString RecordingData::availabilityText(double availability, qint64 spanMs)
{
    const QString length = spanMs < AvailabilityMinutesUpToMs + 1
        ? QString::number(double(spanMs) / 60000.0, 'f', 0) + QLatin1String("min")
        : QString::number(double(spanMs) / 3600000.0, 'f', 0) + QLatin1String("h");
    return QString::number(availability * 100.0, 'f', 0) + QLatin1String("%") + QLatin1String(" di ")
        + length;
}

qint64 RecordingData::ecgSpan() const
{
    return ecgPresent() ? qint64(m_ecg.back().time) - qint64(m_ecg.front().time) : 0;
}

bool RecordingData::insideMissingInterval(quint32 time) const
{
    return std::any_of(m_missingIntervals.begin(), m_missingIntervals.end(),
                       [time](const MissingInterval &hole) { return hole.start < time && time < hole.stop; });
}

QString RecordingData::ecgPath() const { return joined(m_folder, EcgFormat.fileName); }
QString RecordingData::breathPath() const { return joined(m_folder, BreathFormat.fileName); }
QString RecordingData::imuPath() const { return joined(m_folder, ImuFormat.fileName); }
QString RecordingData::logPath() const { return joined(m_folder, SessionLogFileName); }
QString RecordingData::pulsPath() const { return joined(m_folder, "Puls.txt"); }

// ---- loading --------------------------------------------------------------------------------

namespace {

// Why a decoded file's times cannot be a recording's, or an empty text: the first record must
// not come after the last, the last must lie within the longest recording, and the overview
// points read in between must lie between them and increase (but for the last point, read a
// little before the end).
template <class R>
QString timesDamage(const MappedRecords<R> &records, const char *fileName, const QVector<quint32> &points)
{
    if (records.empty())
        return QString();
    const quint32 first = records.front().time, last = records.back().time;
    if (last > MaxRecordingMs)
        return QStringLiteral("i tempi del file %1 superano le %2 ore di registrazione")
            .arg(QLatin1String(fileName))
            .arg(MaxRecordingMs / 3600000);
    bool ordered = first <= last;
    for (int i = 0; ordered && i < points.size(); ++i) {
        ordered = first <= points[i] && points[i] <= last;
        if (i > 0 && i + 1 < points.size())
            ordered = ordered && points[i - 1] <= points[i];
    }
    if (!ordered)
        return QStringLiteral("i tempi del file %1 non sono in ordine crescente").arg(QLatin1String(fileName));
    return QString();
}

} // namespace

bool RecordingData::load(const QString &sessionFolder, qint64 recordingStartSeconds)
{
    // A second load starts from nothing.
    m_imu.close();
    m_spo2Series.clear();
    m_pulseSeries.clear();
    m_spo2Span = 0;
    m_folder = sessionFolder;
    m_error.clear();
    m_ecg.open(ecgPath());
    m_breath.open(breathPath());
    m_imuPresent = QFileInfo::exists(imuPath());
    m_pulsPresent = QFileInfo::exists(pulsPath());
    m_logPresent = QFileInfo::exists(logPath());
    qInfo().noquote() << "Log loaded : " << m_logPresent;

    if (!ecgPresent() && !breathPresent()) {
        m_error = QStringLiteral("La sessione non contiene dati (%1)").arg(sessionFolder);
        qWarning().noquote() << m_error;
        m_ecg.close();
        m_breath.close();
        return false;
    }

    readLog();
    qInfo().noquote() << "Breath MM " << m_breath.size();
    qInfo().noquote() << "Start acq : " << m_acquisitionStart.toString(Qt::ISODate);
    qInfo().noquote() << "Holes ecg : " << describeIntervals(m_missingIntervals);

    m_timeCorrect = isTimeCorrect(ecgSpan());
    qInfo().noquote() << "Ecg MM " << m_ecg.size();
    if (m_imuPresent) {
        m_imu.open(imuPath());
        qInfo().noquote() << "Imu MM " << m_imu.size();
    }

    // Times that do not increase where they are read, or that pass the longest recording, are
    // no decoded recording: drawn, they would show weeks of noise.
    QString damage = timesDamage(m_ecg, EcgFormat.fileName, {});
    if (damage.isEmpty())
        damage = timesDamage(m_breath, BreathFormat.fileName, {});
    if (damage.isEmpty())
        damage = timesDamage(m_imu, ImuFormat.fileName, {});
    if (damage.isEmpty()) {
        computeOverviews();
        damage = timesDamage(m_ecg, EcgFormat.fileName, m_ecgOverviewTimes);
        if (damage.isEmpty())
            damage = timesDamage(m_breath, BreathFormat.fileName, m_breathOverviewTimes);
    }
    if (!damage.isEmpty()) {
        m_error = QStringLiteral("I dati della sessione sono danneggiati e non possono essere visualizzati: %1 (%2)")
                      .arg(damage, sessionFolder);
        qWarning().noquote() << m_error;
        m_ecg.close();
        m_breath.close();
        m_imu.close();
        return false;
    }

    const qint64 span = ecgSpan();
    qint64 missing = 0;
    for (const MissingInterval &hole : m_missingIntervals)
        missing += qint64(hole.stop) - qint64(hole.start);
    // Without a span there is nothing to be available.
    m_availability = span > 0 ? 1.0 - double(missing) / double(span) : 0.0;
    qInfo().noquote() << "--------" << availabilityText();

    if (m_pulsPresent)
        readOximetry(recordingStartSeconds);
    return true;
}

void RecordingData::readLog()
{
    m_acquisitionStart = QDateTime();
    m_acquisitionStartSeconds = 0;
    m_missingIntervals.clear();
    if (!m_logPresent)
        return;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "cannot read" << logPath() << file.errorString();
        return;
    }
    const QByteArray text = file.readAll();
    for (const QByteArray &line : text.split('\n'))
        qInfo().noquote() << "Line: " << QString::fromLatin1(line).trimmed();
    const RecorderLog log = RecorderLog::parse(text);
    m_acquisitionStart = log.acquisitionStart();
    if (m_acquisitionStart.isValid())
        m_acquisitionStartSeconds = m_acquisitionStart.toSecsSinceEpoch();
    m_missingIntervals = log.missingIntervals();
}

namespace {

// Positioned reads of a decoded file. The overviews look up their points through these rather than
// through the map: a page read into the cache this way is not added to the process's memory,
// while each one touched through the map is (with its neighbours).
template <class R>
class RecordFile
{
public:
    explicit RecordFile(const QString &path) : m_file(path) {}
    bool open() { return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    // A record of zeros when it cannot be read.
    R read(std::size_t i)
    {
        R record{};
        if (m_file.seek(qint64(i * sizeof(R))))
            m_file.read(reinterpret_cast<char *>(&record), sizeof(R));
        return record;
    }

private:
    QFile m_file;
};

// One overview stream: count - 1 points stepping from the first file time, the last one a little
// before the end; each point is the record at the lower bound of its time.
template <class R, class Value>
void overview(const MappedRecords<R> &records, const QString &path, quint32 step, QVector<quint32> &times,
              QVector<float> &values, Value value)
{
    times.clear();
    values.clear();
    const int count = RecordingData::overviewCount(records.size());
    RecordFile<R> file(path);
    if (count == 0 || !file.open())
        return;
    // Short recordings step past their end (the step is sized for 50 points): such points stay
    // on the last record rather than becoming a zero record at time 0.
    const auto add = [&](std::size_t at) {
        const R record = file.read(std::min(at, records.size() - 1));
        times.append(record.time);
        values.append(value(record));
    };
    if (records.size() < std::size_t(RecordingData::OverviewDivisor)) {
        for (std::size_t i = 0; i < records.size(); ++i)
            add(i);
        return;
    }
    const auto lowerBound = [&](quint32 t) {
        return interpolatedLowerBound(records.size(), t, [&file](std::size_t i) { return file.read(i).time; });
    };
    quint32 t = records.front().time;
    for (int i = 0; i < count - 1; ++i, t += step)
        add(lowerBound(t));
    const quint32 last = records.back().time;
    add(lowerBound(last >= RecordingData::OverviewTailMs ? last - RecordingData::OverviewTailMs : 0));
}

} // namespace

void RecordingData::computeOverviews()
{
    const quint32 ecgStep = ecgPresent() ? m_ecg.back().time / OverviewDivisor : 0;
    qInfo().noquote() << " Read ECG";
    overview(m_ecg, ecgPath(), ecgStep, m_ecgOverviewTimes, m_ecgOverviewValues,
             [](const EcgRecord &record) { return record.values[0]; });
    qInfo().noquote() << "lengthecg " << m_ecgOverviewTimes.size();
    qInfo().noquote() << " Ecg read MM " << m_ecgOverviewTimes.size();

    // The respiration overview steps with the ECG; alone, it takes its own step.
    const quint32 breathStep = ecgPresent() || !breathPresent() ? ecgStep : m_breath.back().time / OverviewDivisor;
    overview(m_breath, breathPath(), breathStep, m_breathOverviewTimes, m_breathOverviewSums, [](const BreathRecord &record) {
        float sum = 0;
        for (float v : record.values)
            sum += v;
        return sum;
    });
    m_breathMin = 100000;
    m_breathMax = 0;
    // Five 16-bit channels add up to at most this. A sum outside (or no number at all) comes from
    // a damaged file and has no integer value: it stays out of the extremes.
    constexpr float MaxBreathSum = 5 * 65535.0f;
    for (int i = 0; i + 1 < m_breathOverviewSums.size(); ++i) {
        const float value = m_breathOverviewSums[i];
        if (!(value >= 0.0f && value <= MaxBreathSum))
            continue;
        const int sum = int(value);
        m_breathMin = std::min(m_breathMin, sum);
        m_breathMax = std::max(m_breathMax, sum);
    }
    qInfo().noquote() << " Read Breath";

    m_overviewCurve.clear();
    for (int i = 0; i < m_ecgOverviewTimes.size(); ++i) {
        if (!insideMissingInterval(m_ecgOverviewTimes[i]))
            m_overviewCurve.append(QPointF(m_ecgOverviewTimes[i], m_ecgOverviewValues[i]));
    }
}

void RecordingData::readOximetry(qint64 recordingStartSeconds)
{
    m_spo2Series.clear();
    m_pulseSeries.clear();
    m_spo2Span = 0;
    QFile file(pulsPath());
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "cannot read" << pulsPath() << file.errorString();
        return;
    }
    // A day of export is some 86 000 lines: they are cut and read in place. The reader keeps the
    // lines and times the SpO2 conversion keeps.
    const QByteArray text = file.readAll();
    const qint64 startMs = recordingStartSeconds * 1000;
    OximeterExportReader reader;
    const auto measured = [](double value) {
        return value < OximetryInvalidValue && value > double(std::numeric_limits<int>::min());
    };
    for (int from = 0; from < text.size();) {
        int to = text.indexOf('\n', from);
        if (to < 0)
            to = text.size();
        OximeterSample sample;
        const bool used = reader.read(text.constData() + from, text.constData() + to, &sample);
        from = to + 1;
        if (!used)
            continue;
        // Lines further than the series' milliseconds reach belong to another recording.
        const qint64 time = sample.msecsSinceEpoch - startMs;
        if (time < std::numeric_limits<int>::min() || time > std::numeric_limits<int>::max())
            continue;
        if (measured(sample.spo2))
            m_spo2Series.append({int(time), int(sample.spo2)});
        if (measured(sample.pulse))
            m_pulseSeries.append({int(time), int(sample.pulse)});
    }
    if (!m_spo2Series.isEmpty())
        m_spo2Span = qint64(m_spo2Series.last().first) - m_spo2Series.first().first;
}
