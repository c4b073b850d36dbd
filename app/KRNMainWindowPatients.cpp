// The patient page's slots of the main window: patient list, patient form, session tiles.
#include "app/KRNMainWindow.h"

#include "app/common/Prompts.h"
#include "live/viewSubmenu.h"
#include "patients/IntroWindow.h"
#include "patients/Session.h"
#include "patients/patientInfo.h"

#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalMapper>
#include <QVBoxLayout>

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

void KRNMainWindow::refreshPatientList(const QString &search)
{
    patients.clear();
    database.listPatients(search.toUtf8().toStdString(), patients);
    m_intro->clearPatientRows();
    for (const PatientRecord &p : patients)
        m_intro->addPatientRow(p);
}

int KRNMainWindow::patientIndexOf(const std::string &fiscalCode) const
{
    for (size_t i = 0; i < patients.size(); ++i) {
        if (patients[i].fiscalCode == fiscalCode)
            return int(i);
    }
    return -1;
}

void KRNMainWindow::clearSessionTiles()
{
    // Later, not now: the list is rebuilt from a tile's own button when an import or a review
    // ends, and that button is still on the call stack.
    for (Session *tile : sessionTiles) {
        m_intro->sessionLayout()->removeWidget(tile);
        tile->hide();
        tile->deleteLater();
    }
    sessionTiles.clear();
}

void KRNMainWindow::patientSelected(int index)
{
    if (index < 0 || index >= int(patients.size())) {
        qWarning().noquote() << "No patient at row " + QString::number(index);
        return;
    }
    currentPatientIndex = index;
    const PatientRecord &p = patients[size_t(index)];
    m_toolbar->setName(QString::fromStdString(p.name));
    m_toolbar->setSurname(QString::fromStdString(p.surname));
    m_intro->info()->showPatient(p);

    clearSessionTiles();
    sessions.clear();
    database.listSessions(p.fiscalCode, sessions);
    for (size_t j = 0; j < sessions.size(); ++j) {
        auto *tile = new Session(sessions[j]);
        sessionTiles.append(tile);
        m_intro->sessionLayout()->addWidget(tile);
        const struct { QPushButton *button; QSignalMapper *mapper; } routes[] = {
            {tile->buttonImport(), importMapper}, {tile->buttonAnalyze(), analyzeMapper}, {tile->buttonView(), viewMapper}};
        for (const auto &route : routes) {
            route.mapper->setMapping(route.button, int(j));
            connect(route.button, &QPushButton::clicked, route.mapper, QOverload<>::of(&QSignalMapper::map));
        }
    }
}

void KRNMainWindow::patientButtonPressed(int index)
{
    patientSelected(index);
    if (index < 0 || index >= int(patients.size()))
        return;
    m_toolbar->setName(QString::fromStdString(patients[size_t(index)].name));
    m_toolbar->setSurname(QString::fromStdString(patients[size_t(index)].surname));
    openDeviceDialog();
}

void KRNMainWindow::newPatientButtonPressed() { clearSessionTiles(); }

void KRNMainWindow::searchPatient(QString text) { refreshPatientList(text); }

bool KRNMainWindow::saveNewPatient()
{
    patientInfo *form = m_intro->info();
    PatientRecord record = form->toRecord();
    if (form->isEditing()) {
        if (currentPatientIndex < 0 || currentPatientIndex >= int(patients.size()))
            return false;
        record.id = patients[size_t(currentPatientIndex)].id;
        record.status = patients[size_t(currentPatientIndex)].status;
        if (!database.updatePatient(record))
            return refuseFailedSave();
    } else {
        // Look at every stored patient, not only the rows a search has left on screen: a hidden
        // duplicate would otherwise be refused by the database without a word to the user.
        std::vector<PatientRecord> everyone;
        database.listPatients(std::string(), everyone);
        for (const PatientRecord &p : everyone) {
            if (p.fiscalCode == record.fiscalCode) {
                m_prompts.inform(Prompts::Icon::Critical, "Impossibile creare nuovo paziente.",
                                 "Un paziente con questo codice fiscale è già presente.");
                return false;
            }
        }
        if (!database.insertPatient(record))
            return refuseFailedSave();
    }

    refreshPatientList(QString());
    const int row = patientIndexOf(record.fiscalCode);
    if (row >= 0)
        currentPatientIndex = row;
    patientSelected(currentPatientIndex);
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
    const std::string fiscalCode = m_intro->info()->toRecord().fiscalCode;
    refreshPatientList(QString());
    const int row = patientIndexOf(fiscalCode);
    if (row >= 0)
        currentPatientIndex = row;
    if (currentPatientIndex >= 0 && currentPatientIndex < int(patients.size())) {
        patientSelected(currentPatientIndex);
        m_intro->info()->setViewingMode();
    } else {
        // Nobody to go back to (a new patient cancelled before any was selected).
        currentPatientIndex = -1;
        m_intro->info()->clear();
    }
}

void KRNMainWindow::saveSetup()
{
    // A refused save (duplicate fiscal code) must not open a new session for another patient.
    if (!saveNewPatient())
        return;
    patientButtonPressed(currentPatientIndex);
}
