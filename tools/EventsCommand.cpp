// Events command of tavokrn-tool: the load of an analysis folder that the review page runs when a
// session is opened (positions, splits, beats, the events of the beat file reused from the
// database or converted into rows), without the page.
#include "tools/Commands.h"

#include "db/Database.h"
#include "review/data/AnalysisResults.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

int fail(const QString &message, int exitCode = 1)
{
    std::fprintf(stderr, "tavokrn-tool events: %s\n", qPrintable(message));
    return exitCode;
}

} // namespace

int tool::events(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    parser.addPositionalArgument(QStringLiteral("SESSION_ID"), QStringLiteral("id of the session in SESSIONS"));
    parser.addPositionalArgument(QStringLiteral("ANALYSIS_FOLDER"), QStringLiteral("the session's ANALISI folder"));
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail(parser.errorText(), 2);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 3)
        return fail(QStringLiteral("DB_FILE SESSION_ID ANALYSIS_FOLDER expected"), 2);
    bool ok = false;
    const int sessionId = positional[1].toInt(&ok);
    if (!ok || sessionId < 0)
        return fail(QStringLiteral("SESSION_ID '%1' is not a session id").arg(positional[1]), 2);
    const QString folder = positional[2];
    if (!QFileInfo(folder).isDir())
        return fail(QStringLiteral("no analysis folder %1").arg(folder));

    Database db;
    db.open(positional[0]);
    if (!db.isOpen())
        return fail(QStringLiteral("cannot open database %1").arg(positional[0]));
    std::vector<SessionRecord> sessions;
    if (!db.listSessions(std::string(), sessions))
        return fail(QStringLiteral("cannot read the sessions of %1: %2").arg(positional[0], db.lastError()));
    const auto session = std::find_if(sessions.begin(), sessions.end(),
                                      [sessionId](const SessionRecord &s) { return s.id == sessionId; });
    if (session == sessions.end())
        return fail(QStringLiteral("no session %1 in %2").arg(sessionId).arg(positional[0]));

    AnalysisResults results(&db);
    switch (results.load(folder, sessionId, session->startRecDate)) {
    case AnalysisResults::Events::NoFile:
        return fail(QStringLiteral("no annotations_fusion.pt in %1").arg(folder));
    case AnalysisResults::Events::Unreadable:
    case AnalysisResults::Events::Refused:
        return fail(results.errorString());
    case AnalysisResults::Events::Reused:
    case AnalysisResults::Events::Written:
        break;
    }
    const EventStore &events = results.events();
    std::printf("source %s rows %d %s\n", qPrintable(events.sourceId()), events.rowCount(),
                events.wroteRows() ? "written" : "reused");
    return 0;
}
