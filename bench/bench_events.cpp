// Loading the events of a 24-hour analysis folder: about 100 000 beats of which 30 000
// ventricular and a few hundred episodes (sim's busy analysis trace), made once under
// $TMPDIR/tavokrn-bench. "EventsCommand" runs the real `tavokrn-tool events` as the user would,
// first on a database without the rows (conversion) and then with them (reuse); the in-process
// figures split the first load into its steps.

#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "db/Database.h"
#include "review/data/AnalysisResults.h"
#include "review/data/BeatFile.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

namespace {

bool freshCopy(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

QString runEvents(const QString &db, const QString &folder)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavokrn-tool"),
               {QStringLiteral("events"), db, QStringLiteral("1"), folder});
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

struct Inputs {
    QString folder;
    QString emptyDb;
    QString workDb;
};

bool inputs(benchmark::State &state, Inputs *in)
{
    QString error;
    in->folder = busyAnalysis24h(&error);
    if (!in->folder.isEmpty())
        in->emptyDb = emptyEventsDatabase(&error);
    if (in->folder.isEmpty() || in->emptyDb.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return false;
    }
    in->workDb = benchRoot() + QStringLiteral("/events-work.db");
    return true;
}

void BM_EventsCommandFirstLoad(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    QString out;
    for (auto _ : state) {
        state.PauseTiming();
        freshCopy(in.emptyDb, in.workDb);
        state.ResumeTiming();
        out = runEvents(in.workDb, in.folder);
        if (!out.endsWith(QLatin1String(" written\n"))) {
            state.SkipWithError("the events were not written");
            return;
        }
    }
    state.counters["rows"] = out.section(' ', 3, 3).toDouble();
}
BENCHMARK(BM_EventsCommandFirstLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EventsCommandReopen(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    freshCopy(in.emptyDb, in.workDb);
    runEvents(in.workDb, in.folder);
    for (auto _ : state) {
        if (!runEvents(in.workDb, in.folder).endsWith(QLatin1String(" reused\n"))) {
            state.SkipWithError("the stored events were not reused");
            return;
        }
    }
}
BENCHMARK(BM_EventsCommandReopen)->Unit(benchmark::kMillisecond)->UseRealTime();

// The steps of the first load, in this process.
void BM_ReadBeatFile(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    BeatFile file;
    for (auto _ : state)
        file.read(in.folder + QStringLiteral("/annotations_fusion.pt"));
    state.counters["lines"] = file.lines().size();
}
BENCHMARK(BM_ReadBeatFile)->Unit(benchmark::kMillisecond);

void BM_ConvertIntoRows(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    BeatFile file;
    file.read(in.folder + QStringLiteral("/annotations_fusion.pt"));
    std::size_t rows = 0;
    for (auto _ : state)
        rows = beatFileRows(file.lines(), 1, file.sourceId()).size();
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_ConvertIntoRows)->Unit(benchmark::kMillisecond);

void BM_StoreRowsInOneTransaction(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    BeatFile file;
    file.read(in.folder + QStringLiteral("/annotations_fusion.pt"));
    const std::vector<AnnotationRecord> rows = beatFileRows(file.lines(), 1, file.sourceId());
    for (auto _ : state) {
        state.PauseTiming();
        freshCopy(in.emptyDb, in.workDb);
        Database db;
        db.open(in.workDb);
        std::vector<AnnotationRecord> batch = rows;
        state.ResumeTiming();
        if (!db.insertAnnotations(batch)) {
            state.SkipWithError("the rows were refused");
            return;
        }
    }
}
BENCHMARK(BM_StoreRowsInOneTransaction)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FolderLoadReusingRows(benchmark::State &state)
{
    Inputs in;
    if (!inputs(state, &in))
        return;
    freshCopy(in.emptyDb, in.workDb);
    Database db;
    db.open(in.workDb);
    AnalysisResults results(&db);
    results.load(in.folder, 1, benchRecordingStart());
    for (auto _ : state) {
        if (results.load(in.folder, 1, benchRecordingStart()) != AnalysisResults::Events::Reused) {
            state.SkipWithError("the stored events were not reused");
            return;
        }
    }
    state.counters["rows"] = results.events().rowCount();
}
BENCHMARK(BM_FolderLoadReusingRows)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
