// Opening a decoded 24-hour session for review: the time of RecordingData::load with warm caches
// and the resident memory it adds, plus the reads the plots make afterwards.
#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "review/data/RecordingData.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <random>

namespace {

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
        warm.load(session, benchRecordingStart());
    }
    double added = 0;
    std::size_t records = 0;
    for (auto _ : state) {
        const double before = residentMiB();
        RecordingData data;
        if (!data.load(session, benchRecordingStart())) {
            state.SkipWithError(qPrintable(data.errorString()));
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
    if (session.isEmpty() || !data.load(session, benchRecordingStart())) {
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
    return runBenchmarks(argc, argv);
}
