// Discovery and pairing on Linux, with Qt Bluetooth over BlueZ. The agents need an event loop in
// the thread that owns them: the scan runs one of its own on the pool thread.
#include "device/QtBluetoothScanner.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
#include <QBluetoothServiceDiscoveryAgent>
#include <QDebug>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

// Longest wait for one device's service query; a device out of reach would otherwise hold the
// whole list back.
constexpr int ServiceQueryTimeoutMs = 10000;
// The Windows inquiry runs for 4 x 1.28 s; the same here.
constexpr int InquiryTimeoutMs = 5120;
// Result codes of the platform's pairing, as the outcome texts know them.
constexpr int PairedAlready = 259;
constexpr int PairingFailed = 1;

class AcceptPairing : public PairingRegistration
{
public:
    explicit AcceptPairing(const BluetoothDeviceRecord &device) : m_address(device.address), m_name(device.name)
    {
        QObject::connect(&m_local, &QBluetoothLocalDevice::pairingDisplayConfirmation, &m_local,
                         [this](const QBluetoothAddress &address, const QString &) {
                             if (address.toUInt64() != m_address)
                                 return;
                             m_local.pairingConfirmation(true);
                             std::fprintf(stderr, "Pairing request of device %s returned %d\n", m_name.c_str(), 0);
                         });
    }

private:
    QBluetoothLocalDevice m_local;
    quint64 m_address;
    std::string m_name;
};

class QtBluetoothScanner : public DeviceScanner
{
public:
    bool scan(std::vector<FoundDevice> *devices) override
    {
        devices->clear();
        QBluetoothLocalDevice local;
        if (!local.isValid() || local.hostMode() == QBluetoothLocalDevice::HostPoweredOff) {
            std::fputs("An error occured while initialising look for devices, closing....\n", stdout);
            return false;
        }
        QBluetoothDeviceDiscoveryAgent inquiry;
        inquiry.setLowEnergyDiscoveryTimeout(InquiryTimeoutMs);
        runUntil(&inquiry, &QBluetoothDeviceDiscoveryAgent::finished,
                 QOverload<QBluetoothDeviceDiscoveryAgent::Error>::of(&QBluetoothDeviceDiscoveryAgent::error),
                 [&] { inquiry.start(QBluetoothDeviceDiscoveryAgent::ClassicMethod); }, InquiryTimeoutMs * 3);
        for (const QBluetoothDeviceInfo &info : inquiry.discoveredDevices()) {
            FoundDevice device;
            device.record.address = info.address().toUInt64();
            device.record.name = info.name().toStdString();
            device.record.classOfDevice = quint32(info.majorDeviceClass()) << 8 | quint32(info.minorDeviceClass()) << 2;
            device.record.remembered = info.isCached();
            device.record.authenticated =
                local.pairingStatus(info.address()) != QBluetoothLocalDevice::Unpaired;
            std::printf("%s %s\n", device.record.name.c_str(), qPrintable(info.address().toString()));
            device.status = hasSerialPort(local.address(), info.address()) ? "green" : "red";
            devices->push_back(device);
        }
        return true;
    }

    std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &device) override
    {
        return std::make_unique<AcceptPairing>(device);
    }

    int pair(const BluetoothDeviceRecord &device) override
    {
        QBluetoothLocalDevice local;
        const QBluetoothAddress address(device.address);
        if (local.pairingStatus(address) != QBluetoothLocalDevice::Unpaired)
            return PairedAlready;
        int code = PairingFailed;
        QEventLoop loop;
        QObject::connect(&local, &QBluetoothLocalDevice::pairingFinished, &loop,
                         [&](const QBluetoothAddress &, QBluetoothLocalDevice::Pairing pairing) {
                             code = pairing == QBluetoothLocalDevice::Unpaired ? PairingFailed : 0;
                             loop.quit();
                         });
        QObject::connect(&local, QOverload<QBluetoothLocalDevice::Error>::of(&QBluetoothLocalDevice::error), &loop,
                         &QEventLoop::quit);
        QObject::connect(&local, &QBluetoothLocalDevice::pairingDisplayConfirmation, &local,
                         [&](const QBluetoothAddress &, const QString &) { local.pairingConfirmation(true); });
        local.requestPairing(address, QBluetoothLocalDevice::Paired);
        QTimer::singleShot(ServiceQueryTimeoutMs * 3, &loop, &QEventLoop::quit);
        loop.exec();
        return code;
    }

    void printDiagnostics() override
    {
        QBluetoothLocalDevice local;
        if (!local.isValid()) {
            std::fputs("\nNo bulutooth device in range found!\n", stdout);
            return;
        }
        std::printf("Local radio %s, %s\n", qPrintable(local.name()), qPrintable(local.address().toString()));
        std::vector<FoundDevice> devices;
        scan(&devices);
        for (const FoundDevice &d : devices)
            std::printf("Device Address is 0X%012llX\n%s\t%s\n", static_cast<unsigned long long>(d.record.address),
                        d.record.name.c_str(), d.status.c_str());
    }

private:
    template <typename Agent, typename Done, typename Failed, typename Start>
    static void runUntil(Agent *agent, Done done, Failed failed, Start start, int timeoutMs)
    {
        QEventLoop loop;
        QObject::connect(agent, done, &loop, &QEventLoop::quit);
        QObject::connect(agent, failed, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        start();
        loop.exec();
        agent->stop();
    }

    static bool hasSerialPort(const QBluetoothAddress &localAddress, const QBluetoothAddress &remote)
    {
        QBluetoothServiceDiscoveryAgent services(localAddress);
        if (!services.setRemoteAddress(remote)) {
            std::fputs("An error occured while initializing query for services\n", stdout);
            return false;
        }
        services.setUuidFilter(QBluetoothUuid(QBluetoothUuid::SerialPort));
        runUntil(&services, &QBluetoothServiceDiscoveryAgent::finished,
                 QOverload<QBluetoothServiceDiscoveryAgent::Error>::of(&QBluetoothServiceDiscoveryAgent::error),
                 [&] { services.start(QBluetoothServiceDiscoveryAgent::MinimalDiscovery); }, ServiceQueryTimeoutMs);
        return !services.discoveredServices().isEmpty();
    }
};

} // namespace

std::unique_ptr<DeviceScanner> makeQtBluetoothScanner() { return std::make_unique<QtBluetoothScanner>(); }
