#include "import/RecordingDecoder.h"

#include "import/RecorderLog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t ReadBlockBytes = std::size_t(4) << 20;
constexpr Stream AllStreams[] = {Stream::Ecg, Stream::Breath, Stream::Imu};

struct NumberedFile {
    QString digits; // without leading zeros
    QString name;
};

// Increasing number, whatever its length; equal numbers (s1, s01) by name.
bool before(const NumberedFile &a, const NumberedFile &b)
{
    if (a.digits.size() != b.digits.size())
        return a.digits.size() < b.digits.size();
    if (a.digits != b.digits)
        return a.digits < b.digits;
    return a.name < b.name;
}

QStringList numberedFiles(const QDir &dir, const QStringList &names, const QRegularExpression &pattern)
{
    std::vector<NumberedFile> files;
    for (const QString &name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        QString digits = match.captured(1);
        while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        files.push_back({digits, name});
    }
    std::sort(files.begin(), files.end(), before);
    QStringList paths;
    for (const NumberedFile &file : files)
        paths.append(dir.filePath(file.name));
    return paths;
}

int streamIndex(Stream stream)
{
    return int(stream);
}

} // namespace

CardFolder::CardFolder(const QString &path) : m_path(path)
{
    const QDir dir(path);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    if (names.contains(QLatin1String("log.txt")))
        m_logPath = dir.filePath(QStringLiteral("log.txt"));
    m_sampleFiles = numberedFiles(dir, names, QRegularExpression(QStringLiteral("^s(\\d+)\\.txt$")));
    m_imuFiles = numberedFiles(dir, names, QRegularExpression(QStringLiteral("^i(\\d+)\\.txt$")));
}

QString CardFolder::errorString() const
{
    if (!QDir(m_path).exists())
        return QStringLiteral("%1 is not a folder").arg(m_path);
    if (m_logPath.isEmpty())
        return QStringLiteral("%1 holds no log.txt").arg(m_path);
    if (m_sampleFiles.isEmpty())
        return QStringLiteral("%1 holds no ECG/respiration file (s<number>.txt)").arg(m_path);
    return QString();
}

qint64 CardFolder::rawBytes() const
{
    qint64 bytes = 0;
    for (const QString &path : m_sampleFiles + m_imuFiles)
        bytes += QFileInfo(path).size();
    return bytes;
}

RecordingDecoder::RecordingDecoder(const QString &sessionFolder,
                                   const QVector<MissingInterval> &missingIntervals,
                                   const Calibration &calibration)
    : m_calibration(calibration)
{
    for (Stream stream : AllStreams) {
        const QString path = sessionFolder + QLatin1Char('/') + QLatin1String(decodedFormat(stream).fileName);
        m_writers[streamIndex(stream)] =
            std::make_unique<StreamWriter>(stream, path, m_state.clock(stream), missingIntervals);
    }
    if (m_calibration.errorString().isEmpty())
        m_writers[streamIndex(Stream::Ecg)]->setScaling(m_calibration);
}

RecordingDecoder::~RecordingDecoder() = default;

bool RecordingDecoder::decodeSampleFile(const QString &rawPath)
{
    qInfo().noquote() << "current gain:" << m_calibration.gain;
    const QString problem = m_calibration.errorString();
    if (!problem.isEmpty()) {
        m_error = problem;
        return false;
    }
    return decodeFile(rawPath, false);
}

bool RecordingDecoder::decodeImuFile(const QString &rawPath)
{
    return decodeFile(rawPath, true);
}

bool RecordingDecoder::decodeFile(const QString &rawPath, bool imu)
{
    if (!m_error.isEmpty())
        return false;
    QFile file(rawPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(rawPath, file.errorString());
        return false;
    }
    m_block.resize(ReadBlockBytes + MaxFrameSize);
    std::size_t kept = 0;
    for (;;) {
        const qint64 got = file.read(reinterpret_cast<char *>(m_block.data() + kept), qint64(ReadBlockBytes));
        if (got < 0) {
            m_error = QStringLiteral("cannot read %1: %2").arg(rawPath, file.errorString());
            return false;
        }
        if (got == 0)
            break;
        m_bytesRead += got;
        const std::size_t size = kept + std::size_t(got);
        const std::size_t resume = imu ? scanImuFrames(m_block.data(), size, *this)
                                       : scanSampleFrames(m_block.data(), size, *this);
        kept = size - resume;
        std::memmove(m_block.data(), m_block.data() + resume, kept);
        if (m_progress)
            m_progress(m_bytesRead);
        // A stream that has failed (a full disk, a recording past its longest) ends the decode.
        if (!checkWriters())
            return false;
    }
    return checkWriters();
}

void RecordingDecoder::frame(Stream stream, quint32 deviceTime, const float *values)
{
    m_writers[streamIndex(stream)]->add(deviceTime, values);
}

bool RecordingDecoder::checkWriters()
{
    for (const auto &writer : m_writers) {
        if (!writer->errorString().isEmpty()) {
            m_error = writer->errorString();
            return false;
        }
    }
    return true;
}

bool RecordingDecoder::decodeCard(const CardFolder &card)
{
    for (const QString &path : card.sampleFiles()) {
        qInfo().noquote() << path;
        if (!decodeSampleFile(path))
            return false;
        qInfo().noquote() << "Timestamp OFFSET:" << m_state.ecgOffset() << m_state.breathOffset();
        qInfo().noquote() << "lastTimestamp" << m_state.lastEcgTime() << m_state.lastBreathTime();
        qInfo().noquote() << "nimino" << std::min(m_state.lastEcgTime(), m_state.lastBreathTime()) / 1000;
    }
    qInfo().noquote() << "SESSION END" << durationMs() / 1000 << m_state.lastEcgTime()
                      << m_state.lastBreathTime();
    for (const QString &path : card.imuFiles()) {
        qInfo().noquote() << path;
        if (!decodeImuFile(path))
            return false;
    }
    return true;
}

bool RecordingDecoder::finish()
{
    bool ok = m_error.isEmpty();
    for (const auto &writer : m_writers) {
        if (!writer->close() && ok) {
            m_error = writer->errorString();
            ok = false;
        }
    }
    m_block = std::vector<uchar>();
    return ok;
}

quint64 RecordingDecoder::recordsWritten(Stream stream) const
{
    return m_writers[streamIndex(stream)]->recordsWritten();
}

quint64 RecordingDecoder::recordsFilled(Stream stream) const
{
    return m_writers[streamIndex(stream)]->recordsFilled();
}

quint64 RecordingDecoder::recordsDropped(Stream stream) const
{
    return m_writers[streamIndex(stream)]->recordsDropped();
}

quint64 RecordingDecoder::recordsOutOfLine(Stream stream) const
{
    return m_writers[streamIndex(stream)]->recordsOutOfLine();
}

qint64 RecordingDecoder::droppedMs() const
{
    qint64 longest = 0;
    for (Stream stream : AllStreams)
        longest = std::max(longest, qint64(recordsDropped(stream) * decodedFormat(stream).stepMs));
    return longest;
}

bool RecordingDecoder::timeBaseExceeded() const
{
    return std::any_of(std::begin(m_writers), std::end(m_writers),
                       [](const auto &writer) { return writer->timeBaseExceeded(); });
}

quint32 RecordingDecoder::durationMs() const
{
    const bool ecg = !m_state.ecg.firstChunk;
    const bool breath = !m_state.breath.firstChunk;
    if (ecg && breath)
        return quint32(std::min(m_state.ecg.lastFileTime, m_state.breath.lastFileTime));
    if (ecg)
        return quint32(m_state.ecg.lastFileTime);
    return breath ? quint32(m_state.breath.lastFileTime) : 0;
}

bool decodeCardFolder(const QString &cardPath, const QString &sessionFolder,
                      const Calibration &calibration, CardDecodeResult *result, QString *error,
                      const std::function<void(qint64)> &progress)
{
    *result = CardDecodeResult();
    const CardFolder card(cardPath);
    QString problem = card.errorString();
    if (problem.isEmpty())
        problem = calibration.errorString();
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    RecorderLog log;
    if (!RecorderLog::read(card.logPath(), &log, error))
        return false;
    // Without the acquisition start no logged gap can be matched to a clock restart, and every
    // restart would drop the records up to the old clock time.
    if (!log.acquisitionStart().isValid()) {
        *error = QStringLiteral("%1 has no valid START_ACQ line: the records cannot be placed in time")
                     .arg(card.logPath());
        return false;
    }
    return decodeCheckedCard(card, log.missingIntervals(), sessionFolder, calibration, result, error, progress);
}

bool decodeCheckedCard(const CardFolder &card, const QVector<MissingInterval> &intervals,
                       const QString &sessionFolder, const Calibration &calibration, CardDecodeResult *result,
                       QString *error, const std::function<void(qint64)> &progress)
{
    *result = CardDecodeResult();
    qInfo().noquote() << "Holes :" << describeIntervals(intervals);

    const bool folderMade = !QFileInfo::exists(sessionFolder);
    if (!QDir().mkpath(sessionFolder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(sessionFolder);
        return false;
    }
    const QDir session(sessionFolder);
    QStringList written;
    for (Stream stream : AllStreams)
        written.append(session.filePath(QLatin1String(decodedFormat(stream).fileName)));
    const QString logCopy = session.filePath(QLatin1String(SessionLogFileName));
    written.append(logCopy);
    // What this decode wrote goes again when it fails: no half session is left behind.
    const auto undo = [&] {
        for (const QString &path : written)
            QFile::remove(path);
        if (folderMade)
            QDir().rmdir(sessionFolder);
        return false;
    };
    for (const QString &path : written) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            *error = QStringLiteral("cannot replace %1").arg(path);
            return false;
        }
    }
    if (!QFile::copy(card.logPath(), logCopy)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(card.logPath(), logCopy);
        return undo();
    }

    RecordingDecoder decoder(sessionFolder, intervals, calibration);
    decoder.setProgressHandler(progress);
    const bool decoded = decoder.decodeCard(card);
    const bool finished = decoder.finish();
    result->timeBaseExceeded = decoder.timeBaseExceeded();
    if (!finished || !decoded) {
        *error = decoder.errorString();
        return undo();
    }
    if (decoder.recordsWritten(Stream::Ecg) == 0 && decoder.recordsWritten(Stream::Breath) == 0) {
        result->noFrames = true;
        *error = QStringLiteral("the s-files of %1 hold no whole ECG or respiration frame (%2 bytes read)")
                     .arg(card.path())
                     .arg(decoder.bytesRead());
        return undo();
    }
    result->missingIntervals = intervals;
    result->sampleFiles = card.sampleFiles().size();
    result->imuFiles = card.imuFiles().size();
    for (Stream stream : AllStreams) {
        const int i = streamIndex(stream);
        result->records[i] = decoder.recordsWritten(stream);
        result->filled[i] = decoder.recordsFilled(stream);
        result->dropped[i] = decoder.recordsDropped(stream);
        result->outOfLine[i] = decoder.recordsOutOfLine(stream);
    }
    result->droppedMs = decoder.droppedMs();
    result->bytesRead = decoder.bytesRead();
    result->durationMs = decoder.durationMs();
    return true;
}
