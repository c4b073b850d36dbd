#include "import/ImportWorkflow.h"

#include "common/Clock.h"
#include "db/Database.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/Spo2Conversion.h"
#include "import/UsbDownload.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

const QString noSessionFolder = QStringLiteral("Impossibile creare la cartella della sessione.");
const QString logNotWritten = QStringLiteral("Impossibile scrivere il log nella cartella della sessione.");
// Without the acquisition start no logged gap matches a clock restart, and the records after each
// restart would be lost up to the old clock time.
const QString deviceLogWithoutStart = QStringLiteral(
    "Il log del dispositivo non contiene l'inizio dell'acquisizione (START_ACQ): impossibile collocare i dati nel "
    "tempo.");
const QString cardLogWithoutStart = QStringLiteral(
    "Il log della cartella selezionata non contiene l'inizio dell'acquisizione (START_ACQ): impossibile collocare "
    "i dati nel tempo.");

// The decode's progress: per mille of the card's raw bytes, shown every this many ms.
constexpr int DecodeProgressSteps = 1000;
constexpr int DecodeProgressIntervalMs = 100;

Prompts::ProgressSpec importProgressSpec()
{
    Prompts::ProgressSpec setup;
    setup.title = "Importazione dati.";
    setup.labelText = "Inizializzazione acquisizione";
    setup.fixedWidth = 600;
    return setup;
}

Prompts::Box importDialog()
{
    Prompts::Box box;
    box.informativeText =
        "Per importare da microSD, premere sul tasto \"IMPORTA DA MICRO SD\" \n\nPer importare da device collegato "
        "via USB, se nessun device è collegato, collegarne uno ad una porta USB, premere OK e riprovare l'import.\nSe "
        "un device è già collegato, staccarlo, premere Ok, ricollegarlo e riprovare l'import.";
    box.buttons = {Prompts::Button::custom("IMPORTA da MICRO SD", Prompts::Button::Role::Yes),
                   Prompts::Button::custom("OK", Prompts::Button::Role::No)};
    return box;
}

// The session calibration text read for one road: the folder import takes its gain from field 0,
// the download always scales with gain 6.
bool sessionCalibration(const SessionRecord &session, bool gainSix, Calibration *calibration, QString *error)
{
    QStringList fields = QString::fromStdString(session.calibration).split(QLatin1Char(','));
    if (gainSix)
        fields[0] = QStringLiteral("6");
    return Calibration::fromText(fields.join(QLatin1Char(',')), calibration, error);
}

void unusableCalibration(Prompts &prompts, const QString &error)
{
    qWarning().noquote() << "Session calibration unusable:" << error;
    reportImportFailure(prompts, "La calibrazione della sessione non è valida: impossibile importare il segnale ECG.",
                        error);
}

} // namespace

ImportWorkflow::ImportWorkflow(Prompts &prompts, Database &database, UsbDownload &usb)
    : m_prompts(prompts), m_database(database), m_usb(usb), m_startFolder(QCoreApplication::applicationDirPath())
{
}

void ImportWorkflow::setBusyIndicator(std::function<void(bool)> busy)
{
    m_busy = busy;
    m_usb.setBusyIndicator(std::move(busy));
}

QString ImportWorkflow::expectedSessionId(const ImportTarget &target)
{
    return QString::fromStdString(target.patient.fiscalCode)
           + QStringLiteral("%1").arg(target.session.id, 4, 10, QLatin1Char('0'));
}

QString ImportWorkflow::dataPathName(const ImportTarget &target)
{
    return QString::fromStdString(target.session.patientFC) + "/" + QString::number(target.session.id);
}

QString ImportWorkflow::sessionFolder(const ImportTarget &target)
{
    // The folder is emptied by a folder import: never let a code reach outside the data folder.
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9]+$"));
    if (!safe.match(QString::fromStdString(target.session.patientFC)).hasMatch())
        return QString();
    return target.dataFolder + "/" + dataPathName(target);
}

bool ImportWorkflow::refuseWhileTransferring()
{
    if (!m_usb.isTransferring() && !m_decoding)
        return false;
    // A second import would write into the folder a running download or decode is writing to.
    m_prompts.inform(Prompts::Icon::Warning, "Importazione in corso",
                     "È in corso l'importazione dei dati dal dispositivo. Attendere il termine e riprovare.");
    return true;
}

void ImportWorkflow::mismatch()
{
    m_prompts.inform(Prompts::Icon::Critical, "Incongruenza paziente - sessione",
                     "Incongruenza tra il paziente selezionato e quello associato alla sessione registrata sul "
                     "dispositivo. Selezionare il paziente corretto e riprovare.");
}

bool ImportWorkflow::run(const ImportTarget &target)
{
    if (refuseWhileTransferring())
        return false;
    // The busy dialog stays up, painted, while the ports are asked and the log comes in.
    std::unique_ptr<Prompts::Progress> busy = m_prompts.progress(importProgressSpec());
    const UsbRecognition recorder = m_usb.recognise();
    if (recorder.recognised) {
        QByteArray log;
        const bool logArrived = m_usb.transferLog(&log);
        busy.reset();
        if (!logArrived) {
            m_prompts.inform(Prompts::Icon::Critical, "Log file non trovato.", "Log file non trovato.");
            m_usb.closePort();
            return false;
        }
        const QString expected = expectedSessionId(target);
        qInfo().noquote() << " Session Id : " + expected;
        qInfo().noquote() << " Session read from device : " + recorder.sessionId;
        if (recorder.sessionId != expected) {
            mismatch();
            m_usb.closePort();
            return false;
        }
        if (!RecorderLog::parse(log).acquisitionStart().isValid()) {
            qWarning().noquote() << "USB import refused: the recorder's log has no valid START_ACQ";
            reportImportFailure(m_prompts, deviceLogWithoutStart, QStringLiteral("%1 bytes of log").arg(log.size()));
            m_usb.closePort();
            return false;
        }
        if (!m_prompts.confirm(Prompts::Icon::Question, QString(),
                               "L’importazione dei dati comporterà la cancellazione di tutti i dati sul "
                               "dispositivo. Continuare?")) {
            m_usb.closePort();
            return false;
        }
        if (!startUsbImport(target, log))
            return false;
    } else {
        busy.reset();
        m_usb.resetPort(recorder.portsSeen);
    }

    if (m_prompts.ask(importDialog()) == 0)
        return importFolder(target);
    return false;
}

bool ImportWorkflow::startUsbImport(const ImportTarget &target, const QByteArray &log)
{
    Calibration calibration;
    QString error;
    const QString folder = sessionFolder(target);
    if (!sessionCalibration(target.session, true, &calibration, &error)) {
        unusableCalibration(m_prompts, error);
        m_usb.closePort();
        return false;
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        reportImportFailure(m_prompts, noSessionFolder, folder);
        m_usb.closePort();
        return false;
    }
    std::unique_ptr<Prompts::Progress> progress = m_prompts.progress(importProgressSpec());
    m_busy(true);
    QCoreApplication::processEvents();
    qInfo().noquote() << "folder cteated" << folder;

    // Every log line followed by a line break, as the card holds it.
    QByteArray copy;
    const QList<QByteArray> lines = log.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        if (i == lines.size() - 1 && lines[i].isEmpty())
            break;
        copy += lines[i] + '\n';
    }
    QFile logFile(folder + "/" + QLatin1String(SessionLogFileName));
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Truncate) || logFile.write(copy) != copy.size()
        || !logFile.flush()) {
        progress.reset();
        m_busy(false);
        reportImportFailure(m_prompts, logNotWritten, logFile.fileName() + ": " + logFile.errorString());
        m_usb.closePort();
        return false;
    }
    logFile.close();

    UsbImportJob job;
    job.sessionIndex = target.sessionIndex;
    job.session = target.session;
    job.patient = target.patient;
    job.userId = target.userId;
    job.sessionFolder = folder;
    job.dataPathName = dataPathName(target);
    job.calibration = calibration;
    return m_usb.startTransfer(job, std::move(progress));
}

bool ImportWorkflow::importFolder(const ImportTarget &target)
{
    if (refuseWhileTransferring())
        return false;
    const QString chosen = m_prompts.existingDirectoryKeepingLinks(
        "Selezionare la cartella con dati di Log, ECG, PSG e IMU", m_startFolder);
    if (chosen.isEmpty()) {
        qInfo().noquote() << "Folder import cancelled";
        return false;
    }
    const CardFolder card(chosen);
    if (!card.logPath().isEmpty())
        qInfo().noquote() << card.logPath();
    for (const QString &path : card.sampleFiles() + card.imuFiles())
        qInfo().noquote() << path;
    const auto notAvailable = [this] {
        m_prompts.inform(Prompts::Icon::Critical, "Dati non disponibili",
                         "La cartella non contiene tutti i dati necessari. Cambiare cartella e riprovare");
        return false;
    };
    if (!card.errorString().isEmpty()) {
        qInfo().noquote() << card.errorString();
        return notAvailable();
    }
    RecorderLog log;
    QString error;
    if (!RecorderLog::read(card.logPath(), &log, &error)) {
        qWarning().noquote() << error;
        return notAvailable();
    }
    const QString expected = expectedSessionId(target);
    for (const QString &id : log.sessionIds()) {
        std::printf("DEBUG %s %s\n", qPrintable(id), qPrintable(expected));
        std::fflush(stdout);
        if (id != expected) {
            mismatch();
            m_usb.closePort();
            return false;
        }
    }
    const auto failed = [this](const QString &text, const QString &detail) {
        m_busy(false);
        qWarning().noquote() << "Folder import failed:" << text << detail;
        reportImportFailure(m_prompts, text, detail);
        return false;
    };
    if (!log.acquisitionStart().isValid())
        return failed(cardLogWithoutStart, card.logPath());

    Calibration calibration;
    if (!sessionCalibration(target.session, false, &calibration, &error)) {
        unusableCalibration(m_prompts, error);
        return false;
    }
    const QString folder = sessionFolder(target);
    if (folder.isEmpty())
        return failed(noSessionFolder, QString::fromStdString(target.session.patientFC));
    // The session folder is emptied before the card is read: a card copied into it would be lost.
    const QString cardPath = QFileInfo(chosen).canonicalFilePath();
    const QString folderPath = QFileInfo(folder).canonicalFilePath();
    if (!folderPath.isEmpty() && (cardPath == folderPath || cardPath.startsWith(folderPath + "/")))
        return failed("La cartella selezionata si trova nella cartella della sessione, che l'importazione svuota. "
                      "Copiare i dati in un'altra cartella e riprovare.",
                      cardPath);

    m_busy(true);
    QCoreApplication::processEvents();
    // A second import replaces the first: nothing is appended to old decoded files.
    QDir sessionDir(folder);
    if (sessionDir.exists()) {
        qInfo().noquote() << "remove" << folder << sessionDir.removeRecursively();
        qInfo().noquote() << "folder cleaned";
        qInfo().noquote() << "create" << folder << QDir().mkpath(folder);
    } else {
        QDir().mkpath(folder);
    }
    qInfo().noquote() << "folder cteated" << folder;
    if (!QDir(folder).exists())
        return failed(noSessionFolder, folder);

    // The decode copies the log as logfile.txt and writes the decoded files.
    CardDecodeResult decoded;
    if (!decodeCard(card, log.missingIntervals(), folder, calibration, &decoded, &error)) {
        // Nothing of a refused card stays: the session keeps no folder of half a recording.
        QDir(folder).removeRecursively();
        const QString text =
            decoded.timeBaseExceeded
                ? QStringLiteral("I dati della cartella selezionata supererebbero le %1 ore di registrazione: "
                                 "importazione annullata.")
                      .arg(MaxRecordingMs / 3600000)
            : decoded.noFrames ? QStringLiteral("I file della cartella selezionata non contengono dati ECG né respiratori.")
                               : QStringLiteral("Impossibile decodificare i dati della cartella selezionata.");
        return failed(text, error);
    }
    // On the continuous time base: the device clock restarts after a gap.
    const qint64 durationSeconds = decoded.durationMs / 1000;

    QStringList notes{droppedRecordingNote(decoded.droppedMs)};
    if (!importSpo2(target, folder))
        notes.append("Il file SpO2 selezionato non contiene misure utilizzabili: la sessione è stata importata "
                     "senza SpO2.");

    SessionRecord session = target.session;
    session.status = ImportedStatus;
    session.importDate = Clock::nowSeconds();
    session.whoImportedID = target.userId;
    session.endRecDate = session.startRecDate + durationSeconds;
    qInfo().noquote() << "endRecDate" << session.endRecDate << session.startRecDate << durationSeconds;
    session.dataPathName = dataPathName(target).toStdString();
    PatientRecord patient = target.patient;
    patient.status = ImportedStatus;
    m_busy(false);
    if (!m_database.updateSession(session) || !m_database.updatePatient(patient)) {
        reportImportFailure(m_prompts, "Impossibile registrare l'importazione nel database.", QString());
        return false;
    }
    reportImportNotes(m_prompts, notes);
    return true;
}

bool ImportWorkflow::decodeCard(const CardFolder &card, const QVector<MissingInterval> &missingIntervals,
                                const QString &folder, const Calibration &calibration, CardDecodeResult *result,
                                QString *error)
{
    // A day of card is gigabytes read at the card's speed: the decode runs on a worker while
    // this thread keeps the window painted and the dialog counting the bytes decoded.
    const qint64 total = std::max<qint64>(1, card.rawBytes());
    const auto megabytes = [total](qint64 bytes) {
        return QLocale(QLocale::Italian, QLocale::Italy).toString(double(bytes) / 1e6, 'f', total < 10000000 ? 1 : 0);
    };
    const auto label = [&](qint64 done) {
        return QStringLiteral("Decodifica dei dati: %1 MB di %2 MB").arg(megabytes(std::min(done, total)), megabytes(total));
    };
    Prompts::ProgressSpec setup = importProgressSpec();
    setup.labelText = label(0);
    setup.maximum = DecodeProgressSteps;
    const std::unique_ptr<Prompts::Progress> progress = m_prompts.progress(setup);
    std::atomic<qint64> done{0};
    const auto show = [&] {
        const qint64 bytes = done.load();
        progress->setLabelText(label(bytes));
        progress->setValue(int(std::min<qint64>(DecodeProgressSteps, bytes * DecodeProgressSteps / total)));
    };
    QEventLoop loop;
    QFutureWatcher<bool> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QTimer poll;
    poll.setInterval(DecodeProgressIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, show);
    m_decoding = true;
    watcher.setFuture(QtConcurrent::run([&] {
        return decodeCheckedCard(card, missingIntervals, folder, calibration, result, error,
                                 [&done](qint64 bytes) { done.store(bytes); });
    }));
    poll.start();
    if (!watcher.isFinished())
        loop.exec();
    watcher.waitForFinished();
    m_decoding = false;
    poll.stop();
    const bool decoded = watcher.result();
    if (decoded)
        done.store(total);
    show();
    return decoded;
}

bool ImportWorkflow::importSpo2(const ImportTarget &target, const QString &folder)
{
    bool lastWasEmpty = false;
    const int first = m_prompts.ask(
        {Prompts::Icon::None, QString(), "Importazione Dati SPO2",
         "Per importare anche i dati di saturazione, premere sul tasto \"IMPORTA SpO2\". Altrimenti premere "
         "\"CANCEL\".",
         {},
         {Prompts::Button::custom("IMPORTA SPO2", Prompts::Button::Role::Yes),
          Prompts::Button::custom("CANCEL", Prompts::Button::Role::No)}});
    bool attempt = first == 0;
    for (;;) {
        if (attempt) {
            bool empty = false;
            if (tryOximeterFile(target, folder, &empty))
                return true;
            lastWasEmpty = empty;
        }
        const int answer = m_prompts.ask(
            {Prompts::Icon::None, QString(), "Importazione Dati SPO2 Fallita",
             "Errore lettura dati. Contenuto della cartella selezionata non idoneo", {},
             {Prompts::Button::custom("SELEZIONA ALTRA CARTELLA", Prompts::Button::Role::Yes),
              Prompts::Button::custom("CONTINUA SENZA SpO2", Prompts::Button::Role::No)}});
        m_busy(false);
        QCoreApplication::processEvents();
        if (answer == 1)
            break;
        if (answer == 0)
            attempt = true;
    }
    m_busy(false);
    QCoreApplication::processEvents();
    return !lastWasEmpty;
}

bool ImportWorkflow::tryOximeterFile(const ImportTarget &target, const QString &folder, bool *empty)
{
    *empty = false;
    const QString source = m_prompts.openFileName("Dati SpO2", "Data", QString());
    if (source.isEmpty())
        return false;
    const QString converted = folder + "/spo2.txt";
    const QString copy = folder + "/Puls.txt";
    qint64 records = 0;
    if (convertSpo2File(source, converted, QDateTime::fromSecsSinceEpoch(target.session.startRecDate), &records)) {
        qInfo().noquote() << "SpO2 conversion failed for" << source;
        return false;
    }
    // An export with nothing of this recording in it is no SpO2 of the session.
    if (records == 0) {
        qInfo().noquote() << "No usable SpO2 line in" << source;
        QFile::remove(converted);
        *empty = true;
        return false;
    }
    // Puls.txt and spo2.txt come from the same export: a file refused by an earlier attempt of
    // this import must not stay behind as the copy.
    if (QFileInfo(source).canonicalFilePath() != QFileInfo(copy).canonicalFilePath()) {
        QFile::remove(copy);
        if (!QFile::copy(source, copy)) {
            qWarning().noquote() << "cannot copy" << source << "to" << copy;
            QFile::remove(converted);
            return false;
        }
    }
    return true;
}
