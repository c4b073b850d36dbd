#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

class Database;

// The microSD road copies the recorder's card and never erases it, so the recorder comes back to
// the next set-up still holding that session. This tells such a card from one holding data that
// was never imported: the identifier (fiscal code and session id in 4 digits) names a session of
// that patient that this database holds as "LOADED" or "ANALYZED", with its decoded files in the
// data folder. Then the date of its import; otherwise no value.
std::optional<QDateTime> importedSessionDate(Database &database, const QString &dataFolder,
                                             const QByteArray &identifier);
