// The recorder link against the simulated recorder on the loopback, at the recorder's real rates,
// every reply a whole frame with its check byte (the simulator's default).
//
//   BM_Handshake  connect, battery and card checks, clock set: the time one handshake takes with the
//                 real 3 s receive timeout (nothing should wait for it).
//   BM_Stream     ECG and respiration streamed for KRN_STREAM_SECONDS (default 30; 600 for the
//                 10-minute figure): the records the consumer delivers against the frames the
//                 simulator sent (lost must be 0), and the CPU of the link's worker threads (the
//                 stream reader and the stream consumer) as a share of one core.
#include "bench/BenchMain.h"
#include "device/RecorderLink.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/ScriptedPrompts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <unistd.h>

namespace {

// CPU seconds (user + system) of each thread of the process, by thread id, with its name.
struct ThreadTimes {
    std::map<int, std::pair<QByteArray, double>> threads;

    static ThreadTimes now()
    {
        ThreadTimes t;
        const double tick = double(sysconf(_SC_CLK_TCK));
        for (const QString &tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat("/proc/self/task/" + tid + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const int open = line.indexOf('('), close = line.lastIndexOf(')');
            const QList<QByteArray> fields = line.mid(close + 2).split(' ');
            if (open < 0 || close < 0 || fields.size() < 13)
                continue;
            // After the name: state, then fields 4.. of stat; utime and stime are the 14th and 15th.
            const double seconds = (fields[11].toDouble() + fields[12].toDouble()) / tick;
            t.threads[tid.toInt()] = {line.mid(open + 1, close - open - 1), seconds};
        }
        return t;
    }
};

void BM_Handshake(benchmark::State &state)
{
    SimulatedRecorder sim;
    if (!sim.isListening()) {
        state.SkipWithError("simulator not listening");
        return;
    }
    ScriptedPrompts prompts; // every box answered with its first button
    const auto link = sim.link(prompts, LinkTiming()); // the real waits
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const RecorderLink::Handshake result = link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result != RecorderLink::Handshake::Connected) {
            state.SkipWithError("handshake failed");
            break;
        }
        state.SetIterationTime(seconds);
        link->disconnectDevice();
    }
}
BENCHMARK(BM_Handshake)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Stream(benchmark::State &state)
{
    const int seconds = int(state.range(0));
    for (auto _ : state) {
        SimulatedRecorder sim;
        if (!sim.isListening()) {
            state.SkipWithError("simulator not listening");
            break;
        }
        ScriptedPrompts prompts; // every box answered with its first button
        const auto link = sim.link(prompts, LinkTiming()); // the real waits
        RecordBuffer ecg, breath;
        link->setRecordBuffers(&ecg, &breath);
        if (link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress) != RecorderLink::Handshake::Connected) {
            state.SkipWithError("handshake failed");
            break;
        }
        const ThreadTimes before = ThreadTimes::now();
        const auto start = std::chrono::steady_clock::now();
        link->startStreamConsumer();
        link->startEcgStreaming();
        link->startBreathStreaming();

        // The live view's refresh takes what has arrived, every 10 ms.
        quint64 ecgRecords = 0, breathRecords = 0;
        std::size_t backlog = 0;
        const auto drain = [&] {
            backlog = std::max(backlog, ecg.size() + breath.size());
            ecgRecords += ecg.takeUntil(~0u).size();
            breathRecords += breath.takeUntil(~0u).size();
        };
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            drain();
        }
        // The recorder goes away: the reader ends, the consumer empties the queue.
        const ThreadTimes after = ThreadTimes::now();
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sim.simulator().stop();
        while (link->isStreamReaderRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Quiet for longer than the consumer's stream pause, which lets the last held records go.
        for (int quiet = 0; quiet < (RecorderLink::StreamPauseMs + 200) / 10; ++quiet) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const quint64 seen = ecgRecords + breathRecords;
            drain();
            if (ecgRecords + breathRecords != seen)
                quiet = 0;
        }
        const quint64 ecgSent = sim.simulator().framesSent(Stream::Ecg);
        const quint64 breathSent = sim.simulator().framesSent(Stream::Breath);
        link->disconnectDevice();

        double pool = 0, busiest = 0;
        for (const auto &[tid, thread] : after.threads) {
            if (!thread.first.startsWith("Thread (pooled)"))
                continue;
            const auto was = before.threads.find(tid);
            const double used = thread.second - (was == before.threads.end() ? 0.0 : was->second.second);
            pool += used;
            busiest = std::max(busiest, used);
        }
        state.counters["ecg_sent"] = double(ecgSent);
        state.counters["ecg_lost"] = double(qint64(ecgSent) - qint64(ecgRecords));
        state.counters["breath_sent"] = double(breathSent);
        state.counters["breath_lost"] = double(qint64(breathSent) - qint64(breathRecords));
        state.counters["max_backlog_records"] = double(backlog);
        state.counters["reader_and_consumer_cpu_pct"] = 100.0 * pool / elapsed;
        state.counters["busiest_worker_cpu_pct"] = 100.0 * busiest / elapsed;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("KRN_STREAM_SECONDS", &ok);
    benchmark::RegisterBenchmark("BM_Stream", BM_Stream)
        ->Arg(ok && seconds > 0 ? seconds : 30)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
    return runBenchmarks(argc, argv);
}
