#pragma once

#include "device/DeviceScanner.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QPushButton;

// One recorder row of the device dialog: its name and the button that chooses it, green and
// enabled when the device offers its services, red and disabled otherwise. While the row lives
// the platform's pairing requests of its device are accepted without asking the user.
class BluetoothEntry : public QWidget
{
    Q_OBJECT
public:
    BluetoothEntry(QWidget *parent, const QString &name, const BluetoothDeviceRecord &device, const QString &status,
                   DeviceScanner &scanner);
    ~BluetoothEntry() override;

    QPushButton *pairButton() const { return m_pairButton; }
    QLabel *nameLabel() const { return m_nameLabel; }
    const BluetoothDeviceRecord &device() const { return m_device; }
    QString name() const { return m_name; }
    bool acceptsPairing() const { return m_registration != nullptr; }

public slots:
    // Explicit pairing with the row's device; the outcome is only logged.
    void pairDevice();

private:
    BluetoothDeviceRecord m_device;
    QString m_name;
    DeviceScanner &m_scanner;
    std::unique_ptr<PairingRegistration> m_registration;
    QFrame *m_frame;
    QLabel *m_nameLabel;
    QPushButton *m_pairButton;
};
