// The EDF+ export of the shared 24-hour session (43.2 million ECG records, about 1 GB of EDF+),
// warm page cache: the time of both passes and the file's close, and the process's peak resident
// memory (getrusage), which must not grow with the length of the recording.
#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "report/EdfExport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

namespace {

double peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // KiB on Linux
}

void BM_ExportEdf24h(benchmark::State &state)
{
    QString error;
    const QString session = session24h(&error);
    if (session.isEmpty()) {
        state.SkipWithError(qPrintable(QStringLiteral("no 24-hour session: ") + error));
        return;
    }
    const QString out = benchRoot() + QStringLiteral("/export-24h.edf");
    const double peakBefore = peakResidentMiB();
    const double residentBefore = residentMiB();
    qint64 bytes = 0;
    for (auto _ : state) {
        EdfExport exporter(session);
        if (!exporter.write(out)) {
            state.SkipWithError(qPrintable(exporter.errorString()));
            return;
        }
        bytes = QFileInfo(out).size();
    }
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["MB_per_s"] = benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["rss_before_MiB"] = residentBefore;
    // The peak before the export covers making the session when this run had to make it.
    state.counters["peak_before_MiB"] = peakBefore;
    state.counters["peak_rss_MiB"] = peakResidentMiB();
    QFile::remove(out);
}
BENCHMARK(BM_ExportEdf24h)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
