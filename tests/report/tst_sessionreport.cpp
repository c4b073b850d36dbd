// Closing a session with its report on a real database file: the PDF first, then the session
// "ANALYZED"; each way it can fail leaves the session as the database has it. Opening a stored
// report through the desktop seam, with its boxes.

#include "tests/support/TestMain.h"
#include "report/SessionReport.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QDir>
#include <QFile>

class tst_SessionReport : public QObject
{
    Q_OBJECT

private:
    TestDatabase m_fixture;
    ReportInput m_input;
    SessionRecord m_session;

    SessionRecord stored() const
    {
        std::vector<SessionRecord> sessions;
        const_cast<TestDatabase &>(m_fixture).db().listSessions(m_session.patientFC, sessions);
        for (const SessionRecord &s : sessions) {
            if (s.id == m_session.id)
                return s;
        }
        return {};
    }

private slots:
    void init()
    {
        QVERIFY2(m_fixture.isValid(), qPrintable(m_fixture.error()));
        static int patients = 0;
        const std::string code = "RSSMRA80A01H50" + std::to_string(10 + patients++);
        m_input = ReportInput();
        m_input.patient = m_fixture.addPatient(code, "Rossi", "Mario");
        m_session = m_fixture.addSession(code, "LOADED", 1709540100);
        m_session.dataPathName = code + "/" + std::to_string(m_session.id);
        QVERIFY(m_fixture.db().updateSession(m_session));
        m_input.session = m_session;
        m_input.author = m_fixture.addUser("u" + code, "pw", "", "Anna", "Bianchi");
        m_input.sessionFolder = m_fixture.dataDir() + "/" + QString::fromStdString(m_session.dataPathName);
        QVERIFY(QDir().mkpath(m_input.sessionFolder));
    }

    void analysedWithItsReport()
    {
        SessionReport report;
        QCOMPARE(report.generate(m_input, m_fixture.db(), m_fixture.dataDir(), &m_session),
                 SessionReport::Result::Done);
        QVERIFY(QFile::exists(m_input.sessionFolder + "/Report.pdf"));
        QCOMPARE(report.pageCount(), 2);
        const SessionRecord row = stored();
        QCOMPARE(row.status, std::string("ANALYZED"));
        QCOMPARE(row.reportPathName, m_session.dataPathName + "/Report.pdf");
        QCOMPARE(row.whoAnalyzedID, m_input.author.id);
        QCOMPARE(row.reportGenerationDate, int64_t(0));
        QCOMPARE(m_session.status, std::string("ANALYZED"));
        QCOMPARE(SessionReport::reportFile(m_fixture.dataDir(), row), m_input.sessionFolder + "/Report.pdf");
    }

    // The database refuses the update: the PDF stays, the session keeps its status everywhere.
    void refusedUpdateKeepsThePdf()
    {
        QVERIFY(m_fixture.db().execute({"CREATE TRIGGER refuse BEFORE UPDATE ON SESSIONS BEGIN "
                                        "SELECT RAISE(ABORT, 'sessions are read-only'); END;"}));
        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error sessions are read-only");
        SessionReport report;
        const SessionRecord before = m_session;
        QCOMPARE(report.generate(m_input, m_fixture.db(), m_fixture.dataDir(), &m_session),
                 SessionReport::Result::SessionNotUpdated);
        QVERIFY(m_fixture.db().execute({"DROP TRIGGER refuse;"}));
        QVERIFY2(report.errorString().contains("sessions are read-only"), qPrintable(report.errorString()));
        QVERIFY(QFile::exists(m_input.sessionFolder + "/Report.pdf"));
        QCOMPARE(m_session.status, before.status);
        QCOMPARE(m_session.reportPathName, before.reportPathName);
        QCOMPARE(stored().status, std::string("LOADED"));
    }

    void unwrittenPdfChangesNothing()
    {
        QVERIFY(QDir(m_input.sessionFolder).removeRecursively());
        QFile blocker(m_input.sessionFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        krntest::expectMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        SessionReport report;
        QCOMPARE(report.generate(m_input, m_fixture.db(), m_fixture.dataDir(), &m_session),
                 SessionReport::Result::PdfNotWritten);
        QVERIFY(!report.errorString().isEmpty());
        QCOMPARE(m_session.status, std::string("LOADED"));
        QCOMPARE(stored().status, std::string("LOADED"));
        QCOMPARE(stored().reportPathName, std::string());
    }

    void reportPaths_data()
    {
        QTest::addColumn<QString>("dataFolder");
        QTest::addColumn<QString>("sessionFolder");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("opened");
        QTest::newRow("default data folder") << "/opt/tavokrn/DATA" << "/opt/tavokrn/DATA/RSSMRA80A01H501U/7"
                                             << "RSSMRA80A01H501U/7/Report.pdf"
                                             << "/opt/tavokrn/DATA/RSSMRA80A01H501U/7/Report.pdf";
        QTest::newRow("--data-dir elsewhere") << "/home/u/demo/DATA/" << "/home/u/demo/DATA//RSS/3"
                                              << "RSS/3/Report.pdf" << "/home/u/demo/DATA/RSS/3/Report.pdf";
        QTest::newRow("a folder outside the data folder stays whole")
            << "/data" << "/mnt/card/RSS/3" << "/mnt/card/RSS/3/Report.pdf" << "/mnt/card/RSS/3/Report.pdf";
        QTest::newRow("prefix of a name is not a folder") << "/data" << "/data2/RSS/3" << "/data2/RSS/3/Report.pdf"
                                                          << "/data2/RSS/3/Report.pdf";
    }

    void reportPaths()
    {
        QFETCH(QString, dataFolder);
        QFETCH(QString, sessionFolder);
        QFETCH(QString, stored);
        QFETCH(QString, opened);
        QCOMPARE(SessionReport::reportPathName(dataFolder, sessionFolder), stored);
        SessionRecord session;
        session.reportPathName = stored.toStdString();
        QCOMPARE(SessionReport::reportFile(dataFolder, session), opened);
        QCOMPARE(SessionReport::reportFile(dataFolder, SessionRecord()), QString());
    }

    void openingAStoredReport()
    {
        SessionReport report;
        QCOMPARE(report.generate(m_input, m_fixture.db(), m_fixture.dataDir(), &m_session),
                 SessionReport::Result::Done);
        RecordingDesktop desktop;
        ScriptedPrompts prompts;
        QVERIFY(openSessionReport(m_fixture.dataDir(), m_session, desktop, prompts));
        QCOMPARE(desktop.opened, QStringList{m_input.sessionFolder + "/Report.pdf"});
        QVERIFY(prompts.boxes.isEmpty());

        desktop.hasViewer = false;
        QVERIFY(!openSessionReport(m_fixture.dataDir(), m_session, desktop, prompts));
        QCOMPARE(prompts.boxTexts(), QStringList{"Errore apertura report|Non è stato trovato un programma predefinito "
                                                 "per aprire il file Report.pdf"});
        QCOMPARE(prompts.boxes.last().icon, Prompts::Icon::Critical);
        QCOMPARE(prompts.boxes.last().buttons.size(), 1);

        // A report that is gone (or a session analysed without one) is not handed to the viewer.
        QVERIFY(QFile::remove(m_input.sessionFolder + "/Report.pdf"));
        desktop.opened.clear();
        QVERIFY(!openSessionReport(m_fixture.dataDir(), m_session, desktop, prompts));
        QVERIFY(!openSessionReport(m_fixture.dataDir(), SessionRecord(), desktop, prompts));
        QVERIFY(desktop.opened.isEmpty());
        const QString missing = "Errore apertura report|Il file Report.pdf di questa sessione non è stato trovato.";
        QCOMPARE(prompts.boxTexts().mid(1), (QStringList{missing, missing}));
    }
};

KRN_TEST_MAIN(tst_SessionReport)
#include "tst_sessionreport.moc"
