#pragma once

#include <QByteArray>

#include <bluetooth/bluetooth.h>

#include <cstdint>
#include <optional>

// A service search asked of the device over the air through BlueZ (never the records a previous
// search left in a cache): the attribute lists of the records that carry the 16-bit UUID, as
// device/SdpRecords.h reads them (empty when there are none). No value when the device could not
// be asked within timeoutMs.
std::optional<QByteArray> searchServices(std::uint64_t address, quint16 uuid16, int timeoutMs);

// BlueZ keeps Bluetooth addresses least significant byte first.
void toBdaddr(std::uint64_t address, bdaddr_t *out);
