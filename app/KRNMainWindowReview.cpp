// Opening a session for review: busy dialog, the load on a worker thread, and its end; the
// workstation's own analysis of the reviewed session.
#include "app/KRNMainWindow.h"

#include "analysis/AnalysisAction.h"
#include "live/viewSubmenu.h"
#include "review/VisualizationWindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLineEdit>
#include <QtConcurrent>

void KRNMainWindow::sessionViewButtonPressed(int index)
{
    startReviewLoad(index, QStringLiteral("Caricamento dati->"), false);
}

void KRNMainWindow::patientAnalyzeButtonPressed(int index)
{
    startReviewLoad(index, QStringLiteral("Caricamento dati"), true);
}

void KRNMainWindow::startReviewLoad(int index, const QString &dialogTitle, bool setsReviewStart)
{
    // One load at a time: the busy dialog is modal, but a queued click could still arrive.
    if (m_loadingDialog)
        return;
    QCoreApplication::processEvents();
    Prompts::ProgressSpec setup;
    setup.title = dialogTitle;
    setup.labelText = QStringLiteral("Caricamento dati in corso");
    setup.fixedWidth = 600;
    setup.frameless = true;
    m_loadingDialog = m_prompts.progress(setup);
    QCoreApplication::processEvents();

    currentSessionIndex = index;
    const SessionRecord *session = currentSession();
    const QString dataPath = session ? QString::fromStdString(session->dataPathName) : QString();
    sessionFolder = m_dataFolder + "/" + dataPath;
    if (dataPath.isEmpty()) {
        // Nothing was imported for this session: no load starts, so the dialog is closed here.
        qWarning().noquote() << "Session without data folder, index" << index;
        m_loadingDialog.reset();
        m_prompts.inform(Prompts::Icon::Critical, QStringLiteral("Dati non disponibili"),
                         QStringLiteral("La sessione non contiene dati da visualizzare."));
        return;
    }
    // Emitted by the loader's end; queued to this (GUI) thread whatever thread emits it.
    connect(m_visualization, &VisualizationWindow::loadingFinishedSignal, this, &KRNMainWindow::loadingFinished,
            Qt::UniqueConnection);
    m_visualization->setStartSetupDate(session->startSetupDate);
    if (setsReviewStart)
        m_visualization->setStartDateTime(session->startSetupDate);
    QtConcurrent::run(m_visualization, &VisualizationWindow::loadSessionData, sessionFolder,
                      qint64(session->startRecDate));
}

void KRNMainWindow::loadingFinished(bool timeCorrect, int duration)
{
    m_loadingDialog.reset();
    disconnect(m_visualization, &VisualizationWindow::loadingFinishedSignal, this, &KRNMainWindow::loadingFinished);
    sessionDurationMinutes = duration / 60000;

    const QString problem = m_visualization->loadErrorString();
    if (!problem.isEmpty()) {
        m_prompts.inform(Prompts::Icon::Critical, QStringLiteral("Dati non disponibili"), problem);
        return;
    }
    if (timeCorrect) {
        qInfo().noquote() << "updateSlider from m_visualization->setSliderValue";
    } else {
        const int answer = m_prompts.ask(
            {Prompts::Icon::Critical, QStringLiteral("Durata acquisizione non conforme"),
             QStringLiteral("Attenzione \n la durata della sessione è diversa da 24 ore. \n La visualizzazione "
                            "potrebbe non essere conforme alle specifiche"),
             {}, {}, {Prompts::Button::ok(), Prompts::Button::cancel()}});
        if (answer != 0)
            return;
    }
    goToVisualizationPage();
    if (m_visualization->hasEcgData())
        m_visualization->jumpToFirstData();
}

void KRNMainWindow::autoAnalysisButtonPressed()
{
    // The button is on the review page only, which a loaded session opens.
    if (sessionFolder.isEmpty())
        return;
    if (AnalysisAction(m_prompts).run(sessionFolder))
        m_visualization->loadAnalysisResults(sessionFolder + "/ANALISI");
}

void KRNMainWindow::goToTimeEntered()
{
    const VisualizationWindow::GoToProblem problem = m_visualization->goToTime(m_toolbar->ui().lineGoTo->text());
    m_toolbar->showGoToResult(problem.text, problem.detail);
    // Back to the page, whose keys page on from there.
    if (problem.text.isEmpty())
        m_visualization->setFocus(Qt::OtherFocusReason);
}
