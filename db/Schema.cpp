#include "db/Schema.h"

#include "common/PrivateFiles.h"
#include "resources/Resources.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

bool createDatabaseFile(const QString &path, QString *error)
{
    if (path.isEmpty())
        return fail(error, QStringLiteral("no database file name given"));

    krn::initResources();
    QFile schemaFile(QStringLiteral(":/schema/schema.sql"));
    if (!schemaFile.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("the schema resource cannot be read"));
    const QByteArray schema = schemaFile.readAll();

    // A missing data folder is made for its owner only; an existing one keeps its access.
    const QString folder = QFileInfo(path).absolutePath();
    QString folderError;
    if (!PrivateFiles::makeFolder(folder, &folderError))
        return fail(error, QStringLiteral("cannot create %1: %2").arg(path, folderError));

    // Claim the path atomically: an existing file is never opened, let alone removed below.
    QFile claim(path);
    if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (QFileInfo::exists(path))
            return fail(error, QStringLiteral("%1 already exists").arg(path));
        return fail(error, QStringLiteral("cannot create %1: %2").arg(path, claim.errorString()));
    }
    // Private from the start, whatever the umask; the data folder's group access carries over.
    claim.setPermissions(PrivateFiles::forFile(folder));
    claim.close();

    // An empty file is a valid empty database.
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        // One transaction: either the whole schema is there or none of it.
        const QByteArray script = "BEGIN;\n" + schema + "\nCOMMIT;";
        rc = sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr);
    }
    const QString reason = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        QFile::remove(path);
        return fail(error, QStringLiteral("cannot create %1: %2").arg(path, reason));
    }
    return true;
}
