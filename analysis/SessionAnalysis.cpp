#include "analysis/SessionAnalysis.h"

#include "analysis/BodyPosition.h"
#include "import/RecorderLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <vector>

using namespace criteria;

namespace {

constexpr int ReadRecords = 32768;     // records read at once: about a megabyte
constexpr double EcgShare = 0.95;      // of the progress; the positions take the rest
constexpr int DaySeconds = 86400;

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray hhmmss(const QTime &start, qint64 seconds)
{
    return start.addSecs(int(seconds % DaySeconds)).toString(QStringLiteral("HHmmss")).toLatin1();
}

// Streams the fixed-size records of a decoded file; false at its end or on a read failure.
class RecordReader
{
public:
    RecordReader(const QString &path, const DecodedFormat &format) : m_file(path), m_size(format.recordSize)
    {
        m_buffer.resize(std::size_t(ReadRecords) * std::size_t(m_size));
    }
    bool open(QString *error)
    {
        if (m_file.open(QIODevice::ReadOnly))
            return true;
        *error = QStringLiteral("cannot open %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    // The next block: a pointer to its first record and their number (0 at the end).
    int next(const uchar **records, QString *error)
    {
        const qint64 got = m_file.read(reinterpret_cast<char *>(m_buffer.data()), qint64(m_buffer.size()));
        if (got < 0) {
            *error = QStringLiteral("cannot read %1: %2").arg(m_file.fileName(), m_file.errorString());
            return -1;
        }
        *records = m_buffer.data();
        return int(got / m_size); // a last, partial record is no record
    }
    double done() const { return m_file.size() > 0 ? double(m_file.pos()) / double(m_file.size()) : 1.0; }

private:
    QFile m_file;
    int m_size;
    std::vector<uchar> m_buffer;
};

} // namespace

SessionAnalysis::Existing SessionAnalysis::existing(const QString &sessionFolder)
{
    const QDir dir(QDir(sessionFolder).filePath(QLatin1String(FolderName)));
    if (!dir.exists() || dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return Existing::None;
    QFile origin(dir.filePath(QLatin1String(OriginFileName)));
    if (origin.open(QIODevice::ReadOnly) && origin.readLine().trimmed() == Origin)
        return Existing::Own;
    return Existing::Foreign;
}

bool SessionAnalysis::run(const QString &sessionFolder, bool replaceOwn, const Progress &progress)
{
    m_error.clear();
    m_canceled = false;
    m_counts = Counts();
    const QDir session(sessionFolder);
    m_folder = session.filePath(QLatin1String(FolderName));
    const Existing before = existing(sessionFolder);
    if (before == Existing::Foreign) {
        m_error = QStringLiteral("%1 was written by another analysis tool (no origin.txt of this workstation): it is "
                                 "left as it is")
                      .arg(m_folder);
        return false;
    }
    if (before == Existing::Own && !replaceOwn) {
        m_error = QStringLiteral("%1 already holds this workstation's analysis").arg(m_folder);
        return false;
    }
    // Written beside the folder and put in its place only when whole: a failure or a cancel leaves
    // what was there.
    QTemporaryDir work(session.filePath(QStringLiteral(".ANALISI-XXXXXX")));
    if (!work.isValid()) {
        m_error = QStringLiteral("cannot create a folder in %1: %2").arg(sessionFolder, work.errorString());
        return false;
    }
    if (!analyse(sessionFolder, work.path(), progress))
        return false;
    if (progress && !progress(1.0)) {
        m_canceled = true;
        return false;
    }
    QString old;
    if (QDir(m_folder).exists()) {
        old = work.path() + QStringLiteral("-old");
        if (!QDir().rename(m_folder, old)) {
            m_error = QStringLiteral("cannot move the earlier %1 aside").arg(m_folder);
            return false;
        }
    }
    if (!QDir().rename(work.path(), m_folder)) {
        m_error = QStringLiteral("cannot put the analysis in place as %1").arg(m_folder);
        if (!old.isEmpty())
            QDir().rename(old, m_folder);
        return false;
    }
    work.setAutoRemove(false);
    // A temporary folder is the owner's alone; the analysis folder shares what its session folder
    // grants (patient data: the owner, and the group only where the clinic shares the folder).
    QFile::setPermissions(m_folder, QFileInfo(QFileInfo(m_folder).path()).permissions());
    if (!old.isEmpty())
        QDir(old).removeRecursively();
    return true;
}

bool SessionAnalysis::analyse(const QString &sessionFolder, const QString &target, const Progress &progress)
{
    const QDir session(sessionFolder);
    const QDir out(target);
    RecorderLog log;
    QString logError;
    const bool haveLog = RecorderLog::read(session.filePath(QLatin1String(SessionLogFileName)), &log, &logError)
                         && log.acquisitionStart().isValid();
    const QTime dayStart = haveLog ? log.acquisitionStart().time() : QTime(0, 0);

    // The ECG, sample by sample on the recording's time base; a stretch without records (never
    // written by the decoder, but possible in a file from elsewhere) is a flat, unanalysable one.
    EcgAnalyser analyser;
    RecordReader ecg(session.filePath(QLatin1String(EcgFormat.fileName)), EcgFormat);
    if (!ecg.open(&m_error))
        return false;
    const float zeros[RecordedLeads] = {};
    for (;;) {
        const uchar *records = nullptr;
        const int count = ecg.next(&records, &m_error);
        if (count < 0)
            return false;
        if (count == 0)
            break;
        for (int r = 0; r < count; ++r) {
            const uchar *record = records + std::size_t(r) * EcgFormat.recordSize;
            const quint32 ms = recordFileTime(record);
            if (ms > MaxRecordingMs)
                break;
            const qint64 sample = qint64(ms / EcgFormat.stepMs);
            if (sample < analyser.samples())
                continue;
            while (analyser.samples() < sample)
                analyser.addSample(zeros);
            float values[RecordedLeads];
            for (int c = 0; c < RecordedLeads; ++c)
                values[c] = recordValue(record, c);
            analyser.addSample(values);
        }
        if (progress && !progress(EcgShare * ecg.done())) {
            m_canceled = true;
            return false;
        }
    }
    analyser.finish();
    const std::vector<AnalysedBeat> &beats = analyser.beats();
    const std::vector<quint8> &usable = analyser.usableSeconds();

    // The episodes and the beat file.
    const std::vector<RhythmBeat> rhythm = rhythmBeats(beats, usable);
    const std::vector<int> pauses = findPauses(rhythm);
    std::vector<Episode> episodes = findRuns(rhythm);
    const std::vector<Episode> st = findStEpisodes(beats);
    episodes.insert(episodes.end(), st.begin(), st.end());
    if (!writeFile(out.filePath(QStringLiteral("annotations_fusion.pt")), beatFileText(beats, pauses, episodes), &m_error))
        return false;

    // The analysable stretches of each lead; the derived ones need both I and II. The files' times
    // of day cannot tell a second day: a stretch ends at the end of the first one.
    const qint64 seconds = qint64(usable.size());
    for (int lead = 0; lead < LeadCount; ++lead) {
        const quint8 mask = lead < RecordedLeads ? quint8(1 << lead) : quint8((1 << 1) | (1 << 2));
        QByteArray text = hhmmss(dayStart, 0) + '\n';
        qint64 analysable = 0;
        for (qint64 s = 0; s < seconds;) {
            if ((usable[std::size_t(s)] & mask) != mask) {
                ++s;
                continue;
            }
            qint64 e = s;
            while (e < seconds && (usable[std::size_t(e)] & mask) == mask)
                ++e;
            const qint64 end = std::min<qint64>(e, DaySeconds - 1);
            if (end - s >= MinSegmentS) {
                text += hhmmss(dayStart, s) + ';' + hhmmss(dayStart, end) + '\n';
                analysable += end - s;
            }
            s = e;
        }
        m_counts.analysableHours[lead] = double(analysable) / 3600.0;
        if (!writeFile(out.filePath(QStringLiteral("split_%1.txt").arg(QLatin1String(LeadNames[lead]))), text, &m_error))
            return false;
    }

    // One body position a minute, from the IMU when the session has one.
    const QString imuPath = session.filePath(QLatin1String(ImuFormat.fileName));
    if (QFileInfo::exists(imuPath)) {
        RecordReader imu(imuPath, ImuFormat);
        if (!imu.open(&m_error))
            return false;
        QByteArray text;
        PositionMinute minute;
        qint64 current = 0;
        const auto flush = [&] {
            if (!minute.empty())
                text += hhmmss(dayStart, current * PositionMs / 1000) + ';' + minute.label() + '\n';
            minute.clear();
        };
        for (;;) {
            const uchar *records = nullptr;
            const int count = imu.next(&records, &m_error);
            if (count < 0)
                return false;
            if (count == 0)
                break;
            for (int r = 0; r < count; ++r) {
                const uchar *record = records + std::size_t(r) * ImuFormat.recordSize;
                const qint64 at = qint64(recordFileTime(record)) / PositionMs;
                if (at != current) {
                    flush();
                    current = at;
                }
                minute.add(recordValue(record, 0), recordValue(record, 1), recordValue(record, 2));
            }
            if (progress && !progress(EcgShare + (1 - EcgShare) * imu.done())) {
                m_canceled = true;
                return false;
            }
        }
        flush();
        if (!writeFile(out.filePath(QStringLiteral("positions.txt")), text, &m_error))
            return false;
    }

    // What wrote the folder, and by which rules.
    QByteArray origin = QByteArray(Origin) + '\n';
    origin += "version " KRN_VERSION "\n";
    origin += "written " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + '\n';
    origin += haveLog ? "times of day from the recording start in " + QByteArray(SessionLogFileName) + ": "
                            + log.acquisitionStart().toString(Qt::ISODate).toLatin1() + '\n'
                      : "no recording start in " + QByteArray(SessionLogFileName) + ": times of day count from 00:00:00\n";
    origin += "criteria:\n" + criteriaText();
    if (!writeFile(out.filePath(QLatin1String(OriginFileName)), origin, &m_error))
        return false;

    m_counts.recordingHours = double(analyser.samples()) / SampleRateHz / 3600.0;
    m_counts.beats = qint64(beats.size());
    for (const AnalysedBeat &b : beats) {
        m_counts.normal += b.code == 'N';
        m_counts.ventricular += b.code == 'V';
        m_counts.supraventricular += b.code == 'S';
    }
    m_counts.pauses = int(pauses.size());
    for (const Episode &e : episodes)
        ++m_counts.episodes[int(e.kind)];
    return true;
}
