// The new-session road through the real main window, offscreen, against the simulated recorder
// named by TAVOKRN_RECORDER_SIM: the device dialog opened by the new-session button and by
// "Salva e acquisisci", the handshake, the live page with the stream controls, the way back.
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "app/loginwindow.h"
#include "device/RecorderLink.h"
#include "device/ui/BluetoothDialog.h"
#include "device/ui/BluetoothEntry.h"
#include "live/OnlineVisualizationWindow.h"
#include "live/viewSubmenu.h"
#include "patients/FiscalCode.h"
#include "patients/IntroWindow.h"
#include "patients/patientInfo.h"
#include "sim/SyntheticRecorder.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/MainWindowLogin.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>

class DeviceWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newSessionReachesTheLivePage();
    void saveAndAcquireOpensTheDialog();
    void closingWhileStreamingStopsEverything();
    void replayedCaptureNeedsNoRecorder();

private:
    static bool rowsListed(KRNMainWindow &w);

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<SimulatedRecorder> m_recorder;
};

void DeviceWindowTest::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void DeviceWindowTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_recorder = std::make_unique<SimulatedRecorder>();
    QVERIFY(m_recorder->isListening());
    qputenv(simulator::EnvironmentVariable, m_recorder->simulator().address().toLatin1());
}

void DeviceWindowTest::cleanup()
{
    qunsetenv(simulator::EnvironmentVariable);
    m_recorder.reset();
}

bool DeviceWindowTest::rowsListed(KRNMainWindow &w)
{
    return QTest::qWaitFor([&] { return !w.bluetoothDialog()->isSearching() && !w.bluetoothDialog()->rows().isEmpty(); },
                           5000);
}

void DeviceWindowTest::newSessionReachesTheLivePage()
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    auto w = loggedIn(*m_data, *m_prompts);
    w->show();
    QVERIFY(!w->bluetoothDialog()->isVisible());

    w->introWindow()->newSessionButtons().first()->click();
    QVERIFY(w->bluetoothDialog()->isVisible());
    QVERIFY(rowsListed(*w));
    const QList<BluetoothEntry *> rows = w->bluetoothDialog()->rows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0]->name(), QString("TAVO_SIM01"));

    rows[0]->pairButton()->click();
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Livello batteria : 100 \nStato Sd : Vuota"});
    QVERIFY(!w->bluetoothDialog()->isVisible());
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    QVERIFY(w->recorderLink().isConnected());

    // The toolbar's stream buttons drive the recorder; the consumer fills the live page.
    const viewSubmenu::Controls &bar = w->toolbar()->ui();
    bar.buttonplayecg->click();
    QVERIFY(!bar.buttonplayecg->isEnabled());
    QVERIFY(bar.buttonstopecg->isEnabled());
    QVERIFY(w->recorderLink().isStreamReaderRunning());
    bar.buttonplaybreath->click();
    QVERIFY(bar.buttonstopbreath->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(m_recorder->simulator().framesSent(Stream::Breath) > 5, 3000);
    bar.buttonstopbreath->click();
    QVERIFY(bar.buttonplaybreath->isEnabled());
    QVERIFY(w->recorderLink().isEcgStreaming());
    QVERIFY(!w->recorderLink().isBreathStreaming());

    // Back, confirmed: the link is dropped and nothing keeps reading.
    m_prompts->buttons.enqueue("OK");
    bar.buttonBack->click();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    QVERIFY(!w->recorderLink().isConnected());
    QVERIFY(!w->recorderLink().isStreamReaderRunning());
    QVERIFY(bar.buttonplayecg->isEnabled());
    QVERIFY(!bar.buttonstopecg->isEnabled());
}

void DeviceWindowTest::saveAndAcquireOpensTheDialog()
{
    auto w = loggedIn(*m_data, *m_prompts);
    w->introWindow()->buttonNewPatient()->click();
    patientInfo *form = w->introWindow()->info();
    const QDate birth(1975, 5, 5);
    QTest::keyClicks(form->findChild<QLineEdit *>("surname"), "Bianchi");
    QTest::keyClicks(form->findChild<QLineEdit *>("name"), "Maria");
    QTest::keyClicks(form->findChild<QLineEdit *>("cf"), composeFiscalCode("Bianchi", "Maria", birth, true, "H501"));
    QTest::keyClicks(form->findChild<QLineEdit *>("weight"), "58");
    QTest::keyClicks(form->findChild<QLineEdit *>("height"), "165");
    form->findChild<QDateEdit *>("birth")->setDate(birth);
    form->findChild<QRadioButton *>("female")->click();
    QVERIFY(form->buttonSaveSetup()->isEnabled());

    form->buttonSaveSetup()->click();
    QCOMPARE(w->patientList().size(), std::size_t(1));
    QVERIFY(w->bluetoothDialog()->isVisible());
    QVERIFY(rowsListed(*w));
    QCOMPARE(w->toolbar()->ui().labelsurname->text(), QString("Bianchi"));
}

void DeviceWindowTest::closingWhileStreamingStopsEverything()
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    auto w = loggedIn(*m_data, *m_prompts);
    w->show();
    w->introWindow()->newSessionButtons().first()->click();
    QVERIFY(rowsListed(*w));
    w->bluetoothDialog()->rows().first()->pairButton()->click();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    w->toolbar()->ui().buttonplayecg->click();
    QTRY_VERIFY(m_recorder->simulator().framesSent(Stream::Ecg) > 50);

    QVERIFY(w->close());
    QVERIFY(!w->recorderLink().isConnected());
    QVERIFY(!w->recorderLink().isStreamReaderRunning());
    // Nothing more comes once the window is closed.
    QTest::qWait(100);
    const quint64 sent = m_recorder->simulator().framesSent(Stream::Ecg);
    QTest::qWait(100);
    QCOMPARE(m_recorder->simulator().framesSent(Stream::Ecg), sent);
}

void DeviceWindowTest::replayedCaptureNeedsNoRecorder()
{
    // A capture of the recorder's stream: the frames of a synthetic card's first file.
    QTemporaryDir card;
    SynthOptions options;
    options.hours = 2.0 / 3600;
    SynthSummary summary;
    QString error;
    QVERIFY2(writeSyntheticRecording(card.path(), options, &summary, &error), qPrintable(error));
    auto w = loggedIn(*m_data, *m_prompts);
    m_prompts->files.enqueue(card.filePath("s0.txt"));
    w->bluetoothPairSelect();
    QCOMPARE(m_prompts->chooserTitles, QStringList{"Open file"});
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Lo streaming dei dati viene simulato caricando dati da file. Aprire "
                                                "un file dalla prossima finestra."});
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    QVERIFY(w->onlineVisualizationWindow()->ecgRecords().size() > 900);

    // The stream buttons only start and stop the replay: no recorder is asked, nothing fails.
    const viewSubmenu::Controls &bar = w->toolbar()->ui();
    bar.buttonplayecg->click();
    QVERIFY(bar.buttonstopecg->isEnabled());
    w->toolbar()->ui().gainchoice->setCurrentIndex(6);
    QCOMPARE(w->onlineVisualizationWindow()->gain(), 12);
    bar.buttonstopecg->click();
    QVERIFY(bar.buttonplayecg->isEnabled());
    QCOMPARE(m_prompts->boxTexts().size(), 1);
}

KRN_TEST_MAIN(DeviceWindowTest)
#include "tst_devicewindow.moc"
