// The import from a copy of the recorder's card, on a real database and real files: the whole road
// from the folder chooser to the "LOADED" session, and each way it can go wrong.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "db/Database.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/RecordingFormat.h"
#include "import/Spo2Conversion.h"
#include "tests/importflow/ImportFixture.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace importtest;

namespace {

const QString noData = "Dati non disponibili|La cartella non contiene tutti i dati necessari. Cambiare cartella e riprovare";
const QString mismatchBox = "Incongruenza paziente - sessione|Incongruenza tra il paziente selezionato e quello associato "
                            "alla sessione registrata sul dispositivo. Selezionare il paziente corretto e riprovare.";
const QString spo2Question = "Importazione Dati SPO2";
const QString spo2Failed = "Importazione Dati SPO2 Fallita";

// The file time of the last record of a decoded file (0 when it has none).
quint32 lastFileTime(const QString &path, int recordSize)
{
    const QByteArray bytes = readFile(path);
    if (bytes.size() < recordSize)
        return 0;
    return recordFileTime(reinterpret_cast<const uchar *>(bytes.constData()) + bytes.size() - recordSize);
}

const QString finalBoxTitle = "Importazione completata";

struct Workflow {
    ScriptedPrompts prompts;
    Fixture fixture;
    UsbDownload usb{prompts, fixture.database().db()};
    ImportWorkflow workflow{prompts, fixture.database().db(), usb};
    Workflow()
    {
        usb.setTiming(fastTiming());
        // No recorder: the machine's own serial ports are left alone.
        usb.setPortList([] { return QStringList(); });
    }
};

} // namespace

class FolderImportTest : public QObject
{
    Q_OBJECT
private slots:
    void importsCardWithOximeterExport();
    void decodesFilesInNumericOrder();
    void cancelledChooserCancelsImport();
    void folderWithoutLogOrSampleFiles();
    void wrongSessionIdentifier();
    void spo2CancelledThenContinueWithout();
    void spo2RefusedFileNotKept();
    void secondImportReplacesFirst();
    void unusableCalibration();
    void cardInsideSessionFolderRefused();
    void cardWithoutWholeFramesRefused();
    void entryWithoutRecorderOffersFolder();
    void logWithoutAcquisitionStartRefused();
    void recordsDroppedBehindTheClockReported();
    void gapPast48HoursRefused();
    void oximeterExportWithoutUsableLine();
    void decodeRunsBehindTheProgressDialog();
};

void FolderImportTest::importsCardWithOximeterExport()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    SynthSummary summary;
    const QString card = w.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QVERIFY(summary.gaps.size() >= 1); // the log's missing data is exercised too
    w.prompts.directories.enqueue(card);
    w.prompts.buttons.enqueue("IMPORTA SPO2");
    w.prompts.files.enqueue(card + "/Puls.txt");

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(w.prompts.boxTexts(), QStringList{spo2Question});
    QCOMPARE(w.prompts.chooserTitles,
             (QStringList{"Selezionare la cartella con dati di Log, ECG, PSG e IMU", "Dati SpO2"}));
    // The card is taken where the user picked it, a symbolic link not resolved.
    QCOMPARE(w.prompts.linkKeepingChoosers, QStringList{"Selezionare la cartella con dati di Log, ECG, PSG e IMU"});

    const QString folder = w.fixture.sessionFolder();
    QCOMPARE(folder, w.fixture.dataFolder() + "/" + QString::fromStdString(FiscalCode) + "/1");
    QCOMPARE(readFile(folder + "/logfile.txt"), readFile(card + "/log.txt"));
    QCOMPARE(readFile(folder + "/Puls.txt"), readFile(card + "/Puls.txt"));
    const qint64 spo2Size = QFileInfo(folder + "/spo2.txt").size();
    QVERIFY(spo2Size > 0 && spo2Size % 8 == 0);

    // The same bytes as the decoder gives for the card on its own.
    const QString reference = w.fixture.scratch("reference");
    CardDecodeResult result;
    QString error;
    QVERIFY2(decodeCardFolder(card, reference, calibration(), &result, &error), qPrintable(error));
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt"}) {
        const QByteArray decoded = readFile(folder + "/" + name);
        QVERIFY2(!decoded.isEmpty(), name);
        QVERIFY2(decoded == readFile(reference + "/" + name), name);
    }

    const SessionRecord s = w.fixture.storedSession();
    QCOMPARE(QString::fromStdString(s.status), QString("LOADED"));
    QCOMPARE(QString::fromStdString(s.dataPathName), QString::fromStdString(FiscalCode) + "/1");
    QCOMPARE(s.whoImportedID, w.fixture.user().id);
    QVERIFY(s.importDate >= before && s.importDate <= after);
    // The end is the start plus the length on the continuous time base, which runs on over the
    // clock restart after the missing data.
    const quint32 end = std::min(lastFileTime(folder + "/ecg.txt", EcgFormat.recordSize),
                                 lastFileTime(folder + "/breath.txt", BreathFormat.recordSize));
    QVERIFY(end + 1000 >= summary.durationMs - 1000);
    QCOMPARE(s.endRecDate, s.startRecDate + end / 1000);
    QCOMPARE(QString::fromStdString(w.fixture.storedPatient().status), QString("LOADED"));
}

void FolderImportTest::decodesFilesInNumericOrder()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    // 36 s in 3-s files: s0 ... s11, where name order would put s10 and s11 before s2.
    SynthSummary summary;
    const QString card = w.fixture.makeCard("card", 0.01, 0.05, 5, &summary);
    QVERIFY(summary.sampleFiles >= 11);
    QVERIFY(summary.gaps.isEmpty());
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    QVERIFY(w.workflow.importFolder(w.fixture.target()));

    const QByteArray ecg = readFile(w.fixture.sessionFolder() + "/ecg.txt");
    const int records = ecg.size() / EcgFormat.recordSize;
    QCOMPARE(quint64(records), summary.frames[int(Stream::Ecg)] - summary.damaged[int(Stream::Ecg)]);
    const auto *data = reinterpret_cast<const uchar *>(ecg.constData());
    for (int i = 1; i < records; ++i) {
        const quint32 previous = recordFileTime(data + (i - 1) * EcgFormat.recordSize);
        QVERIFY2(recordFileTime(data + i * EcgFormat.recordSize) > previous, qPrintable(QString::number(i)));
    }
}

void FolderImportTest::cancelledChooserCancelsImport()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    // Whatever the current folder holds, a cancelled choice imports nothing.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(card);
    w.prompts.directories.enqueue(QString());
    const bool imported = w.workflow.importFolder(w.fixture.target());
    QDir::setCurrent(previous);
    QVERIFY(!imported);
    QVERIFY(w.prompts.boxes.isEmpty());
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::folderWithoutLogOrSampleFiles()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString noLog = w.fixture.makeCard("nolog", 0.005, 1);
    QVERIFY(QFile::remove(noLog + "/log.txt"));
    const QString noSamples = w.fixture.makeCard("nosamples", 0.005, 1);
    // Names that look like ECG/respiration files but are not: upper case, extra characters.
    QVERIFY(QFile::rename(noSamples + "/s0.txt", noSamples + "/S0.txt"));
    QVERIFY(writeFile(noSamples + "/s1a.txt", readFile(noSamples + "/S0.txt")));

    for (const QString &folder : {noLog, noSamples}) {
        w.prompts.boxes.clear();
        w.prompts.directories.enqueue(folder);
        QVERIFY(!w.workflow.importFolder(w.fixture.target()));
        QCOMPARE(w.prompts.boxTexts(), QStringList{noData});
        QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    }
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::wrongSessionIdentifier()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    // The card of the same patient's next session.
    const QString card = w.fixture.makeCard("card", 0.005, 1, 1, nullptr, QString::fromStdString(FiscalCode) + "0002");
    w.prompts.directories.enqueue(card);
    QVERIFY(!w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(), QStringList{mismatchBox});
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
    QCOMPARE(QString::fromStdString(w.fixture.storedPatient().status), QString("OPEN"));
}

void FolderImportTest::spo2CancelledThenContinueWithout()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(), (QStringList{spo2Question, spo2Failed}));
    QCOMPARE(w.prompts.boxes[1].informativeText,
             QString("Errore lettura dati. Contenuto della cartella selezionata non idoneo"));
    // No file was asked for.
    QCOMPARE(w.prompts.chooserTitles.size(), 1);
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder() + "/Puls.txt"));
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder() + "/spo2.txt"));
    QVERIFY(QFileInfo(w.fixture.sessionFolder() + "/ecg.txt").size() > 0);
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("LOADED"));
}

void FolderImportTest::spo2RefusedFileNotKept()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    const QString notAnExport = w.fixture.scratch("notes.txt");
    QVERIFY(writeFile(notAnExport, "appunti del turno\n1,2024,3,4,9,30,0,70,97\n"));
    w.prompts.directories.enqueue(card);
    // A file that is not an export, then a cancelled chooser, then the real export.
    w.prompts.buttons << "IMPORTA SPO2" << "SELEZIONA ALTRA CARTELLA" << "SELEZIONA ALTRA CARTELLA";
    w.prompts.files << notAnExport << QString() << card + "/Puls.txt";
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(), (QStringList{spo2Question, spo2Failed, spo2Failed}));
    QCOMPARE(readFile(w.fixture.sessionFolder() + "/Puls.txt"), readFile(card + "/Puls.txt"));
    const QString reference = w.fixture.scratch("spo2.txt");
    QVERIFY(!convertSpo2File(card + "/Puls.txt", reference,
                             QDateTime::fromSecsSinceEpoch(w.fixture.storedSession().startRecDate)));
    QCOMPARE(readFile(w.fixture.sessionFolder() + "/spo2.txt"), readFile(reference));
}

void FolderImportTest::secondImportReplacesFirst()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString first = w.fixture.makeCard("first", 0.01, 1, 1);
    const QString second = w.fixture.makeCard("second", 0.005, 1, 2);
    w.prompts.directories << first << second;
    w.prompts.buttons << "IMPORTA SPO2" << "CANCEL" << "CONTINUA SENZA SpO2";
    w.prompts.files << first + "/Puls.txt";
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    const QString folder = w.fixture.sessionFolder();
    QVERIFY(QFileInfo::exists(folder + "/Puls.txt"));
    QVERIFY(writeFile(folder + "/appunti.txt", "nota\n"));
    QVERIFY(w.workflow.importFolder(w.fixture.target()));

    const QString reference = w.fixture.scratch("reference");
    CardDecodeResult result;
    QString error;
    QVERIFY2(decodeCardFolder(second, reference, calibration(), &result, &error), qPrintable(error));
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt"})
        QVERIFY2(readFile(folder + "/" + name) == readFile(reference + "/" + name), name);
    QCOMPARE(readFile(folder + "/logfile.txt"), readFile(second + "/log.txt"));
    // The whole folder was emptied first: nothing of the first import is left.
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"breath.txt", "ecg.txt", "imu.txt", "logfile.txt"}));
}

void FolderImportTest::unusableCalibration()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    ImportTarget target = w.fixture.target();
    target.session.calibration = "6,1,1,1"; // three factors for eight channels
    w.prompts.directories.enqueue(card);
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Session calibration unusable: "));
    QVERIFY(!w.workflow.importFolder(target));
    QCOMPARE(w.prompts.boxes.size(), 1);
    QCOMPARE(w.prompts.boxes[0].title, QString("Errore importazione dati"));
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::cardInsideSessionFolderRefused()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    const QString folder = w.fixture.sessionFolder();
    // Emptying the session folder first would destroy the only copy of the card.
    for (const QString &inside : {folder + "/sd", folder}) {
        copyFolder(card, inside);
        w.prompts.boxes.clear();
        w.prompts.directories.enqueue(inside);
        krntest::expectMessage(QtWarningMsg, QRegularExpression("^Folder import failed: La cartella selezionata si trova"));
        QVERIFY(!w.workflow.importFolder(w.fixture.target()));
        QCOMPARE(w.prompts.boxes.size(), 1);
        QCOMPARE(w.prompts.boxes[0].title, QString("Errore importazione dati"));
        QVERIFY(w.prompts.boxes[0].text.startsWith("La cartella selezionata si trova nella cartella della sessione"));
        QCOMPARE(readFile(inside + "/log.txt"), readFile(card + "/log.txt"));
        QCOMPARE(readFile(inside + "/s0.txt"), readFile(card + "/s0.txt"));
        QVERIFY(!QFileInfo::exists(folder + "/ecg.txt"));
    }
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::cardWithoutWholeFramesRefused()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    // An empty s-file, one cut inside its first frame and an empty i-file: named right, no data.
    const QByteArray frames = readFile(card + "/s0.txt");
    QVERIFY(frames.size() > 20);
    QVERIFY(writeFile(card + "/s0.txt", QByteArray()));
    QVERIFY(writeFile(card + "/s1.txt", frames.left(20)));
    QVERIFY(writeFile(card + "/i0.txt", QByteArray()));
    QCOMPARE(QDir(card).entryList({"s*.txt"}, QDir::Files), (QStringList{"s0.txt", "s1.txt"}));
    w.prompts.directories.enqueue(card);
    // The answer to the error box; the SpO2 question, which has no "OK", must not come.
    w.prompts.buttons << "OK";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Folder import failed: I file della cartella selezionata non contengono"));
    QVERIFY(!w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(),
             QStringList{"Errore importazione dati|I file della cartella selezionata non contengono dati ECG né "
                         "respiratori."});
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
    QCOMPARE(QString::fromStdString(w.fixture.storedPatient().status), QString("OPEN"));
}

void FolderImportTest::entryWithoutRecorderOffersFolder()
{
    qunsetenv("TAVOKRN_SERIAL_PORTS");
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    // The busy dialog stays open over the ports' search, and is closed before the import dialog.
    bool openDuringScan = false;
    w.usb.setPortList([&w, &openDuringScan] {
        for (const auto &progress : w.prompts.progresses)
            openDuringScan = openDuringScan || progress->open;
        return QStringList();
    });

    // "OK" on the import dialog: nothing happens.
    w.prompts.buttons.enqueue("OK");
    QVERIFY(!w.workflow.run(w.fixture.target()));
    QCOMPARE(w.prompts.boxes.size(), 1);
    const Prompts::Box dialog = w.prompts.boxes[0];
    QVERIFY(dialog.informativeText.startsWith("Per importare da microSD, premere sul tasto \"IMPORTA DA MICRO SD\" \n\n"));
    QVERIFY(dialog.informativeText.endsWith("Se un device è già collegato, staccarlo, premere Ok, ricollegarlo e riprovare l'import."));
    QCOMPARE(dialog.buttons.size(), 2);
    QCOMPARE(dialog.buttons[0].text, QString("IMPORTA da MICRO SD"));
    QCOMPARE(dialog.buttons[1].text, QString("OK"));
    QVERIFY(w.prompts.chooserTitles.isEmpty());
    QCOMPARE(w.prompts.progresses.size(), 1);
    const auto progress = w.prompts.progresses[0];
    QCOMPARE(progress->setup.title, QString("Importazione dati."));
    QCOMPARE(progress->setup.labelText, QString("Inizializzazione acquisizione"));
    QCOMPARE(progress->setup.fixedWidth, 600);
    QVERIFY(progress->setup.cancelText.isEmpty());
    QVERIFY(!progress->open);
    QVERIFY(openDuringScan);

    // "IMPORTA da MICRO SD": the folder import, and the slot's result is the folder import's.
    w.prompts.boxes.clear();
    w.prompts.buttons << "IMPORTA da MICRO SD" << "CANCEL" << "CONTINUA SENZA SpO2";
    w.prompts.directories.enqueue(card);
    QVERIFY(w.workflow.run(w.fixture.target()));
    QCOMPARE(w.prompts.boxes.size(), 3);
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("LOADED"));
}

void FolderImportTest::logWithoutAcquisitionStartRefused()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    // Without it no logged gap matches a clock restart: the records after each would be dropped.
    QVERIFY(editLog(card, [](const QByteArray &line) { return line.startsWith("START_ACQ") ? QByteArray() : line; }));
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "OK";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Folder import failed: "));
    QVERIFY(!w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(),
             QStringList{"Errore importazione dati|Il log della cartella selezionata non contiene l'inizio "
                         "dell'acquisizione (START_ACQ): impossibile collocare i dati nel tempo."});
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::recordsDroppedBehindTheClockReported()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    SynthSummary summary;
    const QString card = w.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QCOMPARE(summary.gaps.size(), 1);
    // A reset recorder clock wrote the gap's end before the acquisition: the gap is ignored (not
    // filled to 2^32 ms), and the restart after it only sets the clock floor.
    QVERIFY(editLog(card, [](const QByteArray &line) {
        return line.startsWith("STOP_MISSING_DATA") ? QByteArray("STOP_MISSING_DATA:20000101000000") : line;
    }));
    CardDecodeResult reference;
    QString error;
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Missing data ignored: "));
    QVERIFY2(decodeCardFolder(card, w.fixture.scratch("reference"), calibration(), &reference, &error), qPrintable(error));
    QVERIFY(reference.droppedMs >= 60000);

    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Missing data ignored: "));
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("LOADED"));
    QCOMPARE(w.prompts.boxTexts().size(), 3);
    const Prompts::Box last = w.prompts.boxes.last();
    QCOMPARE(last.title, finalBoxTitle);
    QCOMPARE(last.icon, Prompts::Icon::Warning);
    const qint64 seconds = reference.droppedMs / 1000;
    QCOMPARE(last.text, QStringLiteral("Attenzione: %1 min %2 s di registrazione sono stati scartati perché l'orologio "
                                       "del dispositivo è tornato indietro.")
                            .arg(seconds / 60)
                            .arg(seconds % 60));
    // The decoded bytes are those of the decode itself.
    QVERIFY(readFile(w.fixture.sessionFolder() + "/ecg.txt") == readFile(w.fixture.scratch("reference") + "/ecg.txt"));
}

void FolderImportTest::gapPast48HoursRefused()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    SynthSummary summary;
    const QString card = w.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QCOMPARE(summary.gaps.size(), 1);
    // The gap is logged to end three days on: its fill would run the recording past 48 hours.
    const QByteArray late = SynthOptions().start.addDays(3).toString("yyyyMMddhhmmss").toLatin1();
    QVERIFY(editLog(card, [&late](const QByteArray &line) {
        return line.startsWith("STOP_MISSING_DATA") ? "STOP_MISSING_DATA:" + late : line;
    }));
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "OK";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Folder import failed: "));
    QVERIFY(!w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(),
             QStringList{"Errore importazione dati|I dati della cartella selezionata supererebbero le 48 ore di "
                         "registrazione: importazione annullata."});
    QVERIFY(w.prompts.boxes[0].detailedText.contains("48 hours"));
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("OPEN"));
}

void FolderImportTest::oximeterExportWithoutUsableLine()
{
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.005, 1);
    // Every line is skipped: another recording's times, SpO2 fields that are no number.
    const QString export_ = w.fixture.scratch("Puls.txt");
    QVERIFY(writeFile(export_, "VERSION 2.1\n1,2024,5,30,10,0,0,75,98\n1,2024,3,4,9,30,5,70,--\n"));
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "IMPORTA SPO2" << "CONTINUA SENZA SpO2";
    w.prompts.files << export_;
    QVERIFY(w.workflow.importFolder(w.fixture.target()));
    QCOMPARE(w.prompts.boxTexts(),
             (QStringList{spo2Question, spo2Failed,
                          finalBoxTitle + "|Il file SpO2 selezionato non contiene misure utilizzabili: la sessione è "
                                          "stata importata senza SpO2."}));
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder() + "/Puls.txt"));
    QVERIFY(!QFileInfo::exists(w.fixture.sessionFolder() + "/spo2.txt"));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("LOADED"));
}

void FolderImportTest::decodeRunsBehindTheProgressDialog()
{
#ifdef Q_OS_UNIX
    Workflow w;
    QVERIFY2(w.fixture.isValid(), qPrintable(w.fixture.error()));
    const QString card = w.fixture.makeCard("card", 0.02, 0.5, 4);
    const QString reference = w.fixture.scratch("reference");
    CardDecodeResult decoded;
    QString error;
    QVERIFY2(decodeCardFolder(card, reference, calibration(), &decoded, &error), qPrintable(error));
    // The last s-file becomes a pipe that only a timer of this (GUI) thread fills: the import can
    // end only if its decode waits on another thread while this one runs its events.
    const QString pipe = CardFolder(card).sampleFiles().last();
    QVERIFY(CardFolder(card).sampleFiles().size() >= 2);
    const QByteArray content = readFile(pipe);
    QVERIFY(QFile::remove(pipe));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const auto feed = [&pipe, &content](int flags) {
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | flags);
        if (fd < 0)
            return false;
        ::fcntl(fd, F_SETFL, 0);
        for (qint64 at = 0; at < content.size();) {
            const auto n = ::write(fd, content.constData() + at, size_t(content.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        ::close(fd);
        return true;
    };
    std::atomic<bool> fed{false};
    bool fedFromEvents = false;
    QString statusDuringDecode;
    QVector<int> valuesWhileWaiting;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        if (fed || w.prompts.progresses.isEmpty())
            return;
        const auto &progress = w.prompts.progresses.last();
        // Fed once the dialog shows the earlier files decoded and the decode waits for the pipe.
        if (!progress->open || progress->values.isEmpty() || progress->values.last() == 0)
            return;
        if (!feed(O_NONBLOCK))
            return;
        fed = fedFromEvents = true;
        statusDuringDecode = QString::fromStdString(w.fixture.storedSession().status);
        valuesWhileWaiting = progress->values;
        feeder.stop();
    });
    feeder.start(5);
    // Were the decode on this thread, nothing could feed the pipe: this one does after a while,
    // and the test fails instead of hanging.
    std::thread fallback([&] {
        for (int i = 0; i < 400 && !fed; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        if (!fed.exchange(true))
            feed(0);
    });
    w.prompts.directories.enqueue(card);
    w.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    const bool imported = w.workflow.importFolder(w.fixture.target());
    fed = true;
    fallback.join();
    QVERIFY(imported);
    QVERIFY(fedFromEvents);
    // The session changes only at the end.
    QCOMPARE(statusDuringDecode, QString("OPEN"));
    QCOMPARE(QString::fromStdString(w.fixture.storedSession().status), QString("LOADED"));
    const auto progress = w.prompts.progresses.last();
    QCOMPARE(progress->setup.title, QString("Importazione dati."));
    QCOMPARE(progress->setup.maximum, 1000);
    QVERIFY(!progress->open);
    // Bytes decoded of the total: part of the way while waiting, all of it at the end.
    QVERIFY(valuesWhileWaiting.last() > 0 && valuesWhileWaiting.last() < 1000);
    QVERIFY(std::is_sorted(progress->values.begin(), progress->values.end()));
    QCOMPARE(progress->values.last(), 1000);
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt"})
        QVERIFY2(readFile(w.fixture.sessionFolder() + "/" + name) == readFile(reference + "/" + name), name);
#else
    QSKIP("named pipes are a POSIX test device");
#endif
}

KRN_TEST_GUILESS_MAIN(FolderImportTest)
#include "tst_folderimport.moc"
