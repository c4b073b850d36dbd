// The real tavokrn-tool binary (path in KRN_TOOL) filling a fresh database with demo patients.
#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "patients/FiscalCode.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/ToolRun.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

#include <set>

namespace {

ToolRun demoPatients(const QStringList &args) { return runTool(QStringList{"demo-patients"} + args, 30000); }

std::vector<PatientRecord> patientsIn(const QString &file)
{
    Database db;
    db.open(file);
    std::vector<PatientRecord> out;
    db.listPatients(std::string(), out);
    return out;
}

std::vector<SessionRecord> sessionsIn(const QString &file)
{
    Database db;
    db.open(file);
    std::vector<SessionRecord> out;
    db.listSessions(std::string(), out);
    return out;
}

} // namespace

class DemoPatientsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!qEnvironmentVariable("KRN_TOOL").isEmpty(), "KRN_TOOL is not set"); }
    void fillsEveryStateWithValidCodes();
    void refusesASecondRun();
    void reportsBadArguments();
};

void DemoPatientsTest::fillsEveryStateWithValidCodes()
{
    TestDatabase fixture;
    QVERIFY2(fixture.isValid(), qPrintable(fixture.error()));
    const ToolRun r = demoPatients({fixture.dbPath()});
    QCOMPARE(r.exitCode, 0);

    const std::vector<PatientRecord> patients = patientsIn(fixture.dbPath());
    QVERIFY(patients.size() >= 3);
    std::set<std::string> patientStates;
    for (const PatientRecord &p : patients) {
        patientStates.insert(p.status);
        const QDate birth = QDateTime::fromSecsSinceEpoch(p.birthDate, Qt::UTC).date();
        QVERIFY2(fiscalCodeMatches(QString::fromStdString(p.fiscalCode), QString::fromStdString(p.surname),
                                   QString::fromStdString(p.name), birth, !p.isMale),
                 p.fiscalCode.c_str());
        QCOMPARE(QDateTime(birth, QTime(0, 0), Qt::UTC).toSecsSinceEpoch(), p.birthDate);
        QVERIFY(p.height > 0 && p.height <= 250 && p.weight > 0 && p.weight <= 250);
    }
    QCOMPARE(patientStates, (std::set<std::string>{"FREE", "OPEN", "LOADED"}));

    std::set<std::string> sessionStates;
    for (const SessionRecord &s : sessionsIn(fixture.dbPath())) {
        sessionStates.insert(s.status);
        QVERIFY(s.startSetupDate > 0 && s.startRecDate >= s.startSetupDate);
    }
    for (const char *status : {"OPEN", "LOADED", "ANALYZED"})
        QVERIFY2(sessionStates.count(status) == 1, status);
    QCOMPARE(sessionStates.size(), size_t(4)); // and one status no step knows
}

void DemoPatientsTest::refusesASecondRun()
{
    TestDatabase fixture;
    QVERIFY2(fixture.isValid(), qPrintable(fixture.error()));
    fixture.addPatient("RSSMRA80A01H501U");
    const ToolRun r = demoPatients({fixture.dbPath()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains("already holds 1 patients"), qPrintable(r.out));
    QCOMPARE(patientsIn(fixture.dbPath()).size(), size_t(1));
    QVERIFY(sessionsIn(fixture.dbPath()).empty());

    TestDatabase empty;
    QCOMPARE(demoPatients({empty.dbPath()}).exitCode, 0);
    const size_t count = patientsIn(empty.dbPath()).size();
    const size_t sessionCount = sessionsIn(empty.dbPath()).size();
    QCOMPARE(demoPatients({empty.dbPath()}).exitCode, 0);
    QCOMPARE(patientsIn(empty.dbPath()).size(), count);
    QCOMPARE(sessionsIn(empty.dbPath()).size(), sessionCount);
}

void DemoPatientsTest::reportsBadArguments()
{
    QCOMPARE(demoPatients({}).exitCode, 2);
    TestDatabase fixture;
    const ToolRun missing = demoPatients({fixture.dataDir() + "/missing.db"});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains("cannot open database"), qPrintable(missing.err));
    QVERIFY(!QFile::exists(fixture.dataDir() + "/missing.db"));
}

KRN_TEST_GUILESS_MAIN(DemoPatientsTest)
#include "tst_demopatients.moc"
