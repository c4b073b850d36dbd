#pragma once

#include "common/Prompts.h"
#include "device/ChunkQueue.h"
#include "device/RecordBuffer.h"
#include "device/RecorderTransport.h"
#include "import/RecordingFormat.h"

#include <QByteArray>
#include <QFuture>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The link to one recorder: the connection handshake, every command with its reply rule, the ECG
// and respiration streaming with the stream reader and consumer, the gain change, the calibration
// reader and decoder that the session set-up runs, and the common failure report. Commands and
// replies run on the calling (GUI) thread with blocking reads; only the continuous streams are
// read on pool threads.
//
// The socket has one reader at a time by construction: a worker is started only after the
// previous one has ended, and the calling thread reads a reply itself only when no worker owns
// the socket. Widgets follow the link through its signals; boxes go through the prompts.
Q_DECLARE_METATYPE(Stream)

// The link's waits; tests shorten them.
struct LinkTiming {
    int receiveTimeoutMs = RecorderTransport::ReceiveTimeoutMs;
    // clearSd acknowledgements that may fail before the recorder is given up.
    int clearSdTries = 5;
};

class RecorderLink : public QObject
{
    Q_OBJECT
public:
    using TransportFactory = std::function<std::unique_ptr<RecorderTransport>()>;

    // Chunks are queued once they have grown past these sizes.
    static constexpr int EcgChunkBytes = 1500;
    static constexpr int BreathChunkBytes = 150;
    static constexpr int CalibrationChunkBytes = 1500;

    RecorderLink(Prompts &prompts, TransportFactory makeTransport = makeRecorderTransport,
                 LinkTiming timing = LinkTiming(), QObject *parent = nullptr);
    ~RecorderLink() override;

    // Where the stream consumer puts the records: the live view's two buffers.
    void setRecordBuffers(RecordBuffer *ecg, RecordBuffer *breath);
    // Taken by the next connection.
    void setTiming(const LinkTiming &timing) { m_timing = timing; }

    enum class Handshake {
        Connected, // the live page may be shown and the consumer started
        Declined,  // the user cancelled at the battery question or the card is not empty: nothing reported
        Failed     // reported with "Configurazione Fallita"; the socket is closed
    };
    Handshake connectToDevice(quint64 address);
    bool isConnected() const;
    // Stops every worker (waiting for them) and closes the socket; the flags are cleared.
    void disconnectDevice();
    // On closing the program: the streams that are on are stopped on the recorder, then disconnect.
    void shutdown();

    // The live page is shown: records go to the buffers until the link is disconnected or a
    // calibration starts. Starting it twice does nothing.
    void startStreamConsumer();

    // Streaming controls. A start returns whether the stream is on. Without a recorder (a replayed
    // capture) they only switch the controls and the display.
    bool startEcgStreaming();
    void stopEcgStreaming();
    bool startBreathStreaming();
    void stopBreathStreaming();
    // The stream reader failed: the box, and both streams off without telling the recorder.
    void streamingFailed();

    enum class GainResult { Applied, Rejected, Failed };
    // Sends the gain of the selector position, stopping and restarting the streams around it.
    // Without a recorder (a replayed capture) the gain is only recorded.
    GainResult sendGainCommand(int position);
    // The confirmed gain (the selector's value, 6 at start) and its selector position.
    int currentGain() const;
    int currentGainPosition() const { return m_gainPosition; }
    // Back to gain 6 without telling the recorder (the link is being dropped).
    void resetGain();

    bool isEcgStreaming() const { return m_ecgStreaming; }
    bool isBreathStreaming() const { return m_breathStreaming; }
    bool isCalibrationRunning() const { return m_calibrationRunning; }
    bool isStreamReaderRunning() const { return m_streamReader.isRunning(); }
    const ChunkQueue &chunkQueue() const { return m_chunkQueue; }

    // The single commands of the session set-up. Send and read failures are reported with
    // "Configurazione Fallita" and the reasons of each; the result says what happened.
    enum class Reply { Confirmed, Unconfirmed, Failed };
    struct BatteryStatus {
        int level = 0;      // percent, signed
        int cardStatus = 0; // 0 empty, anything else: the card holds data
    };
    std::optional<BatteryStatus> batteryLevelAndSDStatus();
    // The question asked when the battery is low for what comes next: OK (0) goes on, CANCEL (1) does not.
    static Prompts::Box lowBatteryQuestion(const QString &text);
    Reply startCalibration();
    // Sends stopCalibration and drains the socket.
    bool stopCalibration();
    bool requestCalibrationFactor();
    bool requestCalibrationRatio();
    Reply sendSessionId(const QByteArray &sessionId);
    // Unconfirmed when the connection failed or closed before the acknowledgement (not reported:
    // the caller has its own box); a failed send is reported.
    Reply startRecording();
    // Reads and logs until the recorder has been silent for the receive timeout.
    void drainSocket();
    void reportConfigurationFailure(const QString &reason);

    // The calibration capture: empties the factors, ratios and chunk queue, sets calibrationRunning
    // (the stream consumer ends) and starts the calibration decoder and reader.
    void startCalibrationCapture();
    // Ends the capture: calibrationRunning is cleared and the reader and decoder are waited for
    // (the reader ends at its next byte or silence). Nothing is sent. The values stay.
    void stopCalibrationCapture();
    std::vector<float> calibrationFactors() const;
    std::vector<float> calibrationRatios() const;
    void clearCalibrationValues();

signals:
    // Widgets follow these. Controls: true while the stream is asked for (its stop button offered).
    void streamControlsChanged(Stream stream, bool streaming);
    // The live view's refresh timer of the stream runs.
    void streamDisplayChanged(Stream stream, bool running);
    // After a failure report: the discovery dialog is hidden.
    void configurationFailed();
    // From the workers.
    void streamingError();
    void calibrationFactorFound();
    void endOfCalibration();

private:
    enum class Outcome { Ok, SendFailed, ReadError, ReadClosed };

    bool send(const char *name, const QByteArray &bytes);
    RecorderTransport::Read readReplyByte(quint8 *byte, const char *logPrefix = "Bytes received : ");
    Outcome read(int count, QByteArray *bytes);
    Outcome readUntil(const QByteArray &sequence);
    // Reports the failure that ended a command; false.
    bool reportOutcome(Outcome outcome);
    // Sends a command and reads its reply of replySize bytes; false when either failed (reported).
    bool exchange(const char *name, const QByteArray &command, int replySize, QByteArray *reply);
    std::optional<bool> cardHoldsSession();
    bool clearCard();
    bool startStream(Stream stream);
    void stopStream(Stream stream);
    // Whether a worker owns the socket now; otherwise the previous reader is waited for.
    bool readerOwnsSocket();
    void waitForReaders();

    void streamReader();
    void streamConsumer();
    void calibrationReader();
    void calibrationDecoder();

    // How long an idle consumer sleeps before it looks at its flags again.
    static constexpr int ConsumerWaitMs = 50;

    Prompts &m_prompts;
    TransportFactory m_makeTransport;
    LinkTiming m_timing;
    std::unique_ptr<RecorderTransport> m_transport;
    RecordBuffer *m_ecgRecords = nullptr;
    RecordBuffer *m_breathRecords = nullptr;

    std::atomic<bool> m_onLivePage{false};
    std::atomic<bool> m_ecgStreaming{false};
    std::atomic<bool> m_breathStreaming{false};
    std::atomic<bool> m_calibrationRunning{false};
    int m_gainPosition;

    ChunkQueue m_chunkQueue;
    mutable QMutex m_calibrationMutex;
    std::vector<float> m_calibrationFactors;
    std::vector<float> m_calibrationRatios;

    QFuture<void> m_streamReader;
    QFuture<void> m_streamConsumer;
    QFuture<void> m_calibrationReader;
    QFuture<void> m_calibrationDecoder;
};
