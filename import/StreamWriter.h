#pragma once

// Putting decoded records on the recording's continuous time base and appending them to the
// decoded files.
//
// File time = device time - O. O is the first device time of the stream, so the recording starts
// at 0. When the device time steps back, the first backward step sets a floor F = p - O (p the
// previous device time) and records stay skipped until their relative time reaches it again. When
// the step is a clock restart (device time below 100 ms) inside a period the recorder's log
// reports as missing, the period is filled with zero records up to its stop and O becomes -L, L
// being the last file time written, so that the restarted clock carries on from there. All
// comparisons are made in the relative base, in signed 64-bit arithmetic.

#include "import/FrameScanner.h"
#include "import/RecordingFormat.h"

#include <QFile>
#include <QString>
#include <QVector>

#include <vector>

// The time base of one stream; it runs on across all raw files of one import, as if they were
// one list of records.
struct StreamClock {
    bool firstChunk = true;     // no record seen yet: the next one sets the offset
    qint64 offset = 0;          // O
    qint64 lastFileTime = 0;    // L, file time of the last record written
    qint64 floor = 0;           // F
    bool gap = false;           // a backward step was seen and nothing written since
    quint32 lastDeviceTime = 0; // device time of the previous record
    quint64 recordIndex = 0;    // records seen, for the log
};

// What one import carries from raw file to raw file.
struct DecodeState {
    StreamClock ecg;
    StreamClock breath;
    StreamClock imu;

    StreamClock &clock(Stream stream);
    qint64 ecgOffset() const { return ecg.offset; }
    qint64 breathOffset() const { return breath.offset; }
    // Device times of the last ECG and respiration record seen.
    quint32 lastEcgTime() const { return ecg.lastDeviceTime; }
    quint32 lastBreathTime() const { return breath.lastDeviceTime; }
};

// ECG scaling inputs: the recorded value of channel k is written as (value * factors[k]) / gain.
struct Calibration {
    int gain = 1;
    std::vector<float> factors = std::vector<float>(EcgFormat.valueCount, 1.0f);

    // Why these inputs cannot scale a recording, or an empty text when they can.
    QString errorString() const;
    // The session calibration text: the gain, then the 8 factors, comma-separated.
    static bool fromText(const QString &text, Calibration *calibration, QString *error);
};

// Appends one stream's records to its decoded file. The file is opened (for appending) with the
// first record, so a stream without records leaves no file behind. Writes are buffered; close()
// tells whether every record reached the file.
class StreamWriter
{
public:
    StreamWriter(Stream stream, const QString &path, StreamClock &clock,
                 const QVector<MissingInterval> &missingIntervals);
    ~StreamWriter();
    StreamWriter(const StreamWriter &) = delete;
    StreamWriter &operator=(const StreamWriter &) = delete;

    // ECG only; `calibration` must have no errorString().
    void setScaling(const Calibration &calibration);

    // One record in stream order, values as decoded from the frame.
    void add(quint32 deviceTime, const float *values);

    bool close();
    QString errorString() const { return m_error; }
    quint64 recordsWritten() const { return m_written; }
    quint64 recordsFilled() const { return m_filled; }

private:
    void fillRestart();
    void put(qint64 fileTime, const float *values);
    void flush();

    const DecodedFormat &m_format;
    StreamClock &m_clock;
    QVector<MissingInterval> m_intervals;
    QFile m_file;
    std::vector<uchar> m_buffer;
    std::size_t m_used = 0;
    bool m_scaled = false;
    float m_factors[MaxStreamValues] = {};
    float m_gain = 1.0f;
    quint64 m_written = 0;
    quint64 m_filled = 0;
    QString m_error;
};

// One raw file's records, already parsed into lists: appended to sessionFolder/ecg.txt and
// sessionFolder/breath.txt (writeEcgBreathFiles) or sessionFolder/imu.txt (writeImuFile),
// continuing the time base in `state`. False, with the reason in *error, when the calibration is
// unusable (nothing is written then), a record has the wrong number of elements, or a file
// cannot be written.
bool writeEcgBreathFiles(const QString &sessionFolder, const SampleList &ecgRecords,
                         const SampleList &breathRecords,
                         const QVector<MissingInterval> &missingIntervals, int gain,
                         const std::vector<float> &factors, DecodeState &state,
                         QString *error = nullptr);
bool writeImuFile(const QString &sessionFolder, const SampleList &imuRecords, DecodeState &state,
                  const QVector<MissingInterval> &missingIntervals, QString *error = nullptr);
