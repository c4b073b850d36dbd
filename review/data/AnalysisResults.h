#pragma once

// Everything the review takes from a session's analysis folder ("ANALISI"): the body positions,
// the analysable segments of each lead, the beat list and its counts, and the events of the beat
// file in the database (stored rows reused, or the file converted). The review page and
// `tavokrn-tool events` run this same load. Widget-free.

#include "review/data/AnalysisFolder.h"
#include "review/data/EventStore.h"
#include "review/data/HeartRateTrend.h"
#include "review/data/ReviewSummaries.h"
#include "review/data/SignalTrace.h"

#include <QString>
#include <QVector>

class Database;

class AnalysisResults
{
public:
    // What became of the beat file's events.
    enum class Events {
        NoFile,     // no annotations_fusion.pt: no beats, no events
        Unreadable, // it could not be read ("ERROR" in the log)
        Refused,    // the database refused to list or store its rows (errorString())
        Reused,     // rows made from this very file earlier were loaded
        Written,    // the file was converted into rows now
        Kept,       // read-only: the file has no rows, the session's stored ones were loaded
    };

    explicit AnalysisResults(Database *database) : m_events(database) {}

    // Replaces everything with what the folder holds. recordingStartSeconds is the session's
    // recording start (positions are times of day on its date). An analysed session is loaded
    // read-only: no rows are written for it (EventStore::load).
    Events load(const QString &folder, int sessionId, qint64 recordingStartSeconds, bool readOnly = false);
    // Forgets everything, the source of the events included.
    void clear();
    QString errorString() const { return m_error; }

    bool positionsAvailable() const { return m_positionsAvailable; }
    const QVector<PositionEntry> &positions() const { return m_positions; }
    bool splitAvailable(int lead) const { return validLead(lead) && m_splitAvailable[lead]; }
    // ms from the recording start, in file order.
    const TimeSpans &splitSegments(int lead) const { return m_splitSegments[validLead(lead) ? lead : 0]; }
    bool annotationsAvailable() const { return m_annotationsAvailable; }
    const QVector<Beat> &beats() const { return m_beats; }
    int annotationCount() const { return m_annotationCount; }
    int normalCount() const { return m_normalCount; }
    // The heart rate of the beat list (empty without one).
    const HeartRateTrend &heartRate() const { return m_heartRate; }

    EventStore &events() { return m_events; }
    const EventStore &events() const { return m_events; }

private:
    static bool validLead(int lead) { return lead >= 0 && lead < leads::Count; }
    void clearFolderData();

    QString m_error;
    QVector<PositionEntry> m_positions;
    bool m_positionsAvailable = false;
    TimeSpans m_splitSegments[leads::Count];
    bool m_splitAvailable[leads::Count] = {};
    bool m_annotationsAvailable = false;
    QVector<Beat> m_beats;
    int m_annotationCount = 0;
    int m_normalCount = 0;
    HeartRateTrend m_heartRate;
    EventStore m_events;
};
