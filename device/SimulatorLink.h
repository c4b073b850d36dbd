#pragma once

// The workstation's side of the simulated recorder (`tavokrn-tool recorder-bt`): a TCP connection
// on the loopback stands in for the RFCOMM socket, and the simulator's announced device list for
// the Bluetooth inquiry. Nothing here simulates anything; it only talks to the simulator.
//
// The connection starts with 8 bytes, the device address big-endian. Address 0 asks for the device
// list: the simulator answers with one text line per device, "ADDRESS<TAB>STATUS<TAB>NAME" (address
// in 12 hexadecimal digits, status "green" or "red"), and closes. Any other address asks for that
// device: the simulator answers one byte, 1 when it accepts (from then on the bytes are the
// recorder's protocol) or 0 when it refuses (no such recorder, or it is busy).

#include "device/DeviceScanner.h"
#include "device/RecorderTransport.h"

#include <QString>

#include <optional>

namespace simulator {

inline constexpr char EnvironmentVariable[] = "TAVOKRN_RECORDER_SIM";
constexpr int PreambleSize = 8;
constexpr quint64 ListRequest = 0;
constexpr char Accepted = 1;
constexpr char Refused = 0;

struct Endpoint {
    QString host;
    quint16 port = 0;

    // From "HOST:PORT"; no value (and the reason) when the text is not one.
    static std::optional<Endpoint> parse(const QString &text, QString *error);
    // From TAVOKRN_RECORDER_SIM; no value when it is unset or empty. A malformed value is logged.
    static std::optional<Endpoint> fromEnvironment();
};

std::unique_ptr<RecorderTransport> makeTransport(const Endpoint &endpoint);
std::unique_ptr<DeviceScanner> makeScanner(const Endpoint &endpoint);

} // namespace simulator
