#include "import/UsbDownload.h"

#include "common/Clock.h"
#include "db/Database.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/SerialPorts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace {

const QString importErrorTitle = QStringLiteral("Errore importazione dati");
const QString rawWriteFailedText = QStringLiteral("Impossibile scrivere i dati scaricati nella cartella della sessione.");

QString clockNow() { return QTime::currentTime().toString(QStringLiteral("hh:mm:ss")); }

} // namespace

void reportImportFailure(Prompts &prompts, const QString &text, const QString &detail)
{
    prompts.ask({Prompts::Icon::Critical, importErrorTitle, text, {}, detail, {Prompts::Button::ok()}});
}

void reportImportNotes(Prompts &prompts, const QStringList &notes)
{
    QStringList said = notes;
    said.removeAll(QString());
    if (!said.isEmpty())
        prompts.inform(Prompts::Icon::Warning, "Importazione completata", said.join("\n\n"));
}

QString droppedRecordingNote(qint64 droppedMs)
{
    if (droppedMs <= 0)
        return QString();
    const qint64 seconds = std::max<qint64>(1, droppedMs / 1000);
    const QString length = seconds < 60     ? QStringLiteral("%1 s").arg(seconds)
                           : seconds < 3600 ? QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60)
                                            : QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
    return QStringLiteral("Attenzione: %1 di registrazione sono stati scartati perché l'orologio del dispositivo è "
                          "tornato indietro.")
        .arg(length);
}

UsbDownload::UsbDownload(Prompts &prompts, Database &database, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_database(database), m_portList(availableSerialPorts)
{
    m_port = newPort();
    m_importTimer = new QTimer(this);
    m_importTimer->setInterval(m_timing.firstDataMs);
    connect(m_importTimer, &QTimer::timeout, this, &UsbDownload::timeoutImportCalled);
    connect(this, &UsbDownload::downloadEcgBreathFinished, this, &UsbDownload::fileEcgBreathDownloaded);
    connect(this, &UsbDownload::downloadImuFinished, this, &UsbDownload::fileImuDownloaded);
}

UsbDownload::~UsbDownload() { shutdown(); }

QSerialPort *UsbDownload::newPort()
{
    auto *port = new QSerialPort(this);
    applyRecorderPortSettings(*port);
    return port;
}

QString UsbDownload::rawEcgBreathPath(const QString &sessionFolder)
{
    return sessionFolder + "/" + "fileRawEcgBreath" + ".txt";
}

QString UsbDownload::rawImuPath(const QString &sessionFolder) { return sessionFolder + "/" + "fileRawImu" + ".txt"; }

void UsbDownload::send(const QByteArray &bytes)
{
    m_port->write(bytes);
    m_port->waitForBytesWritten(m_timing.replyRestMs);
}

QByteArray UsbDownload::readReply(int firstWaitMs, int wantedBytes)
{
    if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(firstWaitMs))
        return QByteArray();
    QByteArray reply = m_port->readAll();
    // A reply may come in more than one piece.
    while (reply.size() < wantedBytes && m_port->waitForReadyRead(m_timing.replyRestMs))
        reply += m_port->readAll();
    return reply;
}

bool UsbDownload::waitForDataLive(int waitMs)
{
    if (m_port->bytesAvailable() > 0)
        return true;
    QEventLoop loop;
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    const QMetaObject::Connection arrived = connect(m_port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    loop.exec();
    disconnect(arrived);
    return m_port->bytesAvailable() > 0;
}

UsbRecognition UsbDownload::recognise()
{
    UsbRecognition result;
    applyRecorderPortSettings(*m_port);
    QElapsedTimer probing;
    probing.start();
    for (const QString &name : m_portList()) {
        const qint64 left = m_timing.probeLimitMs - probing.elapsed();
        if (left <= 0) {
            qInfo().noquote() << QStringLiteral("Serial port search ended after %1 ms; %2 not asked")
                                     .arg(probing.elapsed())
                                     .arg(name);
            break;
        }
        // Each port gets its turn: one that opens but does not answer must not hide the recorder
        // on a later one.
        if (m_port->isOpen())
            m_port->close();
        m_port->setPortName(name);
        result.portsSeen.append(name);
        qInfo().noquote() << name << m_port->isOpen();
        if (!m_port->open(QIODevice::ReadWrite)) {
            qInfo().noquote() << "Error : " + name + " - " + m_port->errorString();
            continue;
        }
        m_port->clear();
        send(usb::identifyRequest());
        qInfo().noquote() << "Inside: port " + name;
        // The first bytes with the window live; the rest of a reply that has begun as usual.
        const QByteArray reply = waitForDataLive(int(std::min<qint64>(m_timing.identifyWaitMs, left)))
                                     ? readReply(0, usb::IdentifyReplySize)
                                     : QByteArray();
        if (!reply.startsWith(usb::identifyReplyHead()) || reply.size() < usb::IdentifyReplySize)
            continue;
        qInfo().noquote() << "Recognition successful : " + name;
        qInfo().noquote() << "5 - " << quint8(reply[5]);
        qInfo().noquote() << "6 - " << quint8(reply[6]);
        for (int i = usb::SessionIdOffset; i < usb::SessionIdOffset + usb::SessionIdSize; ++i)
            qInfo().noquote() << i << quint8(reply[i]);
        result.recognised = true;
        result.sessionId = QString::fromLatin1(usb::sessionIdOf(reply));
        return result;
    }
    if (m_port->isOpen())
        m_port->close();
    return result;
}

bool UsbDownload::transferLog(QByteArray *log)
{
    qInfo().noquote() << "Buffer size : " << m_port->readBufferSize();
    const QByteArray end = usb::transferEnd(usb::Transfer::Log);
    log->clear();
    send(usb::transferRequest(usb::Transfer::Log));
    // A long log comes in many pieces: only waits that bring nothing count against it.
    int idleWaits = 0;
    while (idleWaits < m_timing.logIdleWaits && log->size() <= MaxLogBytes) {
        if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(m_timing.logWaitMs)) {
            ++idleWaits;
            continue;
        }
        idleWaits = 0;
        log->append(m_port->readAll());
        if (log->endsWith(end)) {
            log->chop(end.size());
            qInfo().noquote() << "Log file : " << *log;
            for (const QByteArray &line : log->split('\n'))
                qInfo().noquote() << line;
            qInfo().noquote() << "End log file ---";
            return true;
        }
    }
    qInfo().noquote() << "Log transfer incomplete after" << log->size() << "bytes";
    return false;
}

bool UsbDownload::openRawFile(const QString &path)
{
    if (m_rawDownloadFile.isOpen())
        m_rawDownloadFile.close();
    QFile::remove(path);
    m_rawDownloadFile.setFileName(path);
    m_rawWriteFailed = false;
    m_tail.clear();
    return m_rawDownloadFile.open(QIODevice::WriteOnly | QIODevice::Append);
}

void UsbDownload::listen(Active transfer)
{
    m_active = transfer;
    QObject::disconnect(m_readConnection);
    m_readConnection = connect(m_port, &QSerialPort::readyRead, this,
                               transfer == Active::EcgBreath ? &UsbDownload::readSerialEcgBreathData
                                                             : &UsbDownload::readSerialImuData);
}

bool UsbDownload::startTransfer(const UsbImportJob &job, std::unique_ptr<Prompts::Progress> progress)
{
    m_job = job;
    m_importProgress = std::move(progress);
    m_durationMs = 0;
    m_droppedMs = 0;
    listen(Active::EcgBreath);
    qInfo().noquote() << "Start Import";
    if (m_importProgress)
        m_importProgress->setLabelText("Importazione ECG in corso");
    qInfo().noquote() << clockNow();
    if (!openRawFile(rawEcgBreathPath(m_job.sessionFolder))) {
        abandon(rawWriteFailedText, m_rawDownloadFile.fileName() + ": " + m_rawDownloadFile.errorString());
        return false;
    }
    send(usb::transferRequest(usb::Transfer::EcgBreath));
    // Every transfer gets the first-data interval, whatever the previous one left behind.
    m_importTimer->setInterval(m_timing.firstDataMs);
    m_importTimer->start();
    return true;
}

void UsbDownload::readSerialEcgBreathData() { readChunk(usb::Transfer::EcgBreath); }

void UsbDownload::readSerialImuData() { readChunk(usb::Transfer::Imu); }

void UsbDownload::readChunk(usb::Transfer transfer)
{
    const QByteArray chunk = m_port->readAll();
    m_importTimer->setInterval(m_timing.betweenChunksMs);
    if (m_rawDownloadFile.write(chunk) != chunk.size())
        m_rawWriteFailed = true;
    // The end frame may be cut between two chunks.
    const QByteArray end = usb::transferEnd(transfer);
    const QByteArray window = m_tail + chunk;
    m_tail = window.right(end.size() - 1);
    if (!window.contains(end))
        return;
    if (transfer == usb::Transfer::EcgBreath)
        emit downloadEcgBreathFinished(m_job.sessionIndex);
    else
        emit downloadImuFinished(m_job.sessionIndex);
}

void UsbDownload::stopTransfer()
{
    m_importTimer->stop();
    QObject::disconnect(m_readConnection);
    if (m_rawDownloadFile.isOpen())
        m_rawDownloadFile.close();
}

void UsbDownload::fileEcgBreathDownloaded(int)
{
    m_importTimer->stop();
    // Disconnected before events are processed: nothing may reach the closed raw file.
    QObject::disconnect(m_readConnection);
    const bool written = m_rawDownloadFile.flush() && !m_rawWriteFailed;
    m_rawDownloadFile.close();
    if (m_importProgress)
        m_importProgress->setLabelText("Importazione ECG/BREATH in corso");
    QCoreApplication::processEvents();
    qInfo().noquote() << "Finish import" << clockNow();
    if (!written) {
        abandon(rawWriteFailedText, m_rawDownloadFile.errorString());
        return;
    }

    qInfo().noquote() << "Parsing log file";
    RecorderLog log;
    QString error;
    if (!RecorderLog::read(m_job.sessionFolder + "/" + "logfile" + ".txt", &log, &error)) {
        abandon("Impossibile leggere il log del dispositivo.", error);
        return;
    }
    // Paired as the card folder's log is: both roads then fill the same gaps, the ones the
    // review shows.
    m_missingIntervals = log.missingIntervals();
    qInfo().noquote() << "Holes : " << describeIntervals(m_missingIntervals);

    qInfo().noquote() << "Gain : " << m_job.calibration.gain;
    QStringList factors;
    for (float f : m_job.calibration.factors)
        factors.append(QString::number(double(f)));
    qInfo().noquote() << "Calibration " << factors.join(',');

    // A download replaces what an earlier import decoded into this folder: appended after it, the
    // new records would run back in time in the middle of the files.
    const QDir folder(m_job.sessionFolder);
    for (Stream stream : {Stream::Ecg, Stream::Breath, Stream::Imu}) {
        const QString path = folder.filePath(QLatin1String(decodedFormat(stream).fileName));
        if (QFile::exists(path) && !QFile::remove(path)) {
            abandon("Impossibile sostituire i dati decodificati della sessione.", path);
            return;
        }
    }
    {
        RecordingDecoder decoder(m_job.sessionFolder, m_missingIntervals, m_job.calibration);
        const bool decoded = decoder.decodeSampleFile(rawEcgBreathPath(m_job.sessionFolder));
        if (!decoder.finish() || !decoded) {
            abandonDecode(decoder);
            return;
        }
        // An empty transfer must not end in an erased card.
        if (decoder.recordsWritten(Stream::Ecg) == 0 && decoder.recordsWritten(Stream::Breath) == 0) {
            abandon("Il dispositivo non ha inviato dati ECG né respiratori.",
                    QStringLiteral("%1 bytes received").arg(decoder.bytesRead()));
            return;
        }
        m_durationMs = decoder.durationMs();
        m_droppedMs = decoder.droppedMs();
        qInfo().noquote() << "Decoded ECG/BREATH" << clockNow() << "duration" << m_durationMs / 1000 << "s";
    }
    QFile::remove(rawEcgBreathPath(m_job.sessionFolder));

    if (!openRawFile(rawImuPath(m_job.sessionFolder))) {
        abandon(rawWriteFailedText, m_rawDownloadFile.fileName() + ": " + m_rawDownloadFile.errorString());
        return;
    }
    listen(Active::Imu);
    m_importTimer->setInterval(m_timing.betweenChunksMs);
    m_importTimer->start();
    send(usb::transferRequest(usb::Transfer::Imu));
}

void UsbDownload::fileImuDownloaded(int sessionIndex)
{
    m_importTimer->stop();
    const bool written = m_rawDownloadFile.flush() && !m_rawWriteFailed;
    m_rawDownloadFile.close();
    qInfo().noquote() << "Finish IMU import" << clockNow();
    QObject::disconnect(m_readConnection);
    m_active = Active::Finishing;
    if (!written) {
        abandon(rawWriteFailedText, m_rawDownloadFile.errorString());
        return;
    }

    {
        // The IMU clock restarts after a gap like the others: without the missing intervals every
        // record after the restart would be dropped until the clock passed its old time again.
        RecordingDecoder decoder(m_job.sessionFolder, m_missingIntervals, m_job.calibration);
        const bool decoded = decoder.decodeImuFile(rawImuPath(m_job.sessionFolder));
        if (!decoder.finish() || !decoded) {
            abandonDecode(decoder);
            return;
        }
        m_droppedMs = std::max(m_droppedMs, decoder.droppedMs());
    }

    SessionRecord session = m_job.session;
    session.dataPathName = m_job.dataPathName.toStdString();
    session.status = ImportedStatus;
    session.importDate = Clock::nowSeconds();
    session.whoImportedID = m_job.userId;
    session.endRecDate = session.startRecDate + m_durationMs / 1000;
    PatientRecord patient = m_job.patient;
    patient.status = ImportedStatus;
    // The card is erased only once the import is on record: otherwise the recording would be
    // left nowhere but in an unlisted folder.
    if (!m_database.updateSession(session) || !m_database.updatePatient(patient)) {
        abandon("Impossibile registrare l'importazione nel database.", QString());
        return;
    }
    QFile::remove(rawImuPath(m_job.sessionFolder));

    eraseCard();
    endImport();
    reportImportNotes(m_prompts, {droppedRecordingNote(m_droppedMs)});
    emit importCompleted(sessionIndex);
}

void UsbDownload::eraseCard()
{
    for (;;) {
        send(usb::eraseRequest());
        const QByteArray reply = readReply(m_timing.eraseWaitMs, usb::eraseAcknowledgement().size());
        qInfo().noquote() << "Erase reply" << reply.toHex(' ');
        if (reply.startsWith(usb::eraseAcknowledgementHead()))
            return;
        // The decoded data is safe by now; the user may give up on the card.
        const int answer = m_prompts.ask({Prompts::Icon::Critical,
                                          "Errore nella cancellazione dei file",
                                          "File non cancellati. Premi OK per riprovare.",
                                          {},
                                          {},
                                          {Prompts::Button::ok(), Prompts::Button::cancel()}});
        if (answer != 0) {
            qInfo().noquote() << "Card erase given up: the recording stays on the recorder";
            return;
        }
    }
}

void UsbDownload::endImport()
{
    stopTransfer();
    m_active = Active::None;
    m_importProgress.reset();
    m_busy(false);
    QCoreApplication::processEvents();
    m_port->close();
}

void UsbDownload::abandon(const QString &text, const QString &detail)
{
    qWarning().noquote() << "USB import abandoned:" << text << detail;
    endImport();
    reportImportFailure(m_prompts, text, detail);
}

void UsbDownload::abandonDecode(const RecordingDecoder &decoder)
{
    // Nothing of a download that cannot be decoded stays in the session folder: the session is
    // still "OPEN" and the card still holds the recording.
    const QDir folder(m_job.sessionFolder);
    for (Stream stream : {Stream::Ecg, Stream::Breath, Stream::Imu})
        QFile::remove(folder.filePath(QLatin1String(decodedFormat(stream).fileName)));
    QFile::remove(rawEcgBreathPath(m_job.sessionFolder));
    QFile::remove(rawImuPath(m_job.sessionFolder));
    QFile::remove(folder.filePath(QLatin1String(SessionLogFileName)));
    const QString text = decoder.timeBaseExceeded()
        ? QStringLiteral("I dati scaricati dal dispositivo supererebbero le %1 ore di registrazione: importazione "
                         "annullata.")
              .arg(MaxRecordingMs / 3600000)
        : QStringLiteral("Impossibile decodificare i dati scaricati dal dispositivo.");
    abandon(text, decoder.errorString());
}

void UsbDownload::timeoutImportCalled()
{
    // Everything is stopped before the box: a repeating watchdog or late data must not reach a
    // transfer that is being abandoned while the box is open.
    endImport();
    m_prompts.inform(Prompts::Icon::Critical, importErrorTitle,
                     "Errore lettura dati. Il device potrebbe essere stato disconnesso.");
}

void UsbDownload::resetPort(const QStringList &portsSeen)
{
    for (const QString &name : portsSeen) {
        if (!m_portList().contains(name)) {
            qInfo().noquote() << "found " + name;
            m_port->setPortName(name);
            m_port->close();
            break;
        }
    }
    delete m_port;
    m_port = newPort();
}

void UsbDownload::closePort()
{
    if (m_port->isOpen())
        m_port->close();
}

void UsbDownload::shutdown()
{
    stopTransfer();
    closePort();
}
