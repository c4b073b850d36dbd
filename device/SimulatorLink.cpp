#include "device/SimulatorLink.h"

#include "device/SocketTransport_posix.h"

#include <QDebug>
#include <QStringList>
#include <QtEndian>

#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace simulator {
namespace {

// How long the scanner waits for the device list.
constexpr int ListTimeoutMs = 5000;

// A connected TCP socket to the simulator, or -1 with errno set.
int connectTcp(const Endpoint &endpoint, int fd)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(endpoint.host.toLocal8Bit().constData(), QByteArray::number(endpoint.port).constData(), &hints,
                    &found)
            != 0
        || !found) {
        errno = EHOSTUNREACH;
        return -1;
    }
    const int result = ::connect(fd, found->ai_addr, found->ai_addrlen);
    const int saved = errno;
    freeaddrinfo(found);
    errno = saved;
    if (result != 0)
        return -1;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool sendPreamble(int fd, std::uint64_t address)
{
    uchar bytes[PreambleSize];
    qToBigEndian<quint64>(address, bytes);
    return ::send(fd, bytes, sizeof bytes, MSG_NOSIGNAL) == PreambleSize;
}

class SimulatorTransport : public PosixSocketTransport
{
public:
    explicit SimulatorTransport(const Endpoint &endpoint) : m_endpoint(endpoint) {}

protected:
    int createSocket() override { return ::socket(AF_INET, SOCK_STREAM, 0); }

    bool connectSocket(int fd, std::uint64_t address) override
    {
        if (connectTcp(m_endpoint, fd) < 0 || !sendPreamble(fd, address))
            return false;
        char answer = Refused;
        if (::recv(fd, &answer, 1, 0) != 1 || answer != Accepted) {
            errno = ECONNREFUSED;
            return false;
        }
        return true;
    }

private:
    Endpoint m_endpoint;
};

class NoPairingNeeded : public PairingRegistration
{
};

class SimulatorScanner : public DeviceScanner
{
public:
    explicit SimulatorScanner(const Endpoint &endpoint) : m_endpoint(endpoint) {}

    bool scan(std::vector<FoundDevice> *devices) override
    {
        devices->clear();
        QByteArray text;
        if (!readList(&text))
            return false;
        for (const QByteArray &line : text.split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() != 3)
                continue;
            bool ok = false;
            FoundDevice device;
            device.record.address = fields[0].toULongLong(&ok, 16);
            device.record.name = fields[2].toStdString();
            device.status = fields[1].toStdString();
            if (ok)
                devices->push_back(device);
        }
        for (const FoundDevice &d : *devices)
            qInfo().noquote() << QString::fromStdString(d.record.name) + " " + QString::number(d.record.address, 16).toUpper();
        return true;
    }

    std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &) override
    {
        return std::make_unique<NoPairingNeeded>();
    }

    int pair(const BluetoothDeviceRecord &) override { return 0; }

    void printDiagnostics() override
    {
        std::vector<FoundDevice> devices;
        if (!scan(&devices)) {
            qInfo().noquote() << "\nNo bulutooth device in range found!\n";
            return;
        }
        for (const FoundDevice &d : devices)
            qInfo().noquote() << QStringLiteral("Device Address is 0X%1 %2 %3")
                                     .arg(d.record.address, 12, 16, QLatin1Char('0'))
                                     .arg(QString::fromStdString(d.record.name), QString::fromStdString(d.status));
    }

private:
    bool readList(QByteArray *text)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return false;
        timeval timeout{ListTimeoutMs / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        bool ok = connectTcp(m_endpoint, fd) >= 0 && sendPreamble(fd, ListRequest);
        while (ok) {
            char buffer[1024];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got == 0)
                break;
            if (got < 0) {
                ok = errno == EINTR;
                continue;
            }
            text->append(buffer, int(got));
        }
        ::close(fd);
        return ok;
    }

    Endpoint m_endpoint;
};

} // namespace

std::optional<Endpoint> Endpoint::parse(const QString &text, QString *error)
{
    const int colon = text.lastIndexOf(':');
    bool ok = false;
    const uint port = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535) {
        *error = QStringLiteral("%1 is not HOST:PORT").arg(text);
        return std::nullopt;
    }
    return Endpoint{text.left(colon), quint16(port)};
}

std::optional<Endpoint> Endpoint::fromEnvironment()
{
    const QString value = qEnvironmentVariable(EnvironmentVariable);
    if (value.isEmpty())
        return std::nullopt;
    QString error;
    const std::optional<Endpoint> endpoint = parse(value, &error);
    if (!endpoint)
        qInfo().noquote() << QStringLiteral("%1: %2; the Bluetooth radio is used").arg(EnvironmentVariable, error);
    return endpoint;
}

std::unique_ptr<RecorderTransport> makeTransport(const Endpoint &endpoint)
{
    return std::make_unique<SimulatorTransport>(endpoint);
}

std::unique_ptr<DeviceScanner> makeScanner(const Endpoint &endpoint)
{
    return std::make_unique<SimulatorScanner>(endpoint);
}

} // namespace simulator
