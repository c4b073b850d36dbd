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
//
// A time stamp damaged so that its check byte still passes would set a floor far ahead (or pass
// for a restart) and cost the rest of the file. Each record is therefore held back until the next
// one has come: a record whose time lies far off while its neighbours agree with each other is
// left out by itself. Records in order, restarts and steps back keep the rules above unchanged.
// No recording runs past MaxRecordingMs: a fill or records beyond it stop the stream with an error.

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

// The rule that leaves a damaged time stamp out, shared by the decoder and the live stream: a time
// far off while its neighbours agree with each other. `previous` and `next` are the times around
// it; for a stream's very first record, the two that follow it. A next time that may be a clock
// restart (below 100 ms) is not taken for agreement: the decoder's floor rules decide those.
bool timeOutOfLine(qint64 previous, qint64 time, qint64 next);
bool firstTimeOutOfLine(qint64 time, qint64 next, qint64 afterNext);

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

    // Decides the records still held back, then writes out what is buffered.
    bool close();
    QString errorString() const { return m_error; }
    quint64 recordsWritten() const { return m_written; }
    quint64 recordsFilled() const { return m_filled; }
    // Records left out by the floor: behind a step back of the device clock, or after a restart
    // that no logged gap covers. Each of them is one sample period of the recording lost.
    quint64 recordsDropped() const { return m_dropped; }
    // Records left out alone because their time stamp was far from both neighbours.
    quint64 recordsOutOfLine() const { return m_outOfLine; }
    // The stream would run past MaxRecordingMs; errorString() says where.
    bool timeBaseExceeded() const { return m_exceeded; }

private:
    struct Held {
        quint32 time;
        quint64 index;
        float values[MaxStreamValues];
    };
    static constexpr int HeldCapacity = 4; // a power of two: the ring index is a mask

    Held &held(int i) { return m_held[(m_heldFirst + i) & (HeldCapacity - 1)]; }
    void decideHeld(bool flushing);
    bool frontOutOfLine();
    void place(const Held &record, const Held *next);
    // True when a logged gap covered the restart (filled, or refused as too long).
    bool fillRestart();
    void exceed(const QString &what);
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
    Held m_held[HeldCapacity];
    int m_heldFirst = 0;
    int m_heldCount = 0;
    quint64 m_written = 0;
    quint64 m_filled = 0;
    quint64 m_dropped = 0;
    quint64 m_outOfLine = 0;
    bool m_exceeded = false;
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
