#include "device/SessionSetup.h"

#include "common/Clock.h"
#include "db/Database.h"
#include "device/CalibrationCheck.h"
#include "device/RecordBuffer.h"
#include "device/RecorderLink.h"

#include <QDebug>
#include <QStringList>

namespace {

const char *const IdentifierTitle = "Identificativo sessione non valido";

QString joined(const std::vector<float> &values)
{
    QStringList texts;
    for (float v : values)
        texts << QString::number(double(v));
    return texts.join(' ');
}

// The session's calibration column: the gain, then each channel's factor in at most 6
// significant digits, fixed or exponent notation, whichever is shorter.
QString calibrationText(int gain, const std::vector<float> &factors)
{
    QString text = QString::number(gain);
    for (float factor : factors)
        text += ',' + QString::number(double(factor), 'g', 6);
    return text;
}

} // namespace

SessionSetup::SessionSetup(RecorderLink &link, SetupScreen &screen, Database &database, Prompts &prompts,
                           SetupTiming timing, QObject *parent)
    : QObject(parent), m_link(link), m_screen(screen), m_database(database), m_prompts(prompts), m_timing(timing)
{
    for (QTimer *timer : {&m_settleTimer, &m_collectTimer, &m_valuesTimer})
        timer->setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, &SessionSetup::settled);
    connect(&m_collectTimer, &QTimer::timeout, this, &SessionSetup::collected);
    connect(&m_valuesTimer, &QTimer::timeout, this, &SessionSetup::valuesOverdue);
}

SessionSetup::~SessionSetup() { abandon(); }

bool SessionSetup::canceled() const { return m_progress && m_progress->wasCanceled(); }

void SessionSetup::setProgress(int value)
{
    if (m_progress)
        m_progress->setValue(value);
}

void SessionSetup::stopTimers()
{
    m_settleTimer.stop();
    m_collectTimer.stop();
    m_valuesTimer.stop();
}

// --- The steps --------------------------------------------------------------------------------------

void SessionSetup::createNewSession(const PatientRecord &patient)
{
    if (isRunning()) {
        qInfo().noquote() << "Session set-up already running";
        return;
    }
    // The identifier is the fiscal code and the new row's id: a code that cannot be part of it is
    // refused before the recorder is touched. The id is known only once the row exists.
    QString reason;
    if (calibration::sessionIdentifier(QString::fromStdString(patient.fiscalCode), 0, &reason).isEmpty()) {
        refuseIdentifier("Il codice fiscale del paziente non è composto da 16 lettere e cifre: il dispositivo non "
                         "può identificare la sessione. Correggere il codice fiscale e riprovare.",
                         reason);
        return;
    }
    m_patient = patient;
    m_amplitudes.clear();
    m_state = State::Requesting;

    Prompts::ProgressSpec progress;
    progress.labelText = "Calibrazione";
    progress.cancelText = "Cancella";
    progress.withoutCancelButton = true;
    progress.minimum = 0;
    progress.maximum = 4;
    m_progress = m_prompts.progress(progress);
    setProgress(0);

    // The stop commands go out even for a stream that is off.
    m_link.stopEcgStreaming();
    m_link.stopBreathStreaming();
    if (!m_link.drainSocket()) {
        finish();
        return;
    }
    switch (m_link.startCalibration()) {
    case RecorderLink::Reply::Failed:
        finish();
        return;
    case RecorderLink::Reply::Unconfirmed:
        qInfo().noquote() << "Error sending calibration command";
        finish();
        return;
    case RecorderLink::Reply::Confirmed:
        break;
    }
    m_calibrationMode = true;
    qInfo().noquote() << "Calibrating... ";
    m_screen.ecgRecords().clear();
    m_screen.setEcgRefreshConnected(false);
    m_link.startEcgStreaming();
    if (canceled()) {
        qInfo().noquote() << " 1 ";
        finish();
        return;
    }
    m_state = State::Settling;
    m_settleTimer.start(m_timing.settleMs);
}

void SessionSetup::jumpFirstData()
{
    if (m_state != State::Settling)
        return;
    // The first seconds of calibration mode are thrown away; what follows is the signal.
    setProgress(1);
    m_link.stopEcgStreaming();
    m_screen.ecgRecords().clear();
    m_link.startEcgStreaming();
    if (canceled()) {
        qInfo().noquote() << " 2 ";
        finish();
        return;
    }
    m_state = State::Collecting;
    m_collectTimer.start(m_timing.collectMs);
}

void SessionSetup::initializeNewSession()
{
    if (m_state != State::Collecting)
        return;
    setProgress(2);
    const SampleList records = m_screen.ecgRecords().copy();
    m_link.stopEcgStreaming();
    if (records.empty()) {
        noCalibrationSignal();
        return;
    }
    if (canceled()) {
        qInfo().noquote() << " 3 ";
        finish();
        return;
    }
    if (!m_link.stopCalibration()) {
        finish();
        return;
    }
    m_calibrationMode = false;

    m_amplitudes = calibration::measureAmplitudes(records);
    qInfo().noquote() << "Ampiezza onda di calibrazione : " + joined(m_amplitudes);
    m_screen.uncheckPrintCheckBox();
    if (canceled()) {
        qInfo().noquote() << " 4 ";
        finish();
        return;
    }

    // The calibration reader takes the socket; the ECG stream keeps its chunks filling until the
    // value frames have come through.
    m_link.startCalibrationCapture();
    m_capturing = true;
    m_link.startEcgStreaming();
    if (!m_link.requestCalibrationFactor() || canceled()) {
        finish();
        return;
    }
    m_state = State::FetchingValues;
    m_valuesTimer.start(m_timing.valuesWaitMs);
}

void SessionSetup::firstCalibrationStep()
{
    if (m_state != State::FetchingValues)
        return;
    if (!m_link.requestCalibrationRatio())
        finish();
}

void SessionSetup::calibrationErrorSlot()
{
    if (m_state != State::FetchingValues)
        return;
    m_prompts.inform(Prompts::Icon::Critical, "Valori di calibrazione non ricevuti",
                     "Valori di calibrazione non ricevuti. Riprovare.");
    finish();
}

void SessionSetup::calibrationComplete()
{
    if (m_state != State::FetchingValues)
        return;
    // From here on the 5-second error no longer applies.
    m_state = State::Checking;
    m_valuesTimer.stop();
    setProgress(3);
    m_link.stopEcgStreaming();
    m_screen.setEcgRefreshConnected(true);

    const std::vector<float> factors = m_link.calibrationFactors();
    const std::vector<float> ratios = m_link.calibrationRatios();
    qInfo().noquote() << "Calibration factor : " + joined(factors);
    qInfo().noquote() << "Calibration ratio : " + joined(ratios);
    qInfo().noquote() << "Calibration amplitudes : " + joined(m_amplitudes);
    m_link.stopCalibrationCapture();
    m_capturing = false;

    QString reason;
    if (!calibration::checkRatios(m_amplitudes, factors, ratios, &reason)) {
        qInfo().noquote() << "Calibration refused: " + reason;
        m_prompts.inform(Prompts::Icon::Critical, "Calibrazione errata.",
                         "Calibrazione errata. Riprovare e se l'operazione non va a buon fine contattare il "
                         "fabbricante.");
        finish();
        return;
    }
    const QString calibration = calibrationText(m_link.currentGain(), factors);

    if (!m_link.drainSocket()) {
        finish();
        return;
    }
    const std::optional<RecorderLink::BatteryStatus> battery = m_link.batteryLevelAndSDStatus();
    if (!battery) {
        finish();
        return;
    }
    qInfo().noquote() << "Battery : " + QString::number(battery->level);
    if (battery->level < RecordingBatteryMinimum) {
        const int answer = m_prompts.ask(RecorderLink::lowBatteryQuestion(
            "La batteria del device selezionato ha un livello di carica insufficiente per 24 ore di registrazione, "
            "continuare ugualmente?"));
        if (!isRunning())
            return; // abandoned while the question was open
        if (answer != 0) {
            m_link.disconnectDevice();
            finish();
            return;
        }
    }
    if (!m_link.drainSocket()) {
        finish();
        return;
    }
    setProgress(4);
    m_progress.reset();

    SessionRecord session;
    session.patientFC = m_patient.fiscalCode;
    session.status = "OPEN";
    session.startSetupDate = Clock::nowSeconds();
    session.calibration = calibration.toStdString();
    if (!m_database.insertSession(session)) {
        // Without the row there is no id to give the recorder, and nothing to delete later.
        m_prompts.inform(Prompts::Icon::Critical, "Registrazione fallita",
                         "La sessione non è stata salvata nel database. Riprovare.");
        finish();
        return;
    }
    qInfo().noquote() << "Session id : " + QString::number(session.id);

    const QString identifier =
        calibration::sessionIdentifier(QString::fromStdString(session.patientFC), session.id, &reason);
    if (identifier.isEmpty()) {
        // The row was made a moment ago by this set-up and nothing names it yet: it goes, so that
        // no session the recorder never heard of is left behind.
        m_database.deleteSession(session.id);
        refuseIdentifier("Il numero della nuova sessione supera 9999: il dispositivo non può identificare la "
                         "sessione. Contattare l'assistenza.",
                         reason);
        finish();
        return;
    }
    switch (m_link.sendSessionId(identifier.toLatin1())) {
    case RecorderLink::Reply::Failed:
        finish();
        return;
    case RecorderLink::Reply::Unconfirmed:
        // The row stays "OPEN" without a recording start: the recorder may have kept the name.
        m_prompts.inform(Prompts::Icon::Critical, "Registrazione fallita",
                         "Associazione identificativo sessione fallito. Riprovare");
        finish();
        return;
    case RecorderLink::Reply::Confirmed:
        break;
    }
    switch (m_link.startRecording()) {
    case RecorderLink::Reply::Failed:
        // Reported by the link; the command did not even go out.
        m_database.deleteSession(session.id);
        finish();
        return;
    case RecorderLink::Reply::Unconfirmed:
        m_prompts.inform(Prompts::Icon::Critical, "Registrazione fallita",
                         "Registrazione fallita, controllare il device.");
        m_database.deleteSession(session.id);
        finish();
        return;
    case RecorderLink::Reply::Confirmed:
        break;
    }
    recordingStarted(session);
}

void SessionSetup::recordingStarted(SessionRecord &session)
{
    m_prompts.inform(Prompts::Icon::Information, "Registrazione sessione attivata",
                     "Registrazione iniziata correttamente.");
    session.startRecDate = Clock::nowSeconds();
    m_database.updateSession(session);
    m_patient.status = "OPEN";
    m_database.updatePatient(m_patient);
    m_screen.resetLiveView();
    m_link.disconnectDevice();
    m_link.clearCalibrationValues();
    finish();
    m_screen.showStartedSession();
}

// --- Ending ------------------------------------------------------------------------------------------

void SessionSetup::finish()
{
    stopTimers();
    m_state = State::Idle;
    if (m_capturing) {
        m_capturing = false;
        if (m_link.isEcgStreaming())
            m_link.stopEcgStreaming();
        m_link.stopCalibrationCapture();
    }
    if (m_link.isConnected()) {
        leaveCalibrationMode();
        // The stream consumer ended when the capture began; the live page needs it back.
        if (m_link.isConnected())
            m_link.startStreamConsumer();
    }
    m_calibrationMode = false;
    m_screen.setEcgRefreshConnected(true);
    m_screen.enablePlay();
    m_progress.reset();
}

void SessionSetup::leaveCalibrationMode()
{
    if (!m_calibrationMode)
        return;
    // Left in calibration mode the recorder would stream its square wave as the patient's ECG.
    m_calibrationMode = false;
    // The stop goes out even when the link has given the stream up: the recorder may still send,
    // and the drain after stopCalibration would never meet the silence it waits for.
    const bool ecgWasOn = m_link.isEcgStreaming();
    m_link.stopEcgStreaming();
    if (m_link.stopCalibration() && ecgWasOn)
        m_link.startEcgStreaming();
}

void SessionSetup::abandon()
{
    if (!isRunning())
        return;
    qInfo().noquote() << "Session set-up abandoned";
    stopTimers();
    m_state = State::Idle;
    if (m_capturing) {
        m_capturing = false;
        m_link.stopCalibrationCapture();
    }
    m_calibrationMode = false;
    m_screen.setEcgRefreshConnected(true);
    m_progress.reset();
}

void SessionSetup::noCalibrationSignal()
{
    m_prompts.inform(Prompts::Icon::Critical, "Segnale di calibrazione non ricevuto.",
                     "Segnale di calibrazione non ricevuto. Riprovare.");
    finish();
}

void SessionSetup::streamingFailed()
{
    if (m_state != State::Settling && m_state != State::Collecting)
        return;
    qInfo().noquote() << "ECG stream lost while the calibration signal was awaited";
    noCalibrationSignal();
}

void SessionSetup::refuseIdentifier(const QString &text, const QString &reason)
{
    qInfo().noquote() << "Session identifier refused: " + reason;
    m_prompts.inform(Prompts::Icon::Critical, IdentifierTitle, text);
}
