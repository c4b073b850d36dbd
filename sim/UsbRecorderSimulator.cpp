#include "sim/UsbRecorderSimulator.h"

#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/UsbProtocol.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A write that makes no progress for this long means nobody reads the other end any more.
constexpr int StalledWriteMs = 5000;
// Between the two halves of an end frame cut in two, so that they arrive as separate chunks.
constexpr useconds_t SplitPauseUs = 300000;
constexpr quint8 BatteryPercent = 87;
constexpr quint8 CardStatus = 0x01;

int fail(const QString &message, int exitCode = 1)
{
    std::fprintf(stderr, "tavokrn-tool recorder-usb: %s\n", qPrintable(message));
    return exitCode;
}

void note(const QString &message)
{
    std::fprintf(stderr, "recorder-usb: %s\n", qPrintable(message));
}

} // namespace

class PtyRecorder
{
public:
    explicit PtyRecorder(const UsbRecorderBehaviour &behaviour) : m_behaviour(behaviour) {}
    ~PtyRecorder()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }

    bool open(QByteArray *device, QString *error)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            *error = QStringLiteral("no pseudo-terminal: %1").arg(std::strerror(errno));
            return false;
        }
        const char *name = ptsname(m_master);
        if (!name) {
            *error = QStringLiteral("no pseudo-terminal name: %1").arg(std::strerror(errno));
            return false;
        }
        *device = name;
        // Held open so that the link survives the workstation closing and reopening its port.
        m_slave = ::open(name, O_RDWR | O_NOCTTY);
        termios raw {};
        if (m_slave < 0 || tcgetattr(m_slave, &raw) != 0) {
            *error = QStringLiteral("cannot open %1: %2").arg(name, std::strerror(errno));
            return false;
        }
        cfmakeraw(&raw);
        cfsetispeed(&raw, B921600);
        cfsetospeed(&raw, B921600);
        tcsetattr(m_slave, TCSANOW, &raw);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        return true;
    }

    int run()
    {
        QByteArray pending;
        for (;;) {
            pollfd in {m_master, POLLIN, 0};
            if (poll(&in, 1, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return fail(QStringLiteral("poll: %1").arg(std::strerror(errno)));
            }
            char buffer[512];
            const ssize_t got = ::read(m_master, buffer, sizeof buffer);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (got <= 0)
                return fail(QStringLiteral("the pseudo-terminal closed: %1").arg(std::strerror(errno)));
            pending.append(buffer, int(got));
            handleFrames(pending);
        }
    }

private:
    // Cuts the host's frames out of what has arrived; stray bytes and frames with a wrong check
    // byte are dropped.
    void handleFrames(QByteArray &pending)
    {
        const auto fromHost = [](quint8 group, quint8, const QByteArray &) { return group == usb::Group; };
        while (const std::optional<QByteArray> payload = envelope::takeFrame(pending, fromHost))
            answer(*payload);
    }

    void answer(const QByteArray &payload)
    {
        const quint8 code = quint8(payload[0]);
        if (code == usb::IdentifyCode) {
            reply("identify", usb::identifyReply(BatteryPercent, CardStatus, sessionId()));
        } else if (code == usb::RequestCode && payload.size() == 2) {
            switch (usb::Transfer(payload[1])) {
            case usb::Transfer::Log:
                sendLog();
                break;
            case usb::Transfer::EcgBreath:
                sendFiles("ecg", CardFolder(m_behaviour.card).sampleFiles(), usb::Transfer::EcgBreath);
                break;
            case usb::Transfer::Imu:
                sendFiles("imu", CardFolder(m_behaviour.card).imuFiles(), usb::Transfer::Imu);
                break;
            default:
                note(QStringLiteral("unknown transfer %1").arg(quint8(payload[1])));
            }
        } else if (code == usb::EraseCode) {
            erase();
        } else {
            note(QStringLiteral("unknown request %1").arg(QString::fromLatin1(payload.toHex(' '))));
        }
    }

    bool silent(const char *request)
    {
        if (m_behaviour.silentAfter != QLatin1String(request))
            return false;
        note(QStringLiteral("%1 request left unanswered").arg(request));
        return true;
    }

    QByteArray sessionId() const
    {
        if (!m_behaviour.sessionId.isEmpty())
            return m_behaviour.sessionId;
        const CardFolder card(m_behaviour.card);
        RecorderLog log;
        QString error;
        if (card.logPath().isEmpty() || !RecorderLog::read(card.logPath(), &log, &error))
            return QByteArray(); // an erased card holds no session
        return log.sessionIds().value(0).toLatin1();
    }

    void reply(const char *request, const QByteArray &bytes)
    {
        if (silent(request))
            return;
        note(QStringLiteral("%1: %2 bytes").arg(request).arg(bytes.size()));
        writeAll(bytes);
    }

    void sendLog()
    {
        if (silent("log"))
            return;
        const CardFolder card(m_behaviour.card);
        qint64 bytes = 0;
        if (!card.logPath().isEmpty() && !sendFile(card.logPath(), &bytes))
            return;
        if (!m_behaviour.logWithoutEnd && !writeAll(usb::transferEnd(usb::Transfer::Log)))
            return;
        note(QStringLiteral("log: %1 bytes%2").arg(bytes).arg(m_behaviour.logWithoutEnd ? ", no end frame" : ""));
    }

    void sendFiles(const char *request, const QStringList &files, usb::Transfer transfer)
    {
        if (silent(request))
            return;
        qint64 bytes = 0;
        for (const QString &path : files) {
            if (!sendFile(path, &bytes))
                return;
        }
        const QByteArray end = usb::transferEnd(transfer);
        if (m_behaviour.splitEnd) {
            if (!writeAll(end.left(3)))
                return;
            usleep(SplitPauseUs);
            if (!writeAll(end.mid(3)))
                return;
        } else if (!writeAll(end)) {
            return;
        }
        note(QStringLiteral("%1: %2 files, %3 bytes").arg(request).arg(files.size()).arg(bytes));
    }

    void erase()
    {
        if (silent("erase"))
            return;
        if (m_behaviour.refusedErases > 0) {
            --m_behaviour.refusedErases;
            // Erase failed: the status byte after the code says so.
            writeAll(usb::frame(usb::ReplyType, QByteArray(1, char(usb::EraseCode)).append(char(0x01))));
            note(QStringLiteral("erase refused"));
            return;
        }
        if (m_behaviour.erase) {
            const CardFolder card(m_behaviour.card);
            QStringList files = card.sampleFiles() + card.imuFiles();
            if (!card.logPath().isEmpty())
                files.append(card.logPath());
            for (const QString &path : files)
                QFile::remove(path);
            note(QStringLiteral("erase: %1 card files removed").arg(files.size()));
        } else {
            note(QStringLiteral("erase acknowledged, card files kept"));
        }
        writeAll(usb::eraseAcknowledgement());
    }

    bool sendFile(const QString &path, qint64 *bytes)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            note(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
            return false;
        }
        for (;;) {
            const QByteArray block = file.read(64 * 1024);
            if (block.isEmpty())
                return true;
            if (!writeAll(block))
                return false;
            *bytes += block.size();
        }
    }

    // False when the workstation stopped reading: what it left unread is dropped, so that its
    // next opening of the port starts clean.
    bool writeAll(const QByteArray &bytes)
    {
        const char *data = bytes.constData();
        qint64 left = bytes.size();
        while (left > 0) {
            const ssize_t put = ::write(m_master, data, size_t(left));
            if (put > 0) {
                data += put;
                left -= put;
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EINTR) {
                note(QStringLiteral("write: %1").arg(std::strerror(errno)));
                return false;
            }
            pollfd out {m_master, POLLOUT, 0};
            if (poll(&out, 1, StalledWriteMs) == 0) {
                note(QStringLiteral("nobody reads: transfer given up"));
                tcflush(m_slave, TCIFLUSH);
                return false;
            }
        }
        return true;
    }

    UsbRecorderBehaviour m_behaviour;
    int m_master = -1;
    int m_slave = -1;
};


UsbRecorderSimulator::UsbRecorderSimulator(const UsbRecorderBehaviour &behaviour)
    : m_pty(std::make_unique<PtyRecorder>(behaviour))
{
}

UsbRecorderSimulator::~UsbRecorderSimulator() = default;

bool UsbRecorderSimulator::open(QByteArray *device, QString *error) { return m_pty->open(device, error); }

int UsbRecorderSimulator::run() { return m_pty->run(); }
