#include "db/Database.h"

#include <QDebug>

#include <sqlite3.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

// Every SQLite call goes through here: anything but OK, ROW or DONE is logged and thrown, and
// the public operations turn the exception into a false result.
void check(sqlite3 *db, int rc)
{
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    // A connection that failed to open has no handle; SQLite's own text for that is misleading.
    const std::string message = db ? sqlite3_errmsg(db) : "database not open";
    qInfo().noquote() << "[DB] Query execution error " + QString::fromStdString(message);
    throw std::runtime_error(message);
}

void exec(sqlite3 *db, const char *sql)
{
    if (!db)
        check(db, SQLITE_MISUSE);
    check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

// Prepare, bind, step, finalize. `stmt` is set while the statement is alive, so a caller that
// catches the exception can finalize it.
void run(sqlite3 *db, const Query &q, sqlite3_stmt *&stmt)
{
    if (!db)
        check(db, SQLITE_MISUSE);
    check(db, sqlite3_prepare_v2(db, q.sql.c_str(), int(q.sql.size()) + 1, &stmt, nullptr));
    if (!stmt)
        return; // blank text: nothing to run
    if (q.bind)
        q.bind(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (q.onRow)
            q.onRow(stmt);
    }
    check(db, rc);
    sqlite3_stmt *done = stmt;
    stmt = nullptr;
    check(db, sqlite3_finalize(done));
}

void bindValue(sqlite3_stmt *s, int index, int value)
{
    check(sqlite3_db_handle(s), sqlite3_bind_int(s, index, value));
}

void bindValue(sqlite3_stmt *s, int index, int64_t value)
{
    check(sqlite3_db_handle(s), sqlite3_bind_int64(s, index, value));
}

void bindValue(sqlite3_stmt *s, int index, double value)
{
    check(sqlite3_db_handle(s), sqlite3_bind_double(s, index, value));
}

// Text is bound without a copy: it must outlive the statement. Temporaries are refused at
// compile time; string literals are fine.
void bindValue(sqlite3_stmt *s, int index, const std::string &text)
{
    check(sqlite3_db_handle(s), sqlite3_bind_text(s, index, text.c_str(), int(text.size()), SQLITE_STATIC));
}
void bindValue(sqlite3_stmt *s, int index, std::string &&text) = delete;

void bindValue(sqlite3_stmt *s, int index, const char *text)
{
    check(sqlite3_db_handle(s), sqlite3_bind_text(s, index, text, -1, SQLITE_STATIC));
}

// A NULL text column comes back as a null pointer.
std::string textColumn(sqlite3_stmt *s, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(s, column))) : std::string();
}

// Height and weight are held in 8 bits; a stored value out of range saturates rather than wraps.
uint8_t byteColumn(sqlite3_stmt *s, int column)
{
    return uint8_t(std::clamp(sqlite3_column_int(s, column), 0, 255));
}

std::string asciiLower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

// ?1 to ?10 of the patient insert and update.
void bindPatient(sqlite3_stmt *s, const PatientRecord &p)
{
    bindValue(s, 1, p.name);
    bindValue(s, 2, p.surname);
    bindValue(s, 3, p.fiscalCode);
    bindValue(s, 4, p.isMale ? "M" : "F");
    bindValue(s, 5, p.archived ? 1 : 0);
    bindValue(s, 6, int(p.height));
    bindValue(s, 7, int(p.weight));
    bindValue(s, 8, p.birthDate);
    bindValue(s, 9, p.status);
    bindValue(s, 10, p.note);
}

// ?2 to ?13 of the annotation insert and update.
void bindAnnotation(sqlite3_stmt *s, const AnnotationRecord &a)
{
    bindValue(s, 2, a.m_index);
    bindValue(s, 3, a.m_validator);
    bindValue(s, 4, a.m_dateStart);
    bindValue(s, 5, a.m_dateEnd);
    bindValue(s, 6, a.m_dateMax);
    bindValue(s, 7, double(a.m_valueMax));
    bindValue(s, 8, a.m_type);
    bindValue(s, 9, a.m_status);
    bindValue(s, 10, a.m_family);
    bindValue(s, 11, a.m_channel);
    bindValue(s, 12, a.m_sessionId);
    bindValue(s, 13, a.m_sourceId);
}

} // namespace

void AnnotationRecord::print() const
{
    print(std::cout);
}

void AnnotationRecord::print(std::ostream &out) const
{
    std::ostringstream block;
    block << "m_id: " << m_id << '\n'
          << "m_index: " << m_index << '\n'
          << "m_validator: " << m_validator << '\n'
          << "m_dateStart: " << m_dateStart << '\n'
          << "m_dateEnd: " << m_dateEnd << '\n'
          << "m_dateMax: " << m_dateMax << '\n'
          << "m_valueMax: " << m_valueMax << '\n'
          << "m_type: " << m_type << '\n'
          << "m_status: " << m_status << '\n'
          << "m_family: " << m_family << '\n'
          << "m_channel: " << m_channel << '\n'
          << "m_sessionId: " << m_sessionId << '\n'
          << "m_sourceId: " << m_sourceId << '\n';
    out << block.str() << std::flush;
}

Database::~Database()
{
    close();
}

void Database::open(const QString &fileName)
{
    close();
    m_fileName = fileName;
    // No create flag: the file comes with the installation, a missing one must not be replaced
    // by an empty database.
    m_lastError.clear();
    if (sqlite3_open_v2(fileName.toUtf8().constData(), &m_handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_lastError = QString::fromUtf8(sqlite3_errmsg(m_handle));
        qInfo().noquote() << "[DB] Can't load database file: " + fileName;
        sqlite3_close(m_handle);
        m_handle = nullptr;
        return;
    }
    if (sqlite3_exec(m_handle, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr) != SQLITE_OK) {
        m_lastError = QString::fromUtf8(sqlite3_errmsg(m_handle));
        qInfo().noquote() << "[DB] Can't set PRAGMAs for database database file {}";
        sqlite3_close(m_handle);
        m_handle = nullptr;
        return;
    }
    qInfo().noquote() << "[DB] loaded file " + fileName;
    // Smoke test of the schema: a wrong file shows up in the log right away.
    std::vector<UserRecord> scratch;
    listUsers(scratch);
}

bool Database::hasSchema()
{
    if (!m_handle)
        return false;
    std::vector<UserRecord> users;
    std::vector<PatientRecord> patients;
    std::vector<SessionRecord> sessions;
    return listUsers(users) && listPatients(std::string(), patients) && listSessions(std::string(), sessions)
        && countAnnotations(-1, std::string(), std::string(), std::string()) >= 0;
}

void Database::close()
{
    if (!m_handle)
        return;
    if (sqlite3_close(m_handle) != SQLITE_OK) {
        qInfo().noquote() << "[DB] Error closing database file " + m_fileName;
        return;
    }
    m_handle = nullptr;
    qInfo().noquote() << "[DB] file {} closed successfully " + m_fileName;
}

bool Database::execute(const Query &q)
{
    sqlite3_stmt *stmt = nullptr;
    std::string error;
    m_lastError.clear();
    try {
        run(m_handle, q, stmt);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
    } catch (...) {
        error = "unexpected error while running the statement";
    }
    sqlite3_finalize(stmt);
    m_lastError = QString::fromStdString(error);
    std::cout << error << std::endl;
    return false;
}

bool Database::executeTransaction(const std::vector<Query> &qs)
{
    sqlite3_stmt *stmt = nullptr;
    bool begun = false;
    m_lastError.clear();
    try {
        exec(m_handle, "BEGIN");
        begun = true;
        for (const Query &q : qs)
            run(m_handle, q, stmt);
        exec(m_handle, "COMMIT");
        return true;
    } catch (const std::exception &e) {
        // Logged by check() already.
        m_lastError = QString::fromStdString(e.what());
    } catch (...) {
        m_lastError = QStringLiteral("unexpected error while running the statements");
    }
    // Finalize first so the rollback is not held up by a statement still running.
    sqlite3_finalize(stmt);
    if (begun)
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool Database::listPatients(const std::string &search, std::vector<PatientRecord> &out)
{
    const std::string needle = asciiLower(search);
    Query q;
    q.sql = "SELECT p.id, p.name, p.surname, p.fiscalcode, p.sex, p.archived, p.height, p.weight, p.birthdate, "
            "p.status, p.note FROM PATIENTS p ORDER BY SURNAME COLLATE NOCASE;";
    q.onRow = [&](sqlite3_stmt *s) {
        PatientRecord p;
        p.id = sqlite3_column_int(s, 0);
        p.name = textColumn(s, 1);
        p.surname = textColumn(s, 2);
        p.fiscalCode = textColumn(s, 3);
        p.isMale = textColumn(s, 4) == "M";
        p.archived = sqlite3_column_int(s, 5) == 1;
        p.height = byteColumn(s, 6);
        p.weight = byteColumn(s, 7);
        p.birthDate = sqlite3_column_int64(s, 8);
        p.status = textColumn(s, 9);
        p.note = textColumn(s, 10);
        // Filtered here rather than in SQL so the surname order stays, and the fiscal code is
        // deliberately not searched.
        if (needle.empty() || asciiLower(p.surname).find(needle) != std::string::npos
            || asciiLower(p.name).find(needle) != std::string::npos)
            out.push_back(std::move(p));
    };
    return execute(q);
}

bool Database::insertPatient(PatientRecord &p)
{
    Query q;
    q.sql = "INSERT INTO Patients ('name', 'surname', 'fiscalcode','sex','archived', 'height', 'weight', "
            "'birthdate','status', 'note') VALUES (?1, ?2, ?3, ?4, ?5, ?6,?7,?8,?9,?10)";
    q.bind = [&p](sqlite3_stmt *s) { bindPatient(s, p); };
    if (!execute(q))
        return false;

    std::vector<PatientRecord> all;
    listPatients(std::string(), all);
    const auto it = std::find_if(all.begin(), all.end(),
                                 [&p](const PatientRecord &r) { return r.fiscalCode == p.fiscalCode; });
    if (it != all.end()) {
        p.id = it->id;
        return true;
    }
    // The row cannot be found again: do not leave it behind without an id.
    deletePatient(p.fiscalCode);
    return false;
}

bool Database::updatePatient(const PatientRecord &p)
{
    Query q;
    q.sql = "UPDATE Patients SET name=?1, surname=?2, fiscalcode=?3, sex=?4, archived=?5, height=?6, weight=?7, "
            "birthdate=?8, status=?9, note=?10WHERE id="
        + std::to_string(p.id) + " ";
    q.bind = [&p](sqlite3_stmt *s) { bindPatient(s, p); };
    return execute(q);
}

bool Database::deletePatient(const std::string &fiscalCode)
{
    Query q;
    q.sql = "DELETE FROM Patients WHERE fiscalCode=?1";
    q.bind = [&fiscalCode](sqlite3_stmt *s) { bindValue(s, 1, fiscalCode); };
    return execute(q);
}

bool Database::listUsers(std::vector<UserRecord> &out)
{
    Query q;
    q.sql = "SELECT p.id, p.name, p.surname, p.username, p.password, p.role FROM USERS p ORDER BY SURNAME COLLATE NOCASE;";
    q.onRow = [&out](sqlite3_stmt *s) {
        UserRecord u;
        u.id = sqlite3_column_int(s, 0);
        u.name = textColumn(s, 1);
        u.surname = textColumn(s, 2);
        u.username = textColumn(s, 3);
        u.password = textColumn(s, 4);
        u.role = textColumn(s, 5);
        out.push_back(std::move(u));
    };
    return execute(q);
}

bool Database::insertUser(UserRecord &u)
{
    Query q;
    q.sql = "INSERT INTO USERS (name, surname, username, password, role) VALUES (?1, ?2, ?3, ?4, ?5)";
    q.bind = [&u](sqlite3_stmt *s) {
        bindValue(s, 1, u.name);
        bindValue(s, 2, u.surname);
        bindValue(s, 3, u.username);
        bindValue(s, 4, u.password);
        bindValue(s, 5, u.role);
    };
    if (!execute(q))
        return false;
    u.id = int(sqlite3_last_insert_rowid(m_handle));
    return true;
}

int Database::setUserPassword(const std::string &username, const std::string &digest)
{
    Query q;
    q.sql = "UPDATE USERS SET password=?1 WHERE username=?2";
    q.bind = [&](sqlite3_stmt *s) {
        bindValue(s, 1, digest);
        bindValue(s, 2, username);
    };
    return execute(q) ? sqlite3_changes(m_handle) : -1;
}

bool Database::listSessions(const std::string &fiscalCode, std::vector<SessionRecord> &out)
{
    // endRecDate is read as well, so that a record taken from this list and stored again keeps
    // the end date instead of overwriting it with 0.
    Query q;
    q.sql = "SELECT s.id, s.patientFC, s.status, s.whoOpenedID, s.whoImportedID, s.whoAnalyzedID, s.startRecDate, "
            "s.startSetupDate, s.importDate, s.reportGenerationDate, s.reportPathName, s.dataPathName, "
            "s.calibration, s.endRecDate FROM SESSIONS s JOIN Patients p ON p.fiscalcode = s.patientFC ";
    if (!fiscalCode.empty()) {
        q.sql += "WHERE p.fiscalcode = ?1 ORDER BY startRecDate DESC";
        q.bind = [&fiscalCode](sqlite3_stmt *s) { bindValue(s, 1, fiscalCode); };
    }
    q.onRow = [&out](sqlite3_stmt *s) {
        SessionRecord r;
        r.id = sqlite3_column_int(s, 0);
        r.patientFC = textColumn(s, 1);
        r.status = textColumn(s, 2);
        r.whoOpenedID = sqlite3_column_int(s, 3);
        r.whoImportedID = sqlite3_column_int(s, 4);
        r.whoAnalyzedID = sqlite3_column_int(s, 5);
        r.startRecDate = sqlite3_column_int64(s, 6);
        r.startSetupDate = sqlite3_column_int64(s, 7);
        r.importDate = sqlite3_column_int64(s, 8);
        r.reportGenerationDate = sqlite3_column_int64(s, 9);
        r.reportPathName = textColumn(s, 10);
        r.dataPathName = textColumn(s, 11);
        r.calibration = textColumn(s, 12);
        r.endRecDate = sqlite3_column_int64(s, 13);
        out.push_back(std::move(r));
    };
    return execute(q);
}

bool Database::insertSession(SessionRecord &s)
{
    std::vector<PatientRecord> patients;
    listPatients(std::string(), patients);
    if (std::none_of(patients.begin(), patients.end(),
                     [&s](const PatientRecord &p) { return p.fiscalCode == s.patientFC; })) {
        qInfo().noquote() << "Input session field FC: " + QString::fromStdString(s.patientFC)
                + " has no matching in patients list";
        return false;
    }

    // The new id is the one that was not there before the insert. Without a reliable "before"
    // list an old id could be taken for the new one, so stop before inserting.
    std::vector<SessionRecord> before;
    if (!listSessions(s.patientFC, before))
        return false;
    std::set<int> known;
    for (const SessionRecord &r : before)
        known.insert(r.id);

    Query q;
    q.sql = "INSERT INTO Sessions('patientFC', 'status', 'whoOpenedID', 'whoImportedID', "
            "'whoAnalyzedID','startRecDate','startSetupDate','importDate','reportGenerationDate',"
            "'reportPathName','calibration') VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11);";
    q.bind = [&s](sqlite3_stmt *st) {
        bindValue(st, 1, s.patientFC);
        bindValue(st, 2, s.status);
        bindValue(st, 3, s.whoOpenedID);
        bindValue(st, 4, s.whoImportedID);
        bindValue(st, 5, s.whoAnalyzedID);
        bindValue(st, 6, s.startRecDate);
        bindValue(st, 7, s.startSetupDate);
        bindValue(st, 8, s.importDate);
        bindValue(st, 9, s.reportGenerationDate);
        bindValue(st, 10, s.reportPathName);
        bindValue(st, 11, s.calibration);
    };
    if (!execute(q))
        return false;

    std::vector<SessionRecord> after;
    listSessions(s.patientFC, after);
    for (const SessionRecord &r : after) {
        if (!known.count(r.id)) {
            s.id = r.id;
            return true;
        }
    }
    qInfo().noquote() << "Something went wrong";
    return false;
}

bool Database::updateSession(const SessionRecord &s)
{
    Query q;
    q.sql = "UPDATE Sessions SET patientFC=?1, status=?2, whoOpenedID=?3, whoImportedID=?4, whoAnalyzedID=?5, "
            "startRecDate=?6, startSetupDate=?7, importDate=?8, reportGenerationDate=?9, reportPathName=?10, "
            "dataPathName=?11, calibration=?12, endRecDate=?13 WHERE id="
        + std::to_string(s.id) + " ";
    q.bind = [&s](sqlite3_stmt *st) {
        bindValue(st, 1, s.patientFC);
        bindValue(st, 2, s.status);
        bindValue(st, 3, s.whoOpenedID);
        bindValue(st, 4, s.whoImportedID);
        bindValue(st, 5, s.whoAnalyzedID);
        bindValue(st, 6, s.startRecDate);
        bindValue(st, 7, s.startSetupDate);
        bindValue(st, 8, s.importDate);
        bindValue(st, 9, s.reportGenerationDate);
        bindValue(st, 10, s.reportPathName);
        bindValue(st, 11, s.dataPathName);
        bindValue(st, 12, s.calibration);
        bindValue(st, 13, s.endRecDate);
    };
    return execute(q);
}

bool Database::deleteSession(int id)
{
    Query q;
    q.sql = "DELETE FROM Sessions WHERE id=?1";
    q.bind = [id](sqlite3_stmt *s) { bindValue(s, 1, id); };
    return execute(q);
}

bool Database::listAnnotations(int sessionId, const std::string &sourcePattern, std::vector<AnnotationRecord> &out)
{
    const bool bySession = sessionId >= 0;
    const bool bySource = !sourcePattern.empty();
    Query q;
    q.sql = std::string("SELECT a.id, a.\"index\", a.who_validated, a.date_start, a.date_end, a.date_max, "
                        "a.value_max, a.type, a.status, a.family, a.channel, a.session_id, a.source_id "
                        "FROM ANNOTATIONS a WHERE ")
        + (bySession ? "a.session_id = ?1" : "1") + " AND " + (bySource ? "a.source_id LIKE ?2" : "1")
        + " ORDER BY date_start";
    q.bind = [&](sqlite3_stmt *s) {
        if (bySession)
            bindValue(s, 1, sessionId);
        if (bySource)
            bindValue(s, 2, sourcePattern);
    };
    q.onRow = [&out](sqlite3_stmt *s) {
        AnnotationRecord a;
        a.m_id = sqlite3_column_int(s, 0);
        a.m_index = sqlite3_column_int(s, 1);
        a.m_validator = textColumn(s, 2);
        a.m_dateStart = sqlite3_column_int64(s, 3);
        a.m_dateEnd = sqlite3_column_int64(s, 4);
        a.m_dateMax = sqlite3_column_int64(s, 5);
        a.m_valueMax = float(sqlite3_column_double(s, 6));
        a.m_type = textColumn(s, 7);
        a.m_status = textColumn(s, 8);
        a.m_family = textColumn(s, 9);
        a.m_channel = textColumn(s, 10);
        a.m_sessionId = sqlite3_column_int(s, 11);
        a.m_sourceId = textColumn(s, 12);
        out.push_back(std::move(a));
    };
    return execute(q);
}

int Database::countAnnotations(int sessionId, const std::string &sourcePattern, const std::string &type,
                               const std::string &status)
{
    int count = -1;
    Query q;
    q.sql = "SELECT COUNT(*) FROM ANNOTATIONS a WHERE a.session_id = ?1 AND a.source_id LIKE ?2 AND a.type = ?3 "
            "AND a.status = ?4";
    // A parameter left unbound is NULL and matches nothing.
    q.bind = [&](sqlite3_stmt *s) {
        if (sessionId >= 0)
            bindValue(s, 1, sessionId);
        if (!sourcePattern.empty())
            bindValue(s, 2, sourcePattern);
        bindValue(s, 3, type);
        bindValue(s, 4, status);
    };
    q.onRow = [&count](sqlite3_stmt *s) { count = sqlite3_column_int(s, 0); };
    return execute(q) ? count : -1;
}

namespace {

const char annotationInsert[] =
    "INSERT INTO ANNOTATIONS (\"index\", who_validated, date_start, date_end, date_max, value_max, type, status, "
    "family, channel, session_id, source_id) VALUES (?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)";
const char annotationIdRead[] = "SELECT last_insert_rowid() FROM ANNOTATIONS LIMIT 1;";

} // namespace

bool Database::insertAnnotation(AnnotationRecord &a)
{
    // One transaction, so the id read back belongs to the row just inserted.
    Query insert;
    insert.sql = annotationInsert;
    insert.bind = [&a](sqlite3_stmt *s) { bindAnnotation(s, a); };
    int id = 0;
    Query readId;
    readId.sql = annotationIdRead;
    readId.onRow = [&id](sqlite3_stmt *s) { id = sqlite3_column_int(s, 0); };
    if (!executeTransaction({insert, readId}))
        return false;
    a.m_id = id;
    return true;
}

bool Database::insertAnnotations(std::vector<AnnotationRecord> &rows)
{
    // A statement per row would make a 24-hour file's tens of thousands of rows a transaction
    // each; and a conversion cut short must not leave part of its rows to be taken as complete.
    sqlite3_stmt *insert = nullptr;
    sqlite3_stmt *readId = nullptr;
    bool begun = false;
    std::vector<int> ids;
    ids.reserve(rows.size());
    m_lastError.clear();
    try {
        if (!m_handle)
            check(m_handle, SQLITE_MISUSE);
        exec(m_handle, "BEGIN");
        begun = true;
        check(m_handle, sqlite3_prepare_v2(m_handle, annotationInsert, -1, &insert, nullptr));
        check(m_handle, sqlite3_prepare_v2(m_handle, annotationIdRead, -1, &readId, nullptr));
        for (const AnnotationRecord &a : rows) {
            check(m_handle, sqlite3_reset(insert));
            check(m_handle, sqlite3_clear_bindings(insert));
            bindAnnotation(insert, a);
            check(m_handle, sqlite3_step(insert));
            check(m_handle, sqlite3_reset(readId));
            int id = 0;
            int rc;
            while ((rc = sqlite3_step(readId)) == SQLITE_ROW)
                id = sqlite3_column_int(readId, 0);
            check(m_handle, rc);
            ids.push_back(id);
        }
        sqlite3_finalize(insert);
        sqlite3_finalize(readId);
        insert = readId = nullptr;
        exec(m_handle, "COMMIT");
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i].m_id = ids[i];
        return true;
    } catch (const std::exception &e) {
        m_lastError = QString::fromStdString(e.what());
    } catch (...) {
        m_lastError = QStringLiteral("unexpected error while inserting the annotations");
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(readId);
    if (begun)
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

bool Database::updateAnnotation(const AnnotationRecord &a)
{
    Query q;
    q.sql = "UPDATE ANNOTATIONS SET \"index\"=?2, who_validated=?3, date_start=?4, date_end=?5, date_max=?6, "
            "value_max=?7, type=?8, status=?9, family=?10, channel=?11, session_id=?12, source_id=?13 WHERE id = ?1";
    q.bind = [&a](sqlite3_stmt *s) {
        std::cout << "ANNOTATION : " << std::endl;
        a.print();
        bindValue(s, 1, a.m_id);
        bindAnnotation(s, a);
    };
    return execute(q);
}
