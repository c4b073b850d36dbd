#pragma once

#include <QString>

// Creates a new database file holding the workstation's schema (the compiled-in
// ":/schema/schema.sql"). A path that already exists is refused, so an installed database is
// never touched. On failure nothing is left behind and *error (when given) says why.
bool createDatabaseFile(const QString &path, QString *error = nullptr);
