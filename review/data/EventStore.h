#pragma once

// The events of one reviewed session and one beat file in the ANNOTATIONS table: loading the rows
// made from that file earlier (with their review status) or converting the file into rows, the
// in-memory list built from them, and the review actions, each written to the table before the
// event changes in memory. Widget-free.

#include "review/data/ReviewEvents.h"

#include <QString>
#include <QStringList>

#include <vector>

class BeatFile;
class Database;

// The session's event rows of a source (every source for an empty one), in start order, as every
// reader of the rows takes them: a damaged row whose times cannot belong to the recording is left
// out (and logged). False when the database refused the listing.
bool listEventRows(Database &db, int sessionId, const QString &source, std::vector<AnnotationRecord> *rows);

class EventStore
{
public:
    // Nothing reads m_index back for a user-added event; it gets this one.
    static constexpr int AddedEventIndex = -1;

    explicit EventStore(Database *database) : m_database(database) {}

    // The rows of the session whose source is the file's digest; when there are none, the file is
    // converted into rows in one transaction first. False (errorString()) when the database
    // refused: then nothing of the conversion is stored and the list is empty.
    // A read-only load (an analysed session) never converts: without rows of this file it lists
    // the rows the session was last written with, as they are.
    bool load(int sessionId, const BeatFile &file, bool readOnly = false);
    // Whether the last load converted the file, or (read-only) kept the rows of another source;
    // neither: it reused the file's stored rows. And the rows it listed.
    bool wroteRows() const { return m_wroteRows; }
    bool keptOtherRows() const { return m_keptOtherRows; }
    int rowCount() const { return m_rowCount; }

    // The digest of the last beat file loaded; empty until one is.
    QString sourceId() const { return m_sourceId; }
    int sessionId() const { return m_sessionId; }
    void setSessionId(int id) { m_sessionId = id; }
    EventList &list() { return m_list; }
    const EventList &list() const { return m_list; }
    // Empties the list and forgets the source (the user left the review).
    void clear();
    // Lists the rows again and rebuilds the list; the cursors stay where they were (on the last
    // event of a group that became shorter).
    bool reload();

    // Review actions on an event of the list. The row is updated first; only when the database
    // took it does the event take the new state. "Write to db" and the row go to the log.
    bool accept(Event *event) { return review(event, reviewstatus::Checked); }
    bool reject(Event *event) { return review(event, reviewstatus::Rejected); }
    bool acceptPrint(Event *event) { return review(event, reviewstatus::Printed); }

    // Stores an event of the user's (code of the add-event dialog), then reloads the list. For
    // "FCMAX" and "FCMIN" there is one user value per kind: an earlier one is updated.
    bool addEvent(const QString &code, double start, double duration, const QStringList &channels, bool print);

    QString errorString() const { return m_error; }

private:
    bool review(Event *event, const QString &status);
    bool list(std::vector<AnnotationRecord> *rows);
    bool keepStoredRows();
    bool fail(const QString &what);

    Database *m_database;
    int m_sessionId = -1;
    QString m_sourceId;
    EventList m_list;
    bool m_wroteRows = false;
    bool m_keptOtherRows = false;
    int m_rowCount = 0;
    QString m_error;
};
