#pragma once

// A synthetic recording: what the recorder's card holds after a session (log.txt, s- and i-files
// in the recorder's frame layouts) plus the oximeter's export Puls.txt, for demonstrations,
// tests and benchmarks. The signals are meant to look right on screen: PQRST beats with heart
// rate variability seen by the 8 recorded leads as projections of one heart vector, breathing
// on the five respiration channels, gravity on the IMU following body position, SpO2 near 96 %
// with a few desaturations after shallow breathing. The recorder drops out a few times; each
// drop-out is logged as missing data, its clock restarts at 0 afterwards, and every other one
// starts new card files. Some stray bytes sit between frames and a few frames carry a wrong
// check byte. The same options give the same bytes.

#include "import/RecordingFormat.h"
#include "import/StreamWriter.h"

#include <QDateTime>
#include <QString>
#include <QVector>

struct SynthTrace;
struct SynthTruth;

struct SynthOptions {
    double hours = 24.0;
    quint64 seed = 1;
    // The session's calibration: the ECG floats are written so that decoding with it gives mV.
    Calibration calibration;
    QString sessionId = QStringLiteral("RSSMRA80A01H501U0001");
    // Recording time held by one card file.
    double fileMinutes = 60.0;
    // Acquisition start, local time.
    QDateTime start = QDateTime(QDate(2024, 3, 4), QTime(9, 30), Qt::LocalTime);
    // When set, the heart also plays the rhythm episodes of SynthRhythmPlan and the beats, body
    // positions and drop-outs are collected here (import/SyntheticAnalysis.h).
    SynthTrace *trace = nullptr;
    // When set instead, the heart plays the ectopic beats and episodes of SynthEctopyPlan with
    // beats of a shape drawn for this recording, under noise and with an electrode coming off, and
    // everything it played is collected here (sim/SyntheticTruth.h).
    SynthTruth *truth = nullptr;
    // Off: the recorder never drops out, as while it streams to the workstation.
    bool dropOuts = true;
};

// One drop-out, in ms from the acquisition start: the last frames come just before `start`, the
// clock restarts at `stop`. The log marks it from the whole second of `start` to `stop`.
struct SynthGap {
    quint32 start = 0;
    quint32 stop = 0;
    bool newFiles = false;
};

struct SynthSummary {
    quint32 durationMs = 0;
    QVector<SynthGap> gaps;
    int sampleFiles = 0;
    int imuFiles = 0;
    quint64 frames[3] = {};  // by Stream: every frame written, damaged ones included
    quint64 damaged[3] = {}; // frames with a wrong check byte
    quint64 strayRuns = 0;   // runs of stray bytes between frames
    qint64 rawBytes = 0;     // bytes of the s- and i-files
    int oximeterLines = 0;   // data lines of Puls.txt
};

// Writes the recording into `folder` (created when missing; files of the same names replaced).
bool writeSyntheticRecording(const QString &folder, const SynthOptions &options,
                             SynthSummary *summary, QString *error);

// The ECG and respiration byte stream of a card written above, as the recorder sends it over
// Bluetooth: its s-files in order, one after the other, written to capturePath.
bool writeSampleCapture(const QString &cardFolder, const QString &capturePath, QString *error);
