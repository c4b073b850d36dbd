#include "device/BluezPairingAgent.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QRegularExpression>

#include <cstdio>

namespace {

constexpr char ManagerPath[] = "/org/bluez";
constexpr char ManagerInterface[] = "org.bluez.AgentManager1";

class Acceptance : public PairingRegistration
{
public:
    Acceptance(std::shared_ptr<BluezPairingAgent> agent, std::function<void()> release)
        : m_agent(std::move(agent)), m_release(std::move(release))
    {
    }
    ~Acceptance() override { m_release(); }

private:
    std::shared_ptr<BluezPairingAgent> m_agent;
    std::function<void()> m_release;
};

} // namespace

BluezPairingAgent::BluezPairingAgent(QDBusConnection bus, const QString &bluezService)
    : m_bus(std::move(bus)), m_bluezService(bluezService)
{
}

BluezPairingAgent::~BluezPairingAgent()
{
    if (m_exported)
        m_bus.unregisterObject(ObjectPath);
}

std::unique_ptr<PairingRegistration> BluezPairingAgent::accept(const std::shared_ptr<BluezPairingAgent> &agent,
                                                               std::uint64_t address, const std::string &name)
{
    if (!agent || !agent->m_bus.isConnected())
        return nullptr;
    agent->add(address, name);
    BluezPairingAgent *self = agent.get();
    return std::make_unique<Acceptance>(agent, [self, address] { self->remove(address); });
}

std::uint64_t BluezPairingAgent::addressOfDevicePath(const QString &path)
{
    static const QRegularExpression device(QStringLiteral("/dev_((?:[0-9A-Fa-f]{2}_){5}[0-9A-Fa-f]{2})$"));
    const QRegularExpressionMatch match = device.match(path);
    return match.hasMatch() ? match.captured(1).remove('_').toULongLong(nullptr, 16) : 0;
}

void BluezPairingAgent::add(std::uint64_t address, const std::string &name)
{
    const bool first = m_accepted.empty();
    m_accepted.emplace(address, name);
    if (!first)
        return;
    m_exported = m_bus.registerObject(ObjectPath, this, QDBusConnection::ExportAllSlots);
    if (!m_exported)
        qInfo().noquote() << "Pairing agent not exported: " + m_bus.lastError().message();
    // Asked without waiting: the reply comes through the event loop, as BlueZ's calls to the agent do.
    callManager(QStringLiteral("RegisterAgent"), {QVariant::fromValue(QDBusObjectPath(ObjectPath)), QString(Capability)});
    callManager(QStringLiteral("RequestDefaultAgent"), {QVariant::fromValue(QDBusObjectPath(ObjectPath))});
}

void BluezPairingAgent::remove(std::uint64_t address)
{
    const auto it = m_accepted.find(address);
    if (it != m_accepted.end())
        m_accepted.erase(it);
    if (!m_accepted.empty())
        return;
    callManager(QStringLiteral("UnregisterAgent"), {QVariant::fromValue(QDBusObjectPath(ObjectPath))});
    if (m_exported)
        m_bus.unregisterObject(ObjectPath);
    m_exported = false;
}

void BluezPairingAgent::callManager(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_bluezService, ManagerPath, ManagerInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [method](QDBusPendingCallWatcher *done) {
        const QDBusPendingReply<> reply = *done;
        qInfo().noquote() << "Pairing agent " + method + ": "
                                 + (reply.isError() ? reply.error().name() + " " + reply.error().message()
                                                    : QStringLiteral("done"));
        done->deleteLater();
    });
}

void BluezPairingAgent::answer(const QDBusObjectPath &device, const char *request)
{
    const auto it = m_accepted.find(addressOfDevicePath(device.path()));
    if (it == m_accepted.end()) {
        refuse(QStringLiteral("%1 of %2: not the recorder being connected").arg(request, device.path()));
        return;
    }
    std::fprintf(stderr, "Pairing request of device %s returned %d\n", it->second.c_str(), 0);
}

void BluezPairingAgent::refuse(const QString &why)
{
    qInfo().noquote() << "Pairing agent refuses " + why;
    if (calledFromDBus())
        sendErrorReply(Rejected, why);
}

void BluezPairingAgent::Release() { qInfo().noquote() << "Pairing agent released by BlueZ"; }

QString BluezPairingAgent::RequestPinCode(const QDBusObjectPath &device)
{
    refuse("RequestPinCode of " + device.path() + ": no PIN is given");
    return QString();
}

void BluezPairingAgent::DisplayPinCode(const QDBusObjectPath &device, const QString &pincode)
{
    qInfo().noquote() << "Pairing agent: PIN " + pincode + " shown for " + device.path();
}

uint BluezPairingAgent::RequestPasskey(const QDBusObjectPath &device)
{
    refuse("RequestPasskey of " + device.path() + ": no passkey is given");
    return 0;
}

void BluezPairingAgent::DisplayPasskey(const QDBusObjectPath &device, uint passkey, ushort)
{
    qInfo().noquote() << QStringLiteral("Pairing agent: passkey %1 shown for %2").arg(passkey).arg(device.path());
}

void BluezPairingAgent::RequestConfirmation(const QDBusObjectPath &device, uint) { answer(device, "RequestConfirmation"); }
void BluezPairingAgent::RequestAuthorization(const QDBusObjectPath &device) { answer(device, "RequestAuthorization"); }
void BluezPairingAgent::AuthorizeService(const QDBusObjectPath &device, const QString &) { answer(device, "AuthorizeService"); }
void BluezPairingAgent::Cancel() { qInfo().noquote() << "Pairing agent: request cancelled by BlueZ"; }

std::shared_ptr<BluezPairingAgent> workstationPairingAgent()
{
    static std::weak_ptr<BluezPairingAgent> shared;
    std::shared_ptr<BluezPairingAgent> agent = shared.lock();
    if (!agent) {
        agent = std::make_shared<BluezPairingAgent>();
        shared = agent;
    }
    return agent;
}
