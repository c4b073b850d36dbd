#include "device/ui/BluetoothDialog.h"

#include "common/LabelTable.h"
#include "common/Prompts.h"
#include "device/ui/BluetoothEntry.h"

#include <QDebug>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalMapper>
#include <QVBoxLayout>
#include <QtConcurrent>

BluetoothDialog::BluetoothDialog(std::unique_ptr<DeviceScanner> scanner, Prompts &prompts, QWidget *parent)
    : QDialog(parent), m_scanner(std::move(scanner)), m_prompts(prompts), m_mapper(new QSignalMapper(this))
{
    setObjectName("BluetoothDialog");
    setWindowTitle("Bluetooth");
    setWindowModality(Qt::ApplicationModal);
    resize(420, 360);

    auto *layout = new QVBoxLayout(this);
    m_reloadButton = new QPushButton(this);
    m_reloadButton->setObjectName("reloadButton");
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setObjectName("scrollArea");
    m_scrollArea->setWidgetResizable(true);
    m_scrollAreaWidgetContents = new QWidget;
    m_scrollAreaWidgetContents->setObjectName("scrollAreaWidgetContents");
    m_deviceList = new QVBoxLayout(m_scrollAreaWidgetContents);
    m_deviceList->setObjectName("deviceList");
    m_deviceList->setAlignment(Qt::AlignTop);
    m_scrollArea->setWidget(m_scrollAreaWidgetContents);
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName("progressBar");
    m_progressBar->setTextVisible(false);
    m_progressBar->hide();
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName("statusLabel");
    layout->addWidget(m_reloadButton);
    layout->addWidget(m_scrollArea, 1);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_statusLabel);

    LabelTable(objectName()).applyAll(m_reloadButton);
    connect(m_reloadButton, &QPushButton::clicked, this, &BluetoothDialog::startScanDevices);
    connect(this, &BluetoothDialog::deviceListUpdated, this, &BluetoothDialog::loadDeviceList);
    connect(this, &BluetoothDialog::blueToothSwitchOFF, this, &BluetoothDialog::closeThis);
    connect(&m_scan, &QFutureWatcher<bool>::finished, this, &BluetoothDialog::scanFinished);
}

BluetoothDialog::~BluetoothDialog()
{
    // The scan writes into the dialog: it must end first.
    m_scan.waitForFinished();
}

bool BluetoothDialog::isRecorderName(const QString &name) { return name.contains(QLatin1String("TAVO_")); }

void BluetoothDialog::startScanDevices()
{
    if (m_scan.isRunning())
        return;
    m_reloadButton->setEnabled(false);
    m_statusLabel->setText("Ricerca dei dispositivi in corso ...");
    m_progressBar->setOrientation(Qt::Horizontal);
    m_progressBar->setRange(0, 0);
    m_progressBar->setValue(0);
    m_progressBar->show();
    // The rows of the last search disappear now and are deleted when the new list is loaded.
    for (BluetoothEntry *row : m_rows)
        row->hide();
    {
        const QMutexLocker lock(&m_mutex);
        m_deviceRecords.clear();
        m_statusWords.clear();
    }
    m_scan.setFuture(QtConcurrent::run([this] {
        std::vector<FoundDevice> found;
        if (!m_scanner->scan(&found))
            return false;
        const QMutexLocker lock(&m_mutex);
        for (const FoundDevice &device : found) {
            m_deviceRecords.push_back(device.record);
            m_statusWords.append(QString::fromStdString(device.status));
        }
        return true;
    }));
}

void BluetoothDialog::scanFinished()
{
    m_progressBar->hide();
    m_reloadButton->setEnabled(true);
    if (m_scan.result())
        emit deviceListUpdated();
    else
        emit blueToothSwitchOFF();
}

void BluetoothDialog::loadDeviceList()
{
    m_statusLabel->clear();
    const QMutexLocker lock(&m_mutex);
    for (BluetoothEntry *row : m_rows) {
        m_mapper->removeMappings(row->pairButton());
        disconnect(row->pairButton(), nullptr, m_mapper, nullptr);
        delete row;
    }
    m_rows.clear();
    for (std::size_t i = 0; i < m_deviceRecords.size(); ++i) {
        const BluetoothDeviceRecord &record = m_deviceRecords[i];
        const QString name = record.name.empty() ? QStringLiteral("Sconosciuto") : QString::fromStdString(record.name);
        const QString status = m_statusWords.value(int(i));
        if (isRecorderName(name)) {
            auto *row = new BluetoothEntry(m_scrollAreaWidgetContents, name, record, status, *m_scanner);
            m_deviceList->addWidget(row);
            m_rows.append(row);
            m_mapper->setMapping(row->pairButton(), m_rows.size() - 1);
            connect(row->pairButton(), &QPushButton::clicked, m_mapper, QOverload<>::of(&QSignalMapper::map));
        }
        qInfo().noquote() << name + " " + status;
    }
}

void BluetoothDialog::closeThis()
{
    m_statusLabel->setText("Bluetooth spento ...");
    m_prompts.inform(Prompts::Icon::Critical, "Bluetooth spento", "Accendere il Bluetooth e riprovare");
    hide();
}

void BluetoothDialog::searchDevices() { m_scanner->printDiagnostics(); }
