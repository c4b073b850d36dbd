// tavokrn-tool recorder-check: one recorder checked headless with the workstation's own link; see
// device/RecorderCheck.h.
#include "tools/Commands.h"

#include "device/DeviceScanner.h"
#include "device/RecorderCheck.h"
#include "device/SimulatorLink.h"

#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <cstdio>

namespace {

const char Command[] = "recorder-check";

// The link's byte-by-byte log would bury the check lines; only warnings go through.
void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void print(const CheckLine &line)
{
    std::printf("%s\n", qPrintable(checkLineText(line)));
    std::fflush(stdout);
}

// "00:80:E1:00:00:01" or "0080E1000001".
std::optional<quint64> bluetoothAddress(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$|^[0-9A-Fa-f]{12}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return QString(text).remove(':').toULongLong(nullptr, 16);
}

// The first recorder the simulator announces with its serial port service.
std::optional<quint64> simulatedRecorder(const simulator::Endpoint &endpoint)
{
    std::vector<FoundDevice> devices;
    if (!simulator::makeScanner(endpoint)->scan(&devices)) {
        print({false, "discovery", QStringLiteral("no device list from %1:%2").arg(endpoint.host).arg(endpoint.port)});
        return std::nullopt;
    }
    for (const FoundDevice &device : devices) {
        const QString name = QString::fromStdString(device.record.name);
        if (name.contains("TAVO_") && device.status == "green") {
            print({true, "discovery", name + ", serial port service"});
            return device.record.address;
        }
    }
    print({false, "discovery", "no TAVO_ device with the serial port service"});
    return std::nullopt;
}

} // namespace

int tool::recorderCheck(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption sim("sim", "the simulated recorder of tavokrn-tool recorder-bt at HOST:PORT", "HOST:PORT");
    const QCommandLineOption seconds("seconds", "how long both streams are checked (default 10)", "N");
    const QCommandLineOption calibrate("calibrate", "also check the calibration mode, factors and ratios");
    const QCommandLineOption gain("gain", "the gain to set: 1, 2, 3, 4, 6 (default), 8 or 12", "G");
    const QCommandLineOption clear("clear", "clear a card that holds data");
    parser.addOptions({sim, seconds, calibrate, gain, clear});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail(Command, parser.errorText(), 2);
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(sim) == (positional.size() == 1) || positional.size() > 1)
        return fail(Command, "give either --sim HOST:PORT or one Bluetooth ADDRESS", 2);

    RecorderCheckOptions options;
    options.calibrate = parser.isSet(calibrate);
    options.clear = parser.isSet(clear);
    if (parser.isSet(seconds)) {
        bool ok = false;
        options.seconds = parser.value(seconds).toInt(&ok);
        if (!ok || options.seconds < 1 || options.seconds > 3600)
            return fail(Command, "--seconds takes 1 to 3600", 2);
    }
    if (parser.isSet(gain)) {
        const auto it = std::find(recorder::GainValues.begin(), recorder::GainValues.end(), parser.value(gain).toInt());
        if (it == recorder::GainValues.end())
            return fail(Command, "--gain takes 1, 2, 3, 4, 6, 8 or 12", 2);
        options.gainPosition = int(it - recorder::GainValues.begin());
    }

    qInstallMessageHandler(keepWarnings);
    std::optional<quint64> address;
    RecorderLink::TransportFactory transport;
    std::unique_ptr<PairingRegistration> pairing;
    if (parser.isSet(sim)) {
        QString error;
        const std::optional<simulator::Endpoint> endpoint = simulator::Endpoint::parse(parser.value(sim), &error);
        if (!endpoint)
            return fail(Command, error, 2);
        address = simulatedRecorder(*endpoint);
        transport = [at = *endpoint] { return simulator::makeTransport(at); };
    } else {
        address = bluetoothAddress(positional.first());
        if (!address)
            return fail(Command, positional.first() + " is not a Bluetooth address", 2);
        transport = makeRecorderTransport;
        // The pairing the connection may start is accepted without a PIN, as the device dialog does.
        BluetoothDeviceRecord record;
        record.address = *address;
        record.name = positional.first().toStdString();
        pairing = makeDeviceScanner()->acceptPairing(record);
    }
    if (!address)
        return 1;

    RecorderCheck check(transport, options);
    int failed = 0;
    int lines = 0;
    const bool holds = check.run(*address, [&](const CheckLine &line) {
        print(line);
        ++lines;
        failed += line.holds ? 0 : 1;
    });
    if (holds)
        std::printf("recorder-check: all %d checks hold\n", lines);
    else
        std::printf("recorder-check: %d of %d checks failed\n", failed, lines);
    return holds ? 0 : 1;
}
