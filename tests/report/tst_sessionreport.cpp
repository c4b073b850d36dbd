// Where a session's report is stored and found again, relative to the data folder in use, and
// opening it through the desktop seam with its boxes. (Writing it and closing the session are
// driven end to end from the review page and by tavokrn-tool.)

#include "tests/support/TestMain.h"
#include "report/SessionReport.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class tst_SessionReport : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("a longer name is not inside") << "/data" << "/data2/RSS/3" << "/data2/RSS/3/Report.pdf"
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

    // A report that is gone, or a session analysed without one, is not handed to the viewer.
    void openingAStoredReport()
    {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath("RSS/3"));
        QFile pdf(data.filePath("RSS/3/Report.pdf"));
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.close();
        SessionRecord session;
        session.status = "ANALYZED";
        session.reportPathName = "RSS/3/Report.pdf";
        RecordingDesktop desktop;
        ScriptedPrompts prompts;
        QVERIFY(openSessionReport(data.path(), session, desktop, prompts));
        QCOMPARE(desktop.opened, QStringList{pdf.fileName()});
        QVERIFY(prompts.boxes.isEmpty());

        QVERIFY(pdf.remove());
        QVERIFY(!openSessionReport(data.path(), session, desktop, prompts));
        QVERIFY(!openSessionReport(data.path(), SessionRecord(), desktop, prompts));
        QCOMPARE(desktop.opened.size(), 1);
        const QString missing = "Errore apertura report|Il file Report.pdf di questa sessione non è stato trovato.";
        QCOMPARE(prompts.boxTexts(), (QStringList{missing, missing}));
        QCOMPARE(prompts.boxes.last().icon, Prompts::Icon::Critical);
    }
};

KRN_TEST_APPLESS_MAIN(tst_SessionReport)
#include "tst_sessionreport.moc"
