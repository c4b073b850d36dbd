// The session report: written from the review page, which then turns read-only, or opened with
// the desktop's viewer once the session is analysed. SessionReport does the work.
#include "app/KRNMainWindow.h"

#include "app/ToolbarTable.h"
#include "common/LabelTable.h"
#include "live/viewSubmenu.h"
#include "report/DesktopOpener.h"
#include "report/SessionReport.h"
#include "report/SnapshotNotesDialog.h"
#include "review/VisualizationWindow.h"

#include <QDebug>
#include <QPushButton>

void KRNMainWindow::connectReport()
{
    connect(m_toolbar->ui().buttonExport, &QPushButton::clicked, this, &KRNMainWindow::generatePdf);
    connect(m_toolbar->ui().buttonViewPdf, &QPushButton::clicked, this, &KRNMainWindow::generatePdf);
}

DesktopOpener &KRNMainWindow::desktop()
{
    static SystemDesktopOpener system;
    return m_desktop ? *m_desktop : system;
}

void KRNMainWindow::generatePdf()
{
    const SessionRecord *current = currentSession();
    const PatientRecord *patient = currentPatient();
    if (!current || !patient) {
        qWarning().noquote() << "No session to report";
        return;
    }
    SessionRecord session = *current;
    if (session.status == "ANALYZED") {
        openSessionReport(m_dataFolder, session, desktop(), m_prompts);
        return;
    }

    ReportInput input;
    {
        SnapshotNotesDialog dialog(this);
        dialog.setReportMode(true);
        dialog.setTitleText("Inserisci il testo da stampare sul report e clicca su OK per generare il report e "
                            "chiudere la sessione");
        if (dialog.exec() != QDialog::Accepted)
            return;
        input.commentHtml = dialog.noteHtml();
        input.hoursText = dialog.hoursText();
        input.minutesText = dialog.minutesText();
    }
    input.patient = *patient;
    input.session = session;
    input.author = currentUser;
    input.sessionFolder = sessionFolder;
    if (const std::shared_ptr<const RecordingData> recording = m_visualization->recording()) {
        input.spo2SpanMs = recording->spo2Span();
        input.acquisitionStartSeconds = recording->acquisitionStartSeconds();
    }
    input.durationMinutes = sessionDurationMinutes;
    input.annotationCount = m_visualization->annotationCount();
    input.normalCount = m_visualization->normalCount();
    input.sourceId = m_visualization->sourceId();
    input.heartRates = m_visualization->analysis().heartRate().summary();

    SessionReport report;
    switch (report.generate(input, database, m_dataFolder)) {
    case SessionReport::Result::PdfNotWritten:
        m_prompts.ask({Prompts::Icon::Critical, QStringLiteral("Report non creato"),
                       "Non è stato possibile scrivere il report in " + sessionFolder
                           + ": la sessione non è stata chiusa.",
                       {}, report.errorString(), {Prompts::Button::ok()}});
        return;
    case SessionReport::Result::SessionNotUpdated:
        // The session is not analysed in the database, so the page must not look as if it were.
        m_prompts.ask({Prompts::Icon::Critical, QStringLiteral("Sessione non chiusa"),
                       "Il report è stato scritto in " + report.pdfPath()
                           + ", ma la sessione non è stata segnata come analizzata nel database.",
                       {}, report.errorString(), {Prompts::Button::ok()}});
        return;
    case SessionReport::Result::Done:
        break;
    }

    // The session is analysed: only its report can be opened from now on.
    ToolbarTable::apply(m_toolbar, ToolbarState::ReviewAnalyzed);
    m_visualization->setEventsLocked(true);
    setWindowTitle(LabelTable(objectName()).label("titlevisualizationwindow"));
    m_patients.refreshCurrent();
    showCurrentPatient();
}
