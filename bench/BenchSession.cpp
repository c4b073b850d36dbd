#include "bench/BenchSession.h"

#include "import/RecordingDecoder.h"
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
