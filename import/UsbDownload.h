#pragma once

// Bringing a recording in from a recorder plugged in by USB: finding it on the serial ports,
// reading its session identifier and log (blocking waits), then the ECG/respiration and IMU
// transfers, driven by the port's data-ready notification under a watchdog, their decoding, the
// session's database update and the erase of the recorder's card.

#include "common/Prompts.h"
#include "db/Records.h"
#include "import/RecordingFormat.h"
#include "import/StreamWriter.h"
#include "import/UsbProtocol.h"

#include <QByteArray>
#include <QFile>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class Database;
class QSerialPort;
class RecordingDecoder;
class QTimer;

// The waits of the link; tests shorten them.
struct UsbTiming {
    int identifyWaitMs = 5000;   // per port, for the first bytes of the identify reply
    int probeLimitMs = 12000;    // the whole search of the ports; none is asked after it
    int replyRestMs = 200;       // for the rest of a reply once its first bytes are in
    int logWaitMs = 3000;        // one wait of the log transfer
    int logIdleWaits = 4;        // waits in a row without data before the log is given up
    int firstDataMs = 10000;     // watchdog before the first chunk of a transfer
    int betweenChunksMs = 60000; // watchdog between chunks, and before the first IMU chunk
    int eraseWaitMs = 60000;     // one erase attempt
};

struct UsbRecognition {
    bool recognised = false;
    QString sessionId;   // the identifier the recorder holds
    QStringList portsSeen;
};

// What the transfer needs from the workflow that starts it.
struct UsbImportJob {
    int sessionIndex = -1;   // carried by the finished signals
    SessionRecord session;
    PatientRecord patient;
    int userId = 0;
    QString sessionFolder;
    QString dataPathName;    // the session folder relative to the data folder
    Calibration calibration; // gain 6 and the session's 8 factors
};

// The status an import gives the session and its patient.
inline const char *const ImportedStatus = "LOADED";

// The box of an import step that failed on either road: what went wrong, the technical reason as
// its detail.
void reportImportFailure(Prompts &prompts, const QString &text, const QString &detail);
// The last box of an import that went through on either road with something the clinician must
// know (each note a sentence); none when there is nothing to say.
void reportImportNotes(Prompts &prompts, const QStringList &notes);
// The note for recording lost behind the recorder's clock (RecordingDecoder::recordsDropped),
// empty when nothing was.
QString droppedRecordingNote(qint64 droppedMs);

class UsbDownload : public QObject
{
    Q_OBJECT
public:
    // Log text that ends the log transfer without its end frame is refused past this size.
    static constexpr int MaxLogBytes = 16 << 20;

    UsbDownload(Prompts &prompts, Database &database, QObject *parent = nullptr);
    ~UsbDownload() override;

    void setTiming(const UsbTiming &timing) { m_timing = timing; }
    const UsbTiming &timing() const { return m_timing; }
    // Wait cursor on (true) and off; restored when the transfer ends either way.
    void setBusyIndicator(std::function<void(bool)> busy) { m_busy = std::move(busy); }

    // Where recognise() looks: availableSerialPorts() unless set otherwise (tests keep to their
    // pseudo-terminals).
    void setPortList(std::function<QStringList()> list) { m_portList = std::move(list); }

    QSerialPort *serialPort() const { return m_port; }
    // The watchdog of the data transfers.
    QTimer *importTimer() const { return m_importTimer; }
    // True from the start of the ECG/respiration transfer to the end of the import.
    bool isTransferring() const { return m_active != Active::None; }

    // Asks every port in turn for its session identifier, until one answers as a recorder; that
    // port stays open. The window stays live meanwhile (the waits run the event loop), and no
    // port is asked once probeLimitMs have passed.
    UsbRecognition recognise();
    // The recorder's log, its end frame removed; false when it does not arrive whole.
    bool transferLog(QByteArray *log);
    // Requests the ECG/respiration transfer; the rest of the import follows the data. The
    // progress dialog stays open until the import ends. False when the raw file cannot be written
    // (the port is closed then).
    bool startTransfer(const UsbImportJob &job, std::unique_ptr<Prompts::Progress> progress);
    // After a scan without a recorder: closes what the scan left open and starts over with a new
    // port object.
    void resetPort(const QStringList &portsSeen);
    void closePort();
    // On the window's close: the port and the file being written.
    void shutdown();

    static QString rawEcgBreathPath(const QString &sessionFolder);
    static QString rawImuPath(const QString &sessionFolder);

signals:
    void downloadEcgBreathFinished(int sessionIndex);
    void downloadImuFinished(int sessionIndex);
    // The session and its patient are "LOADED": the lists shown need reloading.
    void importCompleted(int sessionIndex);

public slots:
    void readSerialEcgBreathData();
    void readSerialImuData();
    void fileEcgBreathDownloaded(int sessionIndex);
    void fileImuDownloaded(int sessionIndex);
    void timeoutImportCalled();

private:
    enum class Active { None, EcgBreath, Imu, Finishing };

    QSerialPort *newPort();
    void send(const QByteArray &bytes);
    QByteArray readReply(int firstWaitMs, int wantedBytes);
    // Waits for data with the event loop running; true when some came.
    bool waitForDataLive(int waitMs);
    bool openRawFile(const QString &path);
    void listen(Active transfer);
    void readChunk(usb::Transfer transfer);
    void stopTransfer();
    void endImport();
    void abandon(const QString &text, const QString &detail);
    void abandonDecode(const RecordingDecoder &decoder);
    void eraseCard();

    Prompts &m_prompts;
    Database &m_database;
    UsbTiming m_timing;
    std::function<void(bool)> m_busy = [](bool) {};
    std::function<QStringList()> m_portList;

    QSerialPort *m_port = nullptr;
    QTimer *m_importTimer = nullptr;
    QFile m_rawDownloadFile;
    bool m_rawWriteFailed = false;
    QByteArray m_tail; // the last bytes of the previous chunk, for an end frame cut in two
    QMetaObject::Connection m_readConnection;
    Active m_active = Active::None;
    UsbImportJob m_job;
    std::unique_ptr<Prompts::Progress> m_importProgress;
    quint32 m_durationMs = 0;
    qint64 m_droppedMs = 0; // the most recording any stream lost behind the clock floor
    QVector<MissingInterval> m_missingIntervals;
};
