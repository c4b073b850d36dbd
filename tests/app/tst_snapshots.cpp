// Snapshots from the main window over a real database and a synthetic session opened from its
// tile: the toolbar's snapshot with its note, the event snapshots of the review, several snapshots
// in one second, a snapshot folder that cannot be written, and a session analysed already.
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "import/RecordingDecoder.h"
#include "live/viewSubmenu.h"
#include "patients/Session.h"
#include "report/SnapshotFiles.h"
#include "report/SnapshotNotesDialog.h"
#include "review/VisualizationWindow.h"
#include "review/data/BeatFile.h"
#include "sim/SyntheticAnalysis.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"
#include "common/Clock.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

namespace {

const std::string FiscalCode = "RSSMRA80A01H501U";
const QDateTime Now(QDate(2026, 12, 9), QTime(10, 15, 30));


QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class SnapshotsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void notesDialog();
    void userSnapshotsInTheSameSecond();
    void eventSnapshotsFollowTheReview();
    void unwritableFolderIsReported();
    void noHalfPairIsLeft();
    void analysedSessionIsReadOnly();

private:
    // The main window on the review page of the session of that tile (0 "LOADED", 1 "ANALYZED").
    std::unique_ptr<KRNMainWindow> openSession(int tile);
    QString snapFolder() const { return m_snap; }

    QTemporaryDir m_card;
    SyntheticSession m_synth;
    qint64 m_recordingStart = 0;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    QString m_snap; // of the session opened
};

void SnapshotsTest::initTestCase()
{
    m_synth.options.hours = 0.05;
    QString error;
    QVERIFY2(m_synth.writeCard(m_card.path() + "/card", true, &error), qPrintable(error));
    m_recordingStart = m_synth.startSeconds();
}

void SnapshotsTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_data->addPatient(FiscalCode);
    for (const char *status : {"ANALYZED", "LOADED"}) {
        SessionRecord s = m_data->addSession(FiscalCode, status, m_recordingStart + (status[0] == 'L' ? 60 : 0));
        QString error;
        QVERIFY2(m_synth.decodeForSession(*m_data, s, &error), qPrintable(error));
    }
    Clock::setFixed(Now);
}

void SnapshotsTest::cleanup()
{
    Clock::setFixed(QDateTime());
    m_prompts.reset();
    m_data.reset();
}

std::unique_ptr<KRNMainWindow> SnapshotsTest::openSession(int tile)
{
    auto w = std::make_unique<KRNMainWindow>(m_data->dataDir(), *m_prompts);
    for (std::size_t i = 0; i < w->patientList().size(); ++i) {
        if (w->patientList()[i].fiscalCode == FiscalCode)
            w->patientSelected(int(i));
    }
    if (w->sessionTileList().size() != 2)
        return nullptr;
    // The recording is 3 minutes long, not 24 hours: OK to the question about it.
    m_prompts->buttons.enqueue("OK");
    Session *session = w->sessionTileList().at(tile);
    (tile == 0 ? session->buttonAnalyze() : session->buttonView())->click();
    if (!QTest::qWaitFor([&w] { return !w->isLoadingReview(); }, 20000))
        return nullptr;
    m_snap = w->currentSessionFolder() + "/snap";
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    m_prompts->boxes.clear();
    return w;
}

void SnapshotsTest::notesDialog()
{
    SnapshotNotesDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString("Snapshot"));
    QCOMPARE(dialog.titleText(),
             QString::fromUtf8("Inserire il testo da associare all\u2019immagine del grafico, e schiacciare OK"));
    QCOMPARE(dialog.hoursText() + ":" + dialog.minutesText(), QString("24:00"));
    QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("Tempo ecg analizzato"));
    // The report's use: its own title and mode, the time fields read back as typed.
    dialog.setReportMode(true);
    QCOMPARE(dialog.windowTitle(), QString("Report"));
    dialog.setTitleText("Inserisci il testo da stampare sul report");
    dialog.hourLineEdit()->setText("12");
    QVERIFY(dialog.reportMode() && !dialog.timeFrame()->isHidden());
    QCOMPARE(dialog.hoursText(), QString("12"));
    dialog.textEdit()->setPlainText("Ritmo sinusale");
    QVERIFY(dialog.noteHtml().startsWith("<!DOCTYPE HTML") && dialog.noteHtml().contains("Ritmo sinusale"));
}

void SnapshotsTest::userSnapshotsInTheSameSecond()
{
    auto w = openSession(0);
    QVERIFY(w);
    QCOMPARE(w->visualizationWindow()->tabs()->currentIndex(), int(VisualizationWindow::LeadsTab));
    QPushButton *snapshot = w->toolbar()->ui().buttonSnapshot;
    QVERIFY(!snapshot->isHidden());

    // Cancelled: nothing.
    onModalDialog<SnapshotNotesDialog>([](SnapshotNotesDialog *d) { d->reject(); });
    snapshot->click();
    QVERIFY(!QDir(snapFolder()).exists() || QDir(snapFolder()).isEmpty());

    // Twice within the same second, on a lead tab (two captures each): four pairs, none lost.
    for (const char *note : {"Prima nota", "Seconda nota"}) {
        onModalDialog<SnapshotNotesDialog>([note](SnapshotNotesDialog *d) {
            d->textEdit()->setPlainText(note);
            d->accept();
        });
        snapshot->click();
    }
    const QDir snap(snapFolder());
    QCOMPARE(snap.entryList({"Screenshot_*"}, QDir::Files).size(), 4);
    QCOMPARE(snap.entryList({"Text_*"}, QDir::Files).size(), 4);
    const QFrame *frames[2] = {w->visualizationWindow()->findChild<QFrame *>("Tab1"),
                               w->visualizationWindow()->findChild<QFrame *>("Tab2")};
    // The precordial page, never shown, is captured at the size of the shown limb-lead page.
    QCOMPARE(frames[1]->size(), frames[0]->size());
    const int plotWidth = w->visualizationWindow()->leadPlots()[1]->width();
    for (int i = 0; i < 4; ++i) {
        const QDateTime at = Now.addSecs(i);
        const QString stamp = at.toString("yyyyMMddhhmmss");
        const QImage image(snap.filePath("Screenshot_" + stamp + ".bmp"));
        QCOMPARE(image.size(), frames[i % 2]->size());
        const QStringList text = readText(snap.filePath("Text_" + stamp + ".txt")).split('\n');
        QCOMPARE(text.value(0), at.toString("dd-MM-yyyy hh:mm:ss"));
        const double ratio = double(frames[i % 2]->width()) / plotWidth;
        QVERIFY2(qAbs(text.value(1).toDouble() - ratio) < 1e-4, qPrintable(text.value(1)));
        QVERIFY(text.mid(2).join('\n').contains(i < 2 ? "Prima nota" : "Seconda nota"));
        QVERIFY(text.value(2).startsWith("<!DOCTYPE HTML"));
    }
    QVERIFY(m_prompts->boxes.isEmpty());
}

void SnapshotsTest::eventSnapshotsFollowTheReview()
{
    auto w = openSession(0);
    QVERIFY(w);
    VisualizationWindow *page = w->visualizationWindow();
    // The analysis came from the session's "ANALISI" folder on opening.
    EventList *list = page->getEventList(0);
    const int v = EventList::typeIndex("V");
    QVERIFY(list->size(v) > 0);
    QTest::keyClick(page, Qt::Key_5);
    const int id = list->at(v, 0)->id;
    QTest::keyClick(page, Qt::Key_S);
    const QString image = snapFolder() + "/Screenshot_evt_" + QString::number(id) + ".bmp";
    const QString text = snapFolder() + "/Text_evt_" + QString::number(id) + ".txt";
    QCOMPARE(QImage(image).size(), page->findChild<QFrame *>("tab5")->size());
    QVERIFY(readText(text).startsWith(Now.toString("dd-MM-yyyy hh:mm:ss") + "\n"));
    QVERIFY(readText(text).contains("<td>V</td>"));

    // Accepted without printing: the snapshot goes.
    QTest::keyClick(page, Qt::Key_B);
    QTest::keyClick(page, Qt::Key_A);
    QVERIFY(!QFile::exists(image));
    QVERIFY(!QFile::exists(text));
    w->deleteSnapshot(987654); // no files: nothing happens
    QVERIFY(m_prompts->boxes.isEmpty());
}

void SnapshotsTest::unwritableFolderIsReported()
{
    auto w = openSession(0);
    QVERIFY(w);
    // A file where the folder should be: the folder cannot be made.
    QFile blocker(snapFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    onModalDialog<SnapshotNotesDialog>([](SnapshotNotesDialog *d) { d->accept(); });
    w->toolbar()->ui().buttonSnapshot->click();
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Snapshot non salvato|Non è stato possibile salvare lo snapshot in "
                                                + snapFolder() + ": non è stato salvato nulla."});
    QCOMPARE(m_prompts->boxes[0].detailedText, "cannot create the folder " + snapFolder());

    // An event accepted for printing keeps its state; the missing image is reported.
    VisualizationWindow *page = w->visualizationWindow();
    QTest::keyClick(page, Qt::Key_5);
    QTest::keyClick(page, Qt::Key_S);
    QCOMPARE(m_prompts->boxes.size(), 2);
    QCOMPARE(m_prompts->boxes[1].title, QString("Snapshot non salvato"));
    QVERIFY(page->getEventList(0)->at(EventList::typeIndex("V"), 0)->printed);
}

void SnapshotsTest::noHalfPairIsLeft()
{
    QTemporaryDir session;
    SnapshotFolder folder(session.path());
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    // The second capture cannot be written: the first pair goes too.
    QVERIFY(!folder.saveUserSnapshot({{image, 1.5}, {QImage(), 1.5}}, "nota"));
    QVERIFY(!folder.errorString().isEmpty());
    QVERIFY(QDir(folder.path()).isEmpty());

    // An event's text cannot be written: its image does not stay either.
    QVERIFY(QDir().mkpath(folder.path() + "/Text_evt_5.txt"));
    QVERIFY(!folder.saveEventSnapshot(5, image, "nota", 1.0));
    QVERIFY(!QFile::exists(folder.path() + "/Screenshot_evt_5.bmp"));
    QVERIFY2(folder.errorString().contains("Text_evt_5.txt"), qPrintable(folder.errorString()));

    // A stamp taken by an earlier snapshot's text alone is passed over.
    QFile earlier(folder.path() + "/Text_" + SnapshotFolder::stamp(Now) + ".txt");
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    QStringList written;
    QVERIFY(folder.saveUserSnapshot({{image, 1.5}}, "nota", &written));
    QCOMPARE(written, QStringList{folder.path() + "/Screenshot_" + SnapshotFolder::stamp(Now.addSecs(1)) + ".bmp"});
}

void SnapshotsTest::analysedSessionIsReadOnly()
{
    // Its events were stored while it was reviewed: opened analysed, nothing more is written.
    std::vector<SessionRecord> s;
    BeatFile beats;
    QVERIFY(m_data->db().listSessions(std::string(), s) && s[0].status == "ANALYZED");
    QVERIFY(beats.read(m_data->dataDir() + "/" + QString::fromStdString(s[0].dataPathName + "/ANALISI/annotations_fusion.pt")));
    QVERIFY(EventStore(&m_data->db()).load(s[0].id, beats));
    auto w = openSession(1);
    QVERIFY(w);
    const viewSubmenu::Controls &bar = w->toolbar()->ui();
    QVERIFY(bar.buttonSnapshot->isHidden());
    QVERIFY(bar.frameAddEvent->isHidden());
    QVERIFY(!bar.buttonViewPdf->isHidden());
    VisualizationWindow *page = w->visualizationWindow();
    QVERIFY(page->eventsLocked());
    QTest::keyClick(page, Qt::Key_5);
    QVERIFY(page->getEventList(0)->size(EventList::typeIndex("V")) > 0);
    for (const char *name : {"buttonAccept", "buttonReject", "buttonAcceptPrint"})
        QVERIFY2(!page->findChild<QPushButton *>(name)->isEnabled(), name);
    QTest::keyClick(page, Qt::Key_S);
    QTest::keyClick(page, Qt::Key_E);
    QVERIFY(!QDir(snapFolder()).exists());
    QVERIFY(!page->eventMode());
}

KRN_TEST_MAIN(SnapshotsTest)
#include "tst_snapshots.moc"
