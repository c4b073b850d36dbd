#include "device/RecorderCheck.h"

#include "device/CalibrationCheck.h"
#include "device/RecordBuffer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <map>

namespace {

// Answers every question with its first button (OK: a low battery goes on) and keeps the boxes,
// whose texts become the reasons of the failed checks.
class CollectingPrompts : public Prompts
{
public:
    QVector<Box> boxes;

    int ask(const Box &box) override
    {
        boxes.append(box);
        return box.buttons.isEmpty() ? -1 : 0;
    }
    QString existingDirectory(const QString &, const QString &) override { return QString(); }
    QString openFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &, const QString &) override { return QString(); }
    std::optional<int> integer(const QString &, const QString &, int, int, int, int) override { return std::nullopt; }
    std::unique_ptr<Progress> progress(const ProgressSpec &) override { return std::make_unique<NoProgress>(); }
    void notice(const QString &, int) override {}
    std::optional<UserForm> userForm(const QString &, const QString &, const UserForm &) override { return std::nullopt; }

    // What the last box said: the failure's technical reason when it has one.
    QString lastReason() const
    {
        if (boxes.isEmpty())
            return QStringLiteral("no reply");
        const Box &box = boxes.last();
        return box.detailedText.isEmpty() ? box.text : box.text + ": " + box.detailedText;
    }

private:
    class NoProgress : public Progress
    {
    public:
        void setLabelText(const QString &) override {}
        void setValue(int) override {}
        bool wasCanceled() const override { return false; }
    };
};

// Lets queued signals of the workers through while it waits; true when done() came in time.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer since;
    since.start();
    while (!done()) {
        if (since.elapsed() >= timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Frames of one stream as they arrive, and the frames missing between their time stamps.
struct StreamTally {
    explicit StreamTally(quint32 step) : stepMs(step) {}
    quint32 stepMs;
    quint64 frames = 0;
    quint64 missing = 0;
    std::optional<quint32> last;

    void take(RecordBuffer &buffer)
    {
        for (const SampleRecord &record : buffer.takeUntil(std::numeric_limits<quint32>::max())) {
            const quint32 time = sampleTime(record);
            if (last && time > *last)
                missing += (time - *last) / stepMs - 1;
            last = time;
            ++frames;
        }
    }
};

QString numbers(const std::vector<float> &values)
{
    QStringList texts;
    for (float v : values)
        texts << QString::number(double(v), 'g', 6);
    return texts.join(' ');
}

// In calibration mode every ECG channel carries a square wave: nearly all samples of lead I sit
// on two values. A patient's signal, or a recorder's noise without one, does not.
bool looksLikeSquareWave(const SampleList &records)
{
    std::map<float, int> counts;
    for (const SampleRecord &record : records)
        ++counts[record[1]];
    if (counts.size() < 2 || records.size() < 20)
        return false;
    std::vector<int> sorted;
    for (const auto &entry : counts)
        sorted.push_back(entry.second);
    std::sort(sorted.rbegin(), sorted.rend());
    const double total = double(records.size());
    return sorted[1] >= 0.1 * total && sorted[0] + sorted[1] >= 0.9 * total;
}

} // namespace

class RecorderCheck::Checks
{
public:
    Checks(RecorderLink::TransportFactory makeTransport, const RecorderCheckOptions &options)
        : options(options), link(prompts, std::move(makeTransport), options.link)
    {
        link.setRecordBuffers(&ecg, &breath);
        QObject::connect(&link, &RecorderLink::streamingError, [this] { streamFailed = true; });
        QObject::connect(&link, &RecorderLink::calibrationFactorFound, [this] { factorsFound = true; });
        QObject::connect(&link, &RecorderLink::endOfCalibration, [this] { ratiosFound = true; });
    }

    bool run(quint64 address, const std::function<void(const CheckLine &)> &report)
    {
        out = report;
        const bool done = handshake(address) && gain() && streams() && (!options.calibrate || calibration())
                          && sessionEcho();
        if (link.isConnected())
            replies();
        link.shutdown();
        return done && allHold;
    }

private:
    void line(bool holds, const QString &name, const QString &detail)
    {
        allHold = allHold && holds;
        out({holds, name, detail});
    }
    // A failed step: false when the link is lost and nothing more can be checked.
    bool failed(const QString &name)
    {
        line(false, name, prompts.lastReason());
        return link.isConnected();
    }

    bool handshake(quint64 address)
    {
        QStringList bytes;
        for (int shift = 40; shift >= 0; shift -= 8)
            bytes << QStringLiteral("%1").arg((address >> shift) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
        const QString where = bytes.join(':');
        if (!link.open(address)) {
            failed("connection " + where);
            return false;
        }
        line(true, "connection", where);

        const std::optional<RecorderLink::BatteryStatus> status = link.batteryLevelAndSDStatus();
        if (!status) {
            failed("battery");
            return false;
        }
        line(status->level >= 95, "battery",
             QStringLiteral("%1 %%2").arg(status->level).arg(status->level >= 95 ? QString() : " (below 95 %: charge it)"));

        if (status->cardStatus != 0 && !card(status->cardStatus))
            return false;
        if (status->cardStatus == 0)
            line(true, "card", "empty");

        if (!link.setTime()) {
            failed("setTime");
            return false;
        }
        line(true, "setTime", "reply read");
        return true;
    }

    bool card(int cardStatus)
    {
        QString held = QStringLiteral("holds data (status %1)").arg(cardStatus);
        if (cardStatus == 1) {
            const std::optional<QByteArray> session = link.sessionInfo();
            if (!session)
                return failed("card");
            if (!session->isEmpty())
                held = "holds session " + QString::fromLatin1(*session);
        }
        if (!options.clear) {
            // The set-up clears a card without a session by itself and refuses one with a session.
            cardKept = true;
            const bool refused = held.startsWith("holds session");
            line(!refused, "card", held + (refused ? "; not cleared (--clear clears it)" : "; not cleared"));
            return true;
        }
        if (!link.clearCard()) {
            failed("card");
            return false;
        }
        line(true, "card", held + "; cleared");
        return true;
    }

    bool gain()
    {
        const int gainValue = recorder::GainValues[std::size_t(options.gainPosition)];
        switch (link.sendGainCommand(options.gainPosition)) {
        case RecorderLink::GainResult::Applied:
            line(true, "gain", QString::number(gainValue));
            return true;
        case RecorderLink::GainResult::Rejected:
            line(false, "gain", QStringLiteral("%1 not echoed by the recorder").arg(gainValue));
            return true;
        case RecorderLink::GainResult::Failed:
            break;
        }
        return failed("gain");
    }

    bool streams()
    {
        link.startStreamConsumer();
        streamFailed = false;
        if (!link.startEcgStreaming())
            return failed("ECG stream");
        if (!link.startBreathStreaming())
            return failed("respiration stream");
        StreamTally ecgTally(EcgFormat.stepMs), breathTally(BreathFormat.stepMs);
        const RecorderLink::Conduct before = link.conduct();
        QElapsedTimer since;
        since.start();
        waitUntil([&] {
            ecgTally.take(ecg);
            breathTally.take(breath);
            return streamFailed;
        }, options.seconds * 1000);
        const double seconds = since.elapsed() / 1000.0;
        link.stopEcgStreaming();
        link.stopBreathStreaming();
        if (streamFailed) {
            // The reader lost the recorder: nothing more can be asked of it.
            link.streamingFailed();
            failed("streams");
            link.disconnectDevice();
            return false;
        }
        // What arrives after the stop commands is not counted: stopping empties the buffers.
        if (!link.drainSocket())
            return failed("stop of the streams");
        const RecorderLink::Conduct after = link.conduct();
        const quint64 badChecks = after.badFrameChecks - before.badFrameChecks;
        const quint64 outOfLine = after.framesOutOfLine - before.framesOutOfLine;
        streamLine("ECG stream", ecgTally, 1000.0 / EcgFormat.stepMs, seconds);
        streamLine("respiration stream", breathTally, 1000.0 / BreathFormat.stepMs, seconds);
        line(badChecks == 0, "stream check bytes", QStringLiteral("%1 frames with a bad check byte").arg(badChecks));
        line(outOfLine == 0, "stream time stamps", QStringLiteral("%1 frames with a time stamp out of line").arg(outOfLine));
        line(true, "stop of the streams", "the recorder fell silent");
        return true;
    }

    void streamLine(const QString &name, const StreamTally &tally, double nominal, double seconds)
    {
        const double rate = seconds > 0 ? tally.frames / seconds : 0;
        const bool holds = rate >= MinimumRateShare * nominal && tally.missing == 0;
        line(holds, name,
             QStringLiteral("%1 frames in %2 s, %3 a second (%4 nominal), %5 missing by time stamp")
                 .arg(tally.frames)
                 .arg(seconds, 0, 'f', 1)
                 .arg(rate, 0, 'f', 1)
                 .arg(nominal)
                 .arg(tally.missing));
    }

    bool calibration()
    {
        switch (link.startCalibration()) {
        case RecorderLink::Reply::Failed:
            return failed("calibration mode");
        case RecorderLink::Reply::Unconfirmed:
            line(false, "calibration mode", "startCalibration not acknowledged");
            return link.stopCalibration();
        case RecorderLink::Reply::Confirmed:
            break;
        }
        // As the set-up: the first seconds are thrown away, the next ones are the signal.
        streamFailed = false;
        if (!link.startEcgStreaming())
            return failed("calibration signal");
        waitUntil([this] { return streamFailed; }, options.calibration.settleMs);
        ecg.clear();
        waitUntil([this] { return streamFailed; }, options.calibration.collectMs);
        const SampleList records = ecg.copy();
        link.stopEcgStreaming();
        if (streamFailed)
            link.streamingFailed();
        if (!link.isConnected() || !link.stopCalibration())
            return failed("calibration mode");
        if (records.empty()) {
            line(false, "calibration signal", "no ECG frames in calibration mode");
            return true;
        }
        const std::vector<float> amplitudes = calibration::measureAmplitudes(records);
        line(true, "calibration signal", QStringLiteral("%1 frames, amplitudes %2").arg(records.size()).arg(numbers(amplitudes)));

        factorsFound = ratiosFound = false;
        link.startCalibrationCapture();
        link.startEcgStreaming();
        const bool asked = link.requestCalibrationFactor()
                           && waitUntil([this] { return factorsFound; }, options.calibration.valuesWaitMs)
                           && link.requestCalibrationRatio()
                           && waitUntil([this] { return ratiosFound; }, options.calibration.valuesWaitMs);
        if (link.isEcgStreaming())
            link.stopEcgStreaming();
        link.stopCalibrationCapture();
        if (!link.isConnected())
            return failed("calibration values");
        // The capture ended the stream consumer, as it does in the set-up.
        link.startStreamConsumer();
        const std::vector<float> factors = link.calibrationFactors();
        const std::vector<float> ratios = link.calibrationRatios();
        line(factorsFound, "calibration factors", factorsFound ? numbers(factors) : QStringLiteral("not received"));
        line(ratiosFound, "calibration ratios", ratiosFound ? numbers(ratios) : QStringLiteral("not received"));
        if (asked) {
            QString reason;
            const bool fits = calibration::checkRatios(amplitudes, factors, ratios, &reason);
            line(fits, "calibration", fits ? QStringLiteral("every channel within ratio ± 50 %") : reason);
        }
        return link.drainSocket() ? leftCalibrationMode() : failed("calibration values");
    }

    // The signal after stopCalibration must not be the square wave any more.
    bool leftCalibrationMode()
    {
        ecg.clear();
        streamFailed = false;
        if (!link.startEcgStreaming())
            return failed("calibration mode left");
        waitUntil([this] { return streamFailed; }, 1000);
        const SampleList records = ecg.copy();
        link.stopEcgStreaming();
        if (streamFailed) {
            link.streamingFailed();
            return failed("calibration mode left");
        }
        if (!link.drainSocket())
            return failed("calibration mode left");
        const bool square = looksLikeSquareWave(records);
        line(!square && !records.empty(), "calibration mode left",
             square             ? QStringLiteral("the ECG stream still carries the square wave")
             : records.empty() ? QStringLiteral("no ECG frames after stopCalibration")
                                : QStringLiteral("ECG back"));
        return true;
    }

    bool sessionEcho()
    {
        // A recorder may keep the identifier it is sent as the card's: the card's own recording,
        // perhaps never imported, would then read as ours and be cleared by the next set-up.
        if (cardKept) {
            line(true, "session identifier", "not sent: the card keeps its data");
            return true;
        }
        switch (link.sendSessionId(CheckIdentifier)) {
        case RecorderLink::Reply::Confirmed:
            line(true, "session identifier", QStringLiteral("%1 echoed").arg(CheckIdentifier));
            return true;
        case RecorderLink::Reply::Unconfirmed:
            line(false, "session identifier", QStringLiteral("%1 not echoed as sent").arg(CheckIdentifier));
            return true;
        case RecorderLink::Reply::Failed:
            break;
        }
        return failed("session identifier");
    }

    void replies()
    {
        const RecorderLink::Conduct conduct = link.conduct();
        QStringList shortOnes;
        for (const std::string &name : conduct.repliesWithoutCheckByte)
            shortOnes << QString::fromStdString(name);
        line(true, "reply frames",
             shortOnes.isEmpty() ? QStringLiteral("whole, with their check bytes")
                                 : "without their check byte: " + shortOnes.join(", "));
        line(conduct.badReplyChecks == 0, "reply check bytes",
             QStringLiteral("%1 replies with a wrong check byte").arg(conduct.badReplyChecks));
    }

    RecorderCheckOptions options;
    CollectingPrompts prompts;
    RecordBuffer ecg;
    RecordBuffer breath;
    RecorderLink link;
    std::function<void(const CheckLine &)> out;
    bool allHold = true;
    bool streamFailed = false;
    bool cardKept = false;
    bool factorsFound = false;
    bool ratiosFound = false;
};

RecorderCheck::RecorderCheck(RecorderLink::TransportFactory makeTransport, const RecorderCheckOptions &options)
    : m_checks(std::make_unique<Checks>(std::move(makeTransport), options))
{
}

RecorderCheck::~RecorderCheck() = default;

bool RecorderCheck::run(quint64 address, const std::function<void(const CheckLine &)> &report)
{
    return m_checks->run(address, report);
}

QString checkLineText(const CheckLine &line)
{
    return QStringLiteral("%1 %2: %3").arg(line.holds ? "ok  " : "FAIL", line.name, line.detail);
}
