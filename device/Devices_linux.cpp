// Which transport and scanner the workstation uses on Linux: the simulated recorder's when
// TAVOKRN_RECORDER_SIM names one, BlueZ otherwise.
#include "device/BluezTransport.h"
#include "device/DeviceScanner.h"
#include "device/QtBluetoothScanner.h"
#include "device/RecorderTransport.h"
#include "device/SimulatorLink.h"

std::unique_ptr<RecorderTransport> makeRecorderTransport()
{
    if (const std::optional<simulator::Endpoint> endpoint = simulator::Endpoint::fromEnvironment())
        return simulator::makeTransport(*endpoint);
    return makeBluetoothTransport();
}

std::unique_ptr<DeviceScanner> makeDeviceScanner()
{
    if (const std::optional<simulator::Endpoint> endpoint = simulator::Endpoint::fromEnvironment())
        return simulator::makeScanner(*endpoint);
    return makeQtBluetoothScanner();
}
