// The demo data made by the real tavokrn-tool: the card beside the data folder imports into the
// "OPEN" demo session, and the "LOADED" demo session has its decoded data on record.
#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "import/ImportWorkflow.h"
#include "import/UsbDownload.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QFileInfo>
#include <QtTest>

namespace {

struct Found {
    PatientRecord patient;
    SessionRecord session;
    int index = -1;
};

Found sessionWithStatus(Database &db, const std::string &status)
{
    std::vector<PatientRecord> patients;
    db.listPatients(std::string(), patients);
    for (const PatientRecord &p : patients) {
        std::vector<SessionRecord> sessions;
        db.listSessions(p.fiscalCode, sessions);
        for (size_t i = 0; i < sessions.size(); ++i) {
            if (sessions[i].status == status)
                return {p, sessions[i], int(i)};
        }
    }
    return {};
}

} // namespace

class DemoDataTest : public QObject
{
    Q_OBJECT
private slots:
    void demoCardImportsIntoOpenSession();
};

void DemoDataTest::demoCardImportsIntoOpenSession()
{
    TestDatabase data; // its own empty database file; the tool adds the demo rows
    QVERIFY2(data.isValid(), qPrintable(data.error()));
    const QString card = data.dataDir() + "/demo-card";
    const ToolRun patients = runTool({"demo-patients", data.dbPath()});
    QVERIFY2(patients.exitCode == 0, qPrintable(patients.err));
    const ToolRun recordings =
        runTool({"demo-recordings", "--hours", "0.02", "--loaded-hours", "0.01", data.dbPath(), data.dataDir(), card});
    QVERIFY2(recordings.exitCode == 0, qPrintable(recordings.err));

    Database &db = data.db();
    const Found loaded = sessionWithStatus(db, "LOADED");
    QVERIFY(loaded.session.id > 0);
    QCOMPARE(QString::fromStdString(loaded.session.dataPathName),
             QString::fromStdString(loaded.patient.fiscalCode) + "/" + QString::number(loaded.session.id));
    const QString loadedFolder = data.dataDir() + "/" + QString::fromStdString(loaded.session.dataPathName);
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt", "logfile.txt", "Puls.txt", "spo2.txt",
                             "ANALISI/annotations_fusion.pt", "ANALISI/positions.txt", "ANALISI/split_L2.txt"})
        QVERIFY2(QFileInfo(loadedFolder + "/" + name).size() > 0, name);
    QVERIFY(loaded.session.endRecDate > loaded.session.startRecDate);

    const Found open = sessionWithStatus(db, "OPEN");
    QVERIFY(open.session.id > 0);
    ScriptedPrompts prompts;
    UsbDownload usb(prompts, db);
    ImportWorkflow workflow(prompts, db, usb);
    ImportTarget target;
    target.sessionIndex = open.index;
    target.session = open.session;
    target.patient = open.patient;
    target.dataFolder = data.dataDir();
    prompts.directories << card;
    prompts.buttons << "IMPORTA SPO2";
    prompts.files << card + "/Puls.txt";
    QVERIFY(workflow.importFolder(target));
    // Only the SpO2 question: the identifier matched and the export was taken.
    QCOMPARE(prompts.boxTexts(), QStringList{"Importazione Dati SPO2"});
    QVERIFY(QFileInfo(ImportWorkflow::sessionFolder(target) + "/spo2.txt").size() > 0);
    QCOMPARE(QString::fromStdString(sessionWithStatus(db, "OPEN").patient.fiscalCode), QString());
}

KRN_TEST_GUILESS_MAIN(DemoDataTest)
#include "tst_demodata.moc"
