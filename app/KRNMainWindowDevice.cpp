// The recorder link's slots of the main window: the device dialog, the connection to the chosen
// recorder, the replay of a captured stream, the stream and gain controls of the live page. The
// work is done by RecorderLink and BluetoothDialog; these slots only hand over and follow.
#include "app/KRNMainWindow.h"

#include "common/Prompts.h"
#include "device/ImportedCard.h"
#include "device/RecorderLink.h"
#include "device/SessionSetup.h"
#include "device/ui/BluetoothDialog.h"
#include "device/ui/BluetoothEntry.h"
#include "live/OnlineVisualizationWindow.h"
#include "live/viewSubmenu.h"

#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QPushButton>
#include <QSignalMapper>

void KRNMainWindow::setUpDevice()
{
    m_bluetoothDialog = new BluetoothDialog(makeDeviceScanner(), m_prompts, this);
    m_bluetoothDialog->hide();
    m_link = std::make_unique<RecorderLink>(m_prompts);
    m_link->setRecordBuffers(&m_online->ecgRecords(), &m_online->breathRecords());
    m_link->setImportedSessionLookup(
        [this](const QByteArray &identifier) { return importedSessionDate(database, m_dataFolder, identifier); });

    const viewSubmenu::Controls &bar = m_toolbar->ui();
    connect(bar.buttonplayecg, &QPushButton::clicked, this, &KRNMainWindow::startEcgStreaming);
    connect(bar.buttonstopecg, &QPushButton::clicked, this, &KRNMainWindow::stopEcgStreaming);
    connect(bar.buttonplaybreath, &QPushButton::clicked, this, &KRNMainWindow::startBreathStreaming);
    connect(bar.buttonstopbreath, &QPushButton::clicked, this, &KRNMainWindow::stopBreathStreaming);
    connect(bar.gainchoice, qOverload<int>(&QComboBox::currentIndexChanged), this, &KRNMainWindow::sendGainCommand);
    connect(m_bluetoothDialog->mapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::bluetoothDeviceSelected);

    // The workers' signals reach the GUI thread through the window's own signals.
    connect(m_link.get(), &RecorderLink::streamingError, this, &KRNMainWindow::streamingError);
    connect(m_link.get(), &RecorderLink::calibrationFactorFound, this, &KRNMainWindow::calibrationFactorFound);
    connect(m_link.get(), &RecorderLink::endOfCalibration, this, &KRNMainWindow::endOfCalibration);
    connect(this, &KRNMainWindow::streamingError, this, &KRNMainWindow::streamingErrorSlot);
    connect(m_link.get(), &RecorderLink::streamControlsChanged, this, &KRNMainWindow::showStreamControls);
    connect(m_link.get(), &RecorderLink::streamDisplayChanged, this, &KRNMainWindow::runStreamDisplay);
    connect(m_link.get(), &RecorderLink::configurationFailed, m_bluetoothDialog, &QWidget::hide);
}

RecorderLink &KRNMainWindow::recorderLink() const { return *m_link; }

void KRNMainWindow::openDeviceDialog()
{
    if (m_bluetoothDialog->isVisible())
        return;
    m_bluetoothDialog->show();
    m_bluetoothDialog->startScanDevices();
}

void KRNMainWindow::showBluetoothDialog()
{
    m_bluetoothDialog->show();
    m_bluetoothDialog->raise();
}

void KRNMainWindow::bluetoothPairSelect(int)
{
    m_bluetoothDialog->hide();
    goToOnlineVisualizationPage();
}

void KRNMainWindow::bluetoothPairSelect()
{
    m_bluetoothDialog->hide();
    m_prompts.inform(Prompts::Icon::Information, QString(),
                     "Lo streaming dei dati viene simulato caricando dati da file. Aprire un file dalla prossima "
                     "finestra.");
    const QString path = m_prompts.openFileName("Open file", "Data", QString());
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool loaded = m_online->loadCapture(path, &error);
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        qInfo().noquote() << "Capture not loaded: " + error;
        return;
    }
    goToOnlineVisualizationPage();
}

void KRNMainWindow::bluetoothDeviceSelected(int index)
{
    const QList<BluetoothEntry *> &rows = m_bluetoothDialog->rows();
    if (index < 0 || index >= rows.size())
        return;
    BluetoothEntry *row = rows[index];
    row->pairButton()->setEnabled(false);
    m_bluetoothDialog->reloadButton()->setEnabled(false);
    qInfo().noquote() << QStringLiteral("Device selected: %1 %2").arg(row->name()).arg(row->device().address, 12, 16, QLatin1Char('0'));
    if (m_link->connectToDevice(row->device().address) == RecorderLink::Handshake::Connected) {
        m_bluetoothDialog->hide();
        goToOnlineVisualizationPage();
        m_link->startStreamConsumer();
        return;
    }
    // Cancelled, refused or failed: the row and the search can be used again.
    row->pairButton()->setEnabled(true);
    m_bluetoothDialog->reloadButton()->setEnabled(true);
}

void KRNMainWindow::startStreaming()
{
    m_toolbar->ui().buttonPlay->setEnabled(false);
    m_toolbar->ui().buttonStop->setEnabled(true);
}

void KRNMainWindow::stopStreaming()
{
    m_toolbar->ui().buttonPlay->setEnabled(true);
    m_toolbar->ui().buttonStop->setEnabled(false);
}

void KRNMainWindow::startEcgStreaming() { m_link->startEcgStreaming(); }
void KRNMainWindow::stopEcgStreaming() { m_link->stopEcgStreaming(); }
void KRNMainWindow::startBreathStreaming() { m_link->startBreathStreaming(); }
void KRNMainWindow::stopBreathStreaming() { m_link->stopBreathStreaming(); }
void KRNMainWindow::streamingErrorSlot()
{
    m_link->streamingFailed();
    m_setup->streamingFailed();
}

void KRNMainWindow::sendGainCommand(int position)
{
    QComboBox *gain = m_toolbar->ui().gainchoice;
    switch (m_link->sendGainCommand(position)) {
    case RecorderLink::GainResult::Applied:
        m_online->setGain(gain->currentText().toInt());
        break;
    case RecorderLink::GainResult::Rejected: {
        // Back to the confirmed gain without a second command.
        const QSignalBlocker blocker(gain);
        gain->setCurrentIndex(m_link->currentGainPosition());
        break;
    }
    case RecorderLink::GainResult::Failed:
        break;
    }
}

void KRNMainWindow::showStreamControls(Stream stream, bool streaming)
{
    const viewSubmenu::Controls &bar = m_toolbar->ui();
    const bool ecg = stream == Stream::Ecg;
    (ecg ? bar.buttonplayecg : bar.buttonplaybreath)->setEnabled(!streaming);
    (ecg ? bar.buttonstopecg : bar.buttonstopbreath)->setEnabled(streaming);
}

void KRNMainWindow::runStreamDisplay(Stream stream, bool running)
{
    if (stream == Stream::Ecg)
        running ? m_online->startEcgTimer() : m_online->stopEcgTimer();
    else
        running ? m_online->startBreathTimer() : m_online->stopBreathTimer();
}

void KRNMainWindow::leaveLivePage()
{
    timeoutCalibrate();
    m_online->reset();
    m_link->disconnectDevice();
    // Back to the default gain without telling the recorder: the link has been dropped.
    m_link->resetGain();
    m_online->setGain(m_link->currentGain());
    QComboBox *gain = m_toolbar->ui().gainchoice;
    const QSignalBlocker blocker(gain);
    gain->setCurrentIndex(m_link->currentGainPosition());
}
