#pragma once

#include "db/Database.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A temporary data folder holding a fresh "krnDb.db" made from the workstation's schema, removed
// with the fixture. The helpers add rows through a connection of the fixture's own; when one fails
// it fails the running test function and returns a record with id 0.
class TestDatabase
{
public:
    TestDatabase();

    // False when the folder or the database file could not be made; error() says why.
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    QString dataDir() const { return m_dir.path(); }
    QString dbPath() const { return m_dir.filePath(QStringLiteral("krnDb.db")); }

    // The fixture's connection, opened on first use.
    Database &db();

    UserRecord addUser(const std::string &username, const QString &password, const std::string &role = {},
                       const std::string &name = "Anna", const std::string &surname = "Bianchi");
    PatientRecord addPatient(const std::string &fiscalCode, const std::string &surname = "Rossi",
                             const std::string &name = "Mario");
    SessionRecord addSession(const std::string &fiscalCode, const std::string &status = "OPEN",
                             int64_t startRecDate = 0);

private:
    QTemporaryDir m_dir;
    QString m_error;
    std::unique_ptr<Database> m_db;
};
