#pragma once

// The events a clinician reviews: the event codes of the analysis tool and of the add-event dialog
// with the type names the ANNOTATIONS table stores, one reviewable event with its review state,
// and the session's events grouped by reviewable code, each group with its own cursor.
// Widget-free.

#include "db/Records.h"

#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

// Kinds of the add-event dialog without a duration: an instant picked with one click on the plots
// (the beats, the pause, couplet, triplet, R on T, long RR) or a heart rate ("FCMAX", "FCMIN") at
// the window's start.
bool addedWithoutDuration(const QString &code);
// The heart-rate kinds: their value is entered, and one is kept per kind.
bool heartRateKind(const QString &code);

// The type name stored for an event code ("V" -> "veb"), and back; empty for a key the table
// does not hold.
QString typeName(const QString &code);
QString codeOf(const QString &typeName);

// Review states as stored in m_status.
namespace reviewstatus {
inline const QString Todo = QStringLiteral("todo");
inline const QString Checked = QStringLiteral("checked");
inline const QString Rejected = QStringLiteral("rejected");
inline const QString Printed = QStringLiteral("printed");
inline const QString Added = QStringLiteral("added");
inline const QString AddedPrint = QStringLiteral("addedprint");
}

// Every event row is of this family.
inline const char EcgFamily[] = "ecg";

// Whether a stored row's times can belong to a recording: its start, its end and its extreme
// within the longest recording, except the end of a heart rate ("FCMAX", "FCMIN"), which is the
// start plus the rate entered (a whole number) in thousandths. A row from a damaged database or
// beat file may hold any 64-bit time; no arithmetic is done on one that fails.
bool rowInsideRecording(const AnnotationRecord &row);

// Times are held in seconds here and stored in whole milliseconds, rounded to the nearest: a
// truncated product would move a stored time by a millisecond at each review action.
qint64 secondsToMs(double seconds);

class Event
{
public:
    int id = -1;        // m_id of its row
    int index = 0;      // sample number in the analysis file
    double start = 0;   // seconds from the recording start
    QString type;       // event code
    QString source;     // m_sourceId of its row
    QStringList channels;
    double duration = 0; // seconds; 0 for instantaneous events
    bool accepted = false;
    bool rejected = false;
    bool printed = false;
    bool added = false;
    double stMaxTime = 0; // "ST" only: time (s) and value of the extreme
    double stMaxValue = 0;

    // The status of the flags, and the flags of a status (an unknown status is "todo").
    QString status() const;
    void setStatus(const QString &status);

    // The row this event is stored as, with the given status.
    AnnotationRecord toRecord(int sessionId, const QString &status) const;
    // The event of a row, or null when the row's type is not one of the reviewable codes.
    static std::unique_ptr<Event> fromRecord(const AnnotationRecord &row);
};

// What the events tab shows for an event's review state: the state text and which of accept,
// reject and accept-and-print are offered.
struct ReviewChoices
{
    QString text;
    bool accept = true;
    bool reject = true;
    bool acceptPrint = true;
};
ReviewChoices reviewChoices(const Event &event);

// The duration text of the events tab: "12.5 sec. ", empty for an instantaneous event, and for
// "ST" the extreme: "60 sec. ( Max : -200 )".
QString durationText(const Event &event);

// The note of an event's snapshot (HTML): the code, the duration of an event that lasts, the
// event's first channel (from the beat file: escaped, as every text from a file is) and the leads
// shown.
QString printedEventNote(const Event &event, const QStringList &shownLeads);
// The note of the snapshot of an event the user added: the code, and the duration of an episode
// or the value of a heart rate ("FCMAX", "FCMIN").
QString addedEventNote(const QString &code, double durationOrValue);

class EventList
{
public:
    // The reviewable codes in list order, which is the order of the events tab's type combo.
    static constexpr int TypeCount = 7;
    static const QStringList &codes();
    // Position of a code in the list, -1 for any other code.
    static int typeIndex(const QString &code);

    // Refused (false, nothing kept) for an event whose code is not reviewable.
    bool add(std::unique_ptr<Event> event);
    // Deletes every event; the cursors keep their values.
    void clear();
    // The rows of the table as events, in row order; rows of other types are left out.
    void build(const std::vector<AnnotationRecord> &rows);

    int size(int type) const;
    bool isEmpty(int type) const { return size(type) == 0; }
    Event *at(int type, int i) const;
    int cursor(int type) const;
    // The event at the type's cursor, null when the cursor is outside the group.
    Event *current(int type) const;
    // Cursor + 1 / - 1 when that stays inside the group; false when it does not move.
    bool next(int type);
    bool previous(int type);
    // Every cursor back to 0 (a newly loaded analysis), or onto the last event of a group that
    // has become shorter than its cursor (so that its events can still be reached).
    void resetCursors();
    void clampCursors();

private:
    bool validType(int type) const { return type >= 0 && type < TypeCount; }

    std::array<std::vector<std::unique_ptr<Event>>, TypeCount> m_events;
    std::array<int, TypeCount> m_cursors{};
};
