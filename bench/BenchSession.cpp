#include "bench/BenchSession.h"

#include "db/Database.h"
#include "db/Schema.h"
#include "import/RecordingDecoder.h"
#include "sim/SyntheticAnalysis.h"
#include "sim/SyntheticRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool markComplete(const QString &folder)
{
    QFile marker(folder + QStringLiteral("/complete"));
    return marker.open(QIODevice::WriteOnly);
}

QString card24h(QString *error)
{
    const QString folder = benchRoot() + QStringLiteral("/card-24h");
    if (QFile::exists(folder + QStringLiteral("/complete")))
        return folder;
    std::fprintf(stderr, "making a 24-hour synthetic card in %s\n", qPrintable(folder));
    SynthOptions options;
    options.hours = 24;
    SynthSummary summary;
    if (!writeSyntheticRecording(folder, options, &summary, error) || !markComplete(folder))
        return QString();
    return folder;
}

} // namespace

QString benchRoot() { return QDir::temp().filePath(QStringLiteral("tavokrn-bench")); }

// Decoded into a private folder first and renamed into place, so that two benchmarks making it at
// the same time never read a half-written session.
QString session24h(QString *error)
{
    const QString folder = benchRoot() + QStringLiteral("/session-24h");
    if (QFile::exists(folder + QStringLiteral("/complete")))
        return folder;
    const QString card = card24h(error);
    if (card.isEmpty())
        return QString();
    const QString work = folder + QStringLiteral(".part-%1").arg(QCoreApplication::applicationPid());
    std::fprintf(stderr, "decoding the 24-hour card into %s\n", qPrintable(folder));
    CardDecodeResult result;
    if (!decodeCardFolder(card, work, Calibration(), &result, error))
        return QString();
    QFile::copy(card + QStringLiteral("/Puls.txt"), work + QStringLiteral("/Puls.txt"));
    if (!markComplete(work))
        return QString();
    QDir(folder).removeRecursively();
    if (!QDir().rename(work, folder))
        QDir(work).removeRecursively();
    return QFile::exists(folder + QStringLiteral("/complete")) ? folder : QString();
}

qint64 benchRecordingStart() { return SynthOptions().start.toSecsSinceEpoch(); }

double residentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
    }
    return 0;
}

QString busyAnalysis24h(QString *error)
{
    const QString folder = benchRoot() + QStringLiteral("/analysis-busy-24h");
    if (QFile::exists(folder + QStringLiteral("/complete")))
        return folder;
    const SynthTrace trace = busyAnalysisTrace(24, 0.3, 60, QDateTime::fromSecsSinceEpoch(benchRecordingStart()));
    if (!writeSyntheticAnalysis(folder, trace, error) || !markComplete(folder))
        return QString();
    return folder;
}

QString emptyEventsDatabase(QString *error)
{
    const QString path = benchRoot() + QStringLiteral("/events-empty.db");
    if (QFile::exists(path))
        return path;
    QDir().mkpath(benchRoot());
    const QString work = path + QStringLiteral(".part-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(work);
    if (!createDatabaseFile(work, error))
        return QString();
    {
        Database db;
        db.open(work);
        PatientRecord patient;
        patient.fiscalCode = "RSSMRA80A01H501U";
        patient.status = "LOADED";
        SessionRecord session;
        session.patientFC = patient.fiscalCode;
        session.status = "LOADED";
        session.startRecDate = benchRecordingStart();
        if (!db.insertPatient(patient) || !db.insertSession(session) || session.id != 1) {
            *error = QStringLiteral("cannot prepare the benchmark database");
            return QString();
        }
    }
    QFile::rename(work, path);
    QFile::remove(work);
    return QFile::exists(path) ? path : QString();
}
