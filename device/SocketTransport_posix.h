#pragma once

#include "device/RecorderTransport.h"

#include <atomic>

// A connected stream socket on a POSIX system: RFCOMM to a recorder or TCP to the simulated one.
// Subclasses make and connect the socket; reading, sending and closing are the same for both.
// Reads are served from a small buffer filled by one recv(), which returns whatever has arrived,
// so the receive timeout still applies to every byte.
class PosixSocketTransport : public RecorderTransport
{
public:
    ~PosixSocketTransport() override;

    Open open(std::uint64_t address, int receiveTimeoutMs) override;
    bool send(const unsigned char *data, std::size_t size) override;
    Read readByte(unsigned char *byte) override;
    bool waitForByte(int timeoutMs) override;
    void interrupt() override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    std::uint64_t handle() const override { return std::uint64_t(m_fd); }
    int lastError() const override { return m_error; }

protected:
    // A new socket, or -1 with errno set.
    virtual int createSocket() = 0;
    // Connects fd to the device; false with errno set.
    virtual bool connectSocket(int fd, std::uint64_t address) = 0;

private:
    int m_fd = -1;
    std::atomic<int> m_error{0};
    unsigned char m_buffer[4096];
    int m_used = 0;
    int m_next = 0;
};
