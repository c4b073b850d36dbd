#pragma once

// Decoding the raw files of one import into a session folder: the card folder import and the
// USB download both come through here.

#include "import/StreamWriter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// What a copy of the recorder's card holds: log.txt, the ECG/respiration files s<number>.txt and
// the IMU files i<number>.txt (names matched whole and case-sensitively).
class CardFolder
{
public:
    explicit CardFolder(const QString &path);

    QString path() const { return m_path; }
    // Empty when the folder has no log.txt.
    QString logPath() const { return m_logPath; }
    // Full paths in increasing file number (s2.txt before s10.txt), the recording's order.
    QStringList sampleFiles() const { return m_sampleFiles; }
    QStringList imuFiles() const { return m_imuFiles; }
    // Why the folder cannot be imported (no log, no ECG/respiration file), or an empty text.
    QString errorString() const;
    // Bytes of the s- and i-files, what a decode of the card reads.
    qint64 rawBytes() const;

private:
    QString m_path;
    QString m_logPath;
    QStringList m_sampleFiles;
    QStringList m_imuFiles;
};

// Appends the records of raw files to the decoded files of a session folder, with one
// DecodeState for all files given to it. Raw files are read in large blocks and the records go
// straight to the files, so memory stays flat whatever the length of the recording. A frame cut
// by the end of a raw file is lost.
class RecordingDecoder : private FrameHandler
{
public:
    RecordingDecoder(const QString &sessionFolder, const QVector<MissingInterval> &missingIntervals,
                     const Calibration &calibration);
    ~RecordingDecoder() override;
    RecordingDecoder(const RecordingDecoder &) = delete;
    RecordingDecoder &operator=(const RecordingDecoder &) = delete;

    // A raw ECG/respiration stream (a card s-file, or the USB transfer) into ecg.txt and breath.txt.
    bool decodeSampleFile(const QString &rawPath);
    // A raw IMU stream into imu.txt.
    bool decodeImuFile(const QString &rawPath);
    // Every s-file, then every i-file of the card, in their order.
    bool decodeCard(const CardFolder &card);
    // Writes out what is buffered and closes the decoded files.
    bool finish();

    // Called on the decoding thread with bytesRead() after each block of raw data.
    void setProgressHandler(std::function<void(qint64 bytesRead)> handler) { m_progress = std::move(handler); }

    QString errorString() const { return m_error; }
    const DecodeState &state() const { return m_state; }
    quint64 recordsWritten(Stream stream) const;
    quint64 recordsFilled(Stream stream) const;
    // See StreamWriter: records lost behind the clock floor, records left out for their time stamp.
    quint64 recordsDropped(Stream stream) const;
    quint64 recordsOutOfLine(Stream stream) const;
    // The longest stretch of recording any stream lost behind the floor, in ms.
    qint64 droppedMs() const;
    // A stream would have run past MaxRecordingMs: the decode stopped there.
    bool timeBaseExceeded() const;
    qint64 bytesRead() const { return m_bytesRead; }
    // The recording's length on the continuous time base: the smaller of the last ECG and
    // respiration file times (the one there is, when a stream has no records).
    quint32 durationMs() const;

private:
    void frame(Stream stream, quint32 deviceTime, const float *values) override;
    bool decodeFile(const QString &rawPath, bool imu);
    bool checkWriters();

    DecodeState m_state;
    Calibration m_calibration;
    std::unique_ptr<StreamWriter> m_writers[3];
    std::vector<uchar> m_block;
    qint64 m_bytesRead = 0;
    std::function<void(qint64)> m_progress;
    QString m_error;
};

// What decodeCardFolder did.
struct CardDecodeResult {
    QVector<MissingInterval> missingIntervals;
    int sampleFiles = 0;
    int imuFiles = 0;
    quint64 records[3] = {};   // by Stream, gap fill records included
    quint64 filled[3] = {};
    quint64 dropped[3] = {};   // behind the clock floor
    quint64 outOfLine[3] = {}; // left out for a far-off time stamp
    qint64 droppedMs = 0;      // RecordingDecoder::droppedMs
    qint64 bytesRead = 0;
    quint32 durationMs = 0;
    // Why the decode failed, for the callers that tell the user in their own words.
    bool noFrames = false;          // the s-files hold no whole ECG or respiration frame
    bool timeBaseExceeded = false;  // the recording would run past MaxRecordingMs
};

// Decodes a copy of the recorder's card into sessionFolder (created when missing): the missing
// intervals from log.txt, then all s-files and i-files. The decoded files already in the folder
// are replaced and log.txt is copied there as logfile.txt. Nothing is written when the card
// folder lacks its log or ECG/respiration files, its log has no valid START_ACQ (its records
// could not be placed in time), or the calibration is unusable; when the decode itself fails or
// finds no ECG or respiration frame, what it wrote is removed again (the folder too, when this
// call made it). `progress`, when given, is called as RecordingDecoder's progress handler is.
bool decodeCardFolder(const QString &cardPath, const QString &sessionFolder,
                      const Calibration &calibration, CardDecodeResult *result, QString *error,
                      const std::function<void(qint64 bytesRead)> &progress = {});
// decodeCardFolder after its checks, for a caller that has made them and read the log already:
// `card` has no errorString(), `calibration` none either, and `missingIntervals` are those of its
// log, which has a valid START_ACQ.
bool decodeCheckedCard(const CardFolder &card, const QVector<MissingInterval> &missingIntervals,
                       const QString &sessionFolder, const Calibration &calibration, CardDecodeResult *result,
                       QString *error, const std::function<void(qint64 bytesRead)> &progress = {});
