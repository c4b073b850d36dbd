// Opening a session from its tile: the busy dialog, the load on a worker thread, the duration box
// and the review page, on a real database and a synthetic session decoded into the data folder.
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "import/RecordingDecoder.h"
#include "live/viewSubmenu.h"
#include "sim/SyntheticAnalysis.h"
#include "patients/Session.h"
#include "review/VisualizationWindow.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

namespace {

const std::string FiscalCode = "RSSMRA80A01H501U";

} // namespace

class ReviewOpenTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void analyseShortSessionAsksAboutDuration();
    void viewWithoutDataFolderClosesDialog();
    void folderWithoutRecordsSaysSo();
    void analysedSessionStaysAsItWasClosed();

private:
    std::unique_ptr<KRNMainWindow> openPatient();
    // Presses a tile button and waits for the load to end.
    void press(KRNMainWindow &w, int tile, bool analyse);

    QTemporaryDir m_card;
    SyntheticSession m_synth;
    qint64 m_recordingStart = 0;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void ReviewOpenTest::initTestCase()
{
    // Three minutes of recording with its analysis folder, made once and copied per test.
    m_synth.options.hours = 0.05;
    QString error;
    QVERIFY2(m_synth.writeCard(m_card.path() + "/card", true, &error), qPrintable(error));
    m_recordingStart = m_synth.startSeconds();
}

void ReviewOpenTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_data->addPatient(FiscalCode);

    // Tiles list the newest recording first: 0 decoded, 1 analysed but without its data folder
    // (a broken row), 2 an empty folder.
    SessionRecord decoded = m_data->addSession(FiscalCode, "LOADED", m_recordingStart);
    decoded.dataPathName = FiscalCode + "/1";
    decoded.startSetupDate = m_recordingStart - 600;
    QVERIFY(m_data->db().updateSession(decoded));
    m_data->addSession(FiscalCode, "ANALYZED", m_recordingStart - 1000);
    SessionRecord empty = m_data->addSession(FiscalCode, "LOADED", m_recordingStart - 2000);
    empty.dataPathName = FiscalCode + "/3";
    QVERIFY(m_data->db().updateSession(empty));

    const QString folder = m_data->dataDir() + "/" + QString::fromStdString(decoded.dataPathName);
    QString error;
    QVERIFY2(m_synth.decodeInto(folder, &error), qPrintable(error));
    QVERIFY(QDir().mkpath(m_data->dataDir() + "/" + QString::fromStdString(empty.dataPathName)));
}

void ReviewOpenTest::cleanup()
{
    m_prompts.reset();
    m_data.reset();
}

std::unique_ptr<KRNMainWindow> ReviewOpenTest::openPatient()
{
    auto w = std::make_unique<KRNMainWindow>(m_data->dataDir(), *m_prompts);
    m_prompts->boxes.clear();
    int row = -1;
    for (std::size_t i = 0; i < w->patientList().size(); ++i) {
        if (w->patientList()[i].fiscalCode == FiscalCode)
            row = int(i);
    }
    if (row < 0)
        return nullptr;
    w->patientSelected(row);
    return w;
}

void ReviewOpenTest::press(KRNMainWindow &w, int tile, bool analyse)
{
    Session *session = w.sessionTileList().at(tile);
    (analyse ? session->buttonAnalyze() : session->buttonView())->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isLoadingReview(), 20000);
}

void ReviewOpenTest::analyseShortSessionAsksAboutDuration()
{
    const QString box = "Durata acquisizione non conforme|Attenzione \n la durata della sessione è diversa da 24 "
                        "ore. \n La visualizzazione potrebbe non essere conforme alle specifiche";
    auto w = openPatient();
    QVERIFY(w);
    QCOMPARE(w->sessionTileList().size(), 3);

    // Cancel: the review page is not shown.
    m_prompts->buttons.enqueue("Cancel");
    press(*w, 0, true);
    QCOMPARE(m_prompts->progresses.size(), 1);
    const ScriptedPrompts::ProgressRecord &busy = *m_prompts->progresses[0];
    QCOMPARE(busy.setup.title, QStringLiteral("Caricamento dati"));
    QCOMPARE(busy.setup.labelText, QStringLiteral("Caricamento dati in corso"));
    QCOMPARE(busy.setup.fixedWidth, 600);
    QVERIFY(busy.setup.cancelText.isEmpty());
    QCOMPARE(busy.setup.maximum, 0);
    QVERIFY(busy.setup.frameless);
    QVERIFY(!busy.open);
    QCOMPARE(m_prompts->boxTexts(), QStringList{box});
    QVERIFY(w->stackWidget()->currentIndex() != KRNMainWindow::VisualizationPage);
    QCOMPARE(w->currentSessionFolder(), m_data->dataDir() + "/" + QString::fromStdString(FiscalCode) + "/1");
    QCOMPARE(w->sessionDuration(), 2); // whole minutes of an ECG span just under 3 minutes

    // OK: the review page, positioned at the first ECG record; the signal is connected only while
    // a load runs, so the second load asks once again and only once.
    m_prompts->buttons.enqueue("OK");
    press(*w, 0, true);
    QCOMPARE(m_prompts->progresses.size(), 2);
    QCOMPARE(m_prompts->boxTexts(), QStringList({box, box}));
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::VisualizationPage));
    QVERIFY(w->visualizationWindow()->hasEcgData());

    // Ctrl+G reaches the toolbar's go-to field: a clock time puts the window there, a time past
    // the recording says so in the field and moves nothing.
    w->show();
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QLineEdit *field = w->toolbar()->ui().lineGoTo;
    QTest::keyClick(w.get(), Qt::Key_G, Qt::ControlModifier);
    QVERIFY(field->hasFocus());
    const qint64 start = w->visualizationWindow()->recording()->acquisitionStartSeconds();
    QTest::keyClicks(field, QDateTime::fromSecsSinceEpoch(start + 61).toString("hh:mm:ss"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(w->visualizationWindow()->position(), 61000u);
    QTest::keyClick(w.get(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(field, "+00:10:00");
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->text(), QString("Fuori registrazione"));
    QVERIFY(field->toolTip().startsWith("La registrazione va dalle "));
    QCOMPARE(w->visualizationWindow()->position(), 61000u);
}

void ReviewOpenTest::viewWithoutDataFolderClosesDialog()
{
    auto w = openPatient();
    QVERIFY(w);
    krntest::expectMessage(QtWarningMsg, "Session without data folder, index 1");
    press(*w, 1, false);
    QCOMPARE(m_prompts->progresses.size(), 1);
    QCOMPARE(m_prompts->progresses[0]->setup.title, QStringLiteral("Caricamento dati->"));
    QVERIFY(!m_prompts->progresses[0]->open);
    QCOMPARE(m_prompts->boxTexts(),
             QStringList{"Dati non disponibili|La sessione non contiene dati da visualizzare."});
    QVERIFY(w->stackWidget()->currentIndex() != KRNMainWindow::VisualizationPage);
}

void ReviewOpenTest::folderWithoutRecordsSaysSo()
{
    auto w = openPatient();
    QVERIFY(w);
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^La sessione non contiene dati"));
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Session not loaded: La sessione non contiene dati"));
    press(*w, 2, true);
    QVERIFY(!m_prompts->progresses.at(0)->open);
    QCOMPARE(m_prompts->boxes.size(), 1);
    QCOMPARE(m_prompts->boxes[0].title, QStringLiteral("Dati non disponibili"));
    QVERIFY(m_prompts->boxes[0].text.startsWith("La sessione non contiene dati"));
    QVERIFY(w->stackWidget()->currentIndex() != KRNMainWindow::VisualizationPage);
    QVERIFY(!w->visualizationWindow()->hasEcgData());
}

void ReviewOpenTest::analysedSessionStaysAsItWasClosed()
{
    // Analysed with its events converted and one accepted; then its beat file changes.
    auto w = openPatient();
    m_prompts->buttons.enqueue("OK");
    press(*w, 0, true);
    const int v = EventList::typeIndex("V");
    w->visualizationWindow()->tabs()->setCurrentIndex(VisualizationWindow::EventsTab);
    w->visualizationWindow()->acceptButtonClicked();
    const int beats = w->visualizationWindow()->getEventList(0)->size(v);
    std::vector<AnnotationRecord> stored, after;
    QVERIFY(beats > 0 && m_data->db().listAnnotations(-1, std::string(), stored));
    Query analysed;
    analysed.sql = "UPDATE SESSIONS SET status = 'ANALYZED' WHERE dataPathName LIKE '%/1'";
    const QString beatFile = w->currentSessionFolder() + "/ANALISI/annotations_fusion.pt";
    QVERIFY(m_data->db().execute(analysed) && writeFile(beatFile, readFile(beatFile) + "0:01:00 30000 V 0 L2 0\n"));

    // Reopened: nothing written, the rows shown as they were, no other analysis to load.
    w = openPatient();
    m_prompts->buttons.enqueue("OK");
    press(*w, 0, false);
    QVERIFY(m_data->db().listAnnotations(-1, std::string(), after));
    QCOMPARE(after.size(), stored.size());
    const EventList *list = w->visualizationWindow()->getEventList(0);
    QVERIFY(list->size(v) == beats && list->at(v, 0)->accepted);
    QVERIFY(w->toolbar()->ui().loadAnalysisPushButton->isHidden());
}

KRN_TEST_MAIN(ReviewOpenTest)
#include "tst_reviewopen.moc"
