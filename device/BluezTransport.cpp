// The recorder's RFCOMM socket on Linux, through BlueZ. The channel is looked up over the air as
// the Windows stack does it (a record carrying the RFCOMM protocol), with the Serial Port service
// as a fallback and channel 1 when no record names one. The lookup and the connection are each
// bounded, so that a recorder out of reach costs a known time.
#include "device/BluezTransport.h"

#include "device/BluezSdp.h"
#include "device/SdpRecords.h"
#include "device/SocketTransport_posix.h"

#include <QDebug>

#include <bluetooth/rfcomm.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Paging a recorder and pairing with it takes seconds; one out of reach is given up after these.
constexpr int ServiceLookupTimeoutMs = 10000;
constexpr int ConnectTimeoutMs = 20000;

sdp::ChannelChoice recorderChannel(std::uint64_t address)
{
    const QByteArray rfcomm = searchServices(address, sdp::RfcommUuid, ServiceLookupTimeoutMs).value_or(QByteArray());
    QByteArray serialPort;
    if (!sdp::rfcommChannel(rfcomm))
        serialPort = searchServices(address, sdp::SerialPortUuid, ServiceLookupTimeoutMs).value_or(QByteArray());
    return sdp::chooseRfcommChannel(rfcomm, serialPort);
}

// connect() with an end: non-blocking, then a bounded wait for its outcome.
bool connectWithin(int fd, const sockaddr_rc &target, int timeoutMs)
{
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    bool made = ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) == 0;
    if (!made && errno == EINPROGRESS) {
        pollfd writable{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&writable, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int error = ready == 0 ? ETIMEDOUT : 0;
        socklen_t size = sizeof error;
        if (ready > 0)
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        made = error == 0;
        errno = error;
    }
    const int saved = errno;
    fcntl(fd, F_SETFL, flags);
    errno = saved;
    return made;
}

class BluezTransport : public PosixSocketTransport
{
protected:
    int createSocket() override { return ::socket(AF_BLUETOOTH, SOCK_STREAM, BTPROTO_RFCOMM); }

    bool connectSocket(int fd, std::uint64_t address) override
    {
        const sdp::ChannelChoice choice = recorderChannel(address);
        qInfo().noquote() << QStringLiteral("RFCOMM channel %1 (%2)").arg(choice.channel).arg(choice.source);
        sockaddr_rc target{};
        target.rc_family = AF_BLUETOOTH;
        toBdaddr(address, &target.rc_bdaddr);
        target.rc_channel = uint8_t(choice.channel);
        return connectWithin(fd, target, ConnectTimeoutMs);
    }
};

} // namespace

std::unique_ptr<RecorderTransport> makeBluetoothTransport() { return std::make_unique<BluezTransport>(); }
