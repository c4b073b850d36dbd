#pragma once

#include "common/Prompts.h"
#include "db/Database.h"
#include "db/Records.h"
#include "patients/PatientDirectory.h"
#include "import/RecordingFormat.h"

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <memory>
#include <vector>

class BluetoothDialog;
class DesktopOpener;
class ImportWorkflow;
class IntroWindow;
class OnlineVisualizationWindow;
class LiveSetupScreen;
class RecorderLink;
class SessionSetup;
class QSignalMapper;
class QStackedWidget;
class QTimer;
class Session;
class UsbDownload;
class VisualizationWindow;
class loginwindow;
class viewSubmenu;
struct LinkTiming;
struct SetupTiming;

// The single top-level window: owns the database, the patient, session and user lists, the four
// stacked pages and the session toolbar, decides which page and which toolbar controls are shown,
// and hands each workflow to the class that does the work.
class KRNMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Stacked page indices.
    enum Page { IntroPage = 0, VisualizationPage = 1, OnlineVisualizationPage = 2, LoginPage = 3 };

    // dataFolder holds krnDb.db and one folder per session; it is created (hidden) when missing.
    KRNMainWindow(const QString &dataFolder, Prompts &prompts, QWidget *parent = nullptr);
    ~KRNMainWindow() override;

    // Below 1360 x 768 pixels the twelve leads cannot be drawn at paper scale.
    static bool screenIsSufficient(const QSize &desktop);

    QString dataFolder() const { return m_dataFolder; }
    Database &db() { return database; }
    viewSubmenu *toolbar() const { return m_toolbar; }
    QStackedWidget *stackWidget() const { return m_stackWidget; }
    IntroWindow *introWindow() const { return m_intro; }
    VisualizationWindow *visualizationWindow() const { return m_visualization; }
    OnlineVisualizationWindow *onlineVisualizationWindow() const { return m_online; }
    loginwindow *loginPage() const { return m_login; }
    // The watchdog of the USB download.
    QTimer *importTimer() const;
    UsbDownload *usbDownload() const { return m_usb; }
    BluetoothDialog *bluetoothDialog() const { return m_bluetoothDialog; }
    RecorderLink &recorderLink() const;
    SessionSetup &sessionSetup() const;
    // The recorder's receive timeout and the set-up's waits (tests shorten them).
    void setDeviceTiming(const LinkTiming &link, const SetupTiming &setup);

    int currentPageIndex() const { return currentPage; }
    int previousPageIndex() const { return previousPage; }
    bool isOnLivePage() const { return onLivePage; }
    const UserRecord &loggedInUser() const { return currentUser; }
    const std::vector<PatientRecord> &patientList() const { return m_patients.shown(); }
    const std::vector<SessionRecord> &sessionList() const { return m_patients.sessions(); }
    // The patient whose form and session tiles are shown, whatever a search left in the list.
    const PatientRecord *currentPatient() const { return m_patients.current(); }
    QString currentSessionFolder() const { return sessionFolder; }
    bool isLoadingReview() const { return m_loadingDialog != nullptr; }
    int sessionDuration() const { return sessionDurationMinutes; }

    int currentPatientRow() const { return m_patients.currentRow(); }
    const QList<Session *> &sessionTileList() const;
    // Selects the session the review page works on (the session tiles do this before loading).
    void setCurrentSessionIndex(int index) { currentSessionIndex = index; }
    // What opens a stored report (none: the desktop's own viewer).
    void setDesktopOpener(DesktopOpener *desktop) { m_desktop = desktop; }

signals:
    void downloadEcgBreathFinished(int);
    void downloadImuFinished(int);
    void calibrationFactorFound();
    void endOfCalibration();
    void streamingError();

public slots:
    void pageChanged(int newPage);
    void goToVisualizationPage();
    void goToOnlineVisualizationPage();
    void goToIntroPage();
    void goToPreviousPage();
    void backButtonPressed();

    void login();

    // Patient list, patient form and session tiles (KRNMainWindowPatients.cpp).
    void patientSelected(int index);
    void patientButtonPressed(int index);
    void newPatientButtonPressed();
    void searchPatient(QString text);
    bool saveNewPatient();
    void closeNewPatient();
    void saveSetup();

    // Import of a session's recording (KRNMainWindowImport.cpp).
    bool patientImportButtonPressed(int index);

    // The recorder link (KRNMainWindowDevice.cpp).
    void showBluetoothDialog();
    void bluetoothPairSelect(int index);
    void bluetoothPairSelect();
    void bluetoothDeviceSelected(int index);
    void startStreaming();
    void stopStreaming();
    void startEcgStreaming();
    void stopEcgStreaming();
    void startBreathStreaming();
    void stopBreathStreaming();
    void sendGainCommand(int position);
    void streamingErrorSlot();

    // The set-up of a new session on the connected recorder (KRNMainWindowSetup.cpp).
    void createNewSession();
    void jumpFirstData();
    void initializeNewSession();
    void firstCalibrationStep();
    void calibrationComplete();
    void calibrationErrorSlot();
    // Ends a running set-up at once, before the live page is left or the window closes.
    void timeoutCalibrate();

    void updateTimeDate(int seconds);
    void gotoChangeScaleOnline(int milliseconds);

    // Opening a session for review (KRNMainWindowReview.cpp): the busy dialog stays up while the
    // review window loads the session on a worker thread, until loadingFinished.
    void sessionViewButtonPressed(int index);
    void patientAnalyzeButtonPressed(int index);
    void loadingFinished(bool timeCorrect, int duration);
    // The toolbar's go-to field: the review window to the time typed, or the field says why not.
    void goToTimeEntered();

    // The reviewed session as an EDF+ file (KRNMainWindowExport.cpp).
    void exportEdfButtonPressed();
    void autoAnalysisButtonPressed();

    // Snapshots of the review page with a note, and the review window's event snapshots, in the
    // session folder's "snap" folder (KRNMainWindowSnapshots.cpp).
    void takeSnapshot();
    void addSnapshot(QImage shot, QString text, float ratio, int id);
    void deleteSnapshot(int id);

    // The reviewed session's report (KRNMainWindowReport.cpp): written, and the session closed,
    // while it is not analysed; opened with the desktop's viewer once it is.
    void generatePdf();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWidgets();
    // Says at start-up which database file cannot be used and why, and closes the login.
    void checkDatabase();
    void makeConnections();
    // Patient page (KRNMainWindowPatients.cpp).
    void connectPatientPage();
    void refreshPatientList(const QString &search);
    // Shows the current patient in the form and their sessions as tiles (or clears both).
    void showCurrentPatient();
    bool refuseFailedSave();
    const SessionRecord *currentSession() const;
    // Import (KRNMainWindowImport.cpp).
    void connectImport();
    void reloadAfterImport();
    // Recorder link (KRNMainWindowDevice.cpp).
    void setUpDevice();
    void openDeviceDialog();
    void showStreamControls(Stream stream, bool streaming);
    void runStreamDisplay(Stream stream, bool running);
    void leaveLivePage();
    // Session set-up (KRNMainWindowSetup.cpp).
    void setUpSessionSetup();
    void showStartedSession();
    // Review (KRNMainWindowReview.cpp).
    void startReviewLoad(int index, const QString &dialogTitle, bool setsReviewStart);
    // Snapshots (KRNMainWindowSnapshots.cpp).
    void connectSnapshots();
    // Report (KRNMainWindowReport.cpp).
    void connectReport();
    DesktopOpener &desktop();

    Prompts &m_prompts;
    QString m_dataFolder;

    Database database;
    PatientDirectory m_patients{database};
    int currentSessionIndex = -1;
    std::vector<UserRecord> users;
    UserRecord currentUser;


    int currentPage = -1;
    int previousPage = -1;
    bool onLivePage = false;
    QString sessionFolder;
    std::unique_ptr<Prompts::Progress> m_loadingDialog; // open while a review load runs
    int sessionDurationMinutes = 0;                     // of the last session loaded for review

    QStackedWidget *m_stackWidget = nullptr;
    viewSubmenu *m_toolbar = nullptr;
    IntroWindow *m_intro = nullptr;
    VisualizationWindow *m_visualization = nullptr;
    OnlineVisualizationWindow *m_online = nullptr;
    loginwindow *m_login = nullptr;
    UsbDownload *m_usb = nullptr;
    std::unique_ptr<ImportWorkflow> m_importWorkflow;
    BluetoothDialog *m_bluetoothDialog = nullptr;
    std::unique_ptr<RecorderLink> m_link;
    // After the link: the set-up goes first.
    std::unique_ptr<LiveSetupScreen> m_setupScreen;
    std::unique_ptr<SessionSetup> m_setup;
    bool m_busyCursor = false;
    bool m_socketsStarted = false;
    bool m_databaseUsable = false;
    DesktopOpener *m_desktop = nullptr;
};
