#pragma once

#include "device/RecorderTransport.h"

// The platform's RFCOMM socket to a recorder (BlueZ on Linux).
std::unique_ptr<RecorderTransport> makeBluetoothTransport();
