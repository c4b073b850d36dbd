// The workstation's own beat analysis on synthetic recordings with their ground truth (1, 6 and 24
// hours, made once under $TMPDIR/tavokrn-bench): the analysis in process for each length, so that
// the time per hour shows it grows linearly, then the whole `tavokrn-tool analyse` command on the
// 24 hours with its peak memory, and the scores of what it wrote against the truth.

#include "analysis/SessionAnalysis.h"
#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "import/RecordingDecoder.h"
#include "sim/SyntheticRecorder.h"
#include "sim/SyntheticTruth.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/resource.h>

#include <cstdio>

namespace {

// The decoded session of a ground-truth recording of that many hours, with its truth file beside
// it as truth.txt; made once.
QString truthSession(int hours, QString *error)
{
    const QString folder = benchRoot() + QStringLiteral("/truth-session-%1h").arg(hours);
    if (QFile::exists(folder + QStringLiteral("/complete")))
        return folder;
    const QString card = benchRoot() + QStringLiteral("/truth-card-%1h").arg(hours);
    std::fprintf(stderr, "making a %d-hour ground-truth recording in %s\n", hours, qPrintable(card));
    QDir(card).removeRecursively();
    QDir(folder).removeRecursively();
    SynthOptions options;
    options.hours = hours;
    options.seed = 11;
    SynthTruth truth;
    options.truth = &truth;
    SynthSummary summary;
    CardDecodeResult decoded;
    if (!writeSyntheticRecording(card, options, &summary, error)
        || !decodeCardFolder(card, folder, Calibration(), &decoded, error)
        || !truth.write(folder + QStringLiteral("/truth.txt"), error))
        return QString();
    QDir(card).removeRecursively();
    QFile marker(folder + QStringLiteral("/complete"));
    return marker.open(QIODevice::WriteOnly) ? folder : QString();
}

void BM_AnalyseSession(benchmark::State &state)
{
    const int hours = int(state.range(0));
    QString error;
    const QString folder = truthSession(hours, &error);
    if (folder.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    SessionAnalysis analysis;
    for (auto _ : state) {
        if (!analysis.run(folder, true)) {
            state.SkipWithError(qPrintable(analysis.errorString()));
            return;
        }
    }
    state.counters["beats"] = double(analysis.counts().beats);
    state.counters["s_per_hour"] = benchmark::Counter(double(hours), benchmark::Counter::kIsIterationInvariantRate
                                                                         | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnalyseSession)->Arg(1)->Arg(6)->Arg(24)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The command as a user runs it, in its own process: its wall time, peak memory and scores.
void BM_AnalyseCommand24h(benchmark::State &state)
{
    QString error;
    const QString folder = truthSession(24, &error);
    if (folder.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    for (auto _ : state) {
        QProcess tool;
        tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavokrn-tool"),
                   {QStringLiteral("analyse"), QStringLiteral("--force"), folder});
        if (!tool.waitForFinished(600000) || tool.exitCode() != 0) {
            state.SkipWithError("tavokrn-tool analyse failed");
            return;
        }
    }
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    state.counters["peak_MiB"] = double(children.ru_maxrss) / 1024.0;

    SynthTruth truth;
    TruthScore score;
    if (!SynthTruth::read(folder + QStringLiteral("/truth.txt"), &truth, &error)
        || !scoreAnalysis(truth, folder + QStringLiteral("/ANALISI"), &score, &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    state.counters["QRS_Se_pct"] = 100 * score.sensitivity();
    state.counters["QRS_PP_pct"] = 100 * score.positivePredictivity();
    state.counters["V_Se_pct"] = 100 * score.vSensitivity();
    state.counters["V_PP_pct"] = 100 * score.vPositivePredictivity();
    std::fprintf(stderr, "%s", qPrintable(score.report()));
}
BENCHMARK(BM_AnalyseCommand24h)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
