#include "device/RecorderLink.h"

#include "common/Clock.h"
#include "device/RecorderProtocol.h"
#include "device/TimeStampFilter.h"
#include "import/FrameScanner.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent>

namespace {

QString hex(quint64 value) { return QString::number(value, 16).toUpper(); }

bool isLetterOrDigit(quint8 byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// Collects the sample frames of a scan as records, each stream through its time stamp filter.
class RecordCollector : public FrameHandler
{
public:
    SampleList ecg;
    SampleList breath;
    TimeStampFilter ecgTimes;
    TimeStampFilter breathTimes;
    quint64 badChecks = 0;

    void frame(Stream stream, quint32 deviceTime, const float *values) override
    {
        if (stream == Stream::Ecg)
            ecgTimes.add(makeSampleRecord(deviceTime, values, EcgFormat.valueCount), &ecg);
        else if (stream == Stream::Breath)
            breathTimes.add(makeSampleRecord(deviceTime, values, BreathFormat.valueCount), &breath);
    }
    void badCheck(Stream) override { ++badChecks; }
};

quint8 frameCheck(const QByteArray &bytes, int size)
{
    return envelope::checkByte(reinterpret_cast<const uchar *>(bytes.constData()), std::size_t(size));
}

} // namespace

RecorderLink::RecorderLink(Prompts &prompts, TransportFactory makeTransport, LinkTiming timing, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_makeTransport(std::move(makeTransport)), m_timing(timing),
      m_gainPosition(recorder::DefaultGainPosition)
{
    qRegisterMetaType<Stream>();
    // The connection, the two readers, the consumer and the decoder; never more at once.
    m_workers.setMaxThreadCount(4);
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

RecorderTransport::Read RecorderLink::nextByte(quint8 *byte)
{
    const int kept = m_kept.exchange(-1);
    if (kept >= 0) {
        *byte = quint8(kept);
        return RecorderTransport::Read::Byte;
    }
    if (!m_transport)
        return RecorderTransport::Read::Error;
    return m_transport->readByte(byte);
}

bool RecorderLink::byteWithin(int timeoutMs)
{
    return m_kept >= 0 || (m_transport && m_transport->waitForByte(timeoutMs));
}

RecorderTransport::Read RecorderLink::readReplyByte(quint8 *byte, const char *logPrefix)
{
    const RecorderTransport::Read result = nextByte(byte);
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
    QElapsedTimer since;
    since.start();
    int matched = 0;
    while (matched < sequence.size()) {
        // A recorder that streams on would keep the matcher fed for ever.
        if (since.elapsed() > m_timing.replyLimitMs)
            return Outcome::SequenceNotSeen;
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

RecorderLink::Outcome RecorderLink::completeFrame(const char *name, QByteArray *frame)
{
    if (frame->size() < envelope::HeaderSize || quint8(frame->at(0)) != envelope::StartByte)
        return Outcome::Ok; // not a frame: there is no end to look for
    const int size = envelope::Overhead + quint8(frame->at(3));
    if (frame->size() < size - 1) {
        QByteArray payload;
        const Outcome outcome = read(size - 1 - frame->size(), &payload);
        if (outcome != Outcome::Ok)
            return outcome;
        frame->append(payload);
    }
    if (frame->size() == size - 1) {
        const auto withoutCheckByte = [this, name] {
            qInfo().noquote() << QStringLiteral("Reply %1 without its check byte").arg(QLatin1String(name));
            const QMutexLocker lock(&m_conductMutex);
            m_conduct.repliesWithoutCheckByte.insert(name);
            return Outcome::Ok;
        };
        const quint8 expected = frameCheck(*frame, size - 1);
        quint8 b;
        if (!byteWithin(m_timing.checkByteWaitMs) || readReplyByte(&b) != RecorderTransport::Read::Byte)
            return withoutCheckByte();
        if (b != expected && b == envelope::StartByte) {
            // The recorder left the check byte off and this is its next frame.
            m_kept = b;
            return withoutCheckByte();
        }
        frame->append(char(b));
    }
    if (quint8(frame->at(size - 1)) != frameCheck(*frame, size - 1)) {
        // Only streamed frames are refused for it; the reply's own bytes decide.
        qInfo().noquote() << QStringLiteral("Reply %1 with a wrong check byte").arg(QLatin1String(name));
        const QMutexLocker lock(&m_conductMutex);
        ++m_conduct.badReplyChecks;
    }
    return Outcome::Ok;
}

RecorderLink::Outcome RecorderLink::readFrame(const char *name, QByteArray *frame)
{
    frame->clear();
    QElapsedTimer since;
    since.start();
    quint8 b = 0;
    while (b != envelope::StartByte) {
        if (since.elapsed() > m_timing.replyLimitMs)
            return Outcome::SequenceNotSeen;
        const RecorderTransport::Read result = readReplyByte(&b);
        if (result != RecorderTransport::Read::Byte)
            return result == RecorderTransport::Read::Closed ? Outcome::ReadClosed : Outcome::ReadError;
    }
    QByteArray header;
    const Outcome outcome = read(envelope::HeaderSize - 1, &header);
    if (outcome != Outcome::Ok)
        return outcome;
    *frame = QByteArray(1, char(b)) + header;
    return completeFrame(name, frame);
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
    case Outcome::NeverSilent:
        reportConfigurationFailure(
            QStringLiteral("Recorder still sending after %1 s").arg(m_timing.replyLimitMs / 1000.0));
        break;
    case Outcome::SequenceNotSeen:
        reportConfigurationFailure(
            QStringLiteral("Reply not found within %1 s").arg(m_timing.replyLimitMs / 1000.0));
        break;
    }
    return false;
}

bool RecorderLink::exchange(const char *name, const QByteArray &command, int replySize, QByteArray *reply)
{
    if (!send(name, command))
        return reportOutcome(Outcome::SendFailed);
    Outcome outcome = read(replySize, reply);
    if (outcome == Outcome::Ok) {
        QByteArray frame = *reply;
        outcome = completeFrame(name, &frame);
    }
    return reportOutcome(outcome);
}

bool RecorderLink::drainSocket()
{
    waitForReaders();
    QElapsedTimer since;
    since.start();
    for (;;) {
        quint8 b;
        const RecorderTransport::Read result = readReplyByte(&b, "Bytes received in while: ");
        if (result != RecorderTransport::Read::Byte)
            return true;
        if (since.elapsed() > m_timing.replyLimitMs)
            return reportOutcome(Outcome::NeverSilent);
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

bool RecorderLink::open(quint64 address)
{
    disconnectDevice();
    m_transport = m_makeTransport();
    m_kept = -1;
    {
        const QMutexLocker lock(&m_conductMutex);
        m_conduct = Conduct();
    }
    m_ecgFrames = m_breathFrames = m_badFrameChecks = m_framesOutOfLine = 0;

    // A radio may take many seconds to page the recorder, pair and look its service up: the
    // window stays live meanwhile, under a busy dialog once it takes long.
    m_opening = true;
    RecorderTransport *transport = m_transport.get();
    const int timeoutMs = m_timing.receiveTimeoutMs;
    QFuture<RecorderTransport::Open> opening =
        QtConcurrent::run(&m_workers, [transport, address, timeoutMs] { return transport->open(address, timeoutMs); });
    QFutureWatcher<RecorderTransport::Open> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    std::unique_ptr<Prompts::Progress> busy;
    QTimer::singleShot(m_timing.busyAfterMs, &loop, [this, &busy] {
        Prompts::ProgressSpec connecting;
        connecting.title = "Bluetooth";
        connecting.labelText = "Connessione al dispositivo in corso ...";
        connecting.fixedWidth = 600;
        busy = m_prompts.progress(connecting);
    });
    watcher.setFuture(opening);
    if (!opening.isFinished())
        loop.exec();
    opening.waitForFinished();
    busy.reset();
    m_opening = false;

    switch (opening.result()) {
    case RecorderTransport::Open::SocketFailed:
        qInfo().noquote() << "create socket error " + QString::number(m_transport->lastError());
        reportConfigurationFailure("Create Socket error");
        return false;
    case RecorderTransport::Open::ConnectFailed:
        qInfo().noquote() << QStringLiteral("=CRITICAL= | connect() call failed w/socket = [0x%1]. WSAGetLastError=[%2]")
                                 .arg(hex(m_transport->handle()))
                                 .arg(m_transport->lastError());
        reportConfigurationFailure("Connect error");
        return false;
    case RecorderTransport::Open::Ok:
        qInfo().noquote() << "connection OK";
        break;
    }
    return true;
}

RecorderLink::Handshake RecorderLink::connectToDevice(quint64 address)
{
    if (m_opening) {
        qInfo().noquote() << "A connection is being made already";
        return Handshake::Declined;
    }
    if (!open(address))
        return Handshake::Failed;
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
        const std::optional<QByteArray> session = sessionInfo();
        if (!session)
            return Handshake::Failed;
        if (!session->isEmpty()) {
            // A card imported from its copy still holds its session: the recorder may be cleared
            // once the user agrees. Data this database has not imported is never erased.
            const std::optional<QDateTime> imported =
                m_importedSession ? m_importedSession(*session) : std::optional<QDateTime>();
            if (!imported) {
                m_prompts.inform(Prompts::Icon::Critical, "Device non vuoto o scheda non presente",
                                 "Il device selezionato non è vuoto o la scheda non è presente.");
                disconnectDevice();
                return Handshake::Declined;
            }
            if (!m_prompts.confirm(Prompts::Icon::Question, QString(),
                                   QStringLiteral("La scheda del registratore contiene la sessione %1, già importata "
                                                  "il %2. Cancellare la scheda e continuare?")
                                       .arg(QString::fromLatin1(*session), imported->toString("dd/MM/yyyy")))) {
                disconnectDevice();
                return Handshake::Declined;
            }
        }
        if (!clearCard())
            return Handshake::Failed;
    }

    if (!setTime())
        return Handshake::Failed;

    m_prompts.inform(Prompts::Icon::Information, QString(),
                     "Livello batteria : " + QString::number(status->level) + " \nStato Sd : "
                         + (status->cardStatus != 0 ? "Piena" : "Vuota"));
    return Handshake::Connected;
}

std::optional<QByteArray> RecorderLink::sessionInfo()
{
    if (!send("sessionInfo", recorder::sessionInfo())) {
        reportOutcome(Outcome::SendFailed);
        return std::nullopt;
    }
    QByteArray frame;
    if (!reportOutcome(read(recorder::SessionIdOffset, &frame)))
        return std::nullopt;
    bool session = true;
    for (int position = recorder::SessionIdOffset; position < recorder::SessionInfoReplySize; ++position) {
        quint8 b;
        const RecorderTransport::Read result = readReplyByte(&b);
        if (result != RecorderTransport::Read::Byte) {
            reportOutcome(result == RecorderTransport::Read::Closed ? Outcome::ReadClosed : Outcome::ReadError);
            return std::nullopt;
        }
        frame.append(char(b));
        const bool alphanumeric = isLetterOrDigit(b);
        qInfo().noquote() << QStringLiteral("sessionInfo byte %1: %2 %3")
                                 .arg(position)
                                 .arg(b)
                                 .arg(alphanumeric ? "letter or digit" : "not a letter or digit");
        if (!alphanumeric) {
            session = false;
            break;
        }
    }
    const QByteArray identifier = session ? frame.mid(recorder::SessionIdOffset) : QByteArray();
    // The rest of the reply is read too, so that the next reply is not read out of step behind it.
    if (!reportOutcome(completeFrame("sessionInfo", &frame)))
        return std::nullopt;
    return identifier;
}

bool RecorderLink::clearCard()
{
    // Counted in replies, not in sends: a recorder one reply out of step is read into step
    // again, and clearSd goes out again only once it has nothing more to say.
    for (int replies = 0; replies < m_timing.clearSdReplies; ++replies) {
        if ((replies == 0 || !byteWithin(m_timing.checkByteWaitMs)) && !send("clearSd", recorder::clearSd()))
            return reportOutcome(Outcome::SendFailed);
        QByteArray frame;
        if (!reportOutcome(readFrame("clearSd", &frame)))
            return false;
        if (frame.startsWith(recorder::clearSdAck()))
            return true;
    }
    reportConfigurationFailure(
        QStringLiteral("clearSd not acknowledged in %1 replies").arg(m_timing.clearSdReplies));
    return false;
}

bool RecorderLink::setTime()
{
    QByteArray reply;
    return exchange("setTime", recorder::setTime(Clock::now()), recorder::SetTimeReplySize, &reply);
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
    m_streamConsumer = QtConcurrent::run(&m_workers, [this] { streamConsumer(); });
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
    ++(ecg ? m_ecgRuns : m_breathRuns);
    // One reader for both streams; none while the calibration reader has the socket.
    if (!m_calibrationRunning && !m_streamReader.isRunning())
        m_streamReader = QtConcurrent::run(&m_workers, [this] { streamReader(); });
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
    ++(ecg ? m_ecgRuns : m_breathRuns);
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
    if (!drainSocket())
        return GainResult::Failed;
    if (!send("Gain", recorder::gain(position))) {
        reportOutcome(Outcome::SendFailed);
        return GainResult::Failed;
    }
    QByteArray tail;
    Outcome outcome = readUntil(recorder::gainReplyHead());
    if (outcome == Outcome::Ok)
        outcome = read(recorder::GainTailSize, &tail);
    if (outcome == Outcome::Ok) {
        QByteArray frame = recorder::gainReplyHead() + tail;
        outcome = completeFrame("Gain", &frame);
    }
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
    return drainSocket();
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
    Outcome outcome = readUntil(recorder::startRecordingAck());
    if (outcome == Outcome::Ok) {
        QByteArray frame = recorder::startRecordingAck();
        outcome = completeFrame("start recording", &frame);
    }
    if (outcome == Outcome::SequenceNotSeen) {
        // A recorder that streams on and never acknowledges.
        reportOutcome(outcome);
        return Reply::Failed;
    }
    return outcome == Outcome::Ok ? Reply::Confirmed : Reply::Unconfirmed;
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
    // A previous capture ends first, whether it was stopped or its reader ended by itself: its
    // decoder runs as long as the flag is set, so the flag goes down before it is waited for.
    m_calibrationRunning = false;
    m_calibrationReader.waitForFinished();
    m_calibrationDecoder.waitForFinished();
    m_calibrationRunning = true;
    waitForReaders();
    // The stream consumer ends at its next look at the flag; the decoder takes the queue after it.
    m_streamConsumer.waitForFinished();
    clearCalibrationValues();
    m_chunkQueue.clear();
    m_calibrationDecoder = QtConcurrent::run(&m_workers, [this] { calibrationDecoder(); });
    m_calibrationReader = QtConcurrent::run(&m_workers, [this] { calibrationReader(); });
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

RecorderLink::Conduct RecorderLink::conduct() const
{
    QMutexLocker lock(&m_conductMutex);
    Conduct conduct = m_conduct;
    lock.unlock();
    conduct.ecgFrames = m_ecgFrames;
    conduct.breathFrames = m_breathFrames;
    conduct.badFrameChecks = m_badFrameChecks;
    conduct.framesOutOfLine = m_framesOutOfLine;
    return conduct;
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
        const RecorderTransport::Read result = nextByte(&b);
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
    RecordCollector records;
    quint64 outOfLineCounted = 0;
    QElapsedTimer idle;
    idle.start();
    int ecgRuns = m_ecgRuns, breathRuns = m_breathRuns;
    while (m_onLivePage && !m_calibrationRunning) {
        // A stream stopped or started again: what is held from its previous run goes, so that
        // no record of it reaches a buffer the new run fills.
        if (ecgRuns != m_ecgRuns) {
            ecgRuns = m_ecgRuns;
            records.ecgTimes.reset();
        }
        if (breathRuns != m_breathRuns) {
            breathRuns = m_breathRuns;
            records.breathTimes.reset();
        }
        if (m_chunkQueue.takeFirst(&chunk, ConsumerWaitMs)) {
            idle.restart();
            pending.append(chunk);
            const std::size_t cut = scanSampleFrames(reinterpret_cast<const uchar *>(pending.constData()),
                                                     std::size_t(pending.size()), records);
            pending.remove(0, int(cut));
        } else if (idle.elapsed() > StreamPauseMs) {
            // A stream that has paused has no successor coming for its last records yet; one that
            // was stopped wants none of them.
            m_ecgStreaming ? records.ecgTimes.flush(&records.ecg) : records.ecgTimes.reset();
            m_breathStreaming ? records.breathTimes.flush(&records.breath) : records.breathTimes.reset();
        }
        m_ecgFrames += records.ecg.size();
        m_breathFrames += records.breath.size();
        m_badFrameChecks += std::exchange(records.badChecks, 0);
        const quint64 outOfLine = records.ecgTimes.leftOut() + records.breathTimes.leftOut();
        m_framesOutOfLine += outOfLine - std::exchange(outOfLineCounted, outOfLine);
        if (m_ecgRecords && !records.ecg.empty())
            m_ecgRecords->append(std::move(records.ecg));
        if (m_breathRecords && !records.breath.empty())
            m_breathRecords->append(std::move(records.breath));
        records.ecg.clear();
        records.breath.clear();
    }
}

void RecorderLink::calibrationReader()
{
    QByteArray chunk;
    chunk.reserve(CalibrationChunkBytes + 1);
    bool factorsSignalled = false;
    while (m_calibrationRunning) {
        quint8 b;
        const RecorderTransport::Read result = nextByte(&b);
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
    m_kept = -1;
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
