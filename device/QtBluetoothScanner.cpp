// Discovery and pairing on Linux: the inquiry with Qt Bluetooth, each device's services asked of
// the device itself through BlueZ, pairing answered by the workstation's own BlueZ agent. The
// inquiry agent needs an event loop in the thread that owns it: the scan runs one of its own on
// the pool thread.
#include "device/QtBluetoothScanner.h"

#include "device/BluezPairingAgent.h"
#include "device/BluezSdp.h"
#include "device/SdpRecords.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothLocalDevice>
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
            device.status = offersServices(device.record.address) ? "green" : "red";
            devices->push_back(device);
        }
        return true;
    }

    std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &device) override
    {
        return BluezPairingAgent::accept(workstationPairingAgent(), device.address, device.name);
    }

    int pair(const BluetoothDeviceRecord &device) override
    {
        QBluetoothLocalDevice local;
        const QBluetoothAddress address(device.address);
        if (local.pairingStatus(address) != QBluetoothLocalDevice::Unpaired)
            return PairedAlready;
        // The pairing this starts is answered by the workstation's agent while it runs.
        const std::unique_ptr<PairingRegistration> accepted = acceptPairing(device);
        int code = PairingFailed;
        QEventLoop loop;
        QObject::connect(&local, &QBluetoothLocalDevice::pairingFinished, &loop,
                         [&](const QBluetoothAddress &, QBluetoothLocalDevice::Pairing pairing) {
                             code = pairing == QBluetoothLocalDevice::Unpaired ? PairingFailed : 0;
                             loop.quit();
                         });
        QObject::connect(&local, QOverload<QBluetoothLocalDevice::Error>::of(&QBluetoothLocalDevice::error), &loop,
                         &QEventLoop::quit);
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

    // Green or red as the Windows path decides it: whether the device itself answers a search for
    // any service record (every record carries L2CAP). Asked over the air, so that a recorder
    // never paired before is not judged by an empty cache.
    static bool offersServices(std::uint64_t address)
    {
        const std::optional<QByteArray> answer = searchServices(address, sdp::L2capUuid, ServiceQueryTimeoutMs);
        if (!answer) {
            std::fputs("An error occured while initializing query for services\n", stdout);
            return false;
        }
        return sdp::recordCount(*answer).value_or(0) > 0;
    }
};

} // namespace

std::unique_ptr<DeviceScanner> makeQtBluetoothScanner() { return std::make_unique<QtBluetoothScanner>(); }
