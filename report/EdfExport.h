#pragma once

// A decoded session written as one EDF+ file (continuous, EDF+C), so that a recording reviewed here
// opens in general tools (EDF viewers, MNE-Python, MATLAB toolboxes):
// - the twelve leads at 500 Hz in mV: the 8 recorded channels as the decoded files hold them (the
//   decoder's calibration applied, no display offset, no window mean removed) and III, aVR, aVL,
//   aVF by the review's formulas on those values;
// - the five respiration channels at 50 Hz, SpO2 (%) and pulse (bpm) at 1 Hz when the session has
//   them;
// - annotations: each missing-data period of the recorder's log ("Dati mancanti", with its
//   duration) and the reviewed events (accepted, printed and added rows of ANNOTATIONS) by type
//   name, with their durations;
// - the header: patient code (fiscal code), sex, birth date and name, the acquisition start,
//   equipment "TavoKRN", the session identifier.
//
// Samples sit on an even grid from the first record: sample n of a signal is the first decoded
// record whose file time falls in [n, n + 1) sample periods. A sample without a record of its own
// (a frame lost to a bad check byte) repeats the previous values for up to HeldSamples samples,
// then is 0, as the decoder fills a reported gap; the decoder's own zero records stay as they are.
//
// Physical ranges: a first pass over the decoded files finds, signal by signal, the extremes of the
// values (the derived leads computed record by record) and of 0, the filler of gaps; each range is
// then widened outward to numbers the 8-character header fields hold exactly, so no sample is
// clipped. The digital range is the full 16 bits. Both passes stream the files in blocks, so memory stays flat
// whatever the length of the recording. The file is written under a temporary name beside the
// target and renamed when complete: a failure or a cancel leaves no partial file.
//
// Widget-free (Qt Core, edflib).

#include "db/Records.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

class Database;

// One annotation as it goes into the file; times in ms from the start of the recording.
struct EdfAnnotation {
    qint64 onsetMs = 0;
    qint64 durationMs = -1; // -1: an instant, no duration
    QString text;
    bool operator==(const EdfAnnotation &o) const
    {
        return onsetMs == o.onsetMs && durationMs == o.durationMs && text == o.text;
    }
};

// One signal as it goes into the file.
struct EdfSignal {
    QString label;
    QString dimension;
    int samplesPerRecord = 0; // the rate in Hz: a data record lasts one second
    double physicalMinimum = 0;
    double physicalMaximum = 0;
};

// What the database says about the session being exported. Every part is optional: a session
// folder exported on its own gets a header without patient fields and no reviewed events.
struct EdfSessionInfo {
    std::optional<PatientRecord> patient;
    std::optional<SessionRecord> session;
    std::vector<AnnotationRecord> events; // the session's rows; only reviewed ones are exported

    // The session `sessionId`, its patient and its rows of the analysis in sessionFolder/ANALISI
    // (every row of the session when the folder holds no annotations_fusion.pt). False, with
    // *error set, when the session or its patient cannot be read.
    static bool read(Database &db, int sessionId, const QString &sessionFolder, EdfSessionInfo *info,
                     QString *error);
};

class EdfExport
{
public:
    static constexpr int DataRecordMs = 1000;
    static constexpr int HeldSamples = 5;
    static constexpr int DigitalMinimum = -32768;
    static constexpr int DigitalMaximum = 32767;
    static constexpr char MissingDataText[] = "Dati mancanti";
    static constexpr char Equipment[] = "TavoKRN";

    // Called after each data record of each pass with the work done and the whole; returning false
    // cancels the export.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    explicit EdfExport(const QString &sessionFolder, EdfSessionInfo info = {});

    // Writes the file (replacing one of that name). False, with errorString() set, when it could
    // not be written or was cancelled; no file of that name is then left behind.
    bool write(const QString &outPath, const Progress &progress = {});
    QString errorString() const { return m_error; }
    bool wasCanceled() const { return m_canceled; }

    // What the last successful write put into the file.
    const QVector<EdfSignal> &signalList() const { return m_signals; }
    const QVector<EdfAnnotation> &annotations() const { return m_annotations; }
    qint64 dataRecords() const { return m_dataRecords; }
    QDateTime startDateTime() const { return m_start; }
    int missingDataAnnotations() const { return m_missingAnnotations; }

    // The rules, for callers and tests.
    // The annotation of a reviewed row, or none for rows not reviewed (todo, rejected) or without a
    // type. The heart-rate values a clinician adds ("maxfrequency", "minfrequency") carry the value
    // in place of a duration: it goes into the text.
    static std::optional<EdfAnnotation> eventAnnotation(const AnnotationRecord &row);
    // [low, high] widened outward to values whose decimal text fits the 8 characters of an EDF
    // header field; false when no such range holds them.
    static bool headerRange(double low, double high, double *headerLow, double *headerHigh);
    // The decimal text of a header range value (at most 8 characters).
    static QString headerNumber(double value);
    // Plain ASCII for the header fields: accents dropped, other characters left out.
    static QByteArray headerText(const QString &text);

private:
    struct Plan;
    bool fail(const QString &message);
    bool prepare(Plan *plan);
    bool writeFile(const QString &path, const Plan &plan, const Progress &progress);
    bool checkHeader(const QString &path);
    bool scanExtremes(const Plan &plan, const Progress &progress, QVector<double> *low, QVector<double> *high);
    template <class Sink>
    bool eachRecord(const Plan &plan, const Progress &progress, Sink sink);

    QString m_folder;
    EdfSessionInfo m_info;
    QString m_error;
    bool m_canceled = false;
    QVector<EdfSignal> m_signals;
    QVector<EdfAnnotation> m_annotations;
    qint64 m_dataRecords = 0;
    QDateTime m_start;
    int m_missingAnnotations = 0;
};
