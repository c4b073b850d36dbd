#pragma once

#include "db/Records.h"

#include <QString>

#include <optional>
#include <vector>

class Database;

// The patients the patient page lists (all of them, or those a search leaves) and the patient
// whose form and session tiles are shown. The current patient is held by identity, not by a row
// of the list: a search that changes the rows changes nothing about whom the form, its save and
// the tiles' buttons act on.
class PatientDirectory
{
public:
    explicit PatientDirectory(Database &database) : m_database(database) {}

    // Re-reads the list with this search (surname or name; empty lists everyone).
    bool reload(const QString &search);
    const std::vector<PatientRecord> &shown() const { return m_shown; }
    // Row of a patient in the shown list, -1 when the search leaves it out.
    int rowOf(int patientId) const;

    // Makes the patient of a shown row current and reads their sessions; false for no such row.
    bool select(int row);
    // Makes a stored patient current whether the search shows them or not.
    bool selectById(int patientId);
    const PatientRecord *current() const { return m_current ? &*m_current : nullptr; }
    // Row of the current patient in the shown list, -1 when none or left out.
    int currentRow() const;
    // The current patient's sessions, newest recording first.
    const std::vector<SessionRecord> &sessions() const { return m_sessions; }
    // Reads the current patient and their sessions again (after an import changed them).
    bool refreshCurrent();

    enum class SaveResult { Saved, Duplicate, Refused };
    // Editing: the current patient's row takes the record (its id and status kept). Otherwise a
    // new patient, refused when any stored patient, shown or not, has the same fiscal code. The
    // saved patient becomes current; `record` receives its id.
    SaveResult save(PatientRecord &record, bool editing);

private:
    std::optional<PatientRecord> findStored(int patientId) const;
    bool readSessions();

    Database &m_database;
    std::vector<PatientRecord> m_shown;
    std::optional<PatientRecord> m_current;
    std::vector<SessionRecord> m_sessions;
};
