#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The byte stream to one recorder: a Bluetooth RFCOMM socket (BlueZ on Linux, Windows Sockets on
// Windows) or a TCP connection to the simulated recorder. Reads take one byte and give up after
// the receive timeout. One thread reads at a time; another may send meanwhile, and interrupt()
// may be called from any thread to wake a blocked reader. Plain C++, so that every platform's
// implementation needs nothing but its own system headers.
class RecorderTransport
{
public:
    static constexpr int ReceiveTimeoutMs = 3000;

    enum class Open { Ok, SocketFailed, ConnectFailed };
    enum class Read { Byte, Closed, Error };

    virtual ~RecorderTransport() = default;

    // Creates the socket with the receive timeout and connects to the device address.
    virtual Open open(std::uint64_t address, int receiveTimeoutMs) = 0;
    virtual bool send(const unsigned char *data, std::size_t size) = 0;
    // Error also after receiveTimeoutMs of silence.
    virtual Read readByte(unsigned char *byte) = 0;
    // Whether readByte() would return at once (a byte, or the end of the connection) within
    // timeoutMs; nothing is taken.
    virtual bool waitForByte(int timeoutMs) = 0;
    // Ends the connection in both directions: a blocked read returns at once. The socket itself
    // stays allocated until close().
    virtual void interrupt() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // For the log lines: the socket handle and the platform's last error code.
    virtual std::uint64_t handle() const = 0;
    virtual int lastError() const = 0;
};

// The transport the workstation uses: the simulated recorder's when TAVOKRN_RECORDER_SIM is set
// (HOST:PORT of `tavokrn-tool recorder-bt`), otherwise the platform's Bluetooth socket.
std::unique_ptr<RecorderTransport> makeRecorderTransport();
