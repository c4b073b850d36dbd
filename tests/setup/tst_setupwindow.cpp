// The new-session road through the real main window, offscreen, against the simulated recorder
// named by TAVOKRN_RECORDER_SIM: the device dialog, the handshake, the live page streaming, the
// start button, the calibration, the started recording and the patient page with the new "OPEN"
// session; and a set-up that is still waiting when the live page is left or the window closed.
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "device/SessionSetup.h"
#include "device/ui/BluetoothDialog.h"
#include "device/ui/BluetoothEntry.h"
#include "live/OnlineVisualizationWindow.h"
#include "patients/IntroWindow.h"
#include "patients/Session.h"
#include "tests/setup/SetupRig.h"
#include "tests/support/MainWindowLogin.h"

#include <QDir>
#include <QSettings>
#include <QStackedWidget>

using setuptest::FiscalCode;

class SetupWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newSessionToStartedRecording();
    void leftWhileWaiting_data();
    void leftWhileWaiting();

private:
    // Logged in, the patient's new-session button pressed, the recorder picked: the live page.
    std::unique_ptr<KRNMainWindow> onLivePage(const SetupTiming &timing);

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_cards;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<SimulatedRecorder> m_recorder;
};

void SetupWindowTest::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void SetupWindowTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
    BluetoothRecorderBehaviour behaviour = setuptest::fastRecorder();
    behaviour.out = m_cards.path();
    behaviour.recordSeconds = 5;
    m_recorder = std::make_unique<SimulatedRecorder>(behaviour);
    QVERIFY(m_recorder->isListening());
    qputenv(simulator::EnvironmentVariable, m_recorder->simulator().address().toLatin1());
}

void SetupWindowTest::cleanup()
{
    qunsetenv(simulator::EnvironmentVariable);
    m_recorder.reset();
}

std::unique_ptr<KRNMainWindow> SetupWindowTest::onLivePage(const SetupTiming &timing)
{
    m_data->addUser("demo", "demo");
    m_data->addPatient(FiscalCode, "Rossi", "Mario");
    auto w = std::make_unique<KRNMainWindow>(m_data->dataDir(), *m_prompts);
    w->setDeviceTiming(setuptest::fastLink(), timing);
    logIn(*w, "demo", "demo");
    w->show();
    w->introWindow()->newSessionButtons().first()->click();
    if (!QTest::qWaitFor([&] { return !w->bluetoothDialog()->isSearching() && !w->bluetoothDialog()->rows().isEmpty(); },
                         5000))
        return nullptr;
    w->bluetoothDialog()->rows().first()->pairButton()->click();
    m_prompts->boxes.clear();
    return w;
}

void SetupWindowTest::newSessionToStartedRecording()
{
    auto w = onLivePage(setuptest::fastSetup());
    QVERIFY(w);
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    const viewSubmenu::Controls &bar = w->toolbar()->ui();
    bar.buttonplayecg->click();
    bar.buttonplaybreath->click();
    QTRY_VERIFY(w->onlineVisualizationWindow()->ecgTraces().pointCount(1) > 0);

    bar.buttonStartSession->click();
    QTRY_COMPARE_WITH_TIMEOUT(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage), 10000);

    QCOMPARE(m_prompts->boxTexts(), QStringList{"Registrazione sessione attivata|Registrazione iniziata correttamente."});
    QCOMPARE(m_prompts->progresses.size(), 1);
    QCOMPARE(m_prompts->progresses.first()->values, (QVector<int>{0, 1, 2, 3, 4}));
    QVERIFY(!m_prompts->progresses.first()->open);
    QVERIFY(!w->recorderLink().isConnected());
    QVERIFY(!w->isOnLivePage());

    // The patient page: the patient is "OPEN" (no second session), the new session waits for its
    // import.
    QCOMPARE(w->currentPatient()->status, std::string("OPEN"));
    QVERIFY(!w->introWindow()->newSessionButtons().first()->isEnabled());
    QCOMPARE(w->sessionTileList().size(), 1);
    QVERIFY(w->sessionTileList().first()->buttonImport()->isEnabled());
    QCOMPARE(w->sessionList().size(), std::size_t(1));
    const SessionRecord &session = w->sessionList().front();
    QCOMPARE(session.status, std::string("OPEN"));
    QVERIFY(session.startRecDate > 0);
    QVERIFY(QString::fromStdString(session.calibration).startsWith("6,0.0118519,"));

    // The recorder writes its card under the identifier it was given, once it has replied.
    const QString identifier = QString(FiscalCode) + "0001";
    QCOMPARE(QString::fromLatin1(m_recorder->simulator().cardSession()), identifier);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->simulator().lastCardFolder(), m_cards.filePath(identifier), 10000);
    QVERIFY(QDir(m_cards.filePath(identifier)).exists("log.txt"));
}

void SetupWindowTest::leftWhileWaiting_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("back to the patient list") << false;
    QTest::newRow("window closed") << true;
}

void SetupWindowTest::leftWhileWaiting()
{
    QFETCH(bool, closeWindow);
    // Long enough to be still collecting when the page goes.
    SetupTiming timing = setuptest::fastSetup();
    timing.collectMs = 600;
    auto w = onLivePage(timing);
    QVERIFY(w);
    w->toolbar()->ui().buttonStartSession->click();
    QTRY_COMPARE(w->sessionSetup().state(), SessionSetup::State::Collecting);

    krntest::expectMessage(QtInfoMsg, "Session set-up abandoned");
    if (closeWindow) {
        QVERIFY(w->close());
    } else {
        m_prompts->buttons.enqueue("OK");
        w->toolbar()->ui().buttonBack->click();
        QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    }
    QVERIFY(!w->sessionSetup().isRunning());
    QVERIFY(!w->recorderLink().isConnected());
    QVERIFY(!w->recorderLink().isStreamReaderRunning());
    QVERIFY(!m_prompts->progresses.first()->open);
    QVERIFY(w->onlineVisualizationWindow()->isEcgRefreshConnected());
    // The collecting timer was stopped: no step and no box comes after.
    const int boxes = m_prompts->boxes.size();
    QTest::qWait(timing.collectMs + 200);
    QCOMPARE(m_prompts->boxes.size(), boxes);
    std::vector<SessionRecord> sessions;
    QVERIFY(m_data->db().listSessions(FiscalCode, sessions));
    QVERIFY(sessions.empty());
}

KRN_TEST_MAIN(SetupWindowTest)
#include "tst_setupwindow.moc"
