// The patient page's slots of the main window: patient list, patient form, session tiles. The
// list and the current patient are PatientDirectory's; these slots put them on the page.
#include "app/KRNMainWindow.h"

#include "common/Prompts.h"
#include "live/viewSubmenu.h"
#include "patients/IntroWindow.h"
#include "patients/patientInfo.h"

#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalMapper>

void KRNMainWindow::connectPatientPage()
{
    connect(m_intro->newSessionMapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::patientButtonPressed);
    connect(m_intro->newSessionMapper(), &QSignalMapper::mappedInt, m_intro, &IntroWindow::patientViewSelected);
    connect(m_intro->viewPatientMapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::patientSelected);
    connect(m_intro->buttonNewPatient(), &QPushButton::clicked, this, &KRNMainWindow::newPatientButtonPressed);
    connect(m_intro->info()->buttonSave(), &QPushButton::clicked, this, &KRNMainWindow::saveNewPatient);
    connect(m_intro->info()->buttonClose(), &QPushButton::clicked, this, &KRNMainWindow::closeNewPatient);
    connect(m_intro->info()->buttonSaveSetup(), &QPushButton::clicked, this, &KRNMainWindow::saveSetup);
    connect(m_intro->editPatientSearch(), &QLineEdit::textChanged, this, &KRNMainWindow::searchPatient);
}

const QList<Session *> &KRNMainWindow::sessionTileList() const { return m_intro->sessionTiles(); }

void KRNMainWindow::refreshPatientList(const QString &search)
{
    m_patients.reload(search);
    m_intro->clearPatientRows();
    for (const PatientRecord &p : m_patients.shown())
        m_intro->addPatientRow(p);
}

void KRNMainWindow::showCurrentPatient()
{
    const PatientRecord *p = m_patients.current();
    if (!p) {
        m_intro->clearSessionTiles();
        m_intro->info()->clear();
        return;
    }
    m_toolbar->setName(QString::fromStdString(p->name));
    m_toolbar->setSurname(QString::fromStdString(p->surname));
    m_intro->info()->showPatient(*p);
    m_intro->showSessions(m_patients.sessions());
}

void KRNMainWindow::patientSelected(int index)
{
    if (!m_patients.select(index)) {
        qWarning().noquote() << "No patient at row " + QString::number(index);
        return;
    }
    showCurrentPatient();
}

void KRNMainWindow::patientButtonPressed(int index)
{
    patientSelected(index);
    if (m_patients.currentRow() == index)
        openDeviceDialog();
}

void KRNMainWindow::newPatientButtonPressed() { m_intro->clearSessionTiles(); }

void KRNMainWindow::searchPatient(QString text) { refreshPatientList(text); }

bool KRNMainWindow::saveNewPatient()
{
    patientInfo *form = m_intro->info();
    PatientRecord record = form->toRecord();
    switch (m_patients.save(record, form->isEditing())) {
    case PatientDirectory::SaveResult::Duplicate:
        m_prompts.inform(Prompts::Icon::Critical, "Impossibile creare nuovo paziente.",
                         "Un paziente con questo codice fiscale è già presente.");
        return false;
    case PatientDirectory::SaveResult::Refused:
        return refuseFailedSave();
    case PatientDirectory::SaveResult::Saved:
        break;
    }
    refreshPatientList(QString());
    showCurrentPatient();
    form->setViewingMode();
    return true;
}

// A save the database refused must not look like a success: the typed data stays in the form.
bool KRNMainWindow::refuseFailedSave()
{
    m_prompts.inform(Prompts::Icon::Critical, "Impossibile salvare il paziente.",
                     "Il paziente non è stato salvato nel database.");
    return false;
}

void KRNMainWindow::closeNewPatient()
{
    // Back to the patient shown before the form was opened or edited, as stored; nobody when
    // none was (a new patient cancelled before any was selected).
    m_patients.refreshCurrent();
    showCurrentPatient();
    if (m_patients.current()) {
        m_intro->info()->setViewingMode();
        m_intro->showSessionPanel();
    }
}

void KRNMainWindow::saveSetup()
{
    // A refused save (duplicate fiscal code) must not open a new session for another patient.
    if (!saveNewPatient())
        return;
    patientButtonPressed(m_patients.currentRow());
}
