#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the discovery dialog keeps of one device found by the inquiry: the fields of the platform's
// device-information record that the rows and the connection use. Plain C++ (names in UTF-8), so
// that every platform's implementation needs nothing but its own system headers.
struct BluetoothDeviceRecord {
    std::uint64_t address = 0;
    std::uint32_t classOfDevice = 0;
    bool connected = false;
    bool remembered = false;
    bool authenticated = false;
    std::string name;
};

struct FoundDevice {
    BluetoothDeviceRecord record;
    // "green" when the device answered the service query with at least one service record,
    // "red" when it did not or the query could not start.
    std::string status;
};

// Accepts, while it lives, the platform's pairing requests of one device without asking the user.
class PairingRegistration
{
public:
    virtual ~PairingRegistration() = default;
};

// Bluetooth discovery and pairing. scan() runs on a pool thread; the rest on the GUI thread.
class DeviceScanner
{
public:
    virtual ~DeviceScanner() = default;

    // The inquiry over every radio, then each device's service query. False when the radio is
    // off or missing (nothing could be looked up); devices then holds nothing.
    virtual bool scan(std::vector<FoundDevice> *devices) = 0;
    // Null when the platform refused the registration.
    virtual std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &device) = 0;
    // Explicit pairing without a PIN; the platform's result code (0, 87, 259, 1223 or another).
    virtual int pair(const BluetoothDeviceRecord &device) = 0;
    // A console-only listing of what the radio sees, for diagnosis.
    virtual void printDiagnostics() = 0;
};

// The words written after an explicit pairing.
std::string pairingOutcome(int code);

// The simulated recorder's device list when TAVOKRN_RECORDER_SIM is set, otherwise the platform's
// Bluetooth (Qt Bluetooth over BlueZ on Linux, the Windows Bluetooth API on Windows).
std::unique_ptr<DeviceScanner> makeDeviceScanner();
