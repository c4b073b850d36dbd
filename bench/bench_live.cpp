// The live page at the recorder's real rates: a synthetic recorder stream (the s-files of a card
// without drop-outs, one after the other) is cut into the chunks the Bluetooth reader queues
// (1501 bytes), each chunk is parsed and handed to the page's buffers by a feeder thread at the
// moment its last frame would have been sent, as the stream consumer does. The page is shown
// (offscreen) with both refresh timers running. Reported after a 5 s warm-up:
//   lag_*_ms      newest record handed to the page minus the time at the right edge of the ECG
//                 plots, sampled at every paint of a lead plot (must stay within 600 ms), and the
//                 share of paints beyond 600 ms;
//   ecg_backlog_* records waiting in the ECG buffer (nothing may back up: the last minute's
//                 maximum is no higher than the first minute's);
//   gui_busy      CPU time of the GUI thread over wall time (must stay under 0.5);
//   refresh_*_us  one ECG refresh step (realTimeDataEcg), mean and 99th percentile;
//   paints_per_s  paints of one ECG plot.
//
//   bench_live [--seconds=N] [--shot=FILE.png] [benchmark flags]
// --seconds: measured duration (default 60; the figures in the README are for 600).
// --shot: the page as it looked at the end, saved as a PNG.

#include "bench/BenchMain.h"
#include "live/LivePlots.h"
#include "live/OnlineVisualizationWindow.h"
#include "sim/SyntheticRecorder.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <numeric>
#include <thread>

namespace {

int measuredSeconds = 60;
QString shotPath;
constexpr int WarmUpSeconds = 5;
// What the Bluetooth reader queues at once while the ECG streams: a chunk past 1500 bytes.
constexpr int ChunkBytes = 1501;

struct Chunk {
    qint64 releaseMs = 0; // recorder time of its last frame
    SampleList ecg;
    SampleList breath;
};

// CPU time of the calling thread; not a number where the system gives no such clock.
double threadCpuSeconds()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
#else
    return std::nan("");
#endif
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

double mean(const std::vector<double> &values)
{
    return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

bool makeChunks(int seconds, std::vector<Chunk> *chunks, QString *error)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    SynthOptions options;
    options.hours = seconds / 3600.0;
    options.dropOuts = false;
    // The recorder at gain 6, the page's divisor: the traces read in mV.
    options.calibration.gain = 6;
    SynthSummary summary;
    const QString capturePath = dir.filePath(QStringLiteral("capture.bin"));
    if (!writeSyntheticRecording(dir.filePath(QStringLiteral("card")), options, &summary, error)
        || !writeSampleCapture(dir.filePath(QStringLiteral("card")), capturePath, error))
        return false;
    QFile file(capturePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray capture = file.readAll();
    for (int offset = 0; offset < capture.size(); offset += ChunkBytes) {
        Chunk chunk;
        parseSampleChunk(capture.mid(offset, ChunkBytes), chunk.ecg, chunk.breath);
        for (const SampleList *list : {&chunk.ecg, &chunk.breath})
            if (!list->empty())
                chunk.releaseMs = std::max<qint64>(chunk.releaseMs, sampleTime(list->back()));
        chunks->push_back(std::move(chunk));
    }
    return true;
}

// Samples the lag whenever the watched plot paints.
class PaintWatch : public QObject
{
public:
    PaintWatch(const QwtPlot *plot, const std::atomic<qint64> &newest) : m_plot(plot), m_newest(newest) {}
    bool measuring = false;
    std::vector<double> lags;
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (measuring && event->type() == QEvent::Paint) {
            ++paints;
            const double shown = m_plot->axisInterval(QwtPlot::xBottom).maxValue();
            if (shown > 0)
                lags.push_back(double(m_newest.load()) - shown);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QwtPlot *m_plot;
    const std::atomic<qint64> &m_newest;
};

void BM_LivePage(benchmark::State &state)
{
    static std::vector<Chunk> prepared;
    QString error;
    if (prepared.empty() && !makeChunks(WarmUpSeconds + measuredSeconds + 5, &prepared, &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    for (auto _ : state) {
        std::vector<Chunk> chunks = prepared;
        OnlineVisualizationWindow page;
        page.resize(1584, 780);
        page.show();
        QCoreApplication::processEvents();

        std::vector<double> refreshUs;
        bool measuring = false;
        page.setEcgRefreshConnected(false);
        QObject::connect(page.ecgTimer(), &QTimer::timeout, &page, [&] {
            QElapsedTimer timer;
            timer.start();
            page.realTimeDataEcg();
            if (measuring)
                refreshUs.push_back(double(timer.nsecsElapsed()) / 1000.0);
        });

        std::atomic<qint64> newest{0};
        std::atomic<bool> stop{false};
        PaintWatch watch(page.ecgPlot(1), newest);
        page.ecgPlot(1)->canvas()->installEventFilter(&watch);

        std::vector<int> backlog; // ECG records waiting, every 100 ms while measuring
        QTimer sampler;
        sampler.setInterval(100);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (measuring)
                backlog.push_back(int(page.ecgRecords().size()));
        });

        page.startEcgTimer();
        page.startBreathTimer();
        sampler.start();
        const auto started = std::chrono::steady_clock::now();
        std::thread feeder([&] {
            for (Chunk &chunk : chunks) {
                std::this_thread::sleep_until(started + std::chrono::milliseconds(chunk.releaseMs));
                if (stop)
                    return;
                const qint64 last = chunk.ecg.empty() ? newest.load() : qint64(sampleTime(chunk.ecg.back()));
                page.ecgRecords().append(std::move(chunk.ecg));
                page.breathRecords().append(std::move(chunk.breath));
                newest = last;
            }
        });

        double cpuAtStart = 0;
        QElapsedTimer wall;
        QEventLoop loop;
        QTimer::singleShot(WarmUpSeconds * 1000, [&] {
            measuring = watch.measuring = true;
            cpuAtStart = threadCpuSeconds();
            wall.start();
        });
        QTimer::singleShot((WarmUpSeconds + measuredSeconds) * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double busy = (threadCpuSeconds() - cpuAtStart) / (double(wall.nsecsElapsed()) / 1e9);
        measuring = watch.measuring = false;
        stop = true;
        feeder.join();
        page.stopEcgTimer();
        page.stopBreathTimer();
        if (!shotPath.isEmpty())
            page.grab().save(shotPath);

        const std::size_t minute = std::min<std::size_t>(600, backlog.size());
        const int firstMinute = backlog.empty() ? 0 : *std::max_element(backlog.begin(), backlog.begin() + long(minute));
        const int lastMinute = backlog.empty() ? 0 : *std::max_element(backlog.end() - long(minute), backlog.end());
        state.counters["lag_mean_ms"] = mean(watch.lags);
        state.counters["lag_p99_ms"] = percentile(watch.lags, 0.99);
        state.counters["lag_max_ms"] = watch.lags.empty() ? 0 : *std::max_element(watch.lags.begin(), watch.lags.end());
        state.counters["lag_over_600_share"] =
            watch.lags.empty() ? 0
                               : double(std::count_if(watch.lags.begin(), watch.lags.end(), [](double lag) { return lag > 600; }))
                                     / double(watch.lags.size());
        state.counters["ecg_backlog_first_min"] = firstMinute;
        state.counters["ecg_backlog_last_min"] = lastMinute;
        state.counters["gui_busy"] = busy;
        state.counters["refresh_mean_us"] = mean(refreshUs);
        state.counters["refresh_p99_us"] = percentile(refreshUs, 0.99);
        state.counters["paints_per_s"] = watch.paints / double(measuredSeconds);
        state.counters["seconds"] = measuredSeconds;
    }
}

} // namespace

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    // Our own flags first: Google Benchmark refuses the ones it does not know.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith("--seconds="))
            measuredSeconds = std::max(1, arg.mid(10).toInt());
        else if (arg.startsWith("--shot="))
            shotPath = arg.mid(7);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    QApplication app(argc, argv);
    benchmark::RegisterBenchmark("BM_LivePage", BM_LivePage)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    return runBenchmarks(argc, argv);
}
