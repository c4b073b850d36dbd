// The database layer against a real SQLite file made from the schema.
#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "db/Password.h"
#include "db/Schema.h"
#include "tests/support/TestDatabase.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <unistd.h>

namespace {

// Redirects the process's standard output into a temporary file until take() is called.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        flushAll();
        m_file = std::tmpfile();
        m_saved = dup(STDOUT_FILENO);
        dup2(fileno(m_file), STDOUT_FILENO);
    }
    ~StdoutCapture() { take(); }

    std::string take()
    {
        if (!m_file)
            return m_text;
        flushAll();
        dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        std::rewind(m_file);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            m_text.append(buffer, n);
        std::fclose(m_file);
        m_file = nullptr;
        return m_text;
    }

private:
    static void flushAll()
    {
        std::cout.flush();
        std::fflush(stdout);
    }
    std::FILE *m_file = nullptr;
    int m_saved = -1;
    std::string m_text;
};

int scalar(Database &db, const std::string &sql)
{
    int value = -1;
    if (!db.execute({sql, {}, [&value](sqlite3_stmt *s) { value = sqlite3_column_int(s, 0); }}))
        return -2;
    return value;
}

AnnotationRecord annotation(int sessionId, const std::string &source, int64_t start, const std::string &type,
                            const std::string &status)
{
    AnnotationRecord a;
    a.m_index = int(start);
    a.m_validator = "Dr. Bianchi";
    a.m_dateStart = start;
    a.m_dateEnd = start + 10;
    a.m_dateMax = start + 4;
    a.m_valueMax = 87.5f;
    a.m_type = type;
    a.m_status = status;
    a.m_family = "resp";
    a.m_channel = "thorax";
    a.m_sessionId = sessionId;
    a.m_sourceId = source;
    return a;
}

const char queryError[] = "[DB] Query execution error ";

} // namespace

class TestDatabaseLayer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> fx;

private slots:
    void init()
    {
        fx = std::make_unique<TestDatabase>();
        QVERIFY2(fx->isValid(), qPrintable(fx->error()));
    }
    void cleanup() { fx.reset(); }

    void openMissingFileIsNotCreated()
    {
        const QString path = fx->dataDir() + "/absent.db";
        Database db;
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] Can't load database file: " + path));
        db.open(path);
        QVERIFY(!db.isOpen());
        QCOMPARE(db.fileName(), path);
        QVERIFY(!QFile::exists(path));

        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error database not open");
        std::vector<UserRecord> users;
        QVERIFY(!db.listUsers(users));
        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error database not open");
        QCOMPARE(db.countAnnotations(1, "x", "a", "b"), -1);
        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error database not open");
        QVERIFY(!db.executeTransaction({{"SELECT 1"}}));
        QVERIFY(!QFile::exists(path));
    }

    void openLogsAndRunsTheUserQuery()
    {
        Database db;
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] loaded file " + fx->dbPath()));
        db.open(fx->dbPath());
        QVERIFY(db.isOpen());
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] file {} closed successfully " + fx->dbPath()));
        db.close();
        QVERIFY(!db.isOpen());

        // A file without the schema opens, but the smoke-test user query reports it at once.
        const QString empty = fx->dataDir() + "/empty.db";
        QFile file(empty);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] loaded file " + empty));
        krntest::expectMessage(QtInfoMsg, "[DB] Query execution error no such table: USERS");
        StdoutCapture out;
        db.open(empty);
        QCOMPARE(out.take(), std::string("no such table: USERS\n"));
        QVERIFY(db.isOpen());

        // Reopening closes the previous connection first.
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] file {} closed successfully " + empty));
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] loaded file " + fx->dbPath()));
        db.open(fx->dbPath());
        QCOMPARE(db.fileName(), fx->dbPath());
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] file {} closed successfully " + fx->dbPath()));
    }

    void executeBindsReadsAndReportsErrors()
    {
        Database &db = fx->db();
        int rows = 0;
        QVERIFY(db.execute({"SELECT id FROM PATIENTS", {}, [&rows](sqlite3_stmt *) { ++rows; }}));
        QCOMPARE(rows, 0);

        // Parameters by number, text with its bytes, and a NULL text column as a null pointer.
        const std::string text = "perché";
        std::vector<std::string> read;
        bool sawNull = false;
        QVERIFY(db.execute({"SELECT ?2 UNION ALL SELECT ?1 UNION ALL SELECT NULL",
                            [&text](sqlite3_stmt *s) {
                                sqlite3_bind_text(s, 1, text.c_str(), int(text.size()), SQLITE_STATIC);
                                sqlite3_bind_int(s, 2, 7);
                            },
                            [&](sqlite3_stmt *s) {
                                const unsigned char *t = sqlite3_column_text(s, 0);
                                if (t)
                                    read.push_back(reinterpret_cast<const char *>(t));
                                else
                                    sawNull = true;
                            }}));
        QCOMPARE(read, (std::vector<std::string>{"7", "perché"}));
        QVERIFY(sawNull);

        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "no such table: NOPE"));
        StdoutCapture out;
        QVERIFY(!db.execute({"SELECT * FROM NOPE"}));
        QCOMPARE(out.take(), std::string("no such table: NOPE\n"));

        // A step error after rows were delivered still fails, and the statement is released
        // (otherwise the close below would fail).
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "integer overflow"));
        StdoutCapture out2;
        rows = 0;
        QVERIFY(!db.execute({"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
                             "SELECT CASE WHEN i < 3 THEN i ELSE abs(-9223372036854775808) END FROM n",
                             {}, [&rows](sqlite3_stmt *) { ++rows; }}));
        QCOMPARE(out2.take(), std::string("integer overflow\n"));
        QCOMPARE(rows, 2);

        // An exception from a row callback does not escape either.
        StdoutCapture out3;
        QVERIFY(!db.execute({"SELECT 1", {}, [](sqlite3_stmt *) { throw std::runtime_error("callback failed"); }}));
        QCOMPARE(out3.take(), std::string("callback failed\n"));

        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] file {} closed successfully " + fx->dbPath()));
        db.close();
        QVERIFY(!db.isOpen());
    }

    void failingTransactionRollsBack()
    {
        Database &db = fx->db();
        QVERIFY(db.execute({"CREATE TABLE T (x INTEGER UNIQUE)"}));
        QVERIFY(db.execute({"INSERT INTO T VALUES (2)"}));

        bool thirdRun = false;
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "UNIQUE constraint failed: T.x"));
        StdoutCapture out;
        QVERIFY(!db.executeTransaction({{"INSERT INTO T VALUES (1)"},
                                        {"INSERT INTO T VALUES (2)"},
                                        {"INSERT INTO T VALUES (3)", [&thirdRun](sqlite3_stmt *) { thirdRun = true; }}}));
        QCOMPARE(out.take(), std::string()); // the log line is the only report
        QVERIFY(!thirdRun);
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM T"), 1);
        QCOMPARE(scalar(db, "SELECT MIN(x) FROM T"), 2);

        // The transaction really ended: a new one commits normally.
        QVERIFY(db.executeTransaction({{"INSERT INTO T VALUES (4)"}, {"INSERT INTO T VALUES (5)"}}));
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM T"), 3);
        QVERIFY(db.executeTransaction({}));
    }

    void foreignKeysAreEnforced()
    {
        Database &db = fx->db();
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "FOREIGN KEY constraint failed"));
        StdoutCapture out;
        QVERIFY(!db.execute({"INSERT INTO SESSIONS (patientFC, status) VALUES ('NOBODY', 'OPEN')"}));
        out.take();

        // An annotation of an unknown session: nothing stored, no id.
        AnnotationRecord a = annotation(999, "ecg", 10, "apnea", "todo");
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "FOREIGN KEY constraint failed"));
        QVERIFY(!db.insertAnnotation(a));
        QCOMPARE(db.lastError(), QString("FOREIGN KEY constraint failed"));
        QCOMPARE(a.m_id, 0);
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM ANNOTATIONS"), 0);

        // A patient with sessions cannot be deleted; correcting the fiscal code carries them along.
        PatientRecord p = fx->addPatient("RSSMRA80A01H501U");
        const SessionRecord s = fx->addSession(p.fiscalCode);
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "FOREIGN KEY constraint failed"));
        StdoutCapture out2;
        QVERIFY(!db.deletePatient(p.fiscalCode));
        out2.take();
        p.fiscalCode = "RSSMRA80A01H501V";
        QVERIFY(db.updatePatient(p));
        QVERIFY(db.lastError().isEmpty());
        std::vector<SessionRecord> sessions;
        QVERIFY(db.listSessions(p.fiscalCode, sessions));
        QCOMPARE(int(sessions.size()), 1);
        QCOMPARE(sessions[0].id, s.id);
    }

    void patientRoundTrip()
    {
        Database &db = fx->db();
        PatientRecord first = fx->addPatient("BNCLCU70A01F205X", "Bianchi", "Luca");
        PatientRecord p;
        p.name = "Giulia";
        p.surname = "Conti";
        p.fiscalCode = "CNTGLI85M41L219K";
        p.isMale = false;
        p.archived = true;
        p.height = 255;
        p.weight = 48;
        p.birthDate = -631152000; // 1950-01-01, before the epoch
        p.status = "FREE";
        p.note = "allergia: lattice";
        QVERIFY(db.insertPatient(p));
        QVERIFY(p.id > 0);
        QVERIFY(p.id != first.id);

        std::vector<PatientRecord> all;
        QVERIFY(db.listPatients("", all));
        QCOMPARE(int(all.size()), 2);
        QCOMPARE(all[0].surname, std::string("Bianchi"));
        const PatientRecord &r = all[1];
        QCOMPARE(r.id, p.id);
        QCOMPARE(r.name, p.name);
        QCOMPARE(r.fiscalCode, p.fiscalCode);
        QCOMPARE(r.isMale, false);
        QCOMPARE(r.archived, true);
        QCOMPARE(int(r.height), 255);
        QCOMPARE(int(r.weight), 48);
        QCOMPARE(r.birthDate, p.birthDate);
        QCOMPARE(r.status, p.status);
        QCOMPARE(r.note, p.note);
        QCOMPARE(all[0].isMale, true);

        // The update changes only its own row.
        p.status = "OPEN";
        p.isMale = true;
        p.archived = false;
        p.note.clear();
        QVERIFY(db.updatePatient(p));
        all.clear();
        QVERIFY(db.listPatients("", all));
        QCOMPARE(all[1].status, std::string("OPEN"));
        QCOMPARE(all[1].isMale, true);
        QCOMPARE(all[1].archived, false);
        QCOMPARE(all[1].note, std::string());
        QCOMPARE(all[0].status, std::string("FREE"));

        // The schema refuses a second patient with the same fiscal code.
        PatientRecord twin = first;
        twin.id = 0;
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "UNIQUE constraint failed: PATIENTS.fiscalcode"));
        StdoutCapture out;
        QVERIFY(!db.insertPatient(twin));
        out.take();
        QCOMPARE(twin.id, 0);

        QVERIFY(db.deletePatient(first.fiscalCode));
        all.clear();
        QVERIFY(db.listPatients("", all));
        QCOMPARE(int(all.size()), 1);
        QCOMPARE(all[0].id, p.id);
    }

    void patientUpdateByIdOnly()
    {
        Database &db = fx->db();
        QVERIFY(db.execute({"INSERT INTO PATIENTS (id, name, surname, fiscalcode) VALUES (42, 'A', 'Uno', 'FC42')"}));
        QVERIFY(db.execute({"INSERT INTO PATIENTS (id, name, surname, fiscalcode) VALUES (4, 'B', 'Due', 'FC4')"}));
        PatientRecord p;
        p.id = 42;
        p.name = "Anna";
        p.surname = "Uno";
        p.fiscalCode = "FC42";
        p.status = "LOADED";
        QVERIFY(db.updatePatient(p));
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM PATIENTS WHERE status = 'LOADED'"), 1);
        QCOMPARE(scalar(db, "SELECT id FROM PATIENTS WHERE name = 'Anna'"), 42);
    }

    void patientNullAndOddColumns()
    {
        Database &db = fx->db();
        QVERIFY(db.execute({"INSERT INTO PATIENTS (fiscalcode) VALUES ('NULLFC')"}));
        QVERIFY(db.execute({"INSERT INTO PATIENTS (fiscalcode, sex, archived, height, weight) "
                            "VALUES ('ODDFC', 'M', 2, 300, -5)"}));
        std::vector<PatientRecord> all;
        QVERIFY(db.listPatients("", all));
        QCOMPARE(int(all.size()), 2);
        const auto &nulls = all[0].fiscalCode == "NULLFC" ? all[0] : all[1];
        const auto &odd = all[0].fiscalCode == "NULLFC" ? all[1] : all[0];
        QCOMPARE(nulls.name, std::string());
        QCOMPARE(nulls.surname, std::string());
        QCOMPARE(nulls.status, std::string());
        QCOMPARE(nulls.note, std::string());
        QCOMPARE(nulls.isMale, false); // NULL sex reads female
        QCOMPARE(nulls.birthDate, int64_t(0));
        QCOMPARE(odd.isMale, true);
        QCOMPARE(odd.archived, false); // only 1 means archived
        QCOMPARE(int(odd.height), 255); // saturates, does not wrap to 44
        QCOMPARE(int(odd.weight), 0);
    }

    void patientSearch()
    {
        fx->addPatient("RSSMRA80A01H501U", "Rossi", "Mario");
        fx->addPatient("RSSGPP75B02F205Z", "ROSSINI", "Giuseppe");
        fx->addPatient("VRDRSO90C43L219A", "Verdi", "Rosa");
        fx->addPatient("ROSLCU60D04A662B", "Bianchi", "Luca"); // ROS only in the fiscal code
        Database &db = fx->db();

        for (const std::string search : {"ros", "ROS", "rOs"}) {
            std::vector<PatientRecord> found;
            QVERIFY(db.listPatients(search, found));
            std::vector<std::string> surnames;
            for (const auto &p : found)
                surnames.push_back(p.surname);
            QCOMPARE(surnames, (std::vector<std::string>{"Rossi", "ROSSINI", "Verdi"}));
        }
        std::vector<PatientRecord> found;
        QVERIFY(db.listPatients("ini", found));
        QCOMPARE(int(found.size()), 1);
        found.clear();
        QVERIFY(db.listPatients("zzz", found));
        QVERIFY(found.empty());
        found.clear();
        QVERIFY(db.listPatients("", found));
        QCOMPARE(int(found.size()), 4);
        QCOMPARE(found[0].surname, std::string("Bianchi"));
    }

    void usersAndPasswordDigest()
    {
        QCOMPARE(passwordDigest("password"), std::string("5f4dcc3b5aa765d61d8327deb882cf99"));
        QCOMPARE(passwordDigest(QString::fromUtf8("perché")), std::string("9ec9c29be21ecf2943988d3dc8ac5e69"));

        const UserRecord nurse = fx->addUser("mrossi", "segreta", "nurse", "Maria", "rossi");
        const UserRecord doctor = fx->addUser("gverdi", "altra", "", "Giovanni", "Verdi");
        fx->addUser("abianchi", "x", "admin", "Anna", "Bianchi");
        QVERIFY(nurse.id > 0 && doctor.id > 0 && nurse.id != doctor.id);

        std::vector<UserRecord> users;
        QVERIFY(fx->db().listUsers(users));
        QCOMPARE(int(users.size()), 3);
        QCOMPARE(users[0].username, std::string("abianchi"));
        QCOMPARE(users[1].username, std::string("mrossi")); // surname order ignores case
        QCOMPARE(users[1].id, nurse.id);
        QCOMPARE(users[1].name, std::string("Maria"));
        QCOMPARE(users[1].surname, std::string("rossi"));
        QCOMPARE(users[1].password, passwordDigest("segreta"));
        QCOMPARE(users[1].role, std::string("nurse"));
        QCOMPARE(users[2].role, std::string());
    }

    void sessionInsertAndList()
    {
        const PatientRecord p = fx->addPatient("RSSMRA80A01H501U");
        const PatientRecord q = fx->addPatient("VRDRSO90C43L219A", "Verdi", "Rosa");
        Database &db = fx->db();

        SessionRecord s;
        s.patientFC = p.fiscalCode;
        s.status = "OPEN";
        s.whoOpenedID = 3;
        s.whoImportedID = 4;
        s.whoAnalyzedID = 5;
        s.startRecDate = 1700000300;
        s.startSetupDate = 1700000000;
        s.importDate = 1700100000;
        s.reportGenerationDate = 1700200000;
        s.reportPathName = "Report.pdf";
        s.dataPathName = "not written by the insert";
        s.calibration = "1.02;0.98";
        QVERIFY(db.insertSession(s));
        QVERIFY(s.id > 0);
        const SessionRecord older = fx->addSession(p.fiscalCode, "LOADED", 1700000100);
        const SessionRecord middle = fx->addSession(p.fiscalCode, "ANALYZED", 1700000200);
        const SessionRecord other = fx->addSession(q.fiscalCode);
        const std::set<int> ids{s.id, older.id, middle.id, other.id};
        QCOMPARE(int(ids.size()), 4);

        std::vector<SessionRecord> list;
        QVERIFY(db.listSessions(p.fiscalCode, list));
        QCOMPARE(int(list.size()), 3);
        QCOMPARE(list[0].id, s.id); // newest recording first
        QCOMPARE(list[1].id, middle.id);
        QCOMPARE(list[2].id, older.id);
        const SessionRecord &r = list[0];
        QCOMPARE(r.patientFC, s.patientFC);
        QCOMPARE(r.status, s.status);
        QCOMPARE(r.whoOpenedID, 3);
        QCOMPARE(r.whoImportedID, 4);
        QCOMPARE(r.whoAnalyzedID, 5);
        QCOMPARE(r.startRecDate, s.startRecDate);
        QCOMPARE(r.startSetupDate, s.startSetupDate);
        QCOMPARE(r.importDate, s.importDate);
        QCOMPARE(r.reportGenerationDate, s.reportGenerationDate);
        QCOMPARE(r.reportPathName, s.reportPathName);
        QCOMPARE(r.calibration, s.calibration);
        QCOMPARE(r.dataPathName, std::string()); // NULL column
        QCOMPARE(r.endRecDate, int64_t(0));

        list.clear();
        QVERIFY(db.listSessions("", list));
        std::set<int> all;
        for (const auto &x : list)
            all.insert(x.id);
        QCOMPARE(all, ids);

        QVERIFY(db.deleteSession(older.id));
        list.clear();
        QVERIFY(db.listSessions(p.fiscalCode, list));
        QCOMPARE(int(list.size()), 2);
    }

    void sessionForUnknownPatientIsRefused()
    {
        fx->addPatient("RSSMRA80A01H501U");
        SessionRecord s;
        s.patientFC = "NOBODY";
        s.status = "OPEN";
        krntest::expectMessage(QtInfoMsg, "Input session field FC: NOBODY has no matching in patients list");
        QVERIFY(!fx->db().insertSession(s));
        QCOMPARE(s.id, 0);
        QCOMPARE(scalar(fx->db(), "SELECT COUNT(*) FROM SESSIONS"), 0);
    }

    void sessionEndDateSurvivesListAndUpdate()
    {
        const PatientRecord p = fx->addPatient("RSSMRA80A01H501U");
        SessionRecord s = fx->addSession(p.fiscalCode, "OPEN", 1700000000);
        Database &db = fx->db();
        s.status = "LOADED";
        s.dataPathName = p.fiscalCode + "/" + std::to_string(s.id);
        s.endRecDate = 1700086400;
        QVERIFY(db.updateSession(s));

        std::vector<SessionRecord> list;
        QVERIFY(db.listSessions(p.fiscalCode, list));
        QCOMPARE(list.at(0).endRecDate, int64_t(1700086400));
        QCOMPARE(list.at(0).dataPathName, s.dataPathName);

        SessionRecord listed = list.at(0);
        listed.status = "ANALYZED";
        QVERIFY(db.updateSession(listed));
        list.clear();
        QVERIFY(db.listSessions(p.fiscalCode, list));
        QCOMPARE(list.at(0).status, std::string("ANALYZED"));
        QCOMPARE(list.at(0).endRecDate, int64_t(1700086400));
    }

    void annotationsInsertListUpdate()
    {
        const PatientRecord p = fx->addPatient("RSSMRA80A01H501U");
        const int s1 = fx->addSession(p.fiscalCode).id;
        const int s2 = fx->addSession(p.fiscalCode).id;
        Database &db = fx->db();

        AnnotationRecord late = annotation(s1, "ecg_fusion", 300, "apnea", "todo");
        AnnotationRecord early = annotation(s1, "resp", 100, "hypopnea", "checked");
        AnnotationRecord other = annotation(s2, "ecg_fusion", 200, "apnea", "todo");
        for (AnnotationRecord *a : {&late, &early, &other})
            QVERIFY(db.insertAnnotation(*a));
        QVERIFY(late.m_id > 0);
        QCOMPARE(std::set<int>({late.m_id, early.m_id, other.m_id}).size(), size_t(3));

        std::vector<AnnotationRecord> list;
        QVERIFY(db.listAnnotations(s1, "", list));
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(list[0].m_id, early.m_id); // start-time order
        const AnnotationRecord &r = list[1];
        QCOMPARE(r.m_id, late.m_id);
        QCOMPARE(r.m_index, 300);
        QCOMPARE(r.m_validator, late.m_validator);
        QCOMPARE(r.m_dateStart, int64_t(300));
        QCOMPARE(r.m_dateEnd, int64_t(310));
        QCOMPARE(r.m_dateMax, int64_t(304));
        QCOMPARE(r.m_valueMax, 87.5f);
        QCOMPARE(r.m_type, late.m_type);
        QCOMPARE(r.m_status, late.m_status);
        QCOMPARE(r.m_family, late.m_family);
        QCOMPARE(r.m_channel, late.m_channel);
        QCOMPARE(r.m_sessionId, s1);
        QCOMPARE(r.m_sourceId, late.m_sourceId);

        list.clear();
        QVERIFY(db.listAnnotations(-1, "ecg%", list));
        QCOMPARE(int(list.size()), 2);
        QCOMPARE(list[0].m_id, other.m_id);
        QCOMPARE(list[1].m_id, late.m_id);
        list.clear();
        QVERIFY(db.listAnnotations(-1, "", list));
        QCOMPARE(int(list.size()), 3);

        late.m_status = "rejected";
        late.m_valueMax = -3.25f;
        StdoutCapture out;
        QVERIFY(db.updateAnnotation(late));
        std::ostringstream expected;
        expected << "ANNOTATION : \n";
        late.print(expected);
        QCOMPARE(out.take(), expected.str());
        list.clear();
        QVERIFY(db.listAnnotations(s1, "ecg_fusion", list));
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(list[0].m_status, std::string("rejected"));
        QCOMPARE(list[0].m_valueMax, -3.25f);
    }

    void annotationCounts()
    {
        const PatientRecord p = fx->addPatient("RSSMRA80A01H501U");
        const int s1 = fx->addSession(p.fiscalCode).id;
        const int s2 = fx->addSession(p.fiscalCode).id;
        Database &db = fx->db();
        for (AnnotationRecord a : {annotation(s1, "ecg_fusion", 1, "apnea", "todo"),
                                   annotation(s1, "ecg_fusion", 2, "apnea", "todo"),
                                   annotation(s1, "ecg_fusion", 3, "apnea", "checked"),
                                   annotation(s1, "resp", 4, "apnea", "todo"),
                                   annotation(s2, "ecg_fusion", 5, "apnea", "todo")})
            QVERIFY(db.insertAnnotation(a));

        QCOMPARE(db.countAnnotations(s1, "ecg%", "apnea", "todo"), 2);
        QCOMPARE(db.countAnnotations(s1, "%", "apnea", "todo"), 3);
        QCOMPARE(db.countAnnotations(s1, "ecg_fusion", "apnea", "checked"), 1);
        QCOMPARE(db.countAnnotations(s1, "ecg%", "hypopnea", "todo"), 0);
        QCOMPARE(db.countAnnotations(-1, "ecg%", "apnea", "todo"), 0);
        QCOMPARE(db.countAnnotations(s1, "", "apnea", "todo"), 0);

        QVERIFY(db.execute({"DROP TABLE ANNOTATIONS"}));
        krntest::expectMessage(QtInfoMsg, qPrintable(QString(queryError) + "no such table: ANNOTATIONS"));
        StdoutCapture out;
        QCOMPARE(db.countAnnotations(s1, "ecg%", "apnea", "todo"), -1);
    }

    void annotationPrint()
    {
        const AnnotationRecord blank;
        QCOMPARE(blank.m_id, 0);
        QCOMPARE(blank.m_sessionId, 0);
        QCOMPARE(blank.m_valueMax, 0.0f);
        QVERIFY(blank.m_type.empty() && blank.m_sourceId.empty());

        AnnotationRecord a = annotation(7, "ecg_fusion", 120, "apnea", "todo");
        a.m_id = 12;
        a.m_valueMax = 91.5f;
        std::ostringstream out;
        a.print(out);
        QCOMPARE(out.str(), std::string("m_id: 12\nm_index: 120\nm_validator: Dr. Bianchi\nm_dateStart: 120\n"
                                        "m_dateEnd: 130\nm_dateMax: 124\nm_valueMax: 91.5\nm_type: apnea\n"
                                        "m_status: todo\nm_family: resp\nm_channel: thorax\nm_sessionId: 7\n"
                                        "m_sourceId: ecg_fusion\n"));
    }

    void createDatabaseFileRefusesExistingPaths()
    {
        QString error;
        QVERIFY(!createDatabaseFile(fx->dbPath(), &error));
        QVERIFY2(error.contains("already exists"), qPrintable(error));
        fx->addPatient("RSSMRA80A01H501U"); // the existing file is untouched
        QCOMPARE(scalar(fx->db(), "SELECT COUNT(*) FROM PATIENTS"), 1);

        // A folder that cannot be made (a file stands in its way) leaves nothing behind.
        const QString missingFolder = fx->dbPath() + "/no/such/folder/krnDb.db";
        QVERIFY(!createDatabaseFile(missingFolder, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(missingFolder));

        const QString fresh = fx->dataDir() + "/fresh.db";
        QVERIFY(createDatabaseFile(fresh, nullptr));
        Database db;
        krntest::expectMessage(QtInfoMsg, qPrintable("[DB] loaded file " + fresh)); // no query error
        db.open(fresh);
        QCOMPARE(scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                            "('PATIENTS', 'USERS', 'SESSIONS', 'ANNOTATIONS')"),
                 4);
    }
};

KRN_TEST_GUILESS_MAIN(TestDatabaseLayer)
#include "tst_database.moc"
