// The session set-up's ends short of a recording caused by the recorder, against the simulated
// recorder: no calibration signal, no factors or ratios, a signal of the wrong height, a dropped
// connection.
#include "tests/support/TestMain.h"
#include "tests/setup/SetupRig.h"

using setuptest::SetupRig;

Q_DECLARE_METATYPE(BluetoothRecorderBehaviour)

class SetupFailuresTest : public QObject
{
    Q_OBJECT
private slots:
    void recorderFailures_data();
    void recorderFailures();
    void droppedConnectionEndsTheSetUp();
};

void SetupFailuresTest::recorderFailures_data()
{
    QTest::addColumn<BluetoothRecorderBehaviour>("behaviour");
    QTest::addColumn<int>("receiveTimeoutMs");
    QTest::addColumn<QString>("box");
    const int fast = setuptest::fastLink().receiveTimeoutMs;
    const QString noSignal = "Segnale di calibrazione non ricevuto.|Segnale di calibrazione non ricevuto. Riprovare.";
    BluetoothRecorderBehaviour silent;
    silent.noCalibrationSignal = true;
    // Silence shorter than the receive timeout: the signal is found missing when it is measured.
    QTest::newRow("no calibration signal") << silent << 3 * setuptest::fastSetup().collectMs / 2 << noSignal;
    // Silence longer: the stream reader gives up while the signal is collected.
    QTest::newRow("stream silent in calibration") << silent << fast << noSignal;
    const QString noValues = "Valori di calibrazione non ricevuti|Valori di calibrazione non ricevuti. Riprovare.";
    BluetoothRecorderBehaviour noFactors;
    noFactors.silentAfter = "calibrationfactor";
    QTest::newRow("no factors") << noFactors << fast << noValues;
    BluetoothRecorderBehaviour noRatios;
    noRatios.silentAfter = "calibrationratio";
    QTest::newRow("no ratios") << noRatios << fast << noValues;
    // Twice the height the factors and ratios describe: outside ratio +- 50 %.
    BluetoothRecorderBehaviour tooHigh;
    tooHigh.calibrationPulseMv = 2.0;
    QTest::newRow("wrong amplitude") << tooHigh << fast
                                     << "Calibrazione errata.|Calibrazione errata. Riprovare e se l'operazione non va "
                                        "a buon fine contattare il fabbricante.";
}

void SetupFailuresTest::recorderFailures()
{
    QFETCH(BluetoothRecorderBehaviour, behaviour);
    QFETCH(int, receiveTimeoutMs);
    QFETCH(QString, box);
    LinkTiming timing;
    timing.receiveTimeoutMs = receiveTimeoutMs;
    SetupRig rig(behaviour, timing);
    QVERIFY(rig.connectAndStream());
    const krntest::AllowedMessages refused(QtInfoMsg, QRegularExpression("^Calibration refused: channel 1"));
    QVERIFY(rig.run());

    // Before the set-up's own box only the stream's may come.
    const QStringList boxes = rig.prompts.boxTexts();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.last(), box);
    QCOMPARE(boxes.count("Errore streaming|Streaming fallito"), boxes.size() - 1);
    setuptest::verifyBackOnTheLivePage(rig);
}

void SetupFailuresTest::droppedConnectionEndsTheSetUp()
{
    // The recorder goes away while the calibration signal is collected.
    BluetoothRecorderBehaviour behaviour;
    behaviour.closeAfterFrames = 60;
    SetupRig rig(behaviour);
    QVERIFY(rig.link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress)
            == RecorderLink::Handshake::Connected);
    rig.link->startStreamConsumer();
    rig.prompts.boxes.clear();
    krntest::expectMessage(QtInfoMsg, "Connection closed");
    krntest::expectMessage(QtInfoMsg, "ECG stream lost while the calibration signal was awaited");
    QVERIFY(rig.run());

    // The recorder is gone: leaving calibration mode cannot be sent, and the socket is closed.
    QCOMPARE(rig.prompts.boxTexts(),
             (QStringList{"Errore streaming|Streaming fallito",
                          "Segnale di calibrazione non ricevuto.|Segnale di calibrazione non ricevuto. Riprovare.",
                          "Configurazione Fallita"}));
    QCOMPARE(rig.prompts.boxes.last().detailedText, QString("Send error"));
    QVERIFY(!rig.link->isConnected());
    QVERIFY(!rig.link->isStreamReaderRunning());
    QVERIFY(!rig.prompts.progresses.first()->open);
    QVERIFY(rig.page.isEcgRefreshConnected());
    // The collecting timer was stopped with the set-up: nothing more comes later.
    QTest::qWait(setuptest::fastSetup().collectMs + 100);
    QCOMPARE(rig.prompts.boxes.size(), 3);
    QVERIFY(rig.sessions().empty());
}

KRN_TEST_MAIN(SetupFailuresTest)
#include "tst_setupfailures.moc"
