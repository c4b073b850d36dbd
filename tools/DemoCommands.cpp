// Demo data command of tavokrn-tool: a few patients and sessions in every state the patient page
// can show, with fiscal codes that pass the patient form's check.
#include "tools/Commands.h"

#include "db/Database.h"
#include "patients/FiscalCode.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>

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

int fail(const QString &message, int exitCode = 1)
{
    std::fprintf(stderr, "tavokrn-tool demo-patients: %s\n", qPrintable(message));
    return exitCode;
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
        return fail(parser.errorText(), 2);
    if (parser.positionalArguments().size() != 1)
        return fail(QStringLiteral("exactly one DB_FILE expected"), 2);

    const QString file = parser.positionalArguments().first();
    Database db;
    db.open(file);
    if (!db.isOpen())
        return fail(QStringLiteral("cannot open database %1").arg(file));

    std::vector<PatientRecord> existing;
    if (!db.listPatients(std::string(), existing))
        return fail(QStringLiteral("cannot read the patients of %1").arg(file));
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
            return fail(QStringLiteral("cannot add patient %1 to %2").arg(QString::fromStdString(p.fiscalCode), file));
        }
        addedPatients.push_back(p.fiscalCode);

        for (const DemoSession &demoSession : demo.sessions) {
            SessionRecord s;
            s.patientFC = p.fiscalCode;
            s.status = demoSession.status;
            s.startSetupDate = demoSession.setup.toSecsSinceEpoch();
            s.startRecDate = s.startSetupDate + 15 * 60;
            if (!db.insertSession(s)) {
                undo(db, addedPatients, addedSessions);
                return fail(QStringLiteral("cannot add a session of %1 to %2")
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
