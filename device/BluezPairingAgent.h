#pragma once

// The workstation's own BlueZ pairing agent (org.bluez.Agent1, capability NoInputNoOutput), so
// that the pairing a connection starts is answered by the workstation and not by whatever agent
// the desktop runs. While at least one acceptance lives it is registered with BlueZ's agent
// manager as the default agent; it answers the requests of the accepted devices positively and
// carries no PIN or passkey, and refuses everything else. Unregistered when the last acceptance
// goes. Its D-Bus calls are answered by the thread that made it, whose event loop must run.

#include "device/DeviceScanner.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

#include <map>
#include <memory>
#include <string>

class BluezPairingAgent : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")
public:
    static constexpr char ObjectPath[] = "/org/tavokrn/PairingAgent";
    static constexpr char Capability[] = "NoInputNoOutput";
    static constexpr char Rejected[] = "org.bluez.Error.Rejected";

    // bluezService: where the agent manager is (BlueZ's "org.bluez"; a test's stand-in elsewhere).
    explicit BluezPairingAgent(QDBusConnection bus = QDBusConnection::systemBus(),
                               const QString &bluezService = QStringLiteral("org.bluez"));
    ~BluezPairingAgent() override;

    // The device's requests are accepted while the handle lives; null without a bus.
    static std::unique_ptr<PairingRegistration> accept(const std::shared_ptr<BluezPairingAgent> &agent,
                                                       std::uint64_t address, const std::string &name);
    bool isExported() const { return m_exported; }

    // "/org/bluez/hci0/dev_00_80_E1_00_00_01" names 0x0080E1000001; 0 for any other path.
    static std::uint64_t addressOfDevicePath(const QString &path);

public slots:
    void Release();
    QString RequestPinCode(const QDBusObjectPath &device);
    void DisplayPinCode(const QDBusObjectPath &device, const QString &pincode);
    uint RequestPasskey(const QDBusObjectPath &device);
    void DisplayPasskey(const QDBusObjectPath &device, uint passkey, ushort entered);
    void RequestConfirmation(const QDBusObjectPath &device, uint passkey);
    void RequestAuthorization(const QDBusObjectPath &device);
    void AuthorizeService(const QDBusObjectPath &device, const QString &uuid);
    void Cancel();

private:
    void add(std::uint64_t address, const std::string &name);
    void remove(std::uint64_t address);
    // A positive answer for an accepted device, a refusal otherwise.
    void answer(const QDBusObjectPath &device, const char *request);
    void refuse(const QString &why);
    void callManager(const QString &method, const QVariantList &arguments);

    QDBusConnection m_bus;
    QString m_bluezService;
    std::multimap<std::uint64_t, std::string> m_accepted;
    bool m_exported = false;
};

// The agent the workstation's scanner and transport share, made on first use on the calling thread.
std::shared_ptr<BluezPairingAgent> workstationPairingAgent();
