#pragma once

// Where the workstation looks for a recorder plugged in by USB.

#include <QStringList>

class QSerialPort;

// The recorder's serial settings: 921 600 baud both ways, 8 data bits, no parity, one stop bit,
// no flow control.
void applyRecorderPortSettings(QSerialPort &port);

// Port names to try, in order: the device paths listed in TAVOKRN_SERIAL_PORTS (colon-separated,
// so that a pseudo-terminal can stand in for a recorder), then the system's USB serial ports (those
// with a USB vendor id: the recorder is one), then the other serial ports, which may be legacy
// ones that never answer. A port named twice is listed once.
QStringList availableSerialPorts();
