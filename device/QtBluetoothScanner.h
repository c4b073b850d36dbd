#pragma once

#include "device/DeviceScanner.h"

// Discovery and pairing on Linux with Qt Bluetooth over BlueZ.
std::unique_ptr<DeviceScanner> makeQtBluetoothScanner();
