#include "device/SocketTransport_posix.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

PosixSocketTransport::~PosixSocketTransport() { close(); }

RecorderTransport::Open PosixSocketTransport::open(std::uint64_t address, int receiveTimeoutMs)
{
    close();
    const int fd = createSocket();
    if (fd < 0) {
        m_error = errno;
        return Open::SocketFailed;
    }
    timeval timeout{receiveTimeoutMs / 1000, (receiveTimeoutMs % 1000) * 1000};
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        m_error = errno;
        ::close(fd);
        return Open::SocketFailed;
    }
    m_fd = fd;
    if (!connectSocket(fd, address)) {
        m_error = errno;
        return Open::ConnectFailed;
    }
    m_used = m_next = 0;
    return Open::Ok;
}

bool PosixSocketTransport::send(const unsigned char *data, std::size_t size)
{
    if (m_fd < 0) {
        m_error = ENOTCONN;
        return false;
    }
    std::size_t left = size;
    while (left > 0) {
        const ssize_t put = ::send(m_fd, data, left, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_error = errno;
            return false;
        }
        data += put;
        left -= std::size_t(put);
    }
    return true;
}

RecorderTransport::Read PosixSocketTransport::readByte(unsigned char *byte)
{
    if (m_next == m_used) {
        if (m_fd < 0) {
            m_error = ENOTCONN;
            return Read::Error;
        }
        ssize_t got;
        do {
            got = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
        } while (got < 0 && errno == EINTR);
        if (got == 0)
            return Read::Closed;
        if (got < 0) {
            m_error = errno;
            return Read::Error;
        }
        m_used = int(got);
        m_next = 0;
    }
    *byte = m_buffer[m_next++];
    return Read::Byte;
}

bool PosixSocketTransport::waitForByte(int timeoutMs)
{
    if (m_next < m_used || m_fd < 0)
        return true;
    pollfd readable{m_fd, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&readable, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
}

void PosixSocketTransport::interrupt()
{
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void PosixSocketTransport::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_used = m_next = 0;
}
