// tavokrn-tool export-edf: a decoded session folder as an EDF+ file, with the patient, the session
// and the reviewed events from the database when one is given.
#include "Commands.h"

#include "db/Database.h"
#include "report/EdfExport.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

int tool::exportEdf(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("SESSION_FOLDER"), QStringLiteral("decoded session folder"));
    parser.addPositionalArgument(QStringLiteral("OUT.edf"), QStringLiteral("EDF+ file to write"));
    const QCommandLineOption dbFile(QStringLiteral("db"), QStringLiteral("database with the session, its patient and its reviewed events"), QStringLiteral("DB_FILE"));
    const QCommandLineOption session(QStringLiteral("session"), QStringLiteral("the session's id in that database"), QStringLiteral("ID"));
    parser.addOptions({dbFile, session});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("export-edf", parser.errorText(), 2);
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 2)
        return fail("export-edf", QStringLiteral("SESSION_FOLDER OUT.edf expected, %1 argument(s) given").arg(paths.size()), 2);
    if (parser.isSet(dbFile) != parser.isSet(session))
        return fail("export-edf", QStringLiteral("--db and --session go together"), 2);
    bool ok = true;
    const int sessionId = parser.isSet(session) ? parser.value(session).toInt(&ok) : -1;
    if (!ok || (parser.isSet(session) && sessionId < 0))
        return fail("export-edf", QStringLiteral("--session '%1' is not a session id").arg(parser.value(session)), 2);
    if (!QFileInfo(paths[0]).isDir())
        return fail("export-edf", QStringLiteral("%1 is not a folder").arg(paths[0]));

    EdfSessionInfo info;
    if (parser.isSet(dbFile)) {
        if (!QFileInfo::exists(parser.value(dbFile)))
            return fail("export-edf", QStringLiteral("no database %1").arg(parser.value(dbFile)));
        Database db;
        db.open(parser.value(dbFile));
        if (!db.isOpen())
            return fail("export-edf", QStringLiteral("cannot open database %1: %2").arg(parser.value(dbFile), db.lastError()));
        QString error;
        if (!EdfSessionInfo::read(db, sessionId, paths[0], &info, &error))
            return fail("export-edf", error);
    }

    EdfExport exporter(paths[0], info);
    if (!exporter.write(paths[1]))
        return fail("export-edf", exporter.errorString());
    const int events = exporter.annotations().size() - exporter.missingDataAnnotations();
    std::printf("wrote %s: %d signals, %lld s from %s, %d missing-data annotations, %d reviewed events\n",
                qPrintable(paths[1]), exporter.signalList().size(), static_cast<long long>(exporter.dataRecords()),
                qPrintable(exporter.startDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))),
                exporter.missingDataAnnotations(), events);
    for (const EdfSignal &signal : exporter.signalList())
        std::printf("  %-12s %3d Hz  %s .. %s %s\n", qPrintable(signal.label), signal.samplesPerRecord,
                    qPrintable(EdfExport::headerNumber(signal.physicalMinimum)),
                    qPrintable(EdfExport::headerNumber(signal.physicalMaximum)), qPrintable(signal.dimension));
    return 0;
}
