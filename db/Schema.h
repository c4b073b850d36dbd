#pragma once

#include <QString>

// The database file's name inside the data folder.
constexpr const char *DatabaseFileName = "krnDb.db";

// Creates a new database file holding the workstation's schema (the compiled-in
// ":/schema/schema.sql"). A path that already exists is refused, so an installed database is
// // never touched. A missing folder is created; the folder and the file are for their owner only,
// plus the group access of a folder that exists (PrivateFiles). On failure no file is left behind
// and *error (when given) says why.
bool createDatabaseFile(const QString &path, QString *error = nullptr);
