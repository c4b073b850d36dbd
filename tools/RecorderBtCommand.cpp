// tavokrn-tool recorder-bt: the simulated recorder over Bluetooth, played over TCP on the
// loopback; see sim/BluetoothRecorderSimulator.h.
#include "tools/Commands.h"

#include "device/RecorderProtocol.h"
#include "sim/BluetoothRecorderSimulator.h"

#include <QCommandLineParser>

#include <csignal>
#include <cstdio>

namespace {

BluetoothRecorderSimulator *running = nullptr;

void stopOnSignal(int)
{
    if (running)
        running->stop();
}

int fail(const QString &message, int exitCode = 1)
{
    std::fprintf(stderr, "tavokrn-tool recorder-bt: %s\n", qPrintable(message));
    return exitCode;
}

} // namespace

int tool::recorderBt(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption port("port", "listen on this port (default: any free one)", "N");
    const QCommandLineOption battery("battery", "battery level in percent (default 100)", "P");
    const QCommandLineOption cardStatus("card-status", "card status byte: 0 empty (default), 1 holds data", "S");
    const QCommandLineOption cardSession("card-session", "session identifier the card holds (default: none)", "ID");
    const QCommandLineOption out("out", "write the card folder of each started recording under this folder", "FOLDER");
    const QCommandLineOption recordSeconds("record-seconds", "length of the recording written on start (default 120)", "S");
    const QCommandLineOption silentAfter("silent-after", "leave this command unanswered: "
                                                         + BluetoothRecorderSimulator::commandNames().join(", "), "COMMAND");
    const QCommandLineOption wrongClearSd("wrong-clearsd", "answer the first N clearSd with a wrong acknowledgement", "N");
    const QCommandLineOption wrongGain("wrong-gain", "echo Gain with another code and keep the old gain");
    const QCommandLineOption closeAfter("close-after-frames", "close the connection after N stream frames", "N");
    const QCommandLineOption corruptEvery("corrupt-every", "give every Nth stream frame a wrong check byte", "N");
    const QCommandLineOption calibrationPulse("calibration-pulse", "height of the calibration square wave in mV (default 1)", "MV");
    const QCommandLineOption calibrationPeriod("calibration-period", "period of the calibration square wave in ms (default 1000)", "MS");
    const QCommandLineOption noCalibrationSignal("no-calibration-signal", "send no ECG frames in calibration mode");
    const QCommandLineOption wrongSessionEcho("wrong-session-echo", "echo the session identifier with its last character changed");
    const QCommandLineOption shortReplies("short-replies", "end the clearSd, startCalibration, sessionInfo and session "
                                                           "identifier replies without their check byte");
    const QCommandLineOption ignoreStop("ignore-stop", "keep streaming after the stop commands (never silent)");
    parser.addOptions({port, battery, cardStatus, cardSession, out, recordSeconds, silentAfter, wrongClearSd, wrongGain,
                       closeAfter, corruptEvery, calibrationPulse, calibrationPeriod, noCalibrationSignal, wrongSessionEcho,
                       shortReplies, ignoreStop});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail(parser.errorText(), 2);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()), 2);

    BluetoothRecorderBehaviour behaviour;
    const auto number = [&](const QCommandLineOption &option, qint64 low, qint64 high, auto *target) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        if (!ok || value < low || value > high)
            return false;
        *target = std::remove_pointer_t<decltype(target)>(value);
        return true;
    };
    if (!number(port, 0, 65535, &behaviour.port))
        return fail("--port takes 0 to 65535", 2);
    if (!number(battery, -128, 127, &behaviour.battery))
        return fail("--battery takes -128 to 127", 2);
    if (!number(cardStatus, 0, 255, &behaviour.cardStatus))
        return fail("--card-status takes 0 to 255", 2);
    if (!number(wrongClearSd, 0, 1000000, &behaviour.wrongClearSdAcks))
        return fail("--wrong-clearsd takes a whole number", 2);
    if (!number(closeAfter, 0, std::numeric_limits<qint64>::max(), &behaviour.closeAfterFrames))
        return fail("--close-after-frames takes a whole number", 2);
    if (!number(corruptEvery, 0, 1000000000, &behaviour.corruptEvery))
        return fail("--corrupt-every takes a whole number", 2);
    behaviour.cardSession = parser.value(cardSession).toLatin1();
    if (behaviour.cardSession.size() > recorder::SessionIdSize)
        return fail(QStringLiteral("--card-session holds at most %1 characters").arg(recorder::SessionIdSize), 2);
    behaviour.out = parser.value(out);
    if (parser.isSet(recordSeconds)) {
        bool ok = false;
        behaviour.recordSeconds = parser.value(recordSeconds).toDouble(&ok);
        if (!ok || behaviour.recordSeconds < 1 || behaviour.recordSeconds > 48 * 3600)
            return fail("--record-seconds takes 1 to 172800", 2);
    }
    behaviour.silentAfter = parser.value(silentAfter);
    if (!behaviour.silentAfter.isEmpty() && !BluetoothRecorderSimulator::commandNames().contains(behaviour.silentAfter))
        return fail("--silent-after takes " + BluetoothRecorderSimulator::commandNames().join(", "), 2);
    behaviour.wrongGainEcho = parser.isSet(wrongGain);
    if (parser.isSet(calibrationPulse)) {
        bool ok = false;
        behaviour.calibrationPulseMv = parser.value(calibrationPulse).toDouble(&ok);
        if (!ok || behaviour.calibrationPulseMv < -100 || behaviour.calibrationPulseMv > 100)
            return fail("--calibration-pulse takes -100 to 100", 2);
    }
    if (!number(calibrationPeriod, 4, 60000, &behaviour.calibrationPeriodMs))
        return fail("--calibration-period takes 4 to 60000", 2);
    behaviour.noCalibrationSignal = parser.isSet(noCalibrationSignal);
    behaviour.wrongSessionIdEcho = parser.isSet(wrongSessionEcho);
    behaviour.shortReplies = parser.isSet(shortReplies);
    behaviour.ignoreStop = parser.isSet(ignoreStop);

    BluetoothRecorderSimulator recorder(behaviour);
    QString error;
    if (!recorder.listen(&error))
        return fail(error);
    // The first line is the address, the value of TAVOKRN_RECORDER_SIM.
    std::printf("%s\n", qPrintable(recorder.address()));
    std::fflush(stdout);
    for (const SimulatedDevice &d : BluetoothRecorderSimulator::devices())
        std::fprintf(stderr, "recorder-bt: announces %s (%012llX, %s)\n", qPrintable(d.name),
                     static_cast<unsigned long long>(d.address), d.serialPort ? "serial port" : "no serial port");
    std::fprintf(stderr, "recorder-bt: TAVO_SIM01 answers on %s (stop with Ctrl-C)\n", qPrintable(recorder.address()));
    running = &recorder;
    std::signal(SIGINT, stopOnSignal);
    std::signal(SIGTERM, stopOnSignal);
    const int code = recorder.run();
    running = nullptr;
    return code;
}
