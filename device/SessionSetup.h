#pragma once

// The set-up of a new session on a connected recorder, from the start button to a started
// recording: calibration mode, the calibration signal collected through the ECG stream, its
// amplitudes checked against the recorder's own factors and ratios, the second battery check,
// the session row, the session identifier and the start of the 24-hour recording.
//
// The steps run on the GUI thread; between them the sequence waits on single-shot timers, so the
// screen stays live while the recorder settles and the signal is collected. Each step blocks
// while it reads the recorder's replies. Whoever owns the sequence drives it: the three timers'
// signals and the link's calibrationFactorFound / endOfCalibration lead to the steps of the same
// names, the link's streamingError to streamingFailed (the main window does this through its
// slots). A step that arrives when the sequence is
// not waiting for it does nothing, so a late timer or signal never runs into a finished sequence.

#include "common/Prompts.h"
#include "db/Records.h"
#include "import/FrameScanner.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class Database;
class RecordBuffer;
class RecorderLink;

// What the sequence needs of the screen, without widgets: the live page's ECG buffer and
// refresh, two toolbar controls, the page flow.
class SetupScreen
{
public:
    virtual ~SetupScreen() = default;
    virtual RecordBuffer &ecgRecords() = 0;
    // While the calibration signal is collected the ECG plots stand still; records keep coming.
    virtual void setEcgRefreshConnected(bool connected) = 0;
    // The toolbar's buttonPlay enabled and buttonStop disabled.
    virtual void enablePlay() = 0;
    virtual void uncheckPrintCheckBox() = 0;
    virtual void resetLiveView() = 0;
    // The recording runs: the patient and session lists are read again and the patient list shown.
    virtual void showStartedSession() = 0;
};

// The sequence's waits; tests shorten them.
struct SetupTiming {
    static constexpr int SettleMs = 5000;      // after the calibration mode was acknowledged
    static constexpr int CollectMs = 10000;    // of calibration signal
    static constexpr int ValuesWaitMs = 5000;  // for the factors and ratios after their request
    int settleMs = SettleMs;
    int collectMs = CollectMs;
    int valuesWaitMs = ValuesWaitMs;
};

class SessionSetup : public QObject
{
    Q_OBJECT
public:
    // The second battery check, before 24 hours of recording: below this the user is asked.
    static constexpr int RecordingBatteryMinimum = 90;

    enum class State {
        Idle,
        Requesting,     // calibration mode asked for
        Settling,       // calibration mode acknowledged, its first seconds are discarded
        Collecting,     // the ECG records are the calibration signal
        FetchingValues, // factors and ratios asked for
        Checking,       // the values are in: checks, session row, identifier, recording
    };

    SessionSetup(RecorderLink &link, SetupScreen &screen, Database &database, Prompts &prompts,
                 SetupTiming timing = SetupTiming(), QObject *parent = nullptr);
    ~SessionSetup() override;

    void setTiming(const SetupTiming &timing) { m_timing = timing; }
    State state() const { return m_state; }
    bool isRunning() const { return m_state != State::Idle; }

    // The start button, for this patient. Refused with a box, before anything is sent, when the
    // patient's fiscal code cannot name a session on the recorder.
    void createNewSession(const PatientRecord &patient);
    void jumpFirstData();
    void initializeNewSession();
    void firstCalibrationStep();
    void calibrationComplete();
    void calibrationErrorSlot();
    // The stream reader failed (the link's own box has said so). While the signal is awaited the
    // set-up ends as without a signal; the recorder, if it still listens, leaves calibration mode.
    void streamingFailed();
    // The page is left or the window closes: the sequence ends at once, without a box and without
    // a word to the recorder (the caller drops the connection).
    void abandon();

signals:
    // The single-shot timers, for the steps jumpFirstData, initializeNewSession and
    // calibrationErrorSlot.
    void settled();
    void collected();
    void valuesOverdue();

private:
    bool canceled() const;
    void setProgress(int value);
    // Ends the sequence: timers stopped, progress dialog closed, the recorder (when still
    // connected) out of calibration mode and its stream back on the live page.
    void finish();
    void stopTimers();
    void leaveCalibrationMode();
    void noCalibrationSignal();
    void refuseIdentifier(const QString &text, const QString &reason);
    void recordingStarted(SessionRecord &session);

    RecorderLink &m_link;
    SetupScreen &m_screen;
    Database &m_database;
    Prompts &m_prompts;
    SetupTiming m_timing;

    State m_state = State::Idle;
    PatientRecord m_patient;
    std::unique_ptr<Prompts::Progress> m_progress;
    // The recorder was put into calibration mode and not yet told to leave it.
    bool m_calibrationMode = false;
    // The calibration reader and decoder were started for this run.
    bool m_capturing = false;
    // Measured on the collected calibration signal, one per ECG channel.
    std::vector<float> m_amplitudes;
    QTimer m_settleTimer;
    QTimer m_collectTimer;
    QTimer m_valuesTimer;
};
