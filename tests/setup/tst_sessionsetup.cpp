// The session set-up against the simulated recorder, from the start button to the recording:
// the session row, the identifier the recorder is given, the second battery check, and the roads
// where the identifier or the recording is not confirmed or the identifier cannot be made.
#include "tests/support/TestMain.h"
#include "common/Clock.h"
#include "tests/setup/SetupRig.h"

#include <QDir>
#include <QScopeGuard>
#include <QThreadPool>

using setuptest::FiscalCode;
using setuptest::SetupRig;

class SessionSetupTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Clock::setFixed(QDateTime()); }

    void startsTheRecording_data();
    void startsTheRecording();
    void secondBatteryCheck_data();
    void secondBatteryCheck();
    void identifierNotConfirmed();
    void recordingNotConfirmed();
    void sessionRowNotMade();
    void fiscalCodeRefusedBeforeAnythingIsSent();
    void sessionIdBeyondFourDigitsIsRefused();
};

void SessionSetupTest::startsTheRecording_data()
{
    QTest::addColumn<bool>("shortReplies");
    QTest::addColumn<bool>("poolOfOne");
    QTest::newRow("replies whole") << false << false;
    QTest::newRow("replies without check byte") << true << false;
    // A one-core PC: the global pool has one thread, which the link's workers must not need.
    QTest::newRow("global pool of one thread") << false << true;
}

void SessionSetupTest::startsTheRecording()
{
    QFETCH(bool, shortReplies);
    QFETCH(bool, poolOfOne);
    const int poolSize = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(poolOfOne ? 1 : poolSize);
    const auto restorePool = qScopeGuard([poolSize] { QThreadPool::globalInstance()->setMaxThreadCount(poolSize); });
    BluetoothRecorderBehaviour behaviour;
    behaviour.shortReplies = shortReplies;
    SetupRig rig(behaviour);
    // Six sessions before this one: the new row is id 7.
    for (int i = 0; i < 6; ++i)
        rig.data.addSession(FiscalCode, "ANALYZED", 1000 + i);
    const QDateTime now(QDate(2031, 3, 5), QTime(7, 8, 9));
    Clock::setFixed(now);
    QVERIFY(rig.connectAndStream());
    krntest::expectMessage(QtInfoMsg, "Calibrating... ");
    krntest::expectMessage(QtInfoMsg, "Session id : 7");
    krntest::expectMessage(QtInfoMsg, "Battery : 100");
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.boxTexts(), QStringList{"Registrazione sessione attivata|Registrazione iniziata correttamente."});
    QCOMPARE(rig.prompts.progresses.size(), 1);
    const ScriptedPrompts::ProgressRecord &progress = *rig.prompts.progresses.first();
    QCOMPARE(progress.setup.labelText, QString("Calibrazione"));
    QCOMPARE(progress.setup.cancelText, QString("Cancella"));
    QVERIFY(progress.setup.withoutCancelButton);
    QCOMPARE(progress.setup.maximum, 4);
    QCOMPARE(progress.values, (QVector<int>{0, 1, 2, 3, 4}));
    QVERIFY(!progress.open);

    // The recorder took the identifier and wrote its card under it (after its reply, so wait).
    const QByteArray identifier = QByteArray(FiscalCode) + "0007";
    QCOMPARE(rig.recorder.simulator().cardSession(), identifier);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(rig.recorder.simulator().lastCardFolder()).dirName(), QString(identifier), 10000);

    const std::vector<SessionRecord> sessions = rig.sessions();
    QCOMPARE(sessions.size(), std::size_t(7));
    const SessionRecord &row = sessions.front(); // newest recording first
    QCOMPARE(row.id, 7);
    QCOMPARE(row.status, std::string("OPEN"));
    QCOMPARE(row.startSetupDate, now.toSecsSinceEpoch());
    QCOMPARE(row.startRecDate, now.toSecsSinceEpoch());
    // Gain 6, then the recorder's 8 factors.
    const QStringList calibration = QString::fromStdString(row.calibration).split(',');
    QCOMPARE(calibration.size(), 9);
    QCOMPARE(calibration.mid(0, 2), (QStringList{"6", "0.0118519"}));
    QCOMPARE(rig.patientStatus(), std::string("OPEN"));

    // Everything of the set-up is over: the page is reset, the socket closed, the lists shown.
    QVERIFY(!rig.link->isConnected());
    QVERIFY(!rig.link->isCalibrationRunning());
    QVERIFY(rig.link->calibrationFactors().empty());
    QVERIFY(rig.page.ecgRecords().isEmpty());
    QVERIFY(rig.page.isEcgRefreshConnected());
    QCOMPARE(rig.startedShown, 1);
}

void SessionSetupTest::secondBatteryCheck_data()
{
    QTest::addColumn<int>("battery");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("started");
    QTest::newRow("90 passes") << 90 << QString() << false << true;
    QTest::newRow("89 asks, CANCEL ends") << 89 << "CANCEL" << true << false;
}

void SessionSetupTest::secondBatteryCheck()
{
    QFETCH(int, battery);
    QFETCH(QString, answer);
    QFETCH(bool, asked);
    QFETCH(bool, started);
    BluetoothRecorderBehaviour behaviour;
    behaviour.battery = battery;
    SetupRig rig(behaviour);
    rig.prompts.buttons.enqueue("OK"); // the handshake asks below 95
    QVERIFY(rig.connectAndStream());
    if (!answer.isEmpty())
        rig.prompts.buttons.enqueue(answer);
    QVERIFY(rig.run());

    const QString question = "Livello Batteria|La batteria del device selezionato ha un livello di carica insufficiente "
                             "per 24 ore di registrazione, continuare ugualmente?";
    QCOMPARE(rig.prompts.boxTexts().contains(question), asked);
    QCOMPARE(rig.sessions().size(), std::size_t(started ? 1 : 0));
    QCOMPARE(rig.patientStatus(), std::string(started ? "OPEN" : "FREE"));
    // Either way the socket is closed: by the started recording or by the CANCEL.
    QVERIFY(!rig.link->isConnected());
    QVERIFY(rig.recorder.simulator().cardSession().isEmpty() != started);
}

void SessionSetupTest::identifierNotConfirmed()
{
    BluetoothRecorderBehaviour behaviour;
    behaviour.wrongSessionIdEcho = true;
    SetupRig rig(behaviour);
    QVERIFY(rig.connectAndStream());
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.boxTexts(),
             QStringList{"Registrazione fallita|Associazione identificativo sessione fallito. Riprovare"});
    const std::vector<SessionRecord> sessions = rig.sessions();
    QCOMPARE(sessions.size(), std::size_t(1));
    QCOMPARE(sessions.front().status, std::string("OPEN"));
    QCOMPARE(sessions.front().startRecDate, int64_t(0));
    QCOMPARE(rig.patientStatus(), std::string("FREE"));
    // No recording was asked for; the user stays on the live page with the recorder.
    QVERIFY(rig.recorder.simulator().lastCardFolder().isEmpty());
    QVERIFY(rig.link->isConnected());
    QCOMPARE(rig.startedShown, 0);
}

void SessionSetupTest::recordingNotConfirmed()
{
    BluetoothRecorderBehaviour behaviour;
    behaviour.silentAfter = "startrecording";
    SetupRig rig(behaviour);
    // A session the user already has stays whatever happens to the new one.
    const SessionRecord earlier = rig.data.addSession(FiscalCode, "ANALYZED", 1000);
    QVERIFY(rig.connectAndStream());
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.boxTexts(), QStringList{"Registrazione fallita|Registrazione fallita, controllare il device."});
    const std::vector<SessionRecord> sessions = rig.sessions();
    QCOMPARE(sessions.size(), std::size_t(1));
    QCOMPARE(sessions.front().id, earlier.id);
    QCOMPARE(rig.patientStatus(), std::string("FREE"));
    QCOMPARE(rig.startedShown, 0);
}

void SessionSetupTest::sessionRowNotMade()
{
    SetupRig rig;
    QVERIFY(rig.connectAndStream());
    // A patient the database does not know (removed meanwhile): the row is refused.
    rig.patient.fiscalCode = "BNCLRA70A41F205X";
    krntest::expectMessage(QtInfoMsg, "Input session field FC: BNCLRA70A41F205X has no matching in patients list");
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.boxTexts(),
             QStringList{"Registrazione fallita|La sessione non è stata salvata nel database. Riprovare."});
    // Without a row there is no identifier: the recorder is told nothing, and nothing is deleted.
    QVERIFY(rig.recorder.simulator().cardSession().isEmpty());
    QVERIFY(rig.sessions().empty());
    QVERIFY(rig.link->isConnected());
}

void SessionSetupTest::fiscalCodeRefusedBeforeAnythingIsSent()
{
    SetupRig rig;
    QVERIFY(rig.connectAndStream());
    rig.patient.fiscalCode = "RSSMRA80A01H501"; // 15 characters
    krntest::expectMessage(QtInfoMsg, QRegularExpression("^Session identifier refused: .*16 letters and digits"));
    rig.setup.createNewSession(rig.patient);

    QVERIFY(!rig.setup.isRunning());
    QCOMPARE(rig.prompts.boxTexts(),
             QStringList{"Identificativo sessione non valido|Il codice fiscale del paziente non è composto da 16 "
                         "lettere e cifre: il dispositivo non può identificare la sessione. Correggere il codice "
                         "fiscale e riprovare."});
    QVERIFY(rig.prompts.progresses.isEmpty());
    // Not even the streams were stopped: the live page goes on as before.
    QVERIFY(rig.link->isEcgStreaming());
    const quint64 frames = rig.recorder.simulator().framesSent(Stream::Ecg);
    QTRY_VERIFY(rig.recorder.simulator().framesSent(Stream::Ecg) > frames + 20);
    QVERIFY(rig.sessions().empty());
}

void SessionSetupTest::sessionIdBeyondFourDigitsIsRefused()
{
    SetupRig rig;
    // A database that already holds session 9999: the new row would be 10000.
    QVERIFY(rig.data.db().execute({"INSERT INTO SESSIONS (id, patientFC, status, startRecDate, startSetupDate) "
                                   "VALUES (9999, 'RSSMRA80A01H501U', 'ANALYZED', 5, 5)"}));
    QVERIFY(rig.connectAndStream());
    krntest::expectMessage(QtInfoMsg, "Session id : 10000");
    krntest::expectMessage(QtInfoMsg, QRegularExpression("^Session identifier refused: .*10000"));
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.boxTexts(),
             QStringList{"Identificativo sessione non valido|Il numero della nuova sessione supera 9999: il "
                         "dispositivo non può identificare la sessione. Contattare l'assistenza."});
    // Only the set-up's own row went; the recorder never heard of it.
    const std::vector<SessionRecord> sessions = rig.sessions();
    QCOMPARE(sessions.size(), std::size_t(1));
    QCOMPARE(sessions.front().id, 9999);
    QVERIFY(rig.recorder.simulator().cardSession().isEmpty());
    QVERIFY(rig.link->isConnected());
    QCOMPARE(rig.patientStatus(), std::string("FREE"));
}

KRN_TEST_MAIN(SessionSetupTest)
#include "tst_sessionsetup.moc"
