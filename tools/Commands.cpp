#include "tools/Commands.h"

#include "db/Database.h"

#include <algorithm>
#include <cstdio>

int fail(const char *command, const QString &message, int exitCode)
{
    std::fprintf(stderr, "tavokrn-tool %s: %s\n", command, qPrintable(message));
    return exitCode;
}

bool parseSessionId(const char *command, const QString &text, int *sessionId)
{
    bool ok = false;
    *sessionId = text.toInt(&ok);
    if (ok && *sessionId >= 0)
        return true;
    fail(command, QStringLiteral("SESSION_ID '%1' is not a session id").arg(text), 2);
    return false;
}

bool openDatabase(const char *command, Database &db, const QString &file)
{
    db.open(file);
    if (db.isOpen())
        return true;
    fail(command, QStringLiteral("cannot open database %1").arg(file));
    return false;
}

bool findSession(const char *command, Database &db, const QString &file, int sessionId, SessionRecord *session)
{
    std::vector<SessionRecord> sessions;
    if (!db.listSessions(std::string(), sessions)) {
        fail(command, QStringLiteral("cannot read the sessions of %1: %2").arg(file, db.lastError()));
        return false;
    }
    const auto found = std::find_if(sessions.begin(), sessions.end(),
                                    [sessionId](const SessionRecord &s) { return s.id == sessionId; });
    if (found == sessions.end()) {
        fail(command, QStringLiteral("no session %1 in %2").arg(sessionId).arg(file));
        return false;
    }
    *session = *found;
    return true;
}
