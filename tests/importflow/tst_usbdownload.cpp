// The import from a recorder on a USB port: a real QSerialPort on a pseudo-terminal with the real
// simulated recorder (tavokrn-tool recorder-usb) on the other end, a real database and files.
#include "tests/support/TestMain.h"
#include "db/Database.h"
#include "import/RecorderLog.h"
#include "import/RecordingDecoder.h"
#include "import/RecordingFormat.h"
#include "import/SerialPorts.h"
#include "import/UsbProtocol.h"
#include "tests/importflow/ImportFixture.h"
#include "tests/support/ScriptedPrompts.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

using namespace importtest;

namespace {

const QString eraseQuestion =
    "L’importazione dei dati comporterà la cancellazione di tutti i dati sul dispositivo. Continuare?";
const QString mismatchBox = "Incongruenza paziente - sessione|Incongruenza tra il paziente selezionato e quello associato "
                            "alla sessione registrata sul dispositivo. Selezionare il paziente corretto e riprovare.";
const QString watchdogBox = "Errore importazione dati|Errore lettura dati. Il device potrebbe essere stato disconnesso.";
const QString eraseBox = "Errore nella cancellazione dei file|File non cancellati. Premi OK per riprovare.";
const QString busyBox = "Importazione in corso|È in corso l'importazione dei dati dal dispositivo. Attendere il "
                        "termine e riprovare.";
constexpr int ImportWaitMs = 30000;

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

struct Rig {
    ScriptedPrompts prompts;
    Fixture fixture;
    UsbDownload usb{prompts, fixture.database().db()};
    ImportWorkflow workflow{prompts, fixture.database().db(), usb};
    Rig()
    {
        usb.setTiming(fastTiming());
        // Only the simulated recorder's port: the machine's own serial ports are left alone.
        usb.setPortList([] { return qEnvironmentVariable("TAVOKRN_SERIAL_PORTS").split(':', Qt::SkipEmptyParts); });
    }
};

// A card that both roads decode alike: gain 6, whole frames in every file, no clock restart.
QString agreeingCard(Fixture &fixture, const QString &name, SynthSummary *summary = nullptr)
{
    return fixture.makeCard(name, 0.01, 0.05, 7, summary);
}

} // namespace

class UsbDownloadTest : public QObject
{
    Q_OBJECT
private slots:
    void frameBytes();
    void listedPortsComeFirst();
    void usbImportMatchesFolderImport();
    void clockRestartKeepsImuData();
    void wrongIdentifierWritesNothing();
    void declinedOrSilentRecorderWritesNothing();
    void emptyTransferKeepsCard();
    void logWithoutEndFrame();
    void watchdogOnSilenceAndSecondImportRefused();
    void eraseRefusedThenCancelled();
    void endFrameCutInTwoStillEndsTransfer();
    void secondDownloadReplacesDecodedFiles();
    void logWithoutAcquisitionStartRefused();
    void recordsDroppedBehindTheClockReported();
    void gapPast48HoursRefused();
};

void UsbDownloadTest::frameBytes()
{
    QCOMPARE(usb::identifyRequest(), hex("FEC10101FAC5"));
    QCOMPARE(usb::transferRequest(usb::Transfer::Log), hex("FEC10102F900C5"));
    QCOMPARE(usb::transferRequest(usb::Transfer::EcgBreath), hex("FEC10102F901C4"));
    QCOMPARE(usb::transferRequest(usb::Transfer::Imu), hex("FEC10102F902C7"));
    QCOMPARE(usb::transferEnd(usb::Transfer::Log), hex("FEC10102F800C4"));
    QCOMPARE(usb::transferEnd(usb::Transfer::EcgBreath), hex("FEC10102F801C5"));
    QCOMPARE(usb::transferEnd(usb::Transfer::Imu), hex("FEC10102F802C6"));
    QCOMPARE(usb::eraseRequest(), hex("FEC10101F7C8"));
    QCOMPARE(usb::eraseAcknowledgementHead(), hex("FEC10201F7"));
    QCOMPARE(usb::identifyReplyHead(), hex("FEC10217FA"));

    const QByteArray reply = usb::identifyReply(0x55, 0x01, "RSSMRA80A01H501U0001");
    QCOMPARE(reply.size(), usb::IdentifyReplySize);
    QCOMPARE(usb::sessionIdOf(reply), QByteArray("RSSMRA80A01H501U0001"));
    // A zero byte at offset 12 ends the identifier after 5 bytes.
    QByteArray cut = reply;
    cut[12] = '\0';
    QCOMPARE(usb::sessionIdOf(cut), QByteArray("RSSMR"));
}

void UsbDownloadTest::listedPortsComeFirst()
{
    qputenv("TAVOKRN_SERIAL_PORTS", "/tmp/krn-a::/tmp/krn-b:/tmp/krn-a");
    const QStringList ports = availableSerialPorts();
    qunsetenv("TAVOKRN_SERIAL_PORTS");
    QCOMPARE(ports.mid(0, 2), (QStringList{"/tmp/krn-a", "/tmp/krn-b"}));
    QCOMPARE(ports.count("/tmp/krn-a"), 1);
}

void UsbDownloadTest::usbImportMatchesFolderImport()
{
    // The folder road, for reference.
    Rig folderRig;
    QVERIFY2(folderRig.fixture.isValid(), qPrintable(folderRig.fixture.error()));
    SynthSummary summary;
    const QString card = agreeingCard(folderRig.fixture, "card", &summary);
    QVERIFY(summary.gaps.isEmpty());
    folderRig.prompts.directories.enqueue(card);
    folderRig.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    QVERIFY(folderRig.workflow.importFolder(folderRig.fixture.target()));

    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString recorderCard = copyFolder(card, rig.fixture.scratch("recorder"));
    SimulatedRecorder recorder({"--card", recorderCard, "--erase"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK"; // erase question, then the import dialog
    QSignalSpy ecgDone(&rig.usb, &UsbDownload::downloadEcgBreathFinished);
    QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    // The download goes on after the return: the slot's result is only that of a folder import.
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(rig.usb.isTransferring());
    QVERIFY(completed.wait(ImportWaitMs));
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(completed.takeFirst().at(0).toInt(), 0);
    QCOMPARE(ecgDone.size(), 1);
    QCOMPARE(rig.prompts.boxTexts().size(), 2);
    QCOMPARE(rig.prompts.boxTexts().at(0), eraseQuestion);
    QCOMPARE(rig.prompts.boxes.at(1).buttons.at(0).text, QString("IMPORTA da MICRO SD"));
    QVERIFY(!rig.usb.isTransferring());
    QVERIFY(!rig.usb.serialPort()->isOpen());
    const auto progress = rig.prompts.progresses.last();
    QCOMPARE(progress->setup.labelText, QString("Importazione ECG/BREATH in corso"));
    QVERIFY(!progress->open);

    const QString usbFolder = rig.fixture.sessionFolder();
    const QString cardFolder = folderRig.fixture.sessionFolder();
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt"}) {
        const QByteArray bytes = readFile(usbFolder + "/" + name);
        QVERIFY2(!bytes.isEmpty(), name);
        QVERIFY2(bytes == readFile(cardFolder + "/" + name), name);
    }
    QCOMPARE(readFile(usbFolder + "/logfile.txt"), readFile(card + "/log.txt"));
    QVERIFY(!QFileInfo::exists(UsbDownload::rawEcgBreathPath(usbFolder)));
    QVERIFY(!QFileInfo::exists(UsbDownload::rawImuPath(usbFolder)));

    const SessionRecord s = rig.fixture.storedSession();
    QCOMPARE(QString::fromStdString(s.status), QString("LOADED"));
    QCOMPARE(QString::fromStdString(s.dataPathName), QString::fromStdString(FiscalCode) + "/1");
    QCOMPARE(s.whoImportedID, rig.fixture.user().id);
    QVERIFY(s.importDate >= before && s.importDate <= after);
    QCOMPARE(s.endRecDate, folderRig.fixture.storedSession().endRecDate);
    QCOMPARE(QString::fromStdString(rig.fixture.storedPatient().status), QString("LOADED"));

    // The recorder was told to erase and did.
    QVERIFY(!QFileInfo::exists(recorderCard + "/log.txt"));
    QVERIFY(!QFileInfo::exists(recorderCard + "/s0.txt"));
}

void UsbDownloadTest::clockRestartKeepsImuData()
{
    // A card with missing data after which the recorder's clock restarted: both roads fill the
    // gap, the IMU included, and agree to the byte. Its log ends with a stop mark too many, which
    // must not cost the download the last gap.
    Rig folderRig;
    QVERIFY2(folderRig.fixture.isValid(), qPrintable(folderRig.fixture.error()));
    SynthSummary summary;
    const QString card = folderRig.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QVERIFY(!summary.gaps.isEmpty());
    QFile log(card + "/log.txt");
    QVERIFY(log.open(QIODevice::Append));
    log.write("STOP_MISSING_DATA:" + SynthOptions().start.addSecs(290).toString("yyyyMMddhhmmss").toLatin1() + "\r\n");
    log.close();
    folderRig.prompts.directories.enqueue(card);
    folderRig.prompts.buttons << "CANCEL" << "CONTINUA SENZA SpO2";
    QVERIFY(folderRig.workflow.importFolder(folderRig.fixture.target()));

    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    SimulatedRecorder recorder({"--card", card});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK";
    QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(completed.wait(ImportWaitMs));
    const QByteArray imu = readFile(rig.fixture.sessionFolder() + "/imu.txt");
    // Every IMU frame that reached the card, plus the records filling the gap.
    QVERIFY(quint64(imu.size() / ImuFormat.recordSize)
            > summary.frames[int(Stream::Imu)] - summary.damaged[int(Stream::Imu)]);
    for (const char *name : {"ecg.txt", "breath.txt", "imu.txt"})
        QVERIFY2(readFile(rig.fixture.sessionFolder() + "/" + name) == readFile(folderRig.fixture.sessionFolder() + "/" + name),
                 name);
}

void UsbDownloadTest::wrongIdentifierWritesNothing()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card, "--session-id", QString::fromStdString(FiscalCode) + "0002"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QCOMPARE(rig.prompts.boxTexts(), QStringList{mismatchBox});
    QVERIFY(!rig.usb.isTransferring());
    QVERIFY(!rig.usb.serialPort()->isOpen());
    QVERIFY(!QFileInfo::exists(rig.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
    QVERIFY(QFileInfo::exists(card + "/log.txt"));
}

void UsbDownloadTest::declinedOrSilentRecorderWritesNothing()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    {
        // Cancel on the erase question: no import dialog, nothing written, the port closed.
        SimulatedRecorder recorder({"--card", card, "--erase"});
        QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
        rig.prompts.buttons << "Cancel";
        QVERIFY(!rig.workflow.run(rig.fixture.target()));
        QCOMPARE(rig.prompts.boxTexts(), QStringList{eraseQuestion});
        QVERIFY(!rig.usb.isTransferring());
        QVERIFY(!rig.usb.serialPort()->isOpen());
        QVERIFY(!QFileInfo::exists(rig.fixture.sessionFolder()));
        QVERIFY(QFileInfo::exists(card + "/log.txt"));
    }
    {
        // A port that opens but does not answer is no recorder: the import dialog follows.
        SimulatedRecorder recorder({"--card", card, "--silent-after", "identify"});
        QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
        rig.prompts.boxes.clear();
        rig.prompts.buttons << "OK";
        QVERIFY(!rig.workflow.run(rig.fixture.target()));
        QCOMPARE(rig.prompts.boxes.size(), 1);
        QCOMPARE(rig.prompts.boxes[0].buttons.at(0).text, QString("IMPORTA da MICRO SD"));
        QVERIFY(!rig.usb.serialPort()->isOpen());
        QVERIFY(!QFileInfo::exists(rig.fixture.sessionFolder()));
    }
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
}

void UsbDownloadTest::emptyTransferKeepsCard()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    // The recorder sends nothing but the end frames: the session stays open and the card is kept.
    for (const QString &name : QDir(card).entryList({"s*.txt", "i*.txt"}, QDir::Files)) {
        QFile file(card + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    SimulatedRecorder recorder({"--card", card, "--erase"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^USB import abandoned: Il dispositivo non ha inviato dati"));
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    const QString box = "Errore importazione dati|Il dispositivo non ha inviato dati ECG né respiratori.";
    QTRY_VERIFY_WITH_TIMEOUT(rig.prompts.boxTexts().contains(box), ImportWaitMs);
    QVERIFY(!rig.usb.isTransferring());
    QVERIFY(!rig.usb.importTimer()->isActive());
    QVERIFY(!rig.usb.serialPort()->isOpen());
    QVERIFY(!rig.prompts.progresses.last()->open);
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
    QVERIFY(QFileInfo::exists(card + "/log.txt"));
    QVERIFY(QFileInfo::exists(card + "/s0.txt"));
}

void UsbDownloadTest::logWithoutEndFrame()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card, "--log-without-end"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QCOMPARE(rig.prompts.boxTexts(), QStringList{"Log file non trovato.|Log file non trovato."});
    QVERIFY(!rig.prompts.progresses.first()->open);
    QVERIFY(!QFileInfo::exists(rig.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
}

void UsbDownloadTest::watchdogOnSilenceAndSecondImportRefused()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    UsbTiming timing = fastTiming();
    timing.firstDataMs = 1000;
    rig.usb.setTiming(timing);
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card, "--silent-after", "ecg"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    // A folder import asked for from the dialog while the download runs is refused, and so is a
    // second press of the import button.
    rig.prompts.buttons << "OK" << "IMPORTA da MICRO SD";
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(rig.usb.isTransferring());
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QCOMPARE(rig.prompts.boxTexts().mid(2), (QStringList{busyBox, busyBox}));
    QVERIFY(rig.prompts.chooserTitles.isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(rig.prompts.boxTexts().contains(watchdogBox), 10000);
    QVERIFY(!rig.usb.isTransferring());
    QVERIFY(!rig.usb.importTimer()->isActive());
    QVERIFY(!rig.usb.serialPort()->isOpen());
    QVERIFY(!rig.prompts.progresses.last()->open);
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
    // Only once, although the watchdog repeats.
    QTest::qWait(1500);
    QCOMPARE(rig.prompts.boxTexts().count(watchdogBox), 1);
}

void UsbDownloadTest::eraseRefusedThenCancelled()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card, "--erase", "--refuse-erase", "5"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK" << "OK" << "Cancel"; // retry once, then give up
    QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(completed.wait(ImportWaitMs));
    QCOMPARE(rig.prompts.boxTexts().mid(2), (QStringList{eraseBox, eraseBox}));
    // The decoded data and the import stay; the card was not erased.
    QVERIFY(QFileInfo(rig.fixture.sessionFolder() + "/ecg.txt").size() > 0);
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("LOADED"));
    QVERIFY(QFileInfo::exists(card + "/log.txt"));
    QVERIFY(!rig.usb.serialPort()->isOpen());
}

void UsbDownloadTest::endFrameCutInTwoStillEndsTransfer()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card, "--split-end"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK";
    QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(completed.wait(ImportWaitMs));
    QVERIFY(!rig.prompts.boxTexts().contains(watchdogBox));
    QVERIFY(QFileInfo(rig.fixture.sessionFolder() + "/imu.txt").size() > 0);
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("LOADED"));
}

void UsbDownloadTest::secondDownloadReplacesDecodedFiles()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    SimulatedRecorder recorder({"--card", card});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    QByteArray first[3];
    const char *names[] = {"ecg.txt", "breath.txt", "imu.txt"};
    for (int round = 0; round < 2; ++round) {
        rig.prompts.buttons << "OK" << "OK";
        QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
        QVERIFY(!rig.workflow.run(rig.fixture.target()));
        QVERIFY(completed.wait(ImportWaitMs));
        for (int i = 0; i < 3; ++i) {
            const QByteArray bytes = readFile(rig.fixture.sessionFolder() + "/" + names[i]);
            QVERIFY(!bytes.isEmpty());
            if (round == 0)
                first[i] = bytes;
            else
                QVERIFY2(bytes == first[i], names[i]);
        }
    }
}

void UsbDownloadTest::logWithoutAcquisitionStartRefused()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = agreeingCard(rig.fixture, "card");
    QVERIFY(editLog(card, [](const QByteArray &line) { return line.startsWith("START_ACQ") ? QByteArray() : line; }));
    SimulatedRecorder recorder({"--card", card, "--erase"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    // Refused before the erase question: nothing is downloaded, the card keeps the recording.
    krntest::expectMessage(QtWarningMsg, "USB import refused: the recorder's log has no valid START_ACQ");
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QCOMPARE(rig.prompts.boxTexts(),
             QStringList{"Errore importazione dati|Il log del dispositivo non contiene l'inizio dell'acquisizione "
                         "(START_ACQ): impossibile collocare i dati nel tempo."});
    QVERIFY(!rig.usb.isTransferring());
    QVERIFY(!rig.usb.serialPort()->isOpen());
    QVERIFY(!QFileInfo::exists(rig.fixture.sessionFolder()));
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
    QVERIFY(QFileInfo::exists(card + "/s0.txt"));
}

void UsbDownloadTest::recordsDroppedBehindTheClockReported()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    SynthSummary summary;
    const QString card = rig.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QCOMPARE(summary.gaps.size(), 1);
    // The log lost its missing-data marks: the restart after the gap only sets the clock floor.
    QVERIFY(editLog(card, [](const QByteArray &line) { return line.contains("MISSING_DATA") ? QByteArray() : line; }));
    CardDecodeResult reference;
    QString error;
    QVERIFY2(decodeCardFolder(card, rig.fixture.scratch("reference"), calibration(), &reference, &error), qPrintable(error));
    QVERIFY(reference.droppedMs >= 60000);

    SimulatedRecorder recorder({"--card", card});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK";
    QSignalSpy completed(&rig.usb, &UsbDownload::importCompleted);
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    QVERIFY(completed.wait(ImportWaitMs));
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("LOADED"));
    const Prompts::Box last = rig.prompts.boxes.last();
    QCOMPARE(last.title, QString("Importazione completata"));
    const qint64 seconds = reference.droppedMs / 1000;
    QCOMPARE(last.text, QStringLiteral("Attenzione: %1 min %2 s di registrazione sono stati scartati perché l'orologio "
                                       "del dispositivo è tornato indietro.")
                            .arg(seconds / 60)
                            .arg(seconds % 60));
}

void UsbDownloadTest::gapPast48HoursRefused()
{
    Rig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    SynthSummary summary;
    const QString card = rig.fixture.makeCard("card", 5.0 / 60, 0.5, 3, &summary);
    QCOMPARE(summary.gaps.size(), 1);
    // The gap is logged to end three days on: filled, the recording would pass 48 hours.
    QVERIFY(editLog(card, [](const QByteArray &line) {
        return line.startsWith("STOP_MISSING_DATA")
            ? "STOP_MISSING_DATA:" + SynthOptions().start.addDays(3).toString("yyyyMMddhhmmss").toLatin1()
            : line;
    }));
    SimulatedRecorder recorder({"--card", card, "--erase"});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    rig.prompts.buttons << "OK" << "OK";
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^USB import abandoned: I dati scaricati dal dispositivo supererebbero"));
    QVERIFY(!rig.workflow.run(rig.fixture.target()));
    const QString box = "Errore importazione dati|I dati scaricati dal dispositivo supererebbero le 48 ore di "
                        "registrazione: importazione annullata.";
    QTRY_VERIFY_WITH_TIMEOUT(rig.prompts.boxTexts().contains(box), ImportWaitMs);
    QVERIFY(!rig.usb.isTransferring());
    // Nothing of the download stays in the session folder, and the card keeps the recording.
    QVERIFY(QDir(rig.fixture.sessionFolder()).entryList(QDir::Files).isEmpty());
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("OPEN"));
    QVERIFY(QFileInfo::exists(card + "/s0.txt"));
}

KRN_TEST_GUILESS_MAIN(UsbDownloadTest)
#include "tst_usbdownload.moc"
