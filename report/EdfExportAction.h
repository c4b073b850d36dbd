#pragma once

// The export of the reviewed session as the clinician starts it from the review page: where to
// save (a name from the patient and the recording date is suggested), the export behind a progress
// dialog with a cancel button, then a box that says where the file went or why there is none.
// Widget-free: the questions go through the prompts.

#include "common/Prompts.h"
#include "db/Records.h"

#include <QString>

class Database;

class EdfExportAction
{
public:
    // The progress dialog runs from 0 to this.
    static constexpr int ProgressSteps = 1000;

    EdfExportAction(Database &db, Prompts &prompts) : m_db(db), m_prompts(prompts) {}

    // Exports the session in sessionFolder, suggesting a file in startFolder. True when a file was
    // written; false when the chooser was cancelled, the export cancelled (no file left) or it
    // failed (the box says why).
    bool run(const SessionRecord &session, const PatientRecord &patient, const QString &sessionFolder,
             const QString &startFolder);

    // "Surname_Name_yyyy-MM-dd.edf" from the recording start, letters and digits only.
    static QString suggestedFileName(const PatientRecord &patient, const SessionRecord &session);

private:
    Database &m_db;
    Prompts &m_prompts;
};
