#pragma once

// A decoded session folder opened for review. The decoded files are mapped read-only and read in
// place: being sorted by file time they are their own time index (lower bound on the mapped
// records), so opening a 24-hour recording reads a few pages per file, not every record.
//
// Widget-free: the review window asks it for windows of records and for the overviews, series and
// texts it shows.

#include "import/FrameScanner.h"
#include "import/RecordingFormat.h"

#include <QDateTime>
#include <QPair>
#include <QPointF>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <cstddef>
#include <memory>
#include <utility>

class QFile;

// The mapped views read the little-endian records as native structs.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "mapped record views need a little-endian host");

template <int N>
struct RecordView {
    quint32 time;
    float values[N];
};

using EcgRecord = RecordView<8>;
using BreathRecord = RecordView<5>;
using ImuRecord = RecordView<3>;

static_assert(sizeof(EcgRecord) == EcgFormat.recordSize, "ECG record layout");
static_assert(sizeof(BreathRecord) == BreathFormat.recordSize, "respiration record layout");
static_assert(sizeof(ImuRecord) == ImuFormat.recordSize, "IMU record layout");

// One decoded file mapped read-only. Trailing bytes that do not make a whole record are kept
// apart (partialTail) so the readers can hand them back as a record padded with zeros.
template <class R>
class MappedRecords
{
public:
    static constexpr int ValueCount = int((sizeof(R) - sizeof(quint32)) / sizeof(float));

    MappedRecords();
    ~MappedRecords();
    MappedRecords(MappedRecords &&other) noexcept;
    MappedRecords &operator=(MappedRecords &&other) noexcept;
    MappedRecords(const MappedRecords &) = delete;
    MappedRecords &operator=(const MappedRecords &) = delete;

    // False when the file does not exist or cannot be mapped. An empty file opens with no records.
    bool open(const QString &path);
    void close();
    bool isOpen() const { return m_open; }

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    const R *begin() const { return m_records; }
    const R *end() const { return m_records + m_count; }
    const R &operator[](std::size_t i) const { return m_records[i]; }
    const R &front() const { return m_records[0]; }
    const R &back() const { return m_records[m_count - 1]; }

    // Bytes after the last whole record (0 to sizeof(R) - 1) and where they start.
    std::size_t partialTailSize() const { return m_tailSize; }
    const uchar *partialTail() const { return m_tail; }

    // First record with time >= time (size() when none); unsigned comparison.
    std::size_t lowerBound(quint32 time) const;
    // The records with from <= time < to.
    std::pair<const R *, const R *> range(quint32 from, quint32 to) const;

private:
    std::unique_ptr<QFile> m_file;
    const R *m_records = nullptr;
    const uchar *m_tail = nullptr;
    std::size_t m_count = 0;
    std::size_t m_tailSize = 0;
    bool m_open = false;
};

extern template class MappedRecords<EcgRecord>;
extern template class MappedRecords<BreathRecord>;
extern template class MappedRecords<ImuRecord>;

class RecordingData
{
public:
    // A recording is accepted as a full acquisition when its ECG span is 24 hours +- 1 hour.
    static constexpr qint64 NominalSpanMs = 86400000;
    static constexpr qint64 SpanToleranceMs = 3600000;
    // The overview has 50 to 99 points per stream; its last point is read this long before the end.
    static constexpr int OverviewDivisor = 50;
    static constexpr quint32 OverviewTailMs = 20000;
    // Oximeter values from this one up are not measurements.
    static constexpr int OximetryInvalidValue = 500;
    // Spans up to this one are shown in minutes, longer ones in hours.
    static constexpr qint64 AvailabilityMinutesUpToMs = 3600000;

    RecordingData() = default;
    RecordingData(const RecordingData &) = delete;
    RecordingData &operator=(const RecordingData &) = delete;

    // Opens the folder's decoded files and computes everything below. recordingStartSeconds is
    // the session's recording start (seconds since the epoch), the origin of the SpO2 and pulse
    // times. False, with errorString() set (a text for the user), when the folder holds no ECG or
    // respiration records, or a decoded file is damaged: its times go back where they are read
    // or pass MaxRecordingMs. A folder with only one of ECG and respiration opens with the other
    // left empty.
    bool load(const QString &sessionFolder, qint64 recordingStartSeconds);
    QString errorString() const { return m_error; }

    // Paths: folder + "/" + file name, whether or not the file exists.
    QString sessionFolder() const { return m_folder; }
    QString ecgPath() const;
    QString breathPath() const;
    QString imuPath() const;
    QString logPath() const;
    QString pulsPath() const;

    bool ecgPresent() const { return m_ecg.isOpen() && !m_ecg.empty(); }
    bool breathPresent() const { return m_breath.isOpen() && !m_breath.empty(); }
    bool imuPresent() const { return m_imuPresent; }
    bool pulsPresent() const { return m_pulsPresent; }
    bool logPresent() const { return m_logPresent; }

    // From the log's START_ACQ line; invalid without a log or such a line (seconds then 0).
    QDateTime acquisitionStart() const { return m_acquisitionStart; }
    qint64 acquisitionStartSeconds() const { return m_acquisitionStartSeconds; }
    // Milliseconds from the acquisition start.
    const QVector<MissingInterval> &missingIntervals() const { return m_missingIntervals; }
    // start < time < stop for one of the missing intervals (the edges hold data).
    bool insideMissingInterval(quint32 time) const;

    const MappedRecords<EcgRecord> &ecg() const { return m_ecg; }
    const MappedRecords<BreathRecord> &breath() const { return m_breath; }
    const MappedRecords<ImuRecord> &imu() const { return m_imu; }

    // Last ECG file time minus the first; 0 without ECG records.
    qint64 ecgSpan() const;
    quint32 firstEcgTime() const { return ecgPresent() ? m_ecg.front().time : 0; }
    bool timeCorrect() const { return m_timeCorrect; }

    const QVector<quint32> &ecgOverviewTimes() const { return m_ecgOverviewTimes; }
    const QVector<float> &ecgOverviewValues() const { return m_ecgOverviewValues; }
    const QVector<quint32> &breathOverviewTimes() const { return m_breathOverviewTimes; }
    const QVector<float> &breathOverviewSums() const { return m_breathOverviewSums; }
    // Extremes of the respiration overview sums (all points but the last), from 100000 and 0.
    int breathMin() const { return m_breathMin; }
    int breathMax() const { return m_breathMax; }
    // The ECG overview points (time, channel 0) outside the missing intervals.
    const QVector<QPointF> &overviewCurve() const { return m_overviewCurve; }

    double availability() const { return m_availability; }
    QString availabilityText() const { return availabilityText(m_availability, ecgSpan()); }

    // (ms from the recording start, value), from Puls.txt, read as the SpO2 conversion reads it
    // (import/OximeterExport.h), in increasing time. Lines whose time is beyond the reach of the
    // series' milliseconds (24.8 days) are left out.
    const QVector<QPair<int, int>> &spo2Series() const { return m_spo2Series; }
    const QVector<QPair<int, int>> &pulseSeries() const { return m_pulseSeries; }
    qint64 spo2Span() const { return m_spo2Span; }

    // Up to count records from the first one with time >= fromTime. Reading stops after the
    // first record that is not whole: at or past the end that is one record of zeros, a partial
    // record keeps zeros in the fields not present. out is cleared first.
    void readEcgRecords(SampleList &out, quint32 fromTime, int count) const;
    void readBreathRecords(SampleList &out, quint32 fromTime, int count) const;
    // Up to count IMU records from the one at exactly `time`, or else at the nearest earlier
    // candidate time (time - 1 ... time - 10, time - 1011 ... time - 1020, ...). Without any
    // candidate (empty file, time before the first record) out stays empty.
    void readImuRecords(SampleList &out, quint32 time, int count) const;

    // The rules behind the figures above, for callers and tests.
    static bool isTimeCorrect(qint64 ecgSpanMs);
    static int overviewCount(std::size_t records);
    static QString availabilityText(double availability, qint64 spanMs);

private:
    void readLog();
    void computeOverviews();
    void readOximetry(qint64 recordingStartSeconds);

    QString m_folder;
    QString m_error;
    bool m_imuPresent = false;
    bool m_pulsPresent = false;
    bool m_logPresent = false;
    QDateTime m_acquisitionStart;
    qint64 m_acquisitionStartSeconds = 0;
    QVector<MissingInterval> m_missingIntervals;
    MappedRecords<EcgRecord> m_ecg;
    MappedRecords<BreathRecord> m_breath;
    MappedRecords<ImuRecord> m_imu;
    bool m_timeCorrect = false;
    QVector<quint32> m_ecgOverviewTimes;
    QVector<float> m_ecgOverviewValues;
    QVector<quint32> m_breathOverviewTimes;
    QVector<float> m_breathOverviewSums;
    int m_breathMin = 100000;
    int m_breathMax = 0;
    QVector<QPointF> m_overviewCurve;
    double m_availability = 0.0;
    QVector<QPair<int, int>> m_spo2Series;
    QVector<QPair<int, int>> m_pulseSeries;
    qint64 m_spo2Span = 0;
};
