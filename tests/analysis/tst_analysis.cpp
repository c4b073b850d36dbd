// The analysis of a synthetic recording with its ground truth: from `synth --truth` through
// `decode` and `analyse` (the real tool) to the events tab of the review page on a real database;
// its scores against the truth; the folders it leaves alone; a cancel that leaves nothing.

#include "analysis/AnalysisAction.h"
#include "analysis/SessionAnalysis.h"
#include "review/VisualizationWindow.h"
#include "sim/SyntheticTruth.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestMain.h"
#include "tests/support/ToolRun.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "NAME N" in the tool's output.
int printed(const QString &out, const QString &name)
{
    const QRegularExpressionMatch m = QRegularExpression(name + QStringLiteral(" (\\d+)")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

} // namespace

class AnalysisTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fromSynthToTheEventsTab();
    void scoresAgainstTheTruth();
    void leavesOtherFoldersAlone();
    void cancelLeavesNothing();

private:
    QTemporaryDir m_tmp;
    QString m_session;
    QString m_truth;
    QString m_counts; // what `analyse` printed
    qint64 m_start = 0;
};

void AnalysisTest::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString card = m_tmp.filePath("card");
    m_session = m_tmp.filePath("session");
    m_truth = m_tmp.filePath("truth.txt");
    const ToolRun synth = runTool({"synth", "--hours", "0.5", "--seed", "5", "--truth", m_truth, card});
    QVERIFY2(synth.exitCode == 0, qPrintable(synth.err));
    m_start = printed(synth.out, "epoch seconds");
    const ToolRun decode = runTool({"decode", card, m_session});
    QVERIFY2(decode.exitCode == 0, qPrintable(decode.err));
    // A private session folder keeps its analysis private.
    QVERIFY(QFile::setPermissions(m_session, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const ToolRun analyse = runTool({"analyse", m_session});
    QVERIFY2(analyse.exitCode == 0, qPrintable(analyse.err));
    QCOMPARE(QFileInfo(m_session + "/ANALISI").permissions(), QFileInfo(m_session).permissions());
    m_counts = analyse.out;
}

void AnalysisTest::fromSynthToTheEventsTab()
{
    TestDatabase data;
    QVERIFY2(data.isValid(), qPrintable(data.error()));
    data.addPatient("RSSMRA80A01H501U");
    const int sessionId = data.addSession("RSSMRA80A01H501U", "LOADED", m_start).id;
    ScriptedPrompts prompts;
    VisualizationWindow window(&data.db());
    window.setPrompts(&prompts);
    window.setSessionId(sessionId);
    window.setEventsLocked(false); // a "LOADED" session, as the main window opens it
    window.resize(1500, 900);
    window.show();
    QSignalSpy finished(&window, &VisualizationWindow::loadingFinishedSignal);
    window.loadSessionData(m_session, m_start);
    QVERIFY(finished.wait(20000));
    window.loadAnalysisResults(m_session + "/ANALISI");
    window.jumpToFirstData();

    // Every event type holds as many events as the analysis found.
    const QPair<QString, QString> types[] = {
        {"BEV", "V"}, {"Tachicardia ventricolare", "ventricular tachycardia"}, {"Bradicardia", "bradycardia"},
        {"Pausa", "pauses"}, {"Bigeminia", "bigeminy"}, {"Trigeminia", "trigeminy"}, {"ST", "ST"}};
    auto *combo = window.findChild<QComboBox *>("selectEvent");
    for (const auto &[item, name] : types) {
        combo->setCurrentIndex(combo->findText(item));
        const int expected = printed(m_counts, name);
        QVERIFY2(expected > 0, qPrintable(name + " in " + m_counts));
        QCOMPARE(window.findChild<QLabel *>("labelTot")->text(), QString::number(expected));
    }
    // The body positions fill the single-lead tab's summary.
    QVERIFY(!window.findChild<QLabel *>("labelSleepPosition")->text().contains("ND"));
    QVERIFY(prompts.boxes.isEmpty());
}

void AnalysisTest::scoresAgainstTheTruth()
{
    SynthTruth truth;
    TruthScore score;
    QString error;
    QVERIFY2(SynthTruth::read(m_truth, &truth, &error), qPrintable(error));
    QVERIFY2(scoreAnalysis(truth, m_session + "/ANALISI", &score, &error), qPrintable(error));
    const QByteArray report = score.report().toUtf8();
    QVERIFY2(score.sensitivity() >= 0.995 && score.positivePredictivity() >= 0.995, report);
    QVERIFY2(score.vSensitivity() >= 0.95 && score.vPositivePredictivity() >= 0.95, report);
    for (int kind = 0; kind < 6; ++kind)
        QVERIFY2(score.episodes[kind] > 0 && score.found[kind] == score.episodes[kind] && score.extra[kind] == 0, report);
    QVERIFY2(score.beatsInUnreadable == 0 && score.offCovered < 0.05, report);
}

void AnalysisTest::leavesOtherFoldersAlone()
{
    // Its own folder: replaced only with --force.
    const QByteArray own = readFile(m_session + "/ANALISI/annotations_fusion.pt");
    QVERIFY(writeFile(m_session + "/ANALISI/annotations_fusion.pt", "kept\n"));
    ToolRun again = runTool({"analyse", m_session});
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(readFile(m_session + "/ANALISI/annotations_fusion.pt"), QByteArray("kept\n"));
    again = runTool({"analyse", "--force", m_session});
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(readFile(m_session + "/ANALISI/annotations_fusion.pt"), own);

    // Another tool's folder: never, by the tool or the review page's button.
    for (const QByteArray &origin : {QByteArray(), QByteArray("Another analysis 2.1\n")}) {
        const QString folder = m_tmp.filePath("foreign");
        QDir(folder).removeRecursively();
        QVERIFY(writeFile(folder + "/ANALISI/annotations_fusion.pt", "theirs\n"));
        if (!origin.isEmpty())
            QVERIFY(writeFile(folder + "/ANALISI/origin.txt", origin));
        const ToolRun forced = runTool({"analyse", "--force", folder});
        QCOMPARE(forced.exitCode, 1);
        QVERIFY2(forced.err.contains("another analysis tool"), qPrintable(forced.err));
        ScriptedPrompts prompts;
        QVERIFY(!AnalysisAction(prompts).run(folder));
        QCOMPARE(prompts.boxTexts().size(), 1);
        QVERIFY(prompts.progresses.isEmpty());
        QCOMPARE(readFile(folder + "/ANALISI/annotations_fusion.pt"), QByteArray("theirs\n"));
    }
}

void AnalysisTest::cancelLeavesNothing()
{
    const QString folder = m_tmp.filePath("cancel");
    QVERIFY(QDir().mkpath(folder));
    for (const char *name : {"ecg.txt", "imu.txt", "logfile.txt"})
        QVERIFY(QFile::copy(m_session + "/" + name, folder + "/" + name));
    const QStringList before = entries(folder);

    // Stopped half-way through the ECG...
    SessionAnalysis analysis;
    int calls = 0;
    QVERIFY(!analysis.run(folder, false, [&calls](double) { return ++calls < 3; }));
    QVERIFY(analysis.wasCanceled());
    QCOMPARE(entries(folder), before);

    // ... or from the progress dialog's "Annulla".
    ScriptedPrompts prompts;
    prompts.cancelProgressAtCheck = 1;
    QVERIFY(!AnalysisAction(prompts).run(folder));
    QCOMPARE(prompts.progresses.size(), 1);
    QCOMPARE(prompts.progresses[0]->setup.cancelText, QString("Annulla"));
    QVERIFY(!prompts.progresses[0]->open);
    QVERIFY(prompts.boxes.isEmpty());
    QCOMPARE(entries(folder), before);

    // Let run, the same dialog ends with the folder in place.
    ScriptedPrompts finishing;
    QVERIFY(AnalysisAction(finishing).run(folder));
    QCOMPARE(SessionAnalysis::existing(folder), SessionAnalysis::Existing::Own);
    QVERIFY(entries(folder).contains("ANALISI"));
    QCOMPARE(entries(folder).size(), before.size() + 1);
}

KRN_TEST_MAIN(AnalysisTest)
#include "tst_analysis.moc"
