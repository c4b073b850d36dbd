#pragma once

#include "db/Records.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One statement: numbered parameters ?1, ?2, ... are set by `bind`, every result row is handed to
// `onRow`. Both may be empty. Text bound without a copy must outlive the statement run.
struct Query
{
    std::string sql;
    std::function<void(sqlite3_stmt *)> bind = {};
    std::function<void(sqlite3_stmt *)> onRow = {};
};

// The connection to the workstation's database file and every statement run on its tables.
// SQLite errors are logged and turn into a false result (or -1 for counts); no exception leaves
// this class. Used from one thread only.
class Database
{
public:
    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens an existing file read-write; a missing file is never created. Failures are logged and
    // leave the connection closed, so later statements fail.
    void open(const QString &fileName);
    void close();
    bool isOpen() const { return m_handle != nullptr; }
    // Whether the four tables can be read with the program's own statements; false, with
    // lastError() saying why, for a file that is not the workstation's database.
    bool hasSchema();
    QString fileName() const { return m_fileName; }
    // SQLite's text for the last open or statement that failed; empty after one that succeeded.
    QString lastError() const { return m_lastError; }

    bool execute(const Query &q);
    // All statements in one transaction, rolled back when any of them fails.
    bool executeTransaction(const std::vector<Query> &qs);

    // `search` matches surname or first name, ASCII case-insensitively; empty lists everyone.
    bool listPatients(const std::string &search, std::vector<PatientRecord> &out);
    bool insertPatient(PatientRecord &p); // sets p.id
    bool updatePatient(const PatientRecord &p);
    bool deletePatient(const std::string &fiscalCode);

    bool listUsers(std::vector<UserRecord> &out);
    // Users are maintained outside the workstation (tavokrn-tool, test fixtures); sets u.id.
    bool insertUser(UserRecord &u);
    // Stores a new password digest for every user of that user name: how many there were, -1 when
    // the statement failed.
    int setUserPassword(const std::string &username, const std::string &digest);

    // Sessions of one patient, newest recording first; an empty code lists every session.
    bool listSessions(const std::string &fiscalCode, std::vector<SessionRecord> &out);
    bool insertSession(SessionRecord &s); // sets s.id; refused for an unknown patient
    bool updateSession(const SessionRecord &s);
    bool deleteSession(int id);

    // A negative session id or an empty pattern leaves that condition out; start-time order.
    bool listAnnotations(int sessionId, const std::string &sourcePattern, std::vector<AnnotationRecord> &out);
    // -1 when the statement failed. Unlike the list, a negative id or an empty pattern is not
    // left out but matches nothing, so the count is 0.
    int countAnnotations(int sessionId, const std::string &sourcePattern, const std::string &type,
                         const std::string &status);
    bool insertAnnotation(AnnotationRecord &a); // sets a.m_id
    // Many rows in one transaction, each with the statements of insertAnnotation (prepared once)
    // and its id read back; all of them are stored or none (their ids stay 0 then).
    bool insertAnnotations(std::vector<AnnotationRecord> &rows);
    bool updateAnnotation(const AnnotationRecord &a);

private:
    QString m_fileName;
    QString m_lastError;
    sqlite3 *m_handle = nullptr;
};
