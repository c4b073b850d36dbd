// The device dialog offscreen: the name filter, the colours, the row mapping, repeated searches
// and the Bluetooth-off report, with a scripted radio and with the simulated recorder's list.
#include "tests/support/TestMain.h"
#include "device/ui/BluetoothDialog.h"
#include "device/ui/BluetoothEntry.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/ScriptedPrompts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalMapper>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A radio that finds what the test says, one list per search; no list means the radio is off.
class ScriptedScanner : public DeviceScanner
{
public:
    QList<std::optional<std::vector<FoundDevice>>> searches;

    bool scan(std::vector<FoundDevice> *devices) override
    {
        const std::optional<std::vector<FoundDevice>> next = searches.isEmpty() ? std::nullopt : searches.takeFirst();
        if (!next)
            return false;
        *devices = *next;
        return true;
    }
    std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &) override
    {
        return std::make_unique<PairingRegistration>();
    }
    int pair(const BluetoothDeviceRecord &) override { return 259; }
    void printDiagnostics() override {}
};

FoundDevice device(const std::string &name, quint64 address, const std::string &status = "green")
{
    FoundDevice d;
    d.record.name = name;
    d.record.address = address;
    d.status = status;
    return d;
}

QStringList rowNames(const BluetoothDialog &dialog)
{
    QStringList names;
    for (const BluetoothEntry *row : dialog.rows())
        names << row->nameLabel()->text();
    return names;
}

bool searchDone(BluetoothDialog &dialog)
{
    return QTest::qWaitFor([&] { return !dialog.isSearching() && dialog.reloadButton()->isEnabled(); }, 5000);
}

} // namespace

class BluetoothDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void nameFilterAndRowMapping();
    void secondSearchReplacesTheRows();
    void radioOffClosesTheDialog();
    void simulatedNeighbourhood();
};

void BluetoothDialogTest::nameFilterAndRowMapping()
{
    auto scanner = std::make_unique<ScriptedScanner>();
    scanner->searches.append(std::vector<FoundDevice>{
        device("tavo_0012", 1), device("TAVO_0012", 2), device("TAVO", 3), device("", 4),
        device("XTAVO_9", 5, "red"), device("Phone", 6), device("TAVO_0013", 7)});
    ScriptedPrompts prompts;
    BluetoothDialog dialog(std::move(scanner), prompts);
    QCOMPARE(dialog.windowTitle(), QString("Bluetooth"));
    QCOMPARE(dialog.reloadButton()->text(), QString("Cerca dispositivi"));
    dialog.show();
    dialog.startScanDevices();
    QVERIFY(!dialog.reloadButton()->isEnabled());
    QCOMPARE(dialog.statusLabel()->text(), QString("Ricerca dei dispositivi in corso ..."));
    QVERIFY(searchDone(dialog));

    QCOMPARE(rowNames(dialog), (QStringList{"TAVO_0012", "XTAVO_9", "TAVO_0013"}));
    QCOMPARE(dialog.statusLabel()->text(), QString());
    QVERIFY(dialog.rows()[0]->pairButton()->isEnabled());
    QVERIFY(dialog.rows()[0]->pairButton()->styleSheet().startsWith("background-color: green;"));
    QVERIFY(!dialog.rows()[1]->pairButton()->isEnabled());
    QVERIFY(dialog.rows()[1]->pairButton()->styleSheet().startsWith("background-color: red;"));

    // The third listed row passes 2, whatever its place among the devices found.
    QSignalSpy mapped(dialog.mapper(), &QSignalMapper::mappedInt);
    dialog.rows()[2]->pairButton()->click();
    QCOMPARE(mapped.count(), 1);
    QCOMPARE(mapped.first().first().toInt(), 2);
    QCOMPARE(dialog.rows()[2]->device().address, quint64(7));

    krntest::expectMessage(QtInfoMsg, "Pairing device TAVO_0012");
    krntest::expectMessage(QtInfoMsg, "pair device failed, device appears paired already");
    dialog.rows()[0]->pairDevice();
}

void BluetoothDialogTest::secondSearchReplacesTheRows()
{
    auto scanner = std::make_unique<ScriptedScanner>();
    scanner->searches.append(std::vector<FoundDevice>{device("TAVO_A", 1), device("TAVO_B", 2)});
    scanner->searches.append(std::vector<FoundDevice>{device("TAVO_C", 3)});
    ScriptedPrompts prompts;
    BluetoothDialog dialog(std::move(scanner), prompts);
    dialog.show();
    dialog.startScanDevices();
    QVERIFY(searchDone(dialog));
    QCOMPARE(rowNames(dialog), (QStringList{"TAVO_A", "TAVO_B"}));
    QSignalSpy mapped(dialog.mapper(), &QSignalMapper::mappedInt);

    dialog.reloadButton()->click();
    QVERIFY(searchDone(dialog));
    QCOMPARE(rowNames(dialog), QStringList{"TAVO_C"});
    dialog.rows()[0]->pairButton()->click();
    QCOMPARE(mapped.count(), 1);
    QCOMPARE(mapped.first().first().toInt(), 0);
}

void BluetoothDialogTest::radioOffClosesTheDialog()
{
    ScriptedPrompts prompts;
    BluetoothDialog dialog(std::make_unique<ScriptedScanner>(), prompts);
    dialog.show();
    dialog.startScanDevices();
    QVERIFY(searchDone(dialog));
    QCOMPARE(prompts.boxTexts(), QStringList{"Bluetooth spento|Accendere il Bluetooth e riprovare"});
    QCOMPARE(dialog.statusLabel()->text(), QString("Bluetooth spento ..."));
    QVERIFY(!dialog.isVisible());
    QVERIFY(dialog.progressBar()->isHidden());
}

void BluetoothDialogTest::simulatedNeighbourhood()
{
    SimulatedRecorder recorder;
    ScriptedPrompts prompts;
    BluetoothDialog dialog(simulator::makeScanner(recorder.endpoint()), prompts);
    dialog.show();
    dialog.startScanDevices();
    QVERIFY(searchDone(dialog));
    QCOMPARE(rowNames(dialog), (QStringList{"TAVO_SIM01", "TAVO_SIM02"}));
    QVERIFY(dialog.rows()[0]->pairButton()->isEnabled());
    QVERIFY(!dialog.rows()[1]->pairButton()->isEnabled());
    QCOMPARE(dialog.rows()[0]->device().address, BluetoothRecorderSimulator::RecorderAddress);
    QVERIFY(dialog.rows()[0]->acceptsPairing());

    // The simulator gone: nothing answers, as with the radio off.
    recorder.simulator().stop();
    BluetoothDialog nobody(simulator::makeScanner({"127.0.0.1", 1}), prompts);
    nobody.show();
    nobody.startScanDevices();
    QVERIFY(searchDone(nobody));
    QCOMPARE(prompts.boxTexts(), QStringList{"Bluetooth spento|Accendere il Bluetooth e riprovare"});
}

KRN_TEST_MAIN(BluetoothDialogTest)
#include "tst_bluetoothdialog.moc"
