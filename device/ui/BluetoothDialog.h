#pragma once

#include "device/DeviceScanner.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QList>
#include <QMutex>
#include <QStringList>

#include <memory>
#include <vector>

class BluetoothEntry;
class Prompts;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSignalMapper;
class QVBoxLayout;

// The device dialog: searches the Bluetooth neighbourhood on a pool thread, lists every device
// whose name contains "TAVO_" as a row with a green (selectable) or red button, and maps a click
// on a row's button to the row's position, which the main window connects to.
class BluetoothDialog : public QDialog
{
    Q_OBJECT
public:
    BluetoothDialog(std::unique_ptr<DeviceScanner> scanner, Prompts &prompts, QWidget *parent = nullptr);
    ~BluetoothDialog() override;

    QSignalMapper *mapper() const { return m_mapper; }
    QPushButton *reloadButton() const { return m_reloadButton; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QProgressBar *progressBar() const { return m_progressBar; }
    // The rows shown, in display order.
    const QList<BluetoothEntry *> &rows() const { return m_rows; }
    bool isSearching() const { return m_scan.isRunning(); }

    // Only a name holding "TAVO_" is a recorder's.
    static bool isRecorderName(const QString &name);

signals:
    void deviceListUpdated();
    void blueToothSwitchOFF();

public slots:
    void searchDevices();
    void startScanDevices();
    void loadDeviceList();
    void closeThis();

private:
    void scanFinished();

    std::unique_ptr<DeviceScanner> m_scanner;
    Prompts &m_prompts;
    QPushButton *m_reloadButton;
    QScrollArea *m_scrollArea;
    QWidget *m_scrollAreaWidgetContents;
    QVBoxLayout *m_deviceList;
    QProgressBar *m_progressBar;
    QLabel *m_statusLabel;
    QSignalMapper *m_mapper;

    QMutex m_mutex; // the device records and their status words
    std::vector<BluetoothDeviceRecord> m_deviceRecords;
    QStringList m_statusWords;
    QList<BluetoothEntry *> m_rows;
    QFutureWatcher<bool> m_scan;
};
