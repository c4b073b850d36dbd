// Demo data command of tavokrn-tool: a few patients and sessions in every state the patient page
// can show, with fiscal codes that pass the patient form's check.
#include "tools/Commands.h"

#include "db/Database.h"
#include "import/RecordingDecoder.h"
#include "import/Spo2Conversion.h"
#include "sim/SyntheticAnalysis.h"
#include "sim/SyntheticRecorder.h"
#include "patients/FiscalCode.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

struct DemoSession
{
    const char *status;
    QDateTime setup; // recording starts a quarter of an hour later
};

struct DemoPatient
{
    const char *surname;
    const char *name;
    bool female;
    QDate birth;
    const char *place; // municipality code of the place of birth
    const char *status;
    uint8_t height;
    uint8_t weight;
    const char *note;
    std::vector<DemoSession> sessions;
};

// The calibration every demo session was set up with: gain 6 and the recorder's 8 factors.
const char *const DemoCalibration = "6,1.02,0.98,1.01,0.99,1.03,0.97,1,1.02";

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// Patient statuses "FREE", "OPEN" and "LOADED"; session statuses "OPEN", "LOADED", "ANALYZED"
// and one no step of the workflow knows, so that every tile state can be seen.
std::vector<DemoPatient> demoRecords()
{
    return {
        {"Bianchi", "Maria", true, QDate(1975, 5, 5), "H501", "OPEN", 165, 58,
         "Registrazione in corso sul dispositivo.", {{"OPEN", at(2026, 11, 30, 9, 10)}}},
        {"Esposito", "Anna", true, QDate(1990, 7, 15), "F839", "FREE", 170, 61, "", {}},
        {"Fo", "Ugo", false, QDate(1948, 9, 30), "F205", "FREE", 172, 75,
         "Sessione con stato non riconosciuto: nessuna azione disponibile.", {{"SUSPENDED", at(2026, 10, 2, 15, 40)}}},
        {"Rossi", "Mario", false, QDate(1980, 1, 2), "H501", "FREE", 178, 82, "Controllo annuale.",
         {{"ANALYZED", at(2026, 6, 12, 8, 30)}}},
        {"Verdi", "Gianfranco", false, QDate(1965, 12, 31), "L219", "LOADED", 181, 90, "Iperteso, in terapia.",
         {{"LOADED", at(2026, 12, 1, 10, 5)}, {"ANALYZED", at(2026, 9, 14, 11, 20)}}},
    };
}

// Takes back what an interrupted run stored, so that the file is as it was and a second run
// is not refused because of half the demo.
void undo(Database &db, const std::vector<std::string> &fiscalCodes, const std::vector<int> &sessionIds)
{
    for (int id : sessionIds)
        db.deleteSession(id);
    for (const std::string &code : fiscalCodes)
        db.deletePatient(code);
}

} // namespace

namespace tool {

int demoPatients(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("demo-patients", parser.errorText(), 2);
    if (parser.positionalArguments().size() != 1)
        return fail("demo-patients", QStringLiteral("exactly one DB_FILE expected"), 2);

    const QString file = parser.positionalArguments().first();
    Database db;
    if (!openDatabase("demo-patients", db, file))
        return 1;

    std::vector<PatientRecord> existing;
    if (!db.listPatients(std::string(), existing))
        return fail("demo-patients", QStringLiteral("cannot read the patients of %1").arg(file));
    if (!existing.empty()) {
        std::printf("%s already holds %zu patients: no demo patients added\n", qPrintable(file), existing.size());
        return 0;
    }

    std::vector<std::string> addedPatients;
    std::vector<int> addedSessions;
    for (const DemoPatient &demo : demoRecords()) {
        PatientRecord p;
        p.name = demo.name;
        p.surname = demo.surname;
        p.fiscalCode = composeFiscalCode(demo.surname, demo.name, demo.birth, demo.female, demo.place).toStdString();
        p.isMale = !demo.female;
        p.height = demo.height;
        p.weight = demo.weight;
        p.birthDate = QDateTime(demo.birth, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        p.status = demo.status;
        p.note = demo.note;
        if (!db.insertPatient(p)) {
            undo(db, addedPatients, addedSessions);
            return fail("demo-patients", QStringLiteral("cannot add patient %1 to %2").arg(QString::fromStdString(p.fiscalCode), file));
        }
        addedPatients.push_back(p.fiscalCode);

        for (const DemoSession &demoSession : demo.sessions) {
            SessionRecord s;
            s.patientFC = p.fiscalCode;
            s.status = demoSession.status;
            s.startSetupDate = demoSession.setup.toSecsSinceEpoch();
            s.startRecDate = s.startSetupDate + 15 * 60;
            s.calibration = DemoCalibration;
            if (!db.insertSession(s)) {
                undo(db, addedPatients, addedSessions);
                return fail("demo-patients", QStringLiteral("cannot add a session of %1 to %2")
                                                 .arg(QString::fromStdString(p.fiscalCode), file));
            }
            addedSessions.push_back(s.id);
        }
        std::printf("added patient %s %s %s (%s, %zu sessions)\n", demo.surname, demo.name, p.fiscalCode.c_str(),
                    demo.status, demo.sessions.size());
    }
    return 0;
}

} // namespace tool

namespace {

struct DemoTarget
{
    PatientRecord patient;
    SessionRecord session;
};

// The first session of that status; for "LOADED" one that has no decoded data yet.
bool findSession(Database &db, const std::string &status, DemoTarget *target)
{
    std::vector<PatientRecord> patients;
    db.listPatients(std::string(), patients);
    for (const PatientRecord &p : patients) {
        std::vector<SessionRecord> sessions;
        db.listSessions(p.fiscalCode, sessions);
        for (const SessionRecord &s : sessions) {
            if (s.status == status && (status != "LOADED" || s.dataPathName.empty())) {
                *target = {p, s};
                return true;
            }
        }
    }
    return false;
}

// The card the recorder would hold after recording that session.
bool demoCardOptions(const DemoTarget &target, double hours, SynthOptions *options, QString *error)
{
    options->hours = hours;
    options->seed = quint64(target.session.id);
    options->sessionId = QString::fromStdString(target.patient.fiscalCode)
                         + QStringLiteral("%1").arg(target.session.id, 4, 10, QLatin1Char('0'));
    options->start = QDateTime::fromSecsSinceEpoch(target.session.startRecDate);
    return Calibration::fromText(QString::fromStdString(target.session.calibration), &options->calibration, error);
}

} // namespace

namespace tool {

int demoRecordings(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("database with the demo patients"));
    parser.addPositionalArgument(QStringLiteral("DATA_FOLDER"), QStringLiteral("the data folder of that database"));
    parser.addPositionalArgument(QStringLiteral("CARD_FOLDER"), QStringLiteral("where the card of the \"OPEN\" session goes"));
    const QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("length of the card's recording, default 3"), QStringLiteral("H"));
    const QCommandLineOption loadedHours(QStringLiteral("loaded-hours"), QStringLiteral("length of the \"LOADED\" session's recording, default 2"), QStringLiteral("H"));
    parser.addOptions({hours, loadedHours});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("demo-recordings", parser.errorText(), 2);
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 3)
        return fail("demo-recordings", QStringLiteral("DB_FILE DATA_FOLDER CARD_FOLDER expected"), 2);
    bool ok = true;
    const double cardHours = parser.isSet(hours) ? parser.value(hours).toDouble(&ok) : 3.0;
    bool loadedOk = true;
    const double loadedLength = parser.isSet(loadedHours) ? parser.value(loadedHours).toDouble(&loadedOk) : 2.0;
    if (!ok || !loadedOk)
        return fail("demo-recordings", QStringLiteral("--hours and --loaded-hours take a number"), 2);

    Database db;
    if (!openDatabase("demo-recordings", db, paths[0]))
        return 1;
    QString error;
    SynthSummary summary;

    // The card to import into the "OPEN" session: the identifier, calibration and start it had.
    DemoTarget open;
    if (findSession(db, "OPEN", &open)) {
        SynthOptions options;
        if (!demoCardOptions(open, cardHours, &options, &error) || !writeSyntheticRecording(paths[2], options, &summary, &error))
            return fail("demo-recordings", error);
        std::printf("card of %s %s's open session %s: %s (%d s-files)\n", open.patient.surname.c_str(),
                    open.patient.name.c_str(), qPrintable(options.sessionId), qPrintable(paths[2]), summary.sampleFiles);
    } else {
        std::printf("no \"OPEN\" session: no card written\n");
    }

    // A "LOADED" session with its data decoded, as a folder import leaves it.
    DemoTarget loaded;
    if (findSession(db, "LOADED", &loaded)) {
        SynthOptions options;
        SynthTrace trace; // what the analysis tool would have found in it, for the review page
        QTemporaryDir scratch;
        const QString card = scratch.filePath(QStringLiteral("card"));
        const bool optionsMade = scratch.isValid() && demoCardOptions(loaded, loadedLength, &options, &error);
        options.trace = &trace;
        if (!optionsMade || !writeSyntheticRecording(card, options, &summary, &error))
            return fail("demo-recordings", error.isEmpty() ? QStringLiteral("no scratch folder") : error);
        const QString dataPath = QString::fromStdString(loaded.patient.fiscalCode) + "/" + QString::number(loaded.session.id);
        const QString folder = paths[1] + "/" + dataPath;
        CardDecodeResult result;
        if (!decodeCardFolder(card, folder, options.calibration, &result, &error)
            || !writeSyntheticAnalysis(folder + "/ANALISI", trace, &error))
            return fail("demo-recordings", error);
        QFile::remove(folder + "/Puls.txt");
        if (convertSpo2File(card + "/Puls.txt", folder + "/spo2.txt", options.start)
            || !QFile::copy(card + "/Puls.txt", folder + "/Puls.txt"))
            return fail("demo-recordings", QStringLiteral("cannot convert the oximeter export into %1").arg(folder));
        std::vector<UserRecord> users;
        db.listUsers(users);
        SessionRecord session = loaded.session;
        session.dataPathName = dataPath.toStdString();
        session.endRecDate = session.startRecDate + result.durationMs / 1000;
        session.importDate = session.endRecDate + 3600;
        session.whoImportedID = users.empty() ? 0 : users.front().id;
        if (!db.updateSession(session))
            return fail("demo-recordings", QStringLiteral("cannot store session %1").arg(session.id));
        std::printf("decoded %u s of recording into %s's loaded session %s\n", result.durationMs / 1000,
                    loaded.patient.surname.c_str(), qPrintable(folder));
    } else {
        std::printf("no \"LOADED\" session without data: nothing decoded\n");
    }
    return 0;
}

} // namespace tool
