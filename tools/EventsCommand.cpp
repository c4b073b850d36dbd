// Events command of tavokrn-tool: the load of an analysis folder that the review page runs when a
// session is opened (positions, splits, beats, the events of the beat file reused from the
// database or converted into rows; an analysed session's stored rows kept), without the page.
#include "tools/Commands.h"

#include "db/Database.h"
#include "review/data/AnalysisResults.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

int tool::events(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    parser.addPositionalArgument(QStringLiteral("SESSION_ID"), QStringLiteral("id of the session in SESSIONS"));
    parser.addPositionalArgument(QStringLiteral("ANALYSIS_FOLDER"), QStringLiteral("the session's ANALISI folder"));
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("events", parser.errorText(), 2);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 3)
        return fail("events", QStringLiteral("DB_FILE SESSION_ID ANALYSIS_FOLDER expected"), 2);
    int sessionId = -1;
    if (!parseSessionId("events", positional[1], &sessionId))
        return 2;
    const QString folder = positional[2];
    if (!QFileInfo(folder).isDir())
        return fail("events", QStringLiteral("no analysis folder %1").arg(folder));

    Database db;
    if (!openDatabase("events", db, positional[0]))
        return 1;
    SessionRecord session;
    if (!findSession("events", db, positional[0], sessionId, &session))
        return 1;

    // An analysed session is read-only: its stored rows are listed, nothing is written.
    const bool analysed = session.status == "ANALYZED";
    AnalysisResults results(&db);
    switch (results.load(folder, sessionId, session.startRecDate, analysed)) {
    case AnalysisResults::Events::NoFile:
        return fail("events", QStringLiteral("no annotations_fusion.pt in %1").arg(folder));
    case AnalysisResults::Events::Unreadable:
    case AnalysisResults::Events::Refused:
        return fail("events", results.errorString());
    case AnalysisResults::Events::Reused:
    case AnalysisResults::Events::Written:
    case AnalysisResults::Events::Kept:
        break;
    }
    const EventStore &events = results.events();
    const char *outcome = events.keptOtherRows() ? "kept" : events.wroteRows() ? "written" : "reused";
    std::printf("source %s rows %d %s\n", qPrintable(events.sourceId()), events.rowCount(), outcome);
    return 0;
}
