#include "device/ui/BluetoothEntry.h"

#include <QDebug>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const char *const GreenButton =
    "background-color: green; border-radius: 6px;border-width: 1px; border-color: black;border-style: outset;";
const char *const RedButton =
    "background-color: red; border-radius: 6px;border-width: 1px; border-color: black;border-style: outset;";

} // namespace

BluetoothEntry::BluetoothEntry(QWidget *parent, const QString &name, const BluetoothDeviceRecord &device,
                               const QString &status, DeviceScanner &scanner)
    : QWidget(parent), m_device(device), m_name(name), m_scanner(scanner)
{
    qInfo().noquote() << "color : " + status;
    m_registration = m_scanner.acceptPairing(m_device);
    // The row is still listed and chosen as usual; the connection may then ask for pairing itself.
    if (!m_registration)
        qInfo().noquote() << "Failed to register callback";

    m_frame = new QFrame(this);
    m_frame->setObjectName("frame");
    m_frame->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QHBoxLayout(m_frame);
    m_nameLabel = new QLabel(name, m_frame);
    m_nameLabel->setObjectName("nameLabel");
    m_pairButton = new QPushButton(m_frame);
    m_pairButton->setObjectName("pairButton");
    m_pairButton->setIcon(QIcon(":/img/plus.png"));
    m_pairButton->setFixedSize(32, 32);
    layout->addWidget(m_nameLabel, 1);
    layout->addWidget(m_pairButton);
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_frame);

    const bool green = status == QLatin1String("green");
    m_pairButton->setStyleSheet(green ? GreenButton : RedButton);
    m_pairButton->setEnabled(green);
}

BluetoothEntry::~BluetoothEntry() = default;

void BluetoothEntry::pairDevice()
{
    qInfo().noquote() << "Pairing device " + m_name;
    qInfo().noquote() << QString::fromStdString(pairingOutcome(m_scanner.pair(m_device)));
}
