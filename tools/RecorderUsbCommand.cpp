// tavokrn-tool recorder-usb: the simulated recorder on a USB port (a pseudo-terminal), answering
// from a copy of its card; see sim/UsbRecorderSimulator.h.
#include "tools/Commands.h"

#include "import/RecordingDecoder.h"
#include "import/UsbProtocol.h"
#include "sim/UsbRecorderSimulator.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

int fail(const QString &message, int exitCode = 1)
{
    std::fprintf(stderr, "tavokrn-tool recorder-usb: %s\n", qPrintable(message));
    return exitCode;
}

} // namespace

int tool::recorderUsb(const QStringList &args)
{
    QCommandLineParser parser;
    const QCommandLineOption card(QStringLiteral("card"), QStringLiteral("copy of the recorder's card to answer from"), QStringLiteral("SD_FOLDER"));
    const QCommandLineOption erase(QStringLiteral("erase"), QStringLiteral("on erase, really remove log.txt and the s- and i-files"));
    const QCommandLineOption sessionId(QStringLiteral("session-id"), QStringLiteral("identify with this identifier instead of the log's"), QStringLiteral("ID"));
    const QCommandLineOption silentAfter(QStringLiteral("silent-after"), QStringLiteral("leave this request unanswered: identify, log, ecg, imu or erase"), QStringLiteral("REQUEST"));
    const QCommandLineOption logWithoutEnd(QStringLiteral("log-without-end"), QStringLiteral("send the log without its end frame"));
    const QCommandLineOption refuseErase(QStringLiteral("refuse-erase"), QStringLiteral("refuse the first N erase requests"), QStringLiteral("N"));
    const QCommandLineOption splitEnd(QStringLiteral("split-end"), QStringLiteral("send the end frames of the data transfers in two pieces"));
    parser.addOptions({card, erase, sessionId, silentAfter, logWithoutEnd, refuseErase, splitEnd});
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail(parser.errorText(), 2);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()), 2);

    UsbRecorderBehaviour behaviour;
    behaviour.card = parser.value(card);
    if (behaviour.card.isEmpty())
        return fail(QStringLiteral("--card SD_FOLDER is required"), 2);
    const QString problem = CardFolder(behaviour.card).errorString();
    if (!problem.isEmpty())
        return fail(problem, 2);
    behaviour.erase = parser.isSet(erase);
    behaviour.sessionId = parser.value(sessionId).toLatin1();
    if (behaviour.sessionId.size() > usb::SessionIdSize)
        return fail(QStringLiteral("--session-id holds at most %1 characters").arg(usb::SessionIdSize), 2);
    behaviour.silentAfter = parser.value(silentAfter);
    const QStringList requests{"", "identify", "log", "ecg", "imu", "erase"};
    if (!requests.contains(behaviour.silentAfter))
        return fail(QStringLiteral("--silent-after takes identify, log, ecg, imu or erase"), 2);
    behaviour.logWithoutEnd = parser.isSet(logWithoutEnd);
    bool ok = true;
    if (parser.isSet(refuseErase))
        behaviour.refusedErases = parser.value(refuseErase).toInt(&ok);
    if (!ok || behaviour.refusedErases < 0)
        return fail(QStringLiteral("--refuse-erase takes a whole number"), 2);
    behaviour.splitEnd = parser.isSet(splitEnd);

    UsbRecorderSimulator recorder(behaviour);
    QByteArray device;
    QString error;
    if (!recorder.open(&device, &error))
        return fail(error);
    // The first line is the device path, for whoever started the simulator.
    std::printf("%s\n", device.constData());
    std::fflush(stdout);
    std::fprintf(stderr, "recorder-usb: answering from %s on %s (stop with Ctrl-C)\n", qPrintable(behaviour.card),
                 device.constData());
    return recorder.run();
}
