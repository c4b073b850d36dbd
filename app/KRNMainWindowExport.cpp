// The review page's export of the session as an EDF+ file.
#include "app/KRNMainWindow.h"

#include "report/EdfExportAction.h"

#include <QDir>
#include <QStandardPaths>

void KRNMainWindow::exportEdfButtonPressed()
{
    const SessionRecord *session = currentSession();
    const PatientRecord *patient = currentPatient();
    // The button is on the review page only, which a loaded session opens.
    if (!session || !patient || sessionFolder.isEmpty())
        return;
    QString start = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();
    EdfExportAction(database, m_prompts).run(*session, *patient, sessionFolder, start);
}
