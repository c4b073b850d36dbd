#include "import/SerialPorts.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtGlobal>

void applyRecorderPortSettings(QSerialPort &port)
{
    port.setBaudRate(921600, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

QStringList availableSerialPorts()
{
    QStringList names;
    QStringList locations;
    // Listed ports first: whoever names a port wants it tried before the others.
    const QString listed = qEnvironmentVariable("TAVOKRN_SERIAL_PORTS");
    for (const QString &path : listed.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!locations.contains(path)) {
            names.append(path);
            locations.append(path);
        }
    }
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const bool usb : {true, false}) {
        for (const QSerialPortInfo &info : ports) {
            if (info.hasVendorIdentifier() == usb && !locations.contains(info.systemLocation())) {
                names.append(info.portName());
                locations.append(info.systemLocation());
            }
        }
    }
    return names;
}
