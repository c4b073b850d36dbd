// Decoding speed and memory on synthetic recorder cards: the frame scan alone on bytes in memory,
// and whole card folders (1 h and 24 h) decoded from files on disk into files on disk.
//
// The cards are made once under $TMPDIR/tavokrn-bench (a 24-hour card is about 2 GB) and reused
// by later runs; remove that folder to make them again.
#include "bench/BenchMain.h"
#include "import/RecordingDecoder.h"
#include "sim/SyntheticRecorder.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>

namespace {

QString benchRoot()
{
    return QDir::temp().filePath(QStringLiteral("tavokrn-bench"));
}

// The card of a synthetic recording of `hours`, made on first use. The marker is written last,
// so a card whose making was cut short is made again.
QString syntheticCard(int hours, QString *error)
{
    const QString folder = QDir(benchRoot()).filePath(QStringLiteral("card-%1h").arg(hours));
    const QString marker = folder + QStringLiteral("/complete");
    if (QFile::exists(marker))
        return folder;
    std::fprintf(stderr, "making a %d-hour synthetic card in %s\n", hours, qPrintable(folder));
    SynthOptions options;
    options.hours = hours;
    SynthSummary summary;
    QFile done(marker);
    if (!writeSyntheticRecording(folder, options, &summary, error) || !done.open(QIODevice::WriteOnly))
        return QString();
    return folder;
}

// Peak resident memory in MiB since the last reset. The reset (Linux clear_refs "5") keeps the
// making of a card out of the decode's figure.
void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // KiB on Linux
}

class FrameCounter : public FrameHandler
{
public:
    void frame(Stream, quint32 deviceTime, const float *values) override
    {
        benchmark::DoNotOptimize(deviceTime);
        benchmark::DoNotOptimize(values);
        ++frames;
    }
    quint64 frames = 0;
};

// The ECG/respiration scan of one card file, held in memory: the scanner without any I/O.
void BM_ScanSampleFrames(benchmark::State &state)
{
    QString error;
    const QString card = syntheticCard(1, &error);
    QFile file(card + QStringLiteral("/s1.txt"));
    if (card.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        state.SkipWithError(qPrintable(QStringLiteral("no card file: ") + error));
        return;
    }
    const QByteArray bytes = file.readAll();
    FrameCounter counter;
    for (auto _ : state)
        scanSampleFrames(reinterpret_cast<const uchar *>(bytes.constData()), std::size_t(bytes.size()), counter);
    state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
    state.counters["MB/s"] = benchmark::Counter(double(state.iterations()) * bytes.size() / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["frames"] = double(counter.frames / state.iterations());
}

// A whole card folder, as `tavokrn-tool decode` does it: every s- and i-file into ecg.txt,
// breath.txt and imu.txt. Throughput is of raw input bytes.
void BM_DecodeCard(benchmark::State &state)
{
    const int hours = int(state.range(0));
    QString error;
    const QString card = syntheticCard(hours, &error);
    if (card.isEmpty()) {
        state.SkipWithError(qPrintable(QStringLiteral("cannot make the card: ") + error));
        return;
    }
    const QString session = QDir(benchRoot()).filePath(QStringLiteral("session-%1h").arg(hours));
    resetPeakMemory();
    qint64 bytes = 0;
    CardDecodeResult result;
    for (auto _ : state) {
        if (!decodeCardFolder(card, session, Calibration(), &result, &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
        bytes += result.bytesRead;
    }
    state.SetBytesProcessed(bytes);
    state.counters["MB/s"] = benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsRate);
    state.counters["peak_RSS_MiB"] = peakMemoryMiB();
    state.counters["recording_h"] = double(result.durationMs) / 3.6e6;
    state.counters["ecg_records"] = double(result.records[int(Stream::Ecg)]);
    QDir(session).removeRecursively();
}

} // namespace

BENCHMARK(BM_ScanSampleFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeCard)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeCard)->Arg(24)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
