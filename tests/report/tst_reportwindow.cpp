// The report from the review page of the workstation, on real widgets offscreen, a real database
// file and a synthetic session decoded into the data folder: the comment dialog, the PDF, the
// session closed and the page turned read-only; then the stored report opened through the desktop
// seam. A refused session update and an unwritable report leave the session and the toolbar as
// they were.

#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "common/LabelTable.h"
#include "live/viewSubmenu.h"
#include "patients/Session.h"
#include "report/SnapshotNotesDialog.h"
#include "review/VisualizationWindow.h"
#include "tests/support/MainWindowLogin.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/PdfReader.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QStandardPaths>
#include <QStackedWidget>
#include <QTextEdit>

namespace {

const std::string FiscalCode = "RSSMRA80A01H501U";

// The comment dialog in its report mode, filled in and confirmed (or cancelled).
void answerCommentDialog(bool accept, bool *seen = nullptr)
{
    onModalDialog<SnapshotNotesDialog>([accept, seen](SnapshotNotesDialog *dialog) {
        if (seen)
            *seen = dialog->reportMode() && dialog->titleText().startsWith("Inserisci il testo da stampare sul report");
        dialog->textEdit()->setPlainText("Referto: ritmo sinusale, rare pause.");
        dialog->hourLineEdit()->setText("12");
        dialog->minuteLineEdit()->setText("30");
        accept ? dialog->accept() : dialog->reject();
    });
}

} // namespace

class tst_ReportWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_scratch;
    SyntheticSession m_recording;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<KRNMainWindow> m_window;
    RecordingDesktop m_desktop;
    SessionRecord m_session;
    UserRecord m_user;

    QString folder() const { return m_data->dataDir() + "/" + QString::fromStdString(m_session.dataPathName); }
    QString pdfPath() const { return folder() + "/Report.pdf"; }
    bool shown(const char *control) const { return m_window->toolbar()->findChild<QWidget *>(control)->isVisibleTo(m_window->toolbar()); }

    SessionRecord storedSession()
    {
        std::vector<SessionRecord> sessions;
        m_data->db().listSessions(FiscalCode, sessions);
        return sessions.empty() ? SessionRecord() : sessions.front();
    }

    // The toolbar and the page of a session still open for review.
    void verifyStillOpen()
    {
        QVERIFY(shown("buttonExport"));
        QVERIFY(shown("buttonSnapshot"));
        QVERIFY(shown("frameAddEvent"));
        QVERIFY(!shown("buttonViewPdf"));
        QVERIFY(!m_window->visualizationWindow()->eventsLocked());
        QCOMPARE(m_window->sessionList().front().status, std::string("LOADED"));
        QCOMPARE(storedSession().status, std::string("LOADED"));
    }

    void clickExport() { m_window->toolbar()->ui().buttonExport->click(); }

private slots:
    void initTestCase()
    {
        // Logging in remembers the user name: in the test settings, not the user's.
        QStandardPaths::setTestModeEnabled(true);
        QFile style(":/tavoStyle.qss"); // the pages styled as the program styles them
        QVERIFY(style.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(style.readAll()));
        // Three minutes of recording with its analysis folder, made once and decoded per test.
        m_recording.options.hours = 0.05;
        QString error;
        QVERIFY2(m_recording.writeCard(m_scratch.filePath("card"), true, &error), qPrintable(error));
    }

    // The review page of a loaded session, opened as a logged-in user opens it.
    void init()
    {
        m_data = std::make_unique<TestDatabase>();
        QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_user = m_data->addUser("lverdi", "segreta", "", "Laura", "Verdi");
        m_data->addPatient(FiscalCode);
        m_session = m_data->addSession(FiscalCode, "LOADED", m_recording.startSeconds());
        m_session.startSetupDate = m_recording.startSeconds() - 600;
        QString error;
        QVERIFY2(m_recording.decodeForSession(*m_data, m_session, &error), qPrintable(error));

        m_desktop = RecordingDesktop();
        m_window = std::make_unique<KRNMainWindow>(m_data->dataDir(), *m_prompts);
        m_window->setDesktopOpener(&m_desktop);
        logIn(*m_window, "lverdi", "segreta");
        QCOMPARE(m_window->loggedInUser().id, m_user.id);
        m_window->patientSelected(0);
        m_window->setFixedSize(1584, 891); // on a 1600 x 900 screen
        m_window->show();
        m_prompts->buttons.enqueue("OK"); // a three-minute recording is not 24 hours long
        m_window->sessionTileList().at(0)->buttonAnalyze()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isLoadingReview(), 20000);
        QCOMPARE(m_window->stackWidget()->currentIndex(), int(KRNMainWindow::VisualizationPage));
        QVERIFY(!m_window->visualizationWindow()->sourceId().isEmpty());
        m_prompts->boxes.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_prompts.reset();
        m_data.reset();
    }

    // The road of the review: events reviewed, the report written, the session closed; from then
    // on the same session only opens its report.
    void reportClosesTheSession()
    {
        AnnotationRecord pause;
        pause.m_type = "pause";
        pause.m_status = "added";
        pause.m_family = "ecg";
        pause.m_channel = "ND";
        pause.m_dateStart = pause.m_dateEnd = 60000;
        pause.m_sessionId = m_session.id;
        pause.m_sourceId = m_window->visualizationWindow()->sourceId().toStdString();
        QVERIFY(m_data->db().insertAnnotation(pause));

        answerCommentDialog(true);
        m_window->toolbar()->ui().buttonSnapshot->click();
        bool dialogInReportMode = false;
        answerCommentDialog(true, &dialogInReportMode);
        clickExport();
        QVERIFY(dialogInReportMode);
        QVERIFY2(m_prompts->boxes.isEmpty(), qPrintable(m_prompts->boxTexts().join('\n')));

        const PdfFacts pdf = readPdf(pdfPath());
        QVERIFY2(pdf.ok, qPrintable(pdf.error));
        QCOMPARE(pdf.pages, 4);
        QVERIFY(pdf.text.contains("Referto: ritmo sinusale, rare pause."));
        // The 12-lead snapshot at 25 mm/s and 10 mm/mV (a plot less a pixel is 250 mm), cut at its right.
        const QWidget *plot = m_window->visualizationWindow()->leadPlots()[0];
        QCOMPARE(pdf.images.size(), 2);
        for (const PdfImage &shot : pdf.images)
            QVERIFY(qAbs(shot.xPpi * 250 / 25.4 / (plot->width() - 1) - 1) < 0.02 && shot.yPpi == shot.xPpi
                    && shot.pixels.width() == VisualizationWindow::LegendWidth + plot->width());
        QCOMPARE(pdf.wordsAfter("Autore", 2), (QStringList{"Laura", "Verdi"}));
        QCOMPARE(pdf.wordsAfter("Durata (h)", 4), (QStringList{"0", "ore", "2", "minuti"}));
        QCOMPARE(pdf.wordsAfter("Durata periodo controllato", 1), QStringList{"12:30"});
        QCOMPARE(pdf.wordsAfter("Battiti analizzati", 1),
                 QStringList{QString::number(m_window->visualizationWindow()->annotationCount())});
        QCOMPARE(pdf.wordsAfter("Pause", 3), (QStringList{"1", "0.08", "2"}));

        const SessionRecord stored = storedSession();
        QCOMPARE(stored.status, std::string("ANALYZED"));
        QCOMPARE(stored.reportPathName, m_session.dataPathName + "/Report.pdf");
        QCOMPARE(stored.whoAnalyzedID, m_user.id);

        // Read-only from now on.
        QVERIFY(shown("buttonViewPdf"));
        QVERIFY(!shown("buttonExport"));
        QVERIFY(!shown("buttonSnapshot"));
        QVERIFY(!shown("frameAddEvent"));
        QVERIFY(m_window->visualizationWindow()->eventsLocked());
        QCOMPARE(m_window->windowTitle(), LabelTable("KRNMainWindow").label("titlevisualizationwindow"));
        QCOMPARE(m_window->sessionList().front().status, std::string("ANALYZED"));
        QVERIFY(m_window->sessionTileList().at(0)->buttonView()->isEnabled());
        QVERIFY(!m_window->sessionTileList().at(0)->buttonAnalyze()->isEnabled());
        QVERIFY(m_desktop.opened.isEmpty()); // the report is not opened by itself

        // The view button opens the stored report, asking nothing and writing nothing.
        const QDateTime written = QFileInfo(pdfPath()).lastModified();
        m_window->toolbar()->ui().buttonViewPdf->click();
        QCOMPARE(m_desktop.opened, QStringList{pdfPath()});
        QVERIFY(m_prompts->boxes.isEmpty());
        QCOMPARE(QFileInfo(pdfPath()).lastModified(), written);

        m_desktop.hasViewer = false;
        m_window->toolbar()->ui().buttonViewPdf->click();
        QCOMPARE(m_prompts->boxTexts(), QStringList{"Errore apertura report|Non è stato trovato un programma "
                                                    "predefinito per aprire il file Report.pdf"});
    }

    void cancelledCommentChangesNothing()
    {
        answerCommentDialog(false);
        clickExport();
        QVERIFY(!QFile::exists(pdfPath()));
        QVERIFY(m_prompts->boxes.isEmpty());
        verifyStillOpen();
    }

    // The database refuses to close the session: the report stays, the page stays open, and the
    // user is told.
    void refusedSessionUpdate()
    {
        QVERIFY(m_data->db().execute({"CREATE TRIGGER refuse BEFORE UPDATE ON SESSIONS BEGIN "
                                      "SELECT RAISE(ABORT, 'database is read-only'); END;"}));
        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error database is read-only");
        answerCommentDialog(true);
        clickExport();
        QVERIFY(m_data->db().execute({"DROP TRIGGER refuse;"}));
        QVERIFY(QFile::exists(pdfPath()));
        QCOMPARE(m_prompts->boxes.size(), 1);
        QCOMPARE(m_prompts->boxes[0].title, QString("Sessione non chiusa"));
        QCOMPARE(m_prompts->boxes[0].text, "Il report è stato scritto in " + pdfPath()
                                               + ", ma la sessione non è stata segnata come analizzata nel database.");
        QVERIFY(m_prompts->boxes[0].detailedText.contains("database is read-only"));
        verifyStillOpen();
    }

    void unwritableReport()
    {
        QVERIFY(QDir().mkpath(pdfPath())); // a folder where the file should go
        krntest::expectMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        answerCommentDialog(true);
        clickExport();
        QCOMPARE(m_prompts->boxTexts(), QStringList{"Report non creato|Non è stato possibile scrivere il report in "
                                                    + folder() + ": la sessione non è stata chiusa."});
        verifyStillOpen();
    }
};

KRN_TEST_MAIN(tst_ReportWindow)
#include "tst_reportwindow.moc"
