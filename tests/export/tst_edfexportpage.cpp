// The export from the review page, as a clinician reaches it: the session opened from its tile on
// a real database and data folder, the toolbar's "Esporta EDF", the save chooser, the progress
// dialog with its cancel button and the closing box, the file read back with edflib.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "app/KRNMainWindow.h"
#include "import/RecordingDecoder.h"
#include "live/viewSubmenu.h"
#include "patients/Session.h"
#include "sim/SyntheticRecorder.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <edflib.h>

#include <QDir>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

namespace {

const std::string FiscalCode = "RSSMRA80A01H501U";

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class EdfExportPageTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void exportFromToolbar();
    void cancelledExportLeavesNothing();
    void chooserCancelledAndFailure();

private:
    // The window on the review page of the decoded session.
    void openReview();
    QPushButton *exportButton() const { return m_window->toolbar()->ui().buttonExportEdf; }

    std::unique_ptr<TestDatabase> m_data;
    ScriptedPrompts m_prompts;
    std::unique_ptr<KRNMainWindow> m_window;
    QTemporaryDir m_out;
};

void EdfExportPageTest::initTestCase()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_data->addPatient(FiscalCode);
    SynthOptions options;
    options.hours = 0.05;
    SessionRecord session = m_data->addSession(FiscalCode, "LOADED", options.start.toSecsSinceEpoch());
    options.sessionId = QString::fromStdString(FiscalCode) + QStringLiteral("%1").arg(session.id, 4, 10, QLatin1Char('0'));

    QTemporaryDir card;
    SyntheticSession synth;
    synth.options = options;
    QString error;
    QVERIFY2(synth.writeCard(card.path(), false, &error), qPrintable(error));
    QVERIFY2(synth.decodeForSession(*m_data, session, &error), qPrintable(error));
    openReview();
}

void EdfExportPageTest::openReview()
{
    m_window = std::make_unique<KRNMainWindow>(m_data->dataDir(), m_prompts);
    QVERIFY(!m_window->patientList().empty());
    QVERIFY(exportButton()->isHidden());
    m_window->patientSelected(0);
    // Shorter than a day and without an analysis folder: both are said, the page still opens.
    m_prompts.buttons.enqueue("OK");
    m_prompts.buttons.enqueue("OK");
    m_window->sessionTileList().at(0)->buttonAnalyze()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isLoadingReview(), 20000);
    QCOMPARE(m_window->stackWidget()->currentIndex(), int(KRNMainWindow::VisualizationPage));
    QVERIFY(!exportButton()->isHidden());
    QCOMPARE(exportButton()->text(), QString("Esporta EDF"));
}

void EdfExportPageTest::init()
{
    m_prompts.boxes.clear();
    m_prompts.progresses.clear();
    m_prompts.chooserTitles.clear();
    m_prompts.savePaths.clear();
}

void EdfExportPageTest::exportFromToolbar()
{
    // A name without the suffix gets it.
    m_prompts.files.enqueue(m_out.filePath("Rossi"));
    QTest::mouseClick(exportButton(), Qt::LeftButton);
    const QString written = m_out.filePath("Rossi.edf");

    QCOMPARE(m_prompts.chooserTitles.last(), QString("Esporta la registrazione in formato EDF+"));
    QVERIFY2(m_prompts.savePaths.last().endsWith("/Rossi_Mario_2024-03-04.edf"), qPrintable(m_prompts.savePaths.last()));
    QCOMPARE(m_prompts.progresses.size(), 1);
    const ScriptedPrompts::ProgressRecord &progress = *m_prompts.progresses[0];
    QCOMPARE(progress.setup.title, QString("Esportazione EDF"));
    QCOMPARE(progress.setup.labelText, QString("Esportazione della registrazione di Rossi Mario in corso"));
    QCOMPARE(progress.setup.cancelText, QString("Annulla"));
    QCOMPARE(progress.setup.maximum, 1000);
    QVERIFY(!progress.open);
    QVERIFY(progress.values.size() > 100);
    QVERIFY(std::is_sorted(progress.values.begin(), progress.values.end()));
    QCOMPARE(progress.values.last(), 1000);
    QCOMPARE(m_prompts.boxTexts(), QStringList{"Esportazione EDF|La registrazione è stata esportata in\n" + written});
    QCOMPARE(filesIn(m_out.path()), QStringList{"Rossi.edf"});

    // What the page wrote: the session's patient and its 3 minutes of signals.
    edf_hdr_struct header{};
    QCOMPARE(edfopen_file_readonly(QFile::encodeName(written).constData(), &header, EDFLIB_READ_ALL_ANNOTATIONS), 0);
    const int signalCount = header.edfsignals;
    const QString code = header.patientcode, name = header.patient_name;
    const long long records = header.datarecords_in_file;
    edfclose_file(header.handle);
    QCOMPARE(signalCount, 19);
    QCOMPARE(code, QString::fromStdString(FiscalCode));
    QCOMPARE(name, QString("Rossi Mario"));
    QCOMPARE(records, 180LL);
}

void EdfExportPageTest::cancelledExportLeavesNothing()
{
    const QString folder = m_out.filePath("cancelled");
    QVERIFY(QDir().mkpath(folder));
    m_prompts.files.enqueue(folder + "/Rossi.edf");
    m_prompts.cancelProgressAt = 700; // in the second pass
    QTest::mouseClick(exportButton(), Qt::LeftButton);
    m_prompts.cancelProgressAt = -1;

    QCOMPARE(m_prompts.progresses.size(), 1);
    QVERIFY(m_prompts.progresses[0]->canceled);
    QVERIFY(!m_prompts.progresses[0]->open);
    QVERIFY(m_prompts.progresses[0]->values.last() < 1000);
    QVERIFY(m_prompts.boxes.isEmpty());
    QVERIFY(filesIn(folder).isEmpty());
}

void EdfExportPageTest::chooserCancelledAndFailure()
{
    // No file chosen: nothing happens.
    QTest::mouseClick(exportButton(), Qt::LeftButton);
    QVERIFY(m_prompts.progresses.isEmpty());
    QVERIFY(m_prompts.boxes.isEmpty());

    // A folder that is not there: the box says why, and that nothing was saved.
    const QString nowhere = m_out.filePath("missing/Rossi.edf");
    m_prompts.files.enqueue(nowhere);
    QTest::mouseClick(exportButton(), Qt::LeftButton);
    QCOMPARE(m_prompts.boxes.size(), 1);
    QCOMPARE(m_prompts.boxes[0].icon, Prompts::Icon::Critical);
    QCOMPARE(m_prompts.boxes[0].title, QString("Esportazione EDF non riuscita"));
    QVERIFY2(m_prompts.boxes[0].text.startsWith("Impossibile creare il file " + nowhere), qPrintable(m_prompts.boxes[0].text));
    QVERIFY(m_prompts.boxes[0].text.endsWith("\nNessun file è stato salvato."));
    QVERIFY(!QFile::exists(nowhere));
}

KRN_TEST_MAIN(EdfExportPageTest)
#include "tst_edfexportpage.moc"
