// Report command of tavokrn-tool: the report the review page writes for an imported session,
// without the page. The session folder sits beside the database, named by the session's
// dataPathName; its analysis folder is loaded as the review page loads it (the beat file's events
// reused from the database or converted into rows), then the PDF is written and the session
// marked "ANALYZED".
#include "tools/Commands.h"

#include "db/Database.h"
#include "report/SessionReport.h"
#include "review/data/AnalysisResults.h"
#include "review/data/RecordingData.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>

namespace {

// Whole numbers as the comment dialog's time fields take them; the text is kept as typed.
bool wholeNumber(const QString &text, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= maximum;
}

} // namespace

int tool::report(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    parser.addPositionalArgument(QStringLiteral("SESSION_ID"), QStringLiteral("id of a \"LOADED\" session"));
    const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("comment printed on the report"),
                                     QStringLiteral("TEXT"));
    const QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("analysed hours, default 24"),
                                   QStringLiteral("H"), QStringLiteral("24"));
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("analysed minutes, default 00"),
                                     QStringLiteral("M"), QStringLiteral("00"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("user name of the report's author"),
                                  QStringLiteral("USERNAME"));
    parser.addOptions({comment, hours, minutes, user});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("report", parser.errorText(), 2);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return fail("report", QStringLiteral("DB_FILE SESSION_ID expected"), 2);
    int sessionId = -1;
    if (!parseSessionId("report", positional[1], &sessionId))
        return 2;
    if (!wholeNumber(parser.value(hours), 9999) || !wholeNumber(parser.value(minutes), 59))
        return fail("report", QStringLiteral("--hours takes a whole number of hours, --minutes 0 to 59"), 2);

    const QString dbFile = positional[0];
    Database db;
    if (!openDatabase("report", db, dbFile))
        return 1;

    UserRecord author;
    if (parser.isSet(user)) {
        std::vector<UserRecord> users;
        db.listUsers(users);
        const std::string name = parser.value(user).toStdString();
        const auto found = std::find_if(users.begin(), users.end(), [&](const UserRecord &u) { return u.username == name; });
        if (found == users.end())
            return fail("report", QStringLiteral("no user %1 in %2").arg(parser.value(user), dbFile));
        author = *found;
    }

    SessionRecord session;
    if (!findSession("report", db, dbFile, sessionId, &session))
        return 1;
    const QString dataFolder = QFileInfo(dbFile).absolutePath();
    if (session.status == "ANALYZED") {
        return fail("report", QStringLiteral("session %1 is already analysed; its report is %2")
                                  .arg(sessionId)
                                  .arg(SessionReport::reportFile(dataFolder, session)));
    }
    if (session.status != "LOADED" || session.dataPathName.empty()) {
        return fail("report", QStringLiteral("session %1 is \"%2\": only an imported (\"LOADED\") session can be reported")
                                  .arg(sessionId)
                                  .arg(QString::fromStdString(session.status)));
    }

    ReportInput input;
    input.session = session;
    input.author = author;
    input.sessionFolder = dataFolder + "/" + QString::fromStdString(session.dataPathName);
    input.hoursText = parser.value(hours);
    input.minutesText = parser.value(minutes);
    QTextDocument text;
    text.setPlainText(parser.value(comment));
    input.commentHtml = text.toHtml();

    std::vector<PatientRecord> patients;
    db.listPatients(std::string(), patients);
    const auto patient = std::find_if(patients.begin(), patients.end(),
                                      [&](const PatientRecord &p) { return p.fiscalCode == session.patientFC; });
    if (patient == patients.end())
        return fail("report", QStringLiteral("no patient %1 for session %2").arg(QString::fromStdString(session.patientFC)).arg(sessionId));
    input.patient = *patient;

    RecordingData recording;
    if (!recording.load(input.sessionFolder, session.startRecDate))
        return fail("report", QStringLiteral("cannot open the recording in %1: %2").arg(input.sessionFolder, recording.errorString()));
    input.spo2SpanMs = recording.spo2Span();
    input.acquisitionStartSeconds = recording.acquisitionStartSeconds();
    input.durationMinutes = int(recording.ecgSpan() / 60000);

    AnalysisResults analysis(&db);
    const QString analysisFolder = input.sessionFolder + "/ANALISI";
    switch (analysis.load(analysisFolder, sessionId, session.startRecDate)) {
    case AnalysisResults::Events::NoFile:
        std::fprintf(stderr, "tavokrn-tool report: no analysis results in %s: only hand-added events count\n",
                     qPrintable(analysisFolder));
        break;
    case AnalysisResults::Events::Unreadable:
    case AnalysisResults::Events::Refused:
        return fail("report", analysis.errorString());
    case AnalysisResults::Events::Reused:
    case AnalysisResults::Events::Written:
    case AnalysisResults::Events::Kept:
        break;
    }
    input.annotationCount = analysis.annotationCount();
    input.normalCount = analysis.normalCount();
    input.sourceId = analysis.events().sourceId();
    input.heartRates = analysis.heartRate().summary();

    SessionReport report;
    switch (report.generate(input, db, dataFolder)) {
    case SessionReport::Result::PdfNotWritten:
        return fail("report", report.errorString());
    case SessionReport::Result::SessionNotUpdated:
        return fail("report", QStringLiteral("%1 written, but %2").arg(report.pdfPath(), report.errorString()));
    case SessionReport::Result::Done:
        break;
    }
    std::printf("report %s pages %d; session %d ANALYZED\n", qPrintable(report.pdfPath()), report.pageCount(),
                sessionId);
    return 0;
}
