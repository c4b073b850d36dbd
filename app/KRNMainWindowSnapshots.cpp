// Snapshots of the review page: the toolbar's snapshot with a note, and the event snapshots the
// review window stores and removes. The files are written by SnapshotFolder; a snapshot that
// cannot be stored whole is reported and leaves nothing behind.
#include "app/KRNMainWindow.h"

#include "live/viewSubmenu.h"
#include "report/SnapshotFiles.h"
#include "report/SnapshotNotesDialog.h"
#include "review/VisualizationWindow.h"

#include <QPushButton>

void KRNMainWindow::connectSnapshots()
{
    connect(m_toolbar->ui().buttonSnapshot, &QPushButton::clicked, this, &KRNMainWindow::takeSnapshot);
    connect(m_visualization, &VisualizationWindow::newScreenShot, this, &KRNMainWindow::addSnapshot);
    connect(m_visualization, &VisualizationWindow::deleteScreenShot, this, &KRNMainWindow::deleteSnapshot);
}

void KRNMainWindow::takeSnapshot()
{
    QString note;
    {
        SnapshotNotesDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        note = dialog.noteHtml();
    }
    SnapshotFolder folder(sessionFolder);
    if (!folder.saveUserSnapshot(m_visualization->captureCurrentTab(), note))
        m_prompts.ask({Prompts::Icon::Critical, QStringLiteral("Snapshot non salvato"),
                       "Non è stato possibile salvare lo snapshot in " + folder.path() + ": non è stato salvato nulla.",
                       {}, folder.errorString(), {Prompts::Button::ok()}});
}

void KRNMainWindow::addSnapshot(QImage shot, QString text, float ratio, int id)
{
    SnapshotFolder folder(sessionFolder);
    if (!folder.saveEventSnapshot(id, shot, text, ratio))
        m_prompts.ask({Prompts::Icon::Critical, QStringLiteral("Snapshot non salvato"),
                       "L'evento è stato accettato, ma la sua immagine per il report non è stata salvata in "
                           + folder.path() + ".",
                       {}, folder.errorString(), {Prompts::Button::ok()}});
}

void KRNMainWindow::deleteSnapshot(int id) { SnapshotFolder(sessionFolder).deleteEventSnapshot(id); }
