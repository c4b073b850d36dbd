// The session set-up's slots of the main window: the start button, the timed steps and the
// calibration reader's two signals. SessionSetup does the work; these slots only hand over.
#include "app/KRNMainWindow.h"

#include "device/RecorderLink.h"
#include "device/SessionSetup.h"
#include "live/LiveSetupScreen.h"
#include "live/viewSubmenu.h"

#include <QDebug>
#include <QPushButton>

void KRNMainWindow::setUpSessionSetup()
{
    m_setupScreen = std::make_unique<LiveSetupScreen>(*m_online, *m_toolbar, [this] { showStartedSession(); });
    m_setup = std::make_unique<SessionSetup>(*m_link, *m_setupScreen, database, m_prompts);

    connect(m_toolbar->ui().buttonStartSession, &QPushButton::clicked, this, &KRNMainWindow::createNewSession);
    connect(this, &KRNMainWindow::calibrationFactorFound, this, &KRNMainWindow::firstCalibrationStep);
    connect(this, &KRNMainWindow::endOfCalibration, this, &KRNMainWindow::calibrationComplete);
    connect(m_setup.get(), &SessionSetup::settled, this, &KRNMainWindow::jumpFirstData);
    connect(m_setup.get(), &SessionSetup::collected, this, &KRNMainWindow::initializeNewSession);
    connect(m_setup.get(), &SessionSetup::valuesOverdue, this, &KRNMainWindow::calibrationErrorSlot);
}

SessionSetup &KRNMainWindow::sessionSetup() const { return *m_setup; }

void KRNMainWindow::setDeviceTiming(const LinkTiming &link, const SetupTiming &setup)
{
    m_link->setTiming(link);
    m_setup->setTiming(setup);
}

void KRNMainWindow::createNewSession()
{
    const PatientRecord *patient = m_patients.current();
    if (!patient) {
        qWarning().noquote() << "No patient selected for a new session";
        return;
    }
    m_setup->createNewSession(*patient);
}

void KRNMainWindow::jumpFirstData() { m_setup->jumpFirstData(); }
void KRNMainWindow::initializeNewSession() { m_setup->initializeNewSession(); }
void KRNMainWindow::firstCalibrationStep() { m_setup->firstCalibrationStep(); }
void KRNMainWindow::calibrationComplete() { m_setup->calibrationComplete(); }
void KRNMainWindow::calibrationErrorSlot() { m_setup->calibrationErrorSlot(); }
void KRNMainWindow::timeoutCalibrate() { m_setup->abandon(); }

void KRNMainWindow::showStartedSession()
{
    // The patient is "OPEN" now and has a new session tile; the same reload as after an import.
    reloadAfterImport();
    goToIntroPage();
}
