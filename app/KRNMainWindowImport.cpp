// The import slots of the main window. The work is done by ImportWorkflow (the session tile's
// import, the card folder) and UsbDownload (the recorder on a USB port).
#include "app/KRNMainWindow.h"

#include "import/ImportWorkflow.h"
#include "import/UsbDownload.h"
#include "patients/IntroWindow.h"

#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalMapper>

void KRNMainWindow::connectImport()
{
    m_importWorkflow = std::make_unique<ImportWorkflow>(m_prompts, database, *m_usb);
    // The card chooser opens where the data folder sits: beside the program, as ever, when the
    // data lives there, and not in the folder of an installed program.
    m_importWorkflow->setStartFolder(QFileInfo(m_dataFolder).absolutePath());
    m_importWorkflow->setBusyIndicator([this](bool busy) {
        if (busy == m_busyCursor)
            return;
        m_busyCursor = busy;
        if (busy)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
    connect(m_intro->importMapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::patientImportButtonPressed);
    connect(m_usb, &UsbDownload::downloadEcgBreathFinished, this, &KRNMainWindow::downloadEcgBreathFinished);
    connect(m_usb, &UsbDownload::downloadImuFinished, this, &KRNMainWindow::downloadImuFinished);
    connect(m_usb, &UsbDownload::importCompleted, this, &KRNMainWindow::reloadAfterImport);
}

QTimer *KRNMainWindow::importTimer() const { return m_usb->importTimer(); }

bool KRNMainWindow::patientImportButtonPressed(int index)
{
    // The tiles are the current patient's, whatever the patient list shows after a search.
    const std::vector<SessionRecord> &sessions = m_patients.sessions();
    const PatientRecord *patient = m_patients.current();
    if (index < 0 || index >= int(sessions.size()) || !patient) {
        qWarning().noquote() << "No session to import at " + QString::number(index);
        return false;
    }
    currentSessionIndex = index;
    ImportTarget target;
    target.sessionIndex = index;
    target.session = sessions[size_t(index)];
    target.patient = *patient;
    target.userId = currentUser.id;
    target.dataFolder = m_dataFolder;
    sessionFolder = ImportWorkflow::sessionFolder(target);
    const bool imported = m_importWorkflow->run(target);
    if (imported)
        reloadAfterImport();
    return imported;
}

void KRNMainWindow::reloadAfterImport()
{
    refreshPatientList(QString());
    m_patients.refreshCurrent();
    showCurrentPatient();
}
