// The recorder link against the simulated recorder over a real TCP socket: the command bytes, the
// handshake roads, streaming with its readers and consumer, the gain change, the calibration
// reader and decoder, the session identifier and the start of a recording.
#include "tests/support/TestMain.h"
#include "device/ImportedCard.h"
#include "device/RecorderProtocol.h"
#include "device/TimeStampFilter.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

const QString BatteryQuestion = "Livello Batteria|Batteria insufficiente per consentire la fase di setup e "
                                "registrazione, continuare ugualmente?";
const QString NotEmpty = "Device non vuoto o scheda non presente|Il device selezionato non è vuoto o la scheda "
                         "non è presente.";

} // namespace

class RecorderLinkTest : public QObject
{
    Q_OBJECT
private slots:
    void commandBytes_data();
    void commandBytes();
    void setTimeBytes();

    void handshake_data();
    void handshake();
    void importedCard_data();
    void importedCard();
    void neverSilentRecorderEnds_data();
    void neverSilentRecorderEnds();
    void outOfLineTimeStamps_data();
    void outOfLineTimeStamps();
    void transportFailures_data();
    void transportFailures();

    void chunksAreQueuedPastTheirSize();
    void everyFrameReachesTheBuffers();
    void corruptedFramesAreDroppedAlone();
    void connectionClosedMidStreamIsAStreamingError();
    void gainChange();
    void calibrationCapture();
    void sessionIdAndStartOfRecording();
    void disconnectEndsEveryWorker();
    void theToolServesTheSameRecorder();
};

void RecorderLinkTest::commandBytes_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("batteryLevelAndSDStatus") << recorder::batteryLevelAndSDStatus() << bytes({0xFE, 0xC1, 0x01, 0x01, 0xFE, 0xC1});
    QTest::newRow("sessionInfo") << recorder::sessionInfo() << bytes({0xFE, 0xC1, 0x01, 0x01, 0xFA, 0xC5});
    QTest::newRow("clearSd") << recorder::clearSd() << bytes({0xFE, 0xC1, 0x01, 0x01, 0xF7, 0xC8});
    QTest::newRow("start recording") << recorder::startRecording() << bytes({0xFE, 0xC1, 0x01, 0x01, 0xFB, 0xC4});
    QTest::newRow("startCalibration") << recorder::startCalibration() << bytes({0xFE, 0xC1, 0x01, 0x01, 0x08, 0x37});
    QTest::newRow("stopCalibration") << recorder::stopCalibration() << bytes({0xFE, 0xC1, 0x01, 0x01, 0x09, 0x36});
    QTest::newRow("calibrationFactor") << recorder::calibrationFactor() << bytes({0xFE, 0xC1, 0x01, 0x01, 0x0B, 0x34});
    QTest::newRow("calibrationRatio") << recorder::calibrationRatio() << bytes({0xFE, 0xC1, 0x01, 0x01, 0x0C, 0x33});
    QTest::newRow("startEcg") << recorder::startStream(recorder::EcgStream) << bytes({0xFE, 0xC1, 0x01, 0x03, 0x04, 0xC0, 0x00, 0xF9});
    QTest::newRow("startBreath") << recorder::startStream(recorder::BreathStream) << bytes({0xFE, 0xC1, 0x01, 0x03, 0x04, 0xC0, 0x01, 0xF8});
    QTest::newRow("stopStreamEcg") << recorder::stopStream(recorder::EcgStream) << bytes({0xFE, 0xC1, 0x01, 0x03, 0x05, 0xC0, 0x00, 0xF8});
    QTest::newRow("stopStreamBreath") << recorder::stopStream(recorder::BreathStream) << bytes({0xFE, 0xC1, 0x01, 0x03, 0x05, 0xC0, 0x01, 0xF9});
    QTest::newRow("Gain 12") << recorder::gain(6) << bytes({0xFE, 0xC1, 0x01, 0x04, 0x0A, 0xC0, 0x00, 0x07, 0xF7});
    QTest::newRow("Gain 6") << recorder::gain(4) << bytes({0xFE, 0xC1, 0x01, 0x04, 0x0A, 0xC0, 0x00, 0x05, 0xF5});
    QTest::newRow("Gain off the list") << recorder::gain(7) << bytes({0xFE, 0xC1, 0x01, 0x04, 0x0A, 0xC0, 0x00, 0x00, 0xF0});
    QTest::newRow("sendessionId") << recorder::sendessionId("RSSMRA80A01H501U0007")
                                  << bytes({0xFE, 0xC1, 0x01, 0x15, 0xFC}) + QByteArray("RSSMRA80A01H501U0007")
                                         + char(envelope::checkByte(reinterpret_cast<const uchar *>(
                                                                        (bytes({0xFE, 0xC1, 0x01, 0x15, 0xFC})
                                                                         + QByteArray("RSSMRA80A01H501U0007")).constData()),
                                                                    25));
}

void RecorderLinkTest::commandBytes()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    QCOMPARE(sent.toHex(' '), expected.toHex(' '));
}

void RecorderLinkTest::setTimeBytes()
{
    const QDateTime when(QDate(2031, 3, 5), QTime(7, 8, 9), Qt::LocalTime);
    QCOMPARE(recorder::setTime(when).toHex(' '),
             bytes({0xFE, 0xC1, 0x01, 0x07, 0xFD, 0x05, 0x03, 0x1F, 0x07, 0x08, 0x09, 0xDB}).toHex(' '));
}

void RecorderLinkTest::handshake_data()
{
    QTest::addColumn<int>("battery");
    QTest::addColumn<int>("cardStatus");
    QTest::addColumn<QByteArray>("cardSession");
    QTest::addColumn<int>("wrongClearSd");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<int>("cardStatusAfter");

    const int connected = int(RecorderLink::Handshake::Connected);
    const int declined = int(RecorderLink::Handshake::Declined);
    const int failed = int(RecorderLink::Handshake::Failed);
    const QString full = "Livello batteria : 95 \nStato Sd : Piena";
    QTest::newRow("95 passes, empty card") << 95 << 0 << QByteArray() << 0 << "" << connected
                                           << QStringList{"Livello batteria : 95 \nStato Sd : Vuota"} << 0;
    QTest::newRow("94 asks, OK goes on") << 94 << 0 << QByteArray() << 0 << "OK" << connected
                                         << QStringList{BatteryQuestion, "Livello batteria : 94 \nStato Sd : Vuota"} << 0;
    QTest::newRow("94 asks, CANCEL declines") << 94 << 0 << QByteArray() << 0 << "CANCEL" << declined
                                              << QStringList{BatteryQuestion} << 0;
    QTest::newRow("a stored session refuses the recorder")
        << 100 << 1 << QByteArray("RSSMRA80A01H501U0042") << 0 << "" << declined << QStringList{NotEmpty} << 1;
    QTest::newRow("one byte not a letter clears the card")
        << 95 << 1 << QByteArray("RSSMRA80A01H501U004-") << 0 << "" << connected << QStringList{full} << 0;
    QTest::newRow("no identifier clears the card") << 95 << 1 << QByteArray() << 0 << "" << connected << QStringList{full} << 0;
    QTest::newRow("wrong acknowledgements are repeated")
        << 95 << 1 << QByteArray() << 4 << "" << connected << QStringList{full} << 0;
    QTest::newRow("five wrong acknowledgements give up")
        << 95 << 1 << QByteArray() << 5 << "" << failed << QStringList{"Configurazione Fallita"} << 1;
    QTest::newRow("another card status skips the card") << 95 << 2 << QByteArray("RSSMRA80A01H501U0042") << 0 << ""
                                                        << connected << QStringList{"Livello batteria : 95 \nStato Sd : Piena"} << 2;
}

void RecorderLinkTest::handshake()
{
    QFETCH(int, battery);
    QFETCH(int, cardStatus);
    QFETCH(QByteArray, cardSession);
    QFETCH(int, wrongClearSd);
    QFETCH(QString, answer);
    QFETCH(int, result);
    QFETCH(QStringList, boxes);
    QFETCH(int, cardStatusAfter);

    // Against a recorder that ends every reply with its check byte, and one that leaves it off
    // the four replies some recorders send short.
    for (const bool shortReplies : {false, true}) {
        BluetoothRecorderBehaviour behaviour;
        behaviour.battery = battery;
        behaviour.cardStatus = cardStatus;
        behaviour.cardSession = cardSession;
        behaviour.wrongClearSdAcks = wrongClearSd;
        behaviour.shortReplies = shortReplies;
        SimulatedRecorder recorder(behaviour);
        QVERIFY(recorder.isListening());
        ScriptedPrompts prompts;
        if (!answer.isEmpty())
            prompts.buttons.enqueue(answer);
        const auto link = recorder.link(prompts);
        QSignalSpy failures(link.get(), &RecorderLink::configurationFailed);

        QCOMPARE(int(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress)), result);
        QCOMPARE(prompts.boxTexts(), boxes);
        QCOMPARE(link->isConnected(), result == int(RecorderLink::Handshake::Connected));
        QCOMPARE(failures.count(), result == int(RecorderLink::Handshake::Failed) ? 1 : 0);
        QCOMPARE(recorder.simulator().cardStatus(), cardStatusAfter);
        if (result == int(RecorderLink::Handshake::Failed))
            QCOMPARE(prompts.boxes.last().detailedText, QString("clearSd not acknowledged in 5 replies"));
        const RecorderLink::Conduct conduct = link->conduct();
        QCOMPARE(conduct.badReplyChecks, 0);
        QCOMPARE(conduct.repliesWithoutCheckByte.count("clearSd") == 1,
                 shortReplies && cardStatus == 1 && result != int(RecorderLink::Handshake::Declined));
    }
}

void RecorderLinkTest::importedCard_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("cardStatusAfter");
    const int connected = int(RecorderLink::Handshake::Connected);
    const int declined = int(RecorderLink::Handshake::Declined);
    QTest::newRow("imported, OK clears and goes on") << "LOADED" << true << "OK" << connected << 0;
    QTest::newRow("analysed, Cancel refuses") << "ANALYZED" << true << "Cancel" << declined << 1;
    QTest::newRow("never imported: refused, no question") << "OPEN" << true << "" << declined << 1;
    QTest::newRow("decoded files gone: refused, no question") << "LOADED" << false << "" << declined << 1;
}

void RecorderLinkTest::importedCard()
{
    QFETCH(QString, status);
    QFETCH(bool, decoded);
    QFETCH(QString, answer);
    QFETCH(int, result);
    QFETCH(int, cardStatusAfter);
    TestDatabase data;
    QTemporaryDir folder;
    data.addPatient("RSSMRA80A01H501U");
    SessionRecord session = data.addSession("RSSMRA80A01H501U", status.toStdString());
    session.dataPathName = "RSSMRA80A01H501U/" + std::to_string(session.id);
    session.importDate = QDateTime(QDate(2031, 3, 5), QTime(10, 0)).toSecsSinceEpoch();
    QVERIFY(data.db().updateSession(session));
    const QString sessionFolder = folder.filePath(QString::fromStdString(session.dataPathName));
    QVERIFY(QDir().mkpath(sessionFolder));
    for (const char *name : {EcgFormat.fileName, BreathFormat.fileName}) {
        QFile file(sessionFolder + "/" + name);
        QVERIFY(!decoded || file.open(QIODevice::WriteOnly));
    }
    const QByteArray identifier = QByteArray("RSSMRA80A01H501U") + QByteArray::number(session.id).rightJustified(4, '0');

    BluetoothRecorderBehaviour behaviour;
    behaviour.cardStatus = 1;
    behaviour.cardSession = identifier;
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    if (!answer.isEmpty())
        prompts.buttons.enqueue(answer);
    const auto link = recorder.link(prompts);
    link->setImportedSessionLookup(
        [&](const QByteArray &id) { return importedSessionDate(data.db(), folder.path(), id); });
    QCOMPARE(int(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress)), result);
    QCOMPARE(recorder.simulator().cardStatus(), cardStatusAfter);
    const QString question = "La scheda del registratore contiene la sessione " + QString::fromLatin1(identifier)
                             + ", già importata il 05/03/2031. Cancellare la scheda e continuare?";
    if (answer.isEmpty())
        QCOMPARE(prompts.boxTexts(), QStringList{NotEmpty});
    else
        QCOMPARE(prompts.boxTexts().first(), question);
}

void RecorderLinkTest::neverSilentRecorderEnds_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("the drain before the gain") << "gain";
    QTest::newRow("the wait for the recording's acknowledgement") << "start recording";
}

void RecorderLinkTest::neverSilentRecorderEnds()
{
    QFETCH(QString, step);
    // It keeps streaming whatever it is told: the waits end on the limit, in a failure report.
    BluetoothRecorderBehaviour behaviour;
    behaviour.ignoreStop = true;
    behaviour.silentAfter = "startrecording";
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    LinkTiming timing;
    timing.replyLimitMs = 1500;
    const auto link = recorder.link(prompts, timing);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    QVERIFY(link->startEcgStreaming());
    link->stopEcgStreaming();
    if (step == "gain")
        QCOMPARE(link->sendGainCommand(6), RecorderLink::GainResult::Failed);
    else
        QCOMPARE(link->startRecording(), RecorderLink::Reply::Failed);
    QCOMPARE(prompts.boxTexts().last(), QString("Configurazione Fallita"));
    QCOMPARE(prompts.boxes.last().detailedText,
             step == "gain" ? QString("Recorder still sending after 1.5 s") : QString("Reply not found within 1.5 s"));
    QVERIFY(!link->isConnected());
}

void RecorderLinkTest::outOfLineTimeStamps_data()
{
    QTest::addColumn<QVector<int>>("times");
    QTest::addColumn<QVector<int>>("passed");
    QTest::newRow("in order") << QVector<int>{100, 102, 104, 106} << QVector<int>{100, 102, 104};
    QTest::newRow("one far in the future") << QVector<int>{100, 102, 900000, 106, 108} << QVector<int>{100, 102, 106};
    QTest::newRow("one far in the past") << QVector<int>{500, 502, 3, 506, 508} << QVector<int>{500, 502, 506};
    QTest::newRow("the first far ahead") << QVector<int>{900000, 102, 104, 106} << QVector<int>{102, 104};
    QTest::newRow("a jump the stream follows") << QVector<int>{100, 102, 5000, 5002, 5004} << QVector<int>{100, 102, 5000, 5002};
}

void RecorderLinkTest::outOfLineTimeStamps()
{
    QFETCH(QVector<int>, times);
    QFETCH(QVector<int>, passed);
    TimeStampFilter filter;
    SampleList out;
    const float values[8] = {};
    for (int t : times)
        filter.add(makeSampleRecord(quint32(t), values, 8), &out);
    QVector<int> got;
    for (const SampleRecord &r : out)
        got << int(sampleTime(r));
    QCOMPARE(got, passed);
    QCOMPARE(filter.leftOut(), quint64(times.size() - 1 - passed.size()));
    // When the stream pauses, the last one goes too when it is in line.
    filter.flush(&out);
    QCOMPARE(int(sampleTime(out.back())), times.back());
}

void RecorderLinkTest::transportFailures_data()
{
    QTest::addColumn<QString>("silentAfter");
    QTest::addColumn<quint64>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a device without the service") << "" << quint64(0x0080E1000002ull) << "Connect error";
    QTest::newRow("silence after the battery question") << "battery" << quint64(BluetoothRecorderSimulator::RecorderAddress)
                                                        << "Receive error";
    QTest::newRow("silence after setTime") << "settime" << quint64(BluetoothRecorderSimulator::RecorderAddress)
                                           << "Receive error";
}

void RecorderLinkTest::transportFailures()
{
    QFETCH(QString, silentAfter);
    QFETCH(quint64, address);
    QFETCH(QString, reason);
    BluetoothRecorderBehaviour behaviour;
    behaviour.silentAfter = silentAfter;
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    QCOMPARE(link->connectToDevice(address), RecorderLink::Handshake::Failed);
    QCOMPARE(prompts.boxTexts(), QStringList{"Configurazione Fallita"});
    QCOMPARE(prompts.boxes.first().detailedText, reason);
    QVERIFY(!link->isConnected());
}

void RecorderLinkTest::chunksAreQueuedPastTheirSize()
{
    SimulatedRecorder recorder;
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);

    // No consumer: the chunks stay in the queue.
    QVERIFY(link->startBreathStreaming());
    QTRY_VERIFY_WITH_TIMEOUT(link->chunkQueue().size() >= 2, 3000);
    for (int size : link->chunkQueue().chunkSizes())
        QCOMPARE(size, RecorderLink::BreathChunkBytes + 1);
    QVERIFY(link->startEcgStreaming());
    const std::size_t breathChunks = link->chunkQueue().size();
    QTRY_VERIFY_WITH_TIMEOUT(link->chunkQueue().size() >= breathChunks + 3, 3000);
    const std::vector<int> sizes = link->chunkQueue().chunkSizes();
    // The chunk that was growing when ECG started may end anywhere up to the larger size.
    for (std::size_t i = breathChunks + 1; i < sizes.size(); ++i)
        QCOMPARE(sizes[i], RecorderLink::EcgChunkBytes + 1);
}

void RecorderLinkTest::everyFrameReachesTheBuffers()
{
    SimulatedRecorder recorder;
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    RecordBuffer ecg, breath;
    link->setRecordBuffers(&ecg, &breath);
    QSignalSpy controls(link.get(), &RecorderLink::streamControlsChanged);
    QSignalSpy display(link.get(), &RecorderLink::streamDisplayChanged);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    link->startStreamConsumer();

    QVERIFY(link->startEcgStreaming());
    QVERIFY(link->isStreamReaderRunning());
    // Respiration joins the running reader; its acknowledgement goes through the frame scanner.
    QVERIFY(link->startBreathStreaming());
    QTest::qWait(700);
    QCOMPARE(controls.count(), 2);
    QCOMPARE(display.count(), 2);
    QCOMPARE(display.at(1).at(0).value<Stream>(), Stream::Breath);
    QCOMPARE(display.at(1).at(1).toBool(), true);

    // Stop the recorder's streams without clearing the buffers, and count.
    recorder.simulator().stop();
    QTRY_VERIFY_WITH_TIMEOUT(!link->isStreamReaderRunning(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(quint64(ecg.size()), recorder.simulator().framesSent(Stream::Ecg), 2000);
    QTRY_COMPARE_WITH_TIMEOUT(quint64(breath.size()), recorder.simulator().framesSent(Stream::Breath), 2000);
    QVERIFY(ecg.size() > 250);
    const SampleList records = ecg.copy();
    QCOMPARE(records.front().size(), std::size_t(9));
    QCOMPARE(breath.copy().front().size(), std::size_t(6));
    // One frame every 2 ms on the recorder's clock, none missing.
    for (std::size_t i = 1; i < records.size(); ++i)
        QCOMPARE(sampleTime(records[i]) - sampleTime(records[i - 1]), 2u);
}

void RecorderLinkTest::corruptedFramesAreDroppedAlone()
{
    BluetoothRecorderBehaviour behaviour;
    behaviour.corruptEvery = 7;
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    RecordBuffer ecg, breath;
    link->setRecordBuffers(&ecg, &breath);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    link->startStreamConsumer();
    QVERIFY(link->startEcgStreaming());
    QTest::qWait(600);
    recorder.simulator().stop();
    QTRY_VERIFY_WITH_TIMEOUT(!link->isStreamReaderRunning(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(quint64(ecg.size()), recorder.simulator().framesSent(Stream::Ecg), 2000);
    QVERIFY(recorder.simulator().framesCorrupted() > 10);
}

void RecorderLinkTest::connectionClosedMidStreamIsAStreamingError()
{
    BluetoothRecorderBehaviour behaviour;
    behaviour.closeAfterFrames = 300;
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    QSignalSpy errors(link.get(), &RecorderLink::streamingError);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    QVERIFY(link->startEcgStreaming());
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 3000);
    QVERIFY(!link->isStreamReaderRunning());

    link->streamingFailed();
    QCOMPARE(prompts.boxTexts().last(), QString("Errore streaming|Streaming fallito"));
    QVERIFY(!link->isEcgStreaming());
}

void RecorderLinkTest::gainChange()
{
    {
        SimulatedRecorder recorder;
        ScriptedPrompts prompts;
        const auto link = recorder.link(prompts);
        QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
        QVERIFY(link->startEcgStreaming());
        QCOMPARE(link->currentGain(), 6);
        QCOMPARE(link->sendGainCommand(6), RecorderLink::GainResult::Applied);
        QCOMPARE(link->currentGain(), 12);
        QCOMPARE(link->currentGainPosition(), 6);
        // The stream that was on is on again, with its own reader.
        QVERIFY(link->isEcgStreaming());
        QVERIFY(link->isStreamReaderRunning());
    }
    {
        BluetoothRecorderBehaviour behaviour;
        behaviour.wrongGainEcho = true;
        SimulatedRecorder recorder(behaviour);
        ScriptedPrompts prompts;
        const auto link = recorder.link(prompts);
        QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
        QCOMPARE(link->sendGainCommand(0), RecorderLink::GainResult::Rejected);
        QCOMPARE(prompts.boxTexts().last(), QString("Errore Gain|Gain non settato correttamente"));
        QCOMPARE(link->currentGainPosition(), 4);
    }
    {
        BluetoothRecorderBehaviour behaviour;
        behaviour.silentAfter = "gain";
        SimulatedRecorder recorder(behaviour);
        ScriptedPrompts prompts;
        const auto link = recorder.link(prompts);
        QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
        QCOMPARE(link->sendGainCommand(2), RecorderLink::GainResult::Failed);
        QCOMPARE(prompts.boxes.last().detailedText, QString("Receive error"));
        QVERIFY(!link->isConnected());
    }
}

void RecorderLinkTest::calibrationCapture()
{
    SimulatedRecorder recorder;
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    RecordBuffer ecg, breath;
    link->setRecordBuffers(&ecg, &breath);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    link->startStreamConsumer();

    // Calibration mode: the square wave on every ECG channel, 1 mV at gain 6.
    QCOMPARE(link->startCalibration(), RecorderLink::Reply::Confirmed);
    QVERIFY(link->startEcgStreaming());
    QTRY_VERIFY_WITH_TIMEOUT(ecg.size() > 300, 3000);
    const std::vector<float> factors = BluetoothRecorderSimulator::calibrationFactors();
    bool high = false, low = false;
    for (const SampleRecord &r : ecg.copy()) {
        for (int c = 0; c < 8; ++c) {
            const float v = r[std::size_t(c) + 1];
            high = high || qFuzzyCompare(v, 6.0f / factors[std::size_t(c)]);
            low = low || v == 0.0f;
            QVERIFY(v == 0.0f || qFuzzyCompare(v, 6.0f / factors[std::size_t(c)]));
        }
    }
    QVERIFY(high && low);
    link->stopEcgStreaming();

    // The calibration reader and decoder: factors first, then ratios, then the reader ends.
    QSignalSpy factorFound(link.get(), &RecorderLink::calibrationFactorFound);
    QSignalSpy ended(link.get(), &RecorderLink::endOfCalibration);
    QVERIFY(link->stopCalibration());
    link->startCalibrationCapture();
    QVERIFY(link->isCalibrationRunning());
    QVERIFY(link->startEcgStreaming());
    QVERIFY(!link->isStreamReaderRunning());
    QVERIFY(link->requestCalibrationFactor());
    QTRY_COMPARE_WITH_TIMEOUT(factorFound.count(), 1, 3000);
    QCOMPARE(link->calibrationFactors(), factors);
    QCOMPARE(ended.count(), 0);
    QVERIFY(link->requestCalibrationRatio());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 3000);
    QCOMPARE(link->calibrationRatios(), BluetoothRecorderSimulator::calibrationRatios(6));
    QTRY_VERIFY(!link->isCalibrationRunning());
    QCOMPARE(factorFound.count(), 1);
    // The reader ended by itself; a second start without a stop takes over from the old decoder.
    link->startCalibrationCapture();
    QVERIFY(link->isCalibrationRunning());
    link->stopCalibrationCapture();
    QVERIFY(!link->isCalibrationRunning());
    link->stopEcgStreaming();
    link->drainSocket();
    const std::optional<RecorderLink::BatteryStatus> battery = link->batteryLevelAndSDStatus();
    QVERIFY(battery);
    QCOMPARE(battery->level, 100);
    QVERIFY(prompts.boxTexts().size() == 1);
}

void RecorderLinkTest::sessionIdAndStartOfRecording()
{
    QTemporaryDir out;
    BluetoothRecorderBehaviour behaviour;
    behaviour.out = out.path();
    behaviour.recordSeconds = 3;
    SimulatedRecorder recorder(behaviour);
    ScriptedPrompts prompts;
    const auto link = recorder.link(prompts);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    const QByteArray id = "RSSMRA80A01H501U0007";
    QCOMPARE(link->sendSessionId(id), RecorderLink::Reply::Confirmed);
    QCOMPARE(link->startRecording(), RecorderLink::Reply::Confirmed);
    QTRY_VERIFY(!recorder.simulator().lastCardFolder().isEmpty());

    // The card the import reads: its log names the session.
    const CardFolder card(recorder.simulator().lastCardFolder());
    QCOMPARE(card.errorString(), QString());
    QVERIFY(!card.sampleFiles().isEmpty());
    RecorderLog log;
    QString error;
    QVERIFY2(RecorderLog::read(card.logPath(), &log, &error), qPrintable(error));
    QCOMPARE(log.sessionIds(), QStringList{QString::fromLatin1(id)});
    QCOMPARE(recorder.simulator().cardSession(), id);

    // A second connection finds the card busy with that session.
    link->disconnectDevice();
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Declined);
    QCOMPARE(prompts.boxTexts().last(), NotEmpty);

    // The identifier is not echoed: the caller gets Unconfirmed, nothing is reported.
    BluetoothRecorderBehaviour silent;
    silent.silentAfter = "startrecording";
    SimulatedRecorder mute(silent);
    ScriptedPrompts quiet;
    const auto other = mute.link(quiet);
    QCOMPARE(other->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    QCOMPARE(other->startRecording(), RecorderLink::Reply::Unconfirmed);
    QCOMPARE(quiet.boxTexts().size(), 1);
}

void RecorderLinkTest::disconnectEndsEveryWorker()
{
    SimulatedRecorder recorder;
    ScriptedPrompts prompts;
    // The real receive timeout: the workers must end at once all the same.
    const auto link = recorder.link(prompts, LinkTiming());
    RecordBuffer ecg, breath;
    link->setRecordBuffers(&ecg, &breath);
    QCOMPARE(link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    link->startStreamConsumer();
    QVERIFY(link->startEcgStreaming());
    QTRY_VERIFY(ecg.size() > 10);
    QElapsedTimer clock;
    clock.start();
    link->shutdown();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!link->isStreamReaderRunning());
    QVERIFY(!link->isConnected());
}

void RecorderLinkTest::theToolServesTheSameRecorder()
{
    const QString tool = qEnvironmentVariable("KRN_TOOL");
    QVERIFY2(QFileInfo::exists(tool), "KRN_TOOL names no tavokrn-tool");
    QProcess wrong;
    wrong.start(tool, {"recorder-bt", "--silent-after", "nothing"});
    QVERIFY(wrong.waitForFinished(10000));
    QCOMPARE(wrong.exitCode(), 2);

    QProcess recorder;
    recorder.start(tool, {"recorder-bt", "--battery", "94", "--card-status", "1"});
    QVERIFY(recorder.waitForReadyRead(10000));
    const QString address = QString::fromLatin1(recorder.readLine()).trimmed();
    QString error;
    const std::optional<simulator::Endpoint> endpoint = simulator::Endpoint::parse(address, &error);
    QVERIFY2(endpoint, qPrintable(error));
    ScriptedPrompts prompts;
    prompts.buttons.enqueue("OK");
    RecorderLink link(prompts, [at = *endpoint] { return simulator::makeTransport(at); },
                      SimulatedRecorder::fastTiming());
    QCOMPARE(link.connectToDevice(BluetoothRecorderSimulator::RecorderAddress), RecorderLink::Handshake::Connected);
    QCOMPARE(prompts.boxTexts(), (QStringList{BatteryQuestion, "Livello batteria : 94 \nStato Sd : Piena"}));
    link.disconnectDevice();
    recorder.terminate();
    QVERIFY(recorder.waitForFinished(5000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 0);
    QVERIFY(recorder.readAllStandardError().contains("card cleared"));
}

KRN_TEST_GUILESS_MAIN(RecorderLinkTest)
#include "tst_recorderlink.moc"
