#include "tests/support/TestDatabase.h"

#include "db/Password.h"
#include "db/Schema.h"

#include <QTest>

namespace {

void failTest(const QString &what)
{
    QTest::qFail(qPrintable(QStringLiteral("TestDatabase: %1").arg(what)), __FILE__, __LINE__);
}

} // namespace

TestDatabase::TestDatabase()
{
    if (!m_dir.isValid())
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir.errorString());
    else
        createDatabaseFile(dbPath(), &m_error);
}

Database &TestDatabase::db()
{
    if (!m_db) {
        m_db = std::make_unique<Database>();
        m_db->open(dbPath());
    }
    return *m_db;
}

UserRecord TestDatabase::addUser(const std::string &username, const QString &password, const std::string &role,
                                 const std::string &name, const std::string &surname)
{
    UserRecord u;
    u.username = username;
    u.password = passwordDigest(password);
    u.role = role;
    u.name = name;
    u.surname = surname;
    if (!db().insertUser(u)) {
        failTest(QStringLiteral("cannot add user %1").arg(QString::fromStdString(username)));
    }
    return u;
}

PatientRecord TestDatabase::addPatient(const std::string &fiscalCode, const std::string &surname,
                                       const std::string &name)
{
    PatientRecord p;
    p.fiscalCode = fiscalCode;
    p.surname = surname;
    p.name = name;
    p.isMale = true;
    p.height = 175;
    p.weight = 70;
    p.birthDate = 315532800; // 1980-01-01 00:00 UTC
    p.status = "FREE";
    if (!db().insertPatient(p)) {
        failTest(QStringLiteral("cannot add patient %1").arg(QString::fromStdString(fiscalCode)));
    }
    return p;
}

SessionRecord TestDatabase::addSession(const std::string &fiscalCode, const std::string &status, int64_t startRecDate)
{
    SessionRecord s;
    s.patientFC = fiscalCode;
    s.status = status;
    s.startRecDate = startRecDate;
    s.startSetupDate = startRecDate;
    if (!db().insertSession(s)) {
        failTest(QStringLiteral("cannot add a session for %1").arg(QString::fromStdString(fiscalCode)));
    }
    return s;
}
