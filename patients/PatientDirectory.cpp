#include "patients/PatientDirectory.h"

#include "db/Database.h"

#include <algorithm>

bool PatientDirectory::reload(const QString &search)
{
    m_shown.clear();
    return m_database.listPatients(search.toUtf8().toStdString(), m_shown);
}

int PatientDirectory::rowOf(int patientId) const
{
    const auto it = std::find_if(m_shown.begin(), m_shown.end(), [patientId](const PatientRecord &p) {
        return p.id == patientId;
    });
    return it == m_shown.end() ? -1 : int(it - m_shown.begin());
}

bool PatientDirectory::select(int row)
{
    if (row < 0 || row >= int(m_shown.size()))
        return false;
    m_current = m_shown[size_t(row)];
    return readSessions();
}

bool PatientDirectory::selectById(int patientId)
{
    std::optional<PatientRecord> stored = findStored(patientId);
    if (!stored)
        return false;
    m_current = std::move(stored);
    return readSessions();
}

int PatientDirectory::currentRow() const { return m_current ? rowOf(m_current->id) : -1; }

bool PatientDirectory::refreshCurrent()
{
    if (!m_current)
        return false;
    return selectById(m_current->id);
}

PatientDirectory::SaveResult PatientDirectory::save(PatientRecord &record, bool editing)
{
    if (editing) {
        if (!m_current)
            return SaveResult::Refused;
        record.id = m_current->id;
        record.status = m_current->status;
        if (!m_database.updatePatient(record))
            return SaveResult::Refused;
    } else {
        // Every stored patient, not only the rows a search has left on screen: a hidden duplicate
        // would otherwise be refused by the database without a word to the user.
        std::vector<PatientRecord> everyone;
        if (!m_database.listPatients(std::string(), everyone))
            return SaveResult::Refused;
        if (std::any_of(everyone.begin(), everyone.end(),
                        [&record](const PatientRecord &p) { return p.fiscalCode == record.fiscalCode; }))
            return SaveResult::Duplicate;
        if (!m_database.insertPatient(record))
            return SaveResult::Refused;
    }
    if (!selectById(record.id))
        m_current = record;
    return SaveResult::Saved;
}

std::optional<PatientRecord> PatientDirectory::findStored(int patientId) const
{
    std::vector<PatientRecord> everyone;
    if (!m_database.listPatients(std::string(), everyone))
        return std::nullopt;
    for (PatientRecord &p : everyone)
        if (p.id == patientId)
            return std::move(p);
    return std::nullopt;
}

bool PatientDirectory::readSessions()
{
    m_sessions.clear();
    return m_database.listSessions(m_current->fiscalCode, m_sessions);
}
