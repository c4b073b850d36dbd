// tavokrn-tool report, run as a user would run it, on the demo data the tool itself makes: the
// "LOADED" demo session with its decoded recording and analysis folder is reported and becomes
// "ANALYZED"; what cannot be reported is refused with its exit code.

#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "tests/support/PdfReader.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QRegularExpression>

#include <algorithm>
#include <functional>

namespace {

SessionRecord findSession(Database &db, const std::function<bool(const SessionRecord &)> &match)
{
    std::vector<SessionRecord> sessions;
    db.listSessions(std::string(), sessions);
    const auto found = std::find_if(sessions.begin(), sessions.end(), match);
    return found == sessions.end() ? SessionRecord() : *found;
}

// The beat file's lines that are beats (code other than "+").
int beatLines(const QString &path)
{
    int n = 0;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QStringList tokens = QString::fromUtf8(line).split(QRegularExpression("[ \\t]+"), Qt::SkipEmptyParts);
        n += !tokens.isEmpty() && tokens.value(2) != "+" ? 1 : 0;
    }
    return n;
}

} // namespace

class tst_ReportTool : public QObject
{
    Q_OBJECT

private:
    TestDatabase m_data;
    SessionRecord m_loaded;
    UserRecord m_author;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_data.isValid(), qPrintable(m_data.error()));
        m_author = m_data.addUser("mrossi", "pw", "", "Marco", "Neri");
        const ToolRun patients = runTool({"demo-patients", m_data.dbPath()});
        QVERIFY2(patients.exitCode == 0, qPrintable(patients.err));
        const ToolRun recordings = runTool({"demo-recordings", "--hours", "0.02", "--loaded-hours", "0.1",
                                            m_data.dbPath(), m_data.dataDir(), m_data.dataDir() + "/card"});
        QVERIFY2(recordings.exitCode == 0, qPrintable(recordings.err));
        m_loaded = findSession(m_data.db(), [](const SessionRecord &s) { return s.status == "LOADED" && !s.dataPathName.empty(); });
        QVERIFY(m_loaded.id > 0);
    }

    // The review's road without the page: the analysis folder's events in the table, a few of them
    // reviewed, then the report.
    void reportsALoadedSession()
    {
        const QString folder = m_data.dataDir() + "/" + QString::fromStdString(m_loaded.dataPathName);
        const ToolRun events = runTool({"events", m_data.dbPath(), QString::number(m_loaded.id), folder + "/ANALISI"});
        QVERIFY2(events.exitCode == 0, qPrintable(events.err));
        std::vector<AnnotationRecord> rows;
        QVERIFY(m_data.db().listAnnotations(m_loaded.id, std::string(), rows));
        int accepted = 0;
        for (AnnotationRecord &row : rows) {
            if (row.m_type == "veb" && accepted < 3) {
                row.m_status = accepted++ == 0 ? "printed" : "checked";
                QVERIFY(m_data.db().updateAnnotation(row));
            }
        }
        QCOMPARE(accepted, 3);

        const ToolRun run = runTool({"report", m_data.dbPath(), QString::number(m_loaded.id), "--comment",
                                     "Referto di prova: ritmo sinusale", "--hours", "12", "--minutes", "30", "--user",
                                     "mrossi"});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QString pdfPath = folder + "/Report.pdf";
        QCOMPARE(run.out.trimmed(),
                 QString("report %1 pages 2; session %2 ANALYZED").arg(pdfPath).arg(m_loaded.id));

        const SessionRecord stored = findSession(m_data.db(), [&](const SessionRecord &s) { return s.id == m_loaded.id; });
        QCOMPARE(stored.status, std::string("ANALYZED"));
        QCOMPARE(stored.reportPathName, m_loaded.dataPathName + "/Report.pdf");
        QCOMPARE(stored.whoAnalyzedID, m_author.id);

        const PdfFacts pdf = readPdf(pdfPath);
        QVERIFY2(pdf.ok, qPrintable(pdf.error));
        QCOMPARE(pdf.pages, 2);
        QVERIFY(pdf.text.contains("Referto di prova: ritmo sinusale"));
        QCOMPARE(pdf.wordsAfter("Autore", 2), (QStringList{"Marco", "Neri"}));
        QCOMPARE(pdf.wordsAfter("Durata periodo controllato", 1), QStringList{"12:30"});
        QCOMPARE(pdf.wordsAfter("Battiti analizzati", 1),
                 QStringList{QString::number(beatLines(folder + "/ANALISI/annotations_fusion.pt"))});
        QCOMPARE(pdf.wordsAfter(QRegularExpression("Battiti(?! analizzati)( ectopici)?( ventricolari)?"), 6),
                 (QStringList{"0", "0.00", "0", "3", "0.13", "3"}));
    }

    // Once analysed, a session is never reported again; nor is one without imported data.
    void refusals_data()
    {
        QTest::addColumn<QString>("session"); // "loaded" (analysed by now), "open" or an id
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("already analysed") << "loaded" << QStringList() << 1 << "is already analysed; its report is ";
        QTest::newRow("nothing imported") << "open" << QStringList() << 1 << "only an imported (\"LOADED\") session";
        QTest::newRow("no such session") << "99999" << QStringList() << 1 << "no session 99999";
        QTest::newRow("no such user") << "open" << QStringList{"--user", "nobody"} << 1 << "no user nobody";
        QTest::newRow("not an id") << "first" << QStringList() << 2 << "is not a session id";
        QTest::newRow("minutes over 59") << "open" << QStringList{"--minutes", "75"} << 2 << "--minutes 0 to 59";
        QTest::newRow("hours not a number") << "open" << QStringList{"--hours", "dodici"} << 2 << "--hours";
    }

    void refusals()
    {
        QFETCH(QString, session);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QString id = session;
        if (session == "loaded")
            id = QString::number(m_loaded.id);
        else if (session == "open")
            id = QString::number(findSession(m_data.db(), [](const SessionRecord &s) { return s.status == "OPEN"; }).id);
        const ToolRun run = runTool(QStringList{"report", m_data.dbPath(), id} + options);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains("tavokrn-tool report: ") && run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }

    void usage() { QCOMPARE(runTool({"report"}).exitCode, 2); }
};

KRN_TEST_MAIN(tst_ReportTool)
#include "tst_reporttool.moc"
