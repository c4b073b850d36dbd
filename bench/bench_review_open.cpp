// Opening a decoded 24-hour session for review: the time of RecordingData::load with warm caches
// and the resident memory it adds, plus the reads the plots make afterwards.
//
// The card and the decoded session are made once under $TMPDIR/tavokrn-bench (card-24h, about
// 2 GB, and session-24h, about 2 GB) and reused; each folder gets its "complete" marker last, so a
// folder whose making was cut short is made again.
#include "import/RecordingDecoder.h"
#include "import/SyntheticRecorder.h"
#include "review/RecordingData.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

QString benchRoot()
{
    return QDir::temp().filePath(QStringLiteral("tavokrn-bench"));
}

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

// Resident set size now, in MiB (file-backed pages of the maps included).
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

// The synthetic card's recording starts at its acquisition start.
qint64 recordingStart()
{
    return SynthOptions().start.toSecsSinceEpoch();
}

void BM_OpenSession24h(benchmark::State &state)
{
    QString error;
    const QString session = session24h(&error);
    if (session.isEmpty()) {
        state.SkipWithError(qPrintable(QStringLiteral("no 24-hour session: ") + error));
        return;
    }
    { // warm the page cache over the pages a load touches
        RecordingData warm;
        warm.load(session, recordingStart());
    }
    double added = 0;
    std::size_t records = 0;
    for (auto _ : state) {
        const double before = residentMiB();
        RecordingData data;
        if (!data.load(session, recordingStart())) {
            state.SkipWithError(qPrintable(data.problem()));
            return;
        }
        added = std::max(added, residentMiB() - before);
        records = data.ecg().size();
        benchmark::DoNotOptimize(data.overviewCurve().data());
    }
    state.counters["added_rss_MiB"] = added;
    state.counters["ecg_records"] = double(records);
}
BENCHMARK(BM_OpenSession24h)->Unit(benchmark::kMillisecond)->UseRealTime();

// One 10-second 12-lead window (5000 ECG records) read at a random place of the day.
void BM_ReadEcgWindow10s(benchmark::State &state)
{
    QString error;
    const QString session = session24h(&error);
    RecordingData data;
    if (session.isEmpty() || !data.load(session, recordingStart())) {
        state.SkipWithError("no 24-hour session");
        return;
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<quint32> at(0, quint32(data.ecgSpan()) - 10000);
    SampleList out;
    for (auto _ : state) {
        data.readEcgRecords(out, at(random), 5000);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_ReadEcgWindow10s)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The loader's diagnostics would drown the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
