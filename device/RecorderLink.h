#pragma once

#include "common/Prompts.h"
#include "device/ChunkQueue.h"
#include "device/RecordBuffer.h"
#include "device/RecorderTransport.h"
#include "import/RecordingFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The link to one recorder: the connection handshake, every command with its reply rule, the ECG
// and respiration streaming with the stream reader and consumer, the gain change, the calibration
// reader and decoder that the session set-up runs, and the common failure report. Commands and
// replies run on the calling (GUI) thread with blocking reads; the connection itself and the
// continuous streams run on the link's own worker threads, so that neither a slow radio nor a
// small global thread pool can hold them up.
//
// Every reply is read as a frame: the bytes the reply rule examines, then the rest of the frame
// its length byte announces. The check byte is taken when it comes within a short wait and
// verified; a recorder that leaves it off some replies is served all the same, and a byte that
// starts the next frame is kept for the next read.
//
// The socket has one reader at a time by construction: a worker is started only after the
// previous one has ended, and the calling thread reads a reply itself only when no worker owns
// the socket. Widgets follow the link through its signals; boxes go through the prompts.
Q_DECLARE_METATYPE(Stream)

// The link's waits; tests shorten them.
struct LinkTiming {
    static constexpr int CheckByteWaitMs = 200;
    static constexpr int ReplyLimitMs = 10000;
    static constexpr int ClearSdReplies = 5;
    static constexpr int BusyAfterMs = 300;

    int receiveTimeoutMs = RecorderTransport::ReceiveTimeoutMs;
    // For the check byte that ends a reply once the examined bytes are in.
    int checkByteWaitMs = CheckByteWaitMs;
    // The drain and the waits for a reply sequence end after this, however busy the recorder is.
    int replyLimitMs = ReplyLimitMs;
    // Replies read while clearSd is repeated, before the recorder is given up.
    int clearSdReplies = ClearSdReplies;
    // A connection not made by then shows the busy dialog.
    int busyAfterMs = BusyAfterMs;
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
    // No chunk for this long: the stream has paused, the records held for their successor go on.
    static constexpr int StreamPauseMs = 500;

    RecorderLink(Prompts &prompts, TransportFactory makeTransport = makeRecorderTransport,
                 LinkTiming timing = LinkTiming(), QObject *parent = nullptr);
    ~RecorderLink() override;

    // Where the stream consumer puts the records: the live view's two buffers.
    void setRecordBuffers(RecordBuffer *ecg, RecordBuffer *breath);
    // Taken by the next connection.
    void setTiming(const LinkTiming &timing) { m_timing = timing; }
    const LinkTiming &timing() const { return m_timing; }

    // When the recorder's card holds a session: the date this database imported it, or no value
    // when it did not (the recorder is then refused as not empty). Unset: always refused.
    using ImportedSessionLookup = std::function<std::optional<QDateTime>(const QByteArray &identifier)>;
    void setImportedSessionLookup(ImportedSessionLookup lookup) { m_importedSession = std::move(lookup); }

    enum class Handshake {
        Connected, // the live page may be shown and the consumer started
        Declined,  // the user cancelled at the battery question or the card is not empty: nothing reported
        Failed     // reported with "Configurazione Fallita"; the socket is closed
    };
    Handshake connectToDevice(quint64 address);
    // The first step of the handshake: the socket, made on a worker thread while the window
    // stays live (a busy dialog once it takes longer than busyAfterMs). False when reported.
    bool open(quint64 address);
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
    // The identifier of the session on the card when its 20 bytes are all letters or digits, an
    // empty one when they are not; no value when the exchange failed (reported).
    std::optional<QByteArray> sessionInfo();
    // clearSd until the recorder acknowledges it, within clearSdReplies replies; false when
    // reported.
    bool clearCard();
    // setTime with the workstation's local time; false when reported.
    bool setTime();
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
    // Reads and logs until the recorder has been silent for the receive timeout. False (reported)
    // when it never was within replyLimitMs.
    bool drainSocket();
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

    // What the recorder's replies and streams looked like on this connection, for a check of
    // the recorder: replies whose check byte did not come (by command name), replies with a
    // wrong check byte, streamed frames taken, dropped for a wrong check byte, left out for a
    // time stamp out of line.
    struct Conduct {
        std::set<std::string> repliesWithoutCheckByte;
        int badReplyChecks = 0;
        quint64 ecgFrames = 0;
        quint64 breathFrames = 0;
        quint64 badFrameChecks = 0;
        quint64 framesOutOfLine = 0;
    };
    Conduct conduct() const;

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
    enum class Outcome { Ok, SendFailed, ReadError, ReadClosed, NeverSilent, SequenceNotSeen };

    bool send(const char *name, const QByteArray &bytes);
    // The next byte of the socket: one kept back by the last reply first.
    RecorderTransport::Read nextByte(quint8 *byte);
    bool byteWithin(int timeoutMs);
    RecorderTransport::Read readReplyByte(quint8 *byte, const char *logPrefix = "Bytes received : ");
    Outcome read(int count, QByteArray *bytes);
    // Reads until the sequence has been seen, within replyLimitMs.
    Outcome readUntil(const QByteArray &sequence);
    // The rest of the frame whose first bytes have been read: the payload its length byte
    // announces, then the check byte within the short wait, verified.
    Outcome completeFrame(const char *name, QByteArray *frame);
    // The next whole frame, skipping what comes before a start byte.
    Outcome readFrame(const char *name, QByteArray *frame);
    // Reports the failure that ended a command; false.
    bool reportOutcome(Outcome outcome);
    // Sends a command and reads its reply: the replySize bytes the rule examines, then the rest
    // of the frame. False when either failed (reported).
    bool exchange(const char *name, const QByteArray &command, int replySize, QByteArray *reply);
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
    ImportedSessionLookup m_importedSession;
    std::unique_ptr<RecorderTransport> m_transport;
    // A byte read past the end of a reply that starts the next frame; -1 when none.
    std::atomic<int> m_kept{-1};
    bool m_opening = false;
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

    // What conduct() reports.
    mutable QMutex m_conductMutex;
    Conduct m_conduct;
    std::atomic<quint64> m_ecgFrames{0};
    std::atomic<quint64> m_breathFrames{0};
    std::atomic<quint64> m_badFrameChecks{0};
    std::atomic<quint64> m_framesOutOfLine{0};
    // Starts and stops of each stream: the consumer drops what its filter still holds from the
    // stream's previous run.
    std::atomic<int> m_ecgRuns{0};
    std::atomic<int> m_breathRuns{0};

    // The workers' own threads: one each for the two readers, the consumer and the decoder.
    QThreadPool m_workers;
    QFuture<void> m_streamReader;
    QFuture<void> m_streamConsumer;
    QFuture<void> m_calibrationReader;
    QFuture<void> m_calibrationDecoder;
};
