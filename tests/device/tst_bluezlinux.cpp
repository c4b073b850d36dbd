// What of the Linux Bluetooth road can be tried without a radio: the RFCOMM channel chosen from
// recorded service search answers, and the workstation's pairing agent over a private D-Bus bus,
// with a stand-in for BlueZ's agent manager.
#include "tests/support/TestMain.h"
#include "device/BluezPairingAgent.h"
#include "device/SdpRecords.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QProcess>
#include <QtTest>

namespace {

// A Serial Port record as a device gives it: handle, class list {0x1101}, protocols L2CAP and
// RFCOMM channel 3, the name "SPP".
const QByteArray SerialPortRecord = QByteArray::fromHex("3529" "09000 00a00010000" "0900013503191101"
                                                        "090004350c3503190100350519000308" "03" "0901002503535050");
// The same service announced with 128-bit UUIDs on channel 5, in a sequence with a 32-bit length.
const QByteArray LongUuidRecord = QByteArray::fromHex(
    "3700000045" "3543" "0900043528" "3511" "1c00000100" "00001000800000805f9b34fb"
    "3513" "1c00000003" "00001000800000805f9b34fb" "0805" "09000135111c00001101" "00001000800000805f9b34fb");

class FakeAgentManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.bluez.AgentManager1")
public:
    QStringList calls;
public slots:
    void RegisterAgent(const QDBusObjectPath &agent, const QString &capability)
    {
        calls << "RegisterAgent " + agent.path() + " " + capability;
    }
    void RequestDefaultAgent(const QDBusObjectPath &agent) { calls << "RequestDefaultAgent " + agent.path(); }
    void UnregisterAgent(const QDBusObjectPath &agent) { calls << "UnregisterAgent " + agent.path(); }
};

} // namespace

class BluezLinuxTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void channelChoice_data();
    void channelChoice();
    void agentReplies();

private:
    QProcess m_bus;
    QString m_address;
};

void BluezLinuxTest::initTestCase()
{
    m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    QVERIFY2(m_bus.waitForReadyRead(10000), "dbus-daemon did not start");
    m_address = QString::fromLatin1(m_bus.readLine()).trimmed();
}

void BluezLinuxTest::cleanupTestCase()
{
    m_bus.terminate();
    m_bus.waitForFinished(5000);
}

void BluezLinuxTest::channelChoice_data()
{
    QTest::addColumn<QByteArray>("rfcomm");
    QTest::addColumn<QByteArray>("serialPort");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("records"); // in the RFCOMM answer; -1 when it cannot be read
    const QByteArray none = QByteArray::fromHex("3500");
    QTest::newRow("an RFCOMM record") << QByteArray::fromHex("352b") + SerialPortRecord << none << 3 << "RFCOMM service record" << 1;
    QTest::newRow("a lone record, 128-bit UUIDs") << LongUuidRecord.mid(5) << none << 5 << "RFCOMM service record" << 1;
    QTest::newRow("only the Serial Port record") << none << LongUuidRecord << 5 << "Serial Port service record" << 0;
    QTest::newRow("no record") << none << none << 1 << "no service record names one: default" << 0;
    QTest::newRow("a cut answer") << QByteArray::fromHex("352b") + SerialPortRecord.left(20) << QByteArray() << 1
                                  << "no service record names one: default" << -1;
}

void BluezLinuxTest::channelChoice()
{
    QFETCH(QByteArray, rfcomm);
    QFETCH(QByteArray, serialPort);
    QFETCH(int, channel);
    QFETCH(QString, source);
    QFETCH(int, records);
    const sdp::ChannelChoice choice = sdp::chooseRfcommChannel(rfcomm, serialPort);
    QCOMPARE(choice.channel, channel);
    QCOMPARE(choice.source, source);
    QCOMPARE(sdp::recordCount(rfcomm).value_or(-1), records);
}

void BluezLinuxTest::agentReplies()
{
    QDBusConnection bluez = QDBusConnection::connectToBus(m_address, "bluez");
    QDBusConnection workstation = QDBusConnection::connectToBus(m_address, "workstation");
    QVERIFY(bluez.isConnected() && workstation.isConnected());
    FakeAgentManager manager;
    QVERIFY(bluez.registerService("org.bluez"));
    QVERIFY(bluez.registerObject("/org/bluez", &manager, QDBusConnection::ExportAllSlots));

    const auto agent = std::make_shared<BluezPairingAgent>(workstation, "org.bluez");
    std::unique_ptr<PairingRegistration> accepted = BluezPairingAgent::accept(agent, 0x0080E1000001ull, "TAVO_SIM01");
    QVERIFY(accepted);
    const QString path = BluezPairingAgent::ObjectPath;
    QTRY_COMPARE(manager.calls, (QStringList{"RegisterAgent " + path + " NoInputNoOutput", "RequestDefaultAgent " + path}));

    // BlueZ's requests: the recorder's answered without PIN or passkey, everything else refused.
    const QString recorder = "/org/bluez/hci0/dev_00_80_E1_00_00_01";
    const QString phone = "/org/bluez/hci0/dev_00_1A_7D_DA_71_13";
    const auto ask = [&](const QString &method, const QVariantList &arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(workstation.baseService(), path, "org.bluez.Agent1", method);
        call.setArguments(arguments);
        QDBusPendingCall pending = bluez.asyncCall(call);
        if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 5000))
            return QString("no answer");
        return pending.isError() ? pending.error().name() : QString("answered");
    };
    const auto device = [](const QString &p) { return QVariant::fromValue(QDBusObjectPath(p)); };
    const QString rejected = BluezPairingAgent::Rejected;
    const krntest::AllowedMessages refusals(QtInfoMsg, QRegularExpression("^Pairing agent"));
    QCOMPARE(ask("RequestConfirmation", {device(recorder), 123456u}), QString("answered"));
    QCOMPARE(ask("RequestConfirmation", {device(phone), 123456u}), rejected);
    QCOMPARE(ask("RequestAuthorization", {device(recorder)}), QString("answered"));
    QCOMPARE(ask("AuthorizeService", {device(recorder), "00001101-0000-1000-8000-00805f9b34fb"}), QString("answered"));
    QCOMPARE(ask("AuthorizeService", {device(phone), "00001101-0000-1000-8000-00805f9b34fb"}), rejected);
    QCOMPARE(ask("RequestPinCode", {device(recorder)}), rejected);
    QCOMPARE(ask("RequestPasskey", {device(recorder)}), rejected);

    // The last acceptance gone, the agent leaves BlueZ and the bus.
    accepted.reset();
    QTRY_COMPARE(manager.calls.last(), "UnregisterAgent " + path);
    QVERIFY(!agent->isExported());
    QCOMPARE(ask("RequestConfirmation", {device(recorder), 1u}), QString("org.freedesktop.DBus.Error.UnknownObject"));
    QDBusConnection::disconnectFromBus("bluez");
    QDBusConnection::disconnectFromBus("workstation");
}

KRN_TEST_GUILESS_MAIN(BluezLinuxTest)
#include "tst_bluezlinux.moc"
