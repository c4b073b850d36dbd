// The headless recorder check: the real tavokrn-tool recorder-check against the real recorder-bt,
// and every misbehaviour of the simulated recorder ending the check in its own reason.
#include "tests/support/TestMain.h"
#include "device/RecorderCheck.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/ToolRun.h"

#include <QProcess>
#include <QtTest>

Q_DECLARE_METATYPE(BluetoothRecorderBehaviour)

class RecorderCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void toolAgainstTheSimulator_data();
    void toolAgainstTheSimulator();
    void misbehaviourFails_data();
    void misbehaviourFails();
};

void RecorderCheckTest::toolAgainstTheSimulator_data()
{
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("check");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    QTest::newRow("whole frames") << QStringList() << QStringList{"--seconds", "1"} << 0
                                  << "ok   reply frames: whole, with their check bytes";
    QTest::newRow("short replies, calibration, a card to clear")
        << QStringList{"--short-replies", "--card-status", "1"} << QStringList{"--seconds", "1", "--calibrate", "--clear"}
        << 0 << "ok   reply frames: without their check byte: clearSd, sendessionId, sessionInfo, startCalibration";
    QTest::newRow("a session on the card is not cleared") << QStringList{"--card-status", "1", "--card-session", "RSSMRA80A01H501U0001"}
                                                          << QStringList{"--seconds", "1"} << 1
                                                          << "FAIL card: holds session RSSMRA80A01H501U0001; not cleared (--clear clears it)";
    QTest::newRow("usage: no recorder named") << QStringList() << QStringList{"--seconds", "1"} << 2 << "";
}

void RecorderCheckTest::toolAgainstTheSimulator()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, check);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QProcess recorder;
    recorder.start(qEnvironmentVariable("KRN_TOOL"), QStringList{"recorder-bt"} + simulator);
    QVERIFY(recorder.waitForReadyRead(10000));
    const QString address = QString::fromLatin1(recorder.readLine()).trimmed();
    const ToolRun run = runTool(QStringList{"recorder-check"} + (exitCode == 2 ? QStringList() : QStringList{"--sim", address}) + check);
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(line), qPrintable(run.out + run.err));
    QVERIFY2(run.out.contains("ok   session identifier: not sent") == simulator.contains("--card-session"), qPrintable(run.out));
    if (exitCode == 0)
        QVERIFY2(run.out.contains("ok   calibration:") == check.contains("--calibrate"), qPrintable(run.out));
}

void RecorderCheckTest::misbehaviourFails_data()
{
    QTest::addColumn<BluetoothRecorderBehaviour>("behaviour");
    QTest::addColumn<bool>("calibrate");
    QTest::addColumn<QString>("line");
    const auto with = [](auto set) {
        BluetoothRecorderBehaviour b;
        b.calibrationPeriodMs = 80;
        set(b);
        return b;
    };
    const auto silent = [&](const char *command) { return with([=](auto &b) { b.silentAfter = command; }); };
    QTest::newRow("replies whole, calibration") << with([](auto &) {}) << true << "";
    QTest::newRow("short replies") << with([](auto &b) { b.shortReplies = true; }) << false << "";
    QTest::newRow("silent battery") << silent("battery") << false << "FAIL battery: Configurazione Fallita: Receive error";
    QTest::newRow("silent setTime") << silent("settime") << false << "FAIL setTime: Configurazione Fallita: Receive error";
    QTest::newRow("silent gain") << silent("gain") << false << "FAIL gain: Configurazione Fallita: Receive error";
    QTest::newRow("silent startEcg") << silent("startecg") << false << "FAIL ECG stream: Streaming ECG fallito";
    QTest::newRow("silent startBreath") << silent("startbreath") << false << "FAIL respiration stream: 0 frames";
    QTest::newRow("stop ignored") << with([](auto &b) { b.ignoreStop = true; }) << false
                                  << "FAIL stop of the streams: Configurazione Fallita: Recorder still sending after 1 s";
    QTest::newRow("silent sessionId") << silent("sessionid") << false << "FAIL session identifier: Configurazione Fallita: Receive error";
    QTest::newRow("wrong session echo") << with([](auto &b) { b.wrongSessionIdEcho = true; }) << false
                                        << "FAIL session identifier: recorder-check-00000 not echoed as sent";
    QTest::newRow("wrong gain") << with([](auto &b) { b.wrongGainEcho = true; }) << false << "FAIL gain: 6 not echoed";
    QTest::newRow("connection closed") << with([](auto &b) { b.closeAfterFrames = 200; }) << false
                                       << "FAIL streams: Streaming fallito";
    QTest::newRow("corrupted frames") << with([](auto &b) { b.corruptEvery = 50; }) << false << "FAIL stream check bytes: ";
    QTest::newRow("low battery") << with([](auto &b) { b.battery = 80; }) << false << "FAIL battery: 80 % (below 95 %";
    QTest::newRow("wrong clearSd") << with([](auto &b) { b.cardStatus = 1; b.wrongClearSdAcks = 5; }) << false
                                   << "FAIL card: Configurazione Fallita: clearSd not acknowledged in 5 replies";
    QTest::newRow("silent startCalibration") << silent("startcalibration") << true << "FAIL calibration mode: Configurazione Fallita: Receive error";
    QTest::newRow("silent stopCalibration") << silent("stopcalibration") << true
                                            << "FAIL calibration mode left: the ECG stream still carries the square wave";
    QTest::newRow("silent calibrationFactor") << silent("calibrationfactor") << true << "FAIL calibration factors: not received";
    QTest::newRow("silent calibrationRatio") << silent("calibrationratio") << true << "FAIL calibration ratios: not received";
    QTest::newRow("no calibration signal") << with([](auto &b) { b.noCalibrationSignal = true; }) << true
                                           << "FAIL calibration signal: no ECG frames in calibration mode";
    QTest::newRow("wrong calibration height") << with([](auto &b) { b.calibrationPulseMv = 2; }) << true
                                              << "FAIL calibration: channel 1";
}

void RecorderCheckTest::misbehaviourFails()
{
    QFETCH(BluetoothRecorderBehaviour, behaviour);
    QFETCH(bool, calibrate);
    QFETCH(QString, line);
    SimulatedRecorder recorder(behaviour);
    RecorderCheckOptions options;
    options.seconds = 1;
    options.calibrate = calibrate;
    options.clear = true;
    options.link = SimulatedRecorder::fastTiming();
    options.link.replyLimitMs = 1000;
    options.calibration = {20, 200, 800};
    const simulator::Endpoint at = recorder.endpoint();
    RecorderCheck check([at] { return simulator::makeTransport(at); }, options);
    const krntest::AllowedMessages logged(QtInfoMsg, QRegularExpression("."));
    QStringList lines;
    const bool holds = check.run(BluetoothRecorderSimulator::RecorderAddress,
                                 [&](const CheckLine &l) { lines << checkLineText(l); });
    QCOMPARE(holds, line.isEmpty());
    QVERIFY2(line.isEmpty() || !lines.filter(line).isEmpty(), qPrintable(lines.join('\n')));
}

KRN_TEST_GUILESS_MAIN(RecorderCheckTest)
#include "tst_recordercheck.moc"
