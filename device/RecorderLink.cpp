#include "device/RecorderLink.h"

#include "common/Clock.h"
#include "device/RecorderProtocol.h"
#include "import/FrameScanner.h"

#include <QDebug>
#include <QtConcurrent>

namespace {

QString hex(quint64 value) { return QString::number(value, 16).toUpper(); }

bool isLetterOrDigit(quint8 byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// Collects the sample frames of a scan as records.
class RecordCollector : public FrameHandler
{
public:
    SampleList ecg;
    SampleList breath;

    void frame(Stream stream, quint32 deviceTime, const float *values) override
    {
        if (stream == Stream::Ecg)
            ecg.push_back(makeSampleRecord(deviceTime, values, EcgFormat.valueCount));
        else if (stream == Stream::Breath)
            breath.push_back(makeSampleRecord(deviceTime, values, BreathFormat.valueCount));
    }
};

} // namespace

RecorderLink::RecorderLink(Prompts &prompts, TransportFactory makeTransport, LinkTiming timing, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_makeTransport(std::move(makeTransport)), m_timing(timing),
      m_gainPosition(recorder::DefaultGainPosition)
{
    qRegisterMetaType<Stream>();
}

RecorderLink::~RecorderLink()
{
    // Whoever follows the signals may be going too.
    blockSignals(true);
    disconnectDevice();
}

void RecorderLink::setRecordBuffers(RecordBuffer *ecg, RecordBuffer *breath)
{
    m_ecgRecords = ecg;
    m_breathRecords = breath;
}

bool RecorderLink::isConnected() const { return m_transport && m_transport->isOpen(); }

int RecorderLink::currentGain() const { return recorder::GainValues[std::size_t(m_gainPosition)]; }
void RecorderLink::resetGain() { m_gainPosition = recorder::DefaultGainPosition; }

// --- Commands and replies -------------------------------------------------------------------------

bool RecorderLink::send(const char *name, const QByteArray &bytes)
{
    for (char b : bytes)
        qInfo().noquote() << QString::number(quint8(b));
    if (!m_transport || !m_transport->send(reinterpret_cast<const uchar *>(bytes.constData()), std::size_t(bytes.size()))) {
        qInfo().noquote() << QStringLiteral("=CRITICAL= | send() call failed w/socket = [0x%1]. WSAGetLastError=[%2]")
                                 .arg(hex(m_transport ? m_transport->handle() : 0))
                                 .arg(m_transport ? m_transport->lastError() : 0);
        return false;
    }
    qInfo().noquote() << QStringLiteral("Sending byte %1: %2").arg(QLatin1String(name)).arg(bytes.size());
    return true;
}

RecorderTransport::Read RecorderLink::readReplyByte(quint8 *byte, const char *logPrefix)
{
    if (!m_transport)
        return RecorderTransport::Read::Error;
    const RecorderTransport::Read result = m_transport->readByte(byte);
    if (result == RecorderTransport::Read::Byte)
        qDebug().noquote() << QLatin1String(logPrefix) + QString::number(*byte);
    else if (result == RecorderTransport::Read::Error)
        qDebug().noquote() << "Error";
    return result;
}

RecorderLink::Outcome RecorderLink::read(int count, QByteArray *bytes)
{
    bytes->clear();
    while (bytes->size() < count) {
        quint8 b;
        switch (readReplyByte(&b)) {
        case RecorderTransport::Read::Byte:
            bytes->append(char(b));
            break;
        case RecorderTransport::Read::Closed:
            return Outcome::ReadClosed;
        case RecorderTransport::Read::Error:
            return Outcome::ReadError;
        }
    }
    return Outcome::Ok;
}

RecorderLink::Outcome RecorderLink::readUntil(const QByteArray &sequence)
{
    int matched = 0;
    while (matched < sequence.size()) {
        quint8 b;
        const RecorderTransport::Read result = readReplyByte(&b);
        if (result == RecorderTransport::Read::Closed)
            return Outcome::ReadClosed;
        if (result == RecorderTransport::Read::Error)
            return Outcome::ReadError;
        // A byte that does not continue the sequence makes the matcher wait for its first byte again.
        if (b == quint8(sequence[matched]))
            ++matched;
        else
            matched = b == quint8(sequence[0]) ? 1 : 0;
    }
    return Outcome::Ok;
}

bool RecorderLink::reportOutcome(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok:
        return true;
    case Outcome::SendFailed:
        reportConfigurationFailure("Send error");
        break;
    case Outcome::ReadError:
        reportConfigurationFailure("Receive error");
        break;
    case Outcome::ReadClosed:
        reportConfigurationFailure("Receive error - connection closed");
        break;
    }
    return false;
}

bool RecorderLink::exchange(const char *name, const QByteArray &command, int replySize, QByteArray *reply)
{
    if (!send(name, command))
        return reportOutcome(Outcome::SendFailed);
    return reportOutcome(read(replySize, reply));
}

void RecorderLink::drainSocket()
{
    waitForReaders();
    for (;;) {
        quint8 b;
        const RecorderTransport::Read result = readReplyByte(&b, "Bytes received in while: ");
        if (result != RecorderTransport::Read::Byte)
            return;
    }
}

void RecorderLink::reportConfigurationFailure(const QString &reason)
{
    Prompts::Box box;
    box.icon = Prompts::Icon::Critical;
    box.text = "Configurazione Fallita";
    box.detailedText = reason;
    box.buttons = {Prompts::Button::ok()};
    m_prompts.ask(box);
    emit configurationFailed();
    disconnectDevice();
}

// --- Handshake ------------------------------------------------------------------------------------

Prompts::Box RecorderLink::lowBatteryQuestion(const QString &text)
{
    return {Prompts::Icon::Question, "Livello Batteria", text, {}, {},
            {Prompts::Button::custom("OK", Prompts::Button::Role::Yes),
             Prompts::Button::custom("CANCEL", Prompts::Button::Role::No)}};
}

RecorderLink::Handshake RecorderLink::connectToDevice(quint64 address)
{
    disconnectDevice();
    m_transport = m_makeTransport();
    switch (m_transport->open(address, m_timing.receiveTimeoutMs)) {
    case RecorderTransport::Open::SocketFailed:
        qInfo().noquote() << "create socket error " + QString::number(m_transport->lastError());
        reportConfigurationFailure("Create Socket error");
        return Handshake::Failed;
    case RecorderTransport::Open::ConnectFailed:
        qInfo().noquote() << QStringLiteral("=CRITICAL= | connect() call failed w/socket = [0x%1]. WSAGetLastError=[%2]")
                                 .arg(hex(m_transport->handle()))
                                 .arg(m_transport->lastError());
        reportConfigurationFailure("Connect error");
        return Handshake::Failed;
    case RecorderTransport::Open::Ok:
        qInfo().noquote() << "connection OK";
        break;
    }
    qInfo().noquote() << "Try to connect with address " + hex(address);

    const std::optional<BatteryStatus> status = batteryLevelAndSDStatus();
    if (!status)
        return Handshake::Failed;
    qInfo().noquote() << "Battery : " + QString::number(status->level);
    qInfo().noquote() << "sd_status : " + QString::number(status->cardStatus);

    if (status->level < 95) {
        const int answer = m_prompts.ask(lowBatteryQuestion(
            "Batteria insufficiente per consentire la fase di setup e registrazione, continuare ugualmente?"));
        if (answer != 0) {
            disconnectDevice();
            return Handshake::Declined;
        }
    }

    if (status->cardStatus == 1) {
        if (!send("sessionInfo", recorder::sessionInfo())) {
            reportOutcome(Outcome::SendFailed);
            return Handshake::Failed;
        }
        const std::optional<bool> holdsSession = cardHoldsSession();
        if (!holdsSession)
            return Handshake::Failed;
        if (*holdsSession) {
            m_prompts.inform(Prompts::Icon::Critical, "Device non vuoto o scheda non presente",
                             "Il device selezionato non è vuoto o la scheda non è presente.");
            disconnectDevice();
            return Handshake::Declined;
        }
        if (!clearCard())
            return Handshake::Failed;
    }

    QByteArray reply;
    if (!exchange("setTime", recorder::setTime(Clock::now()), recorder::SetTimeReplySize, &reply))
        return Handshake::Failed;

    m_prompts.inform(Prompts::Icon::Information, QString(),
                     "Livello batteria : " + QString::number(status->level) + " \nStato Sd : "
                         + (status->cardStatus != 0 ? "Piena" : "Vuota"));
    return Handshake::Connected;
}

// Reads the sessionInfo reply: whether its 20 identifier bytes are all letters or digits; no value
// when the read failed (reported).
std::optional<bool> RecorderLink::cardHoldsSession()
{
    QByteArray head;
    if (!reportOutcome(read(recorder::SessionIdOffset, &head)))
        return std::nullopt;
    int position = recorder::SessionIdOffset;
    bool session = true;
    for (; position < recorder::SessionInfoReplySize; ++position) {
        quint8 b;
        const RecorderTransport::Read result = readReplyByte(&b);
        if (result != RecorderTransport::Read::Byte) {
            reportOutcome(result == RecorderTransport::Read::Closed ? Outcome::ReadClosed : Outcome::ReadError);
            return std::nullopt;
        }
        const bool alphanumeric = isLetterOrDigit(b);
        qInfo().noquote() << QStringLiteral("sessionInfo byte %1: %2 %3")
                                 .arg(position)
                                 .arg(b)
                                 .arg(alphanumeric ? "letter or digit" : "not a letter or digit");
        if (!alphanumeric) {
            session = false;
            ++position;
            break;
        }
    }
    // The rest of the reply is read too, so that the clearSd acknowledgement is not read out of
    // step behind it.
    QByteArray rest;
    if (!session && !reportOutcome(read(recorder::SessionInfoReplySize - position, &rest)))
        return std::nullopt;
    return session;
}

bool RecorderLink::clearCard()
{
    for (int attempt = 0; attempt < m_timing.clearSdTries; ++attempt) {
        QByteArray ack;
        if (!exchange("clearSd", recorder::clearSd(), recorder::ClearSdAckSize, &ack))
            return false;
        if (ack == recorder::clearSdAck())
            return true;
    }
    reportConfigurationFailure(QStringLiteral("clearSd not acknowledged after %1 tries").arg(m_timing.clearSdTries));
    return false;
}

std::optional<RecorderLink::BatteryStatus> RecorderLink::batteryLevelAndSDStatus()
{
    waitForReaders();
    QByteArray reply;
    if (!exchange("batteryLevelAndSDStatus", recorder::batteryLevelAndSDStatus(), recorder::BatteryReplySize, &reply))
        return std::nullopt;
    return BatteryStatus{qint8(reply[recorder::BatteryLevelOffset]), quint8(reply[recorder::CardStatusOffset])};
}

// --- Streaming ------------------------------------------------------------------------------------

void RecorderLink::startStreamConsumer()
{
    m_onLivePage = true;
    if (m_streamConsumer.isRunning())
        return;
    m_streamConsumer.waitForFinished();
    m_streamConsumer = QtConcurrent::run([this] { streamConsumer(); });
}

bool RecorderLink::readerOwnsSocket()
{
    if (m_ecgStreaming || m_breathStreaming || m_calibrationRunning)
        return true;
    waitForReaders();
    return false;
}

void RecorderLink::waitForReaders()
{
    // Only a reader whose flags are cleared ends; one that still streams would hold the socket.
    if (m_ecgStreaming || m_breathStreaming) {
        qInfo().noquote() << "Streams still on: their reader is stopped before the reply is read";
        m_ecgStreaming = m_breathStreaming = false;
    }
    m_streamReader.waitForFinished();
    m_calibrationReader.waitForFinished();
}

bool RecorderLink::startEcgStreaming() { return startStream(Stream::Ecg); }
bool RecorderLink::startBreathStreaming() { return startStream(Stream::Breath); }
void RecorderLink::stopEcgStreaming() { stopStream(Stream::Ecg); }
void RecorderLink::stopBreathStreaming() { stopStream(Stream::Breath); }

bool RecorderLink::startStream(Stream stream)
{
    const bool ecg = stream == Stream::Ecg;
    emit streamControlsChanged(stream, true);
    if (!isConnected()) {
        // No recorder: the live page replays a capture, and only its display follows the controls.
        emit streamDisplayChanged(stream, true);
        return true;
    }
    // While a reader owns the socket the acknowledgement reaches it instead, and the frame
    // scanner skips it: two readers would split the bytes between them.
    const bool replyGoesToReader = readerOwnsSocket();
    // A failed send is only logged: the reply that does not come tells the user.
    send(ecg ? "startEcg" : "startBreath", recorder::startStream(ecg ? recorder::EcgStream : recorder::BreathStream));
    if (!replyGoesToReader) {
        QByteArray reply;
        if (read(recorder::StreamAckSize, &reply) != Outcome::Ok) {
            if (ecg)
                m_prompts.inform(Prompts::Icon::Critical, "Errore streaming ECG", "Streaming ECG fallito");
            else
                m_prompts.inform(Prompts::Icon::Critical, "Errore streaming Respiro", "Streaming respiro fallito");
            emit streamControlsChanged(stream, false);
            return false;
        }
    }
    (ecg ? m_ecgStreaming : m_breathStreaming) = true;
    // One reader for both streams; none while the calibration reader has the socket.
    if (!m_calibrationRunning && !m_streamReader.isRunning())
        m_streamReader = QtConcurrent::run([this] { streamReader(); });
    emit streamDisplayChanged(stream, true);
    return true;
}

void RecorderLink::stopStream(Stream stream)
{
    const bool ecg = stream == Stream::Ecg;
    emit streamControlsChanged(stream, false);
    if (!isConnected()) {
        emit streamDisplayChanged(stream, false);
        return;
    }
    (ecg ? m_ecgStreaming : m_breathStreaming) = false;
    emit streamDisplayChanged(stream, false);
    if (RecordBuffer *buffer = ecg ? m_ecgRecords : m_breathRecords)
        buffer->clear();
    send(ecg ? "stopStreamEcg" : "stopStreamBreath",
         recorder::stopStream(ecg ? recorder::EcgStream : recorder::BreathStream));
}

void RecorderLink::streamingFailed()
{
    m_prompts.inform(Prompts::Icon::Critical, "Errore streaming", "Streaming fallito");
    m_ecgStreaming = false;
    m_breathStreaming = false;
    for (Stream stream : {Stream::Ecg, Stream::Breath}) {
        emit streamControlsChanged(stream, false);
        emit streamDisplayChanged(stream, false);
    }
    if (m_ecgRecords)
        m_ecgRecords->clear();
    if (m_breathRecords)
        m_breathRecords->clear();
}

RecorderLink::GainResult RecorderLink::sendGainCommand(int position)
{
    if (!isConnected()) {
        // A replayed capture: the gain only divides what is drawn.
        if (position < 0 || position >= int(recorder::GainValues.size()))
            return GainResult::Rejected;
        m_gainPosition = position;
        return GainResult::Applied;
    }
    const bool ecgWasOn = m_ecgStreaming, breathWasOn = m_breathStreaming;
    if (ecgWasOn)
        stopEcgStreaming();
    if (breathWasOn)
        stopBreathStreaming();
    drainSocket();
    if (!send("Gain", recorder::gain(position))) {
        reportOutcome(Outcome::SendFailed);
        return GainResult::Failed;
    }
    QByteArray tail;
    Outcome outcome = readUntil(recorder::gainReplyHead());
    if (outcome == Outcome::Ok)
        outcome = read(recorder::GainTailSize, &tail);
    if (!reportOutcome(outcome))
        return GainResult::Failed;
    GainResult result = GainResult::Rejected;
    if (tail.startsWith(recorder::gainPayload(position)) && position >= 0
        && position < int(recorder::GainValues.size())) {
        qInfo().noquote() << "OK";
        m_gainPosition = position;
        result = GainResult::Applied;
    } else {
        m_prompts.inform(Prompts::Icon::Critical, "Errore Gain", "Gain non settato correttamente");
    }
    if (ecgWasOn)
        startEcgStreaming();
    if (breathWasOn)
        startBreathStreaming();
    return result;
}

// --- Session set-up commands -----------------------------------------------------------------------

RecorderLink::Reply RecorderLink::startCalibration()
{
    waitForReaders();
    QByteArray ack;
    if (!exchange("startCalibration", recorder::startCalibration(), recorder::StartCalibrationAckSize, &ack))
        return Reply::Failed;
    return ack == recorder::startCalibrationAck() ? Reply::Confirmed : Reply::Unconfirmed;
}

bool RecorderLink::stopCalibration()
{
    if (!send("stopCalibration", recorder::stopCalibration()))
        return reportOutcome(Outcome::SendFailed);
    drainSocket();
    return true;
}

bool RecorderLink::requestCalibrationFactor()
{
    if (send("calibrationFactor", recorder::calibrationFactor()))
        return true;
    reportConfigurationFailure("Could not send calibration factor command");
    return false;
}

bool RecorderLink::requestCalibrationRatio()
{
    if (send("calibrationRatio", recorder::calibrationRatio()))
        return true;
    reportConfigurationFailure("Could not send calibration ratio command");
    return false;
}

RecorderLink::Reply RecorderLink::sendSessionId(const QByteArray &sessionId)
{
    waitForReaders();
    QByteArray echo;
    if (!exchange("sendessionId", recorder::sendessionId(sessionId), recorder::SessionIdEchoSize, &echo))
        return Reply::Failed;
    return echo == recorder::sessionIdEcho(sessionId) ? Reply::Confirmed : Reply::Unconfirmed;
}

RecorderLink::Reply RecorderLink::startRecording()
{
    waitForReaders();
    if (!send("start recording", recorder::startRecording())) {
        reportOutcome(Outcome::SendFailed);
        return Reply::Failed;
    }
    return readUntil(recorder::startRecordingAck()) == Outcome::Ok ? Reply::Confirmed : Reply::Unconfirmed;
}

// --- Calibration capture ---------------------------------------------------------------------------

void RecorderLink::startCalibrationCapture()
{
    // The set-up stops the streams first; should one still be on, its reader must hand the socket
    // over before the calibration reader takes it.
    if (m_ecgStreaming)
        stopEcgStreaming();
    if (m_breathStreaming)
        stopBreathStreaming();
    m_calibrationRunning = true;
    waitForReaders();
    // The stream consumer ends at its next look at the flag; the decoder takes the queue after it.
    m_streamConsumer.waitForFinished();
    m_calibrationDecoder.waitForFinished();
    clearCalibrationValues();
    m_chunkQueue.clear();
    m_calibrationDecoder = QtConcurrent::run([this] { calibrationDecoder(); });
    m_calibrationReader = QtConcurrent::run([this] { calibrationReader(); });
}

void RecorderLink::stopCalibrationCapture()
{
    m_calibrationRunning = false;
    m_calibrationReader.waitForFinished();
    m_calibrationDecoder.waitForFinished();
    // What the reader queued last belongs to the calibration, not to the live view.
    m_chunkQueue.clear();
}

std::vector<float> RecorderLink::calibrationFactors() const
{
    const QMutexLocker lock(&m_calibrationMutex);
    return m_calibrationFactors;
}

std::vector<float> RecorderLink::calibrationRatios() const
{
    const QMutexLocker lock(&m_calibrationMutex);
    return m_calibrationRatios;
}

void RecorderLink::clearCalibrationValues()
{
    const QMutexLocker lock(&m_calibrationMutex);
    m_calibrationFactors.clear();
    m_calibrationRatios.clear();
}

// --- Workers ---------------------------------------------------------------------------------------

void RecorderLink::streamReader()
{
    QByteArray chunk;
    chunk.reserve(EcgChunkBytes + 1);
    for (;;) {
        if (!m_ecgStreaming && !m_breathStreaming)
            break;
        quint8 b;
        const RecorderTransport::Read result = m_transport->readByte(&b);
        if (result != RecorderTransport::Read::Byte) {
            // Silence or a closed socket after the streams were switched off is the normal end.
            if (!m_ecgStreaming && !m_breathStreaming)
                break;
            qInfo().noquote() << (result == RecorderTransport::Read::Error ? "Socket error reading data"
                                                                           : "Connection closed");
            emit streamingError();
            break;
        }
        chunk.append(char(b));
        const int limit = m_ecgStreaming ? EcgChunkBytes : BreathChunkBytes;
        if (chunk.size() > limit) {
            m_chunkQueue.append(chunk);
            chunk.clear();
        }
    }
    if (!chunk.isEmpty())
        m_chunkQueue.append(chunk);
}

void RecorderLink::streamConsumer()
{
    // A frame cut by a chunk boundary is completed with the next chunk instead of being lost.
    QByteArray pending;
    QByteArray chunk;
    while (m_onLivePage && !m_calibrationRunning) {
        if (!m_chunkQueue.takeFirst(&chunk, ConsumerWaitMs))
            continue;
        pending.append(chunk);
        RecordCollector records;
        const std::size_t cut = scanSampleFrames(reinterpret_cast<const uchar *>(pending.constData()),
                                                 std::size_t(pending.size()), records);
        pending.remove(0, int(cut));
        if (m_ecgRecords && !records.ecg.empty())
            m_ecgRecords->append(std::move(records.ecg));
        if (m_breathRecords && !records.breath.empty())
            m_breathRecords->append(std::move(records.breath));
    }
}

void RecorderLink::calibrationReader()
{
    QByteArray chunk;
    chunk.reserve(CalibrationChunkBytes + 1);
    bool factorsSignalled = false;
    while (m_calibrationRunning) {
        quint8 b;
        const RecorderTransport::Read result = m_transport->readByte(&b);
        if (result != RecorderTransport::Read::Byte) {
            if (m_calibrationRunning)
                qInfo().noquote() << (result == RecorderTransport::Read::Error ? "Socket error reading data"
                                                                               : "Connection closed");
            break;
        }
        chunk.append(char(b));
        if (chunk.size() > CalibrationChunkBytes) {
            m_chunkQueue.append(chunk);
            chunk.clear();
        }
        const QMutexLocker lock(&m_calibrationMutex);
        if (!factorsSignalled && !m_calibrationFactors.empty()) {
            factorsSignalled = true;
            emit calibrationFactorFound();
        }
        if (!m_calibrationRatios.empty()) {
            emit endOfCalibration();
            break;
        }
    }
    m_calibrationRunning = false;
}

void RecorderLink::calibrationDecoder()
{
    qInfo().noquote() << "Decoder launched ";
    // The end of the previous chunk goes in front of the next, so that a value frame cut by the
    // boundary is still found; a frame read twice replaces the values with the same ones.
    QByteArray tail;
    QByteArray chunk;
    while (m_calibrationRunning) {
        if (!m_chunkQueue.takeFirst(&chunk, ConsumerWaitMs))
            continue;
        const QByteArray bytes = tail + chunk;
        std::vector<float> factors, ratios;
        parseCalibrationChunk(bytes, factors, ratios);
        // A frame cut by the boundary starts within CalibrationFrameSize bytes of the chunk's end.
        tail = bytes.right(int(CalibrationFrameSize) - 1);
        const QMutexLocker lock(&m_calibrationMutex);
        if (!factors.empty())
            m_calibrationFactors = std::move(factors);
        if (!ratios.empty())
            m_calibrationRatios = std::move(ratios);
    }
}

// --- Ending ----------------------------------------------------------------------------------------

void RecorderLink::disconnectDevice()
{
    const bool ecgWasOn = m_ecgStreaming, breathWasOn = m_breathStreaming;
    m_onLivePage = false;
    m_ecgStreaming = false;
    m_breathStreaming = false;
    m_calibrationRunning = false;
    if (m_transport)
        m_transport->interrupt();
    m_streamReader.waitForFinished();
    m_calibrationReader.waitForFinished();
    m_streamConsumer.waitForFinished();
    m_calibrationDecoder.waitForFinished();
    if (m_transport)
        m_transport->close();
    m_chunkQueue.clear();
    if (ecgWasOn) {
        emit streamControlsChanged(Stream::Ecg, false);
        emit streamDisplayChanged(Stream::Ecg, false);
    }
    if (breathWasOn) {
        emit streamControlsChanged(Stream::Breath, false);
        emit streamDisplayChanged(Stream::Breath, false);
    }
}

void RecorderLink::shutdown()
{
    if (m_ecgStreaming)
        stopEcgStreaming();
    if (m_breathStreaming)
        stopBreathStreaming();
    disconnectDevice();
}
