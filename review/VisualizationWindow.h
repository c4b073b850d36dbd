#pragma once

#include "review/data/AnalysisResults.h"
#include "review/data/RecordingData.h"
#include "review/data/ReviewState.h"
#include "review/data/ReviewSummaries.h"
#include "review/data/SignalTrace.h"
#include "review/plots/ReviewPlots.h"
#include "report/SnapshotFiles.h"

#include <QImage>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <memory>

class Database;
class EcgPaperPlot;
class HeartRatePlot;
class OverviewPlot;
class Prompts;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QwtPlotPicker;
class SignalPlot;
class TimeStripPlot;

// The recording review page: the twelve leads on ECG paper, respiration, the single-lead page
// with SpO2 and summaries, the events page, the overview and the scroll bar over the recording.
// Every change of tab, window, position, lead or scale re-reads only the visible window from the
// mapped decoded files and rebuilds the curves.
class VisualizationWindow : public QWidget
{
    Q_OBJECT
public:
    using Tab = ReviewState::Tab;
    static constexpr Tab LeadsTab = ReviewState::LeadsTab;
    static constexpr Tab PrecordialTab = ReviewState::PrecordialTab;
    static constexpr Tab BreathTab = ReviewState::BreathTab;
    static constexpr Tab SingleTab = ReviewState::SingleTab;
    static constexpr Tab EventsTab = ReviewState::EventsTab;
    // Fixed widths of the columns beside the plots; the paper fitting leaves them their room.
    static constexpr int LegendWidth = 100;
    static constexpr int SingleControlsWidth = 300;
    static constexpr int EventControlsWidth = 200;
    static constexpr int OverviewHeight = 70;
    static constexpr int HeartRateHeight = 56;

    explicit VisualizationWindow(Database *database, QWidget *parent = nullptr);
    ~VisualizationWindow() override;

    // Where the page asks its questions and shows its failures (none: it asks nothing).
    void setPrompts(Prompts *prompts) { m_prompts = prompts; }
    // Where "Carica analisi" starts looking: the data folder.
    void setDataFolder(const QString &folder) { m_dataFolder = folder; }
    void setSessionId(int id) { m_sessionId = id; }
    int sessionId() const { return m_sessionId; }
    // An analysed session is read-only: accept, reject, accept-and-print and the event mode stay
    // off, whatever the event's state and whichever key is pressed.
    void setEventsLocked(bool locked);
    bool eventsLocked() const { return m_eventsLocked; }

    // Runs on a worker thread: opens the session folder, then hands the result to the GUI
    // thread, which sets the widgets and emits newStartDateTime, breathExtremaEvaluated and
    // loadingFinishedSignal (false, 0 when the folder holds no data; loadErrorString() says why).
    bool loadSessionData(const QString &sessionFolder, qint64 recordingStartSeconds);
    QString loadErrorString() const { return m_loadError; }
    bool hasEcgData() const;
    std::shared_ptr<const RecordingData> recording() const { return m_data; }

    // The analysis tool's folder of the session: the body positions for the summary, the beat
    // list for the beat marks, the analysable segments of each lead and the events, from their
    // rows in the database (converted from the beat file the first time). A database that refuses
    // them is reported with a box.
    void loadAnalysisResults(const QString &folder);
    const AnalysisResults &analysis() const { return m_analysis; }
    bool positionsAvailable() const { return m_analysis.positionsAvailable(); }
    bool annotationsAvailable() const { return m_analysis.annotationsAvailable(); }
    bool splitAvailable(int lead) const { return m_analysis.splitAvailable(lead); }
    int annotationCount() const { return m_analysis.annotationCount(); }
    int normalCount() const { return m_analysis.normalCount(); }
    QString sourceId() const { return m_analysis.events().sourceId(); }

    // What a snapshot of the current tab captures: on the two lead tabs both lead frames, on the
    // others the tab's frame, each with its width over the width of one of its plots.
    QVector<SnapshotCapture> captureCurrentTab() const;
    // The markers of the event shown on the events tab.
    const EventMarks &eventMarks() const { return m_marks; }
    bool eventMode() const { return m_eventMode; }
    bool waitingStart() const { return m_waitingStart; }
    bool waitingEnd() const { return m_waitingEnd; }
    QString newEventType() const { return m_newEventType; }

    void setStartSetupDate(qint64 seconds) { m_startSetupDate = seconds; }
    qint64 startSetupDate() const { return m_startSetupDate; }
    // Review start date-time, seconds since the epoch: the origin of sliderMoved.
    void setStartDateTime(qint64 seconds) { m_startDateTime = seconds; }
    // Label offset of the five clock strips (the acquisition start).
    void setTimeAxisOffset(qint64 seconds);
    void jumpToFirstData();
    // When the user leaves the review: drops the session, back to the default scale and lead.
    void resetView();

    // Keyboard paging (Page Up/Down, arrows, Home, End) of the current tab's window.
    void moveWindow(ReviewState::Move move);
    // Puts the window at a time typed by the user ("hh:mm:ss" on the recording's clock or
    // "+hh:mm:ss" from its start). Empty when the window moved; otherwise what is wrong with the
    // time, short and in full (the window stays).
    struct GoToProblem {
        QString text;
        QString detail;
    };
    GoToProblem goToTime(const QString &text);

    // Window state.
    const ReviewState &state() const { return m_state; }
    unsigned int position() const { return m_state.position; }
    int ecgRange() const { return m_state.ecgRange; }
    int breathRange() const { return m_state.breathRange; }
    int singleRange() const { return m_state.singleRange; }
    int eventsRange() const { return m_state.eventsRange; }
    int sliderRange() const { return m_state.sliderRange; }
    float displayGain() const { return m_state.displayGain; }
    bool autoscale() const { return m_state.autoscale; }
    bool breathAutoscale() const { return m_state.breathAutoscale; }
    int breathHalfRange() const { return m_state.breathHalfRange; }
    int breathBaseline() const { return m_state.breathBaseline; }
    int singleLead() const { return m_state.singleLead; }
    int singleBreath() const { return m_state.singleBreath; }
    bool breathVisible(int channel) const;

    // The plots, in lead-table order, respiration channel order (sum last) and event order.
    const QVector<EcgPaperPlot *> &leadPlots() const { return m_leadPlots; }
    const QVector<SignalPlot *> &breathPlots() const { return m_breathPlots; }
    const QVector<EcgPaperPlot *> &eventPlots() const { return m_eventPlots; }
    EcgPaperPlot *singleEcgPlot() const { return m_ecgSingle; }
    SignalPlot *singleBreathPlot() const { return m_breathSingle; }
    SignalPlot *oximetryPlot() const { return m_imuSingle; }
    const QVector<TimeStripPlot *> &timeStrips() const { return m_strips; }
    OverviewPlot *overviewPlot() const { return m_totalGraph; }
    HeartRatePlot *heartRatePlot() const { return m_heartRate; }
    QScrollBar *scrollBar() const { return m_scrollBar; }
    QTabWidget *tabs() const { return m_tabs; }
    // The click pickers of every signal plot (where a click picks a time on the recording).
    QVector<QwtPlotPicker *> signalPickers() const;

public slots:
    // Re-reads and redraws the current tab.
    void showData();

    // The events tab.
    bool showEvents(int channel);
    bool changeEventType(int event);
    void visualizeEvent(Event *ev);
    void cycleEvents();
    void nextButtonClicked();
    void previousButtonClicked();
    void centerButtonClicked();
    void acceptButtonClicked();
    void acceptPrintButtonClicked();
    void rejectButtonClicked();
    void addEventButtonClicked();
    void addEventTs(const QPointF &point);
    void addEventToDb(bool print);
    void setEvent(const QString &evtype);
    void setPrintNewEvent(int ev);
    void loadAnnotationDataFromFile();
    EventList *getEventList(int channel);

    void selectedEcg(int id);
    void selectedBreath(int id);
    void breathVisibilityChanged(int channel);
    void visualizeBeatsChanged();
    void setAutoscale(bool on);
    void changeScale(int type);
    void setBreathAutoscale(bool on);
    void setBreathScaleValue(int scale);
    void setBreathScaleBaseline(int value);

    void setXAxisRange(double position, double ecgrange, double breathrange, double ranges, double rangev);
    void onSliderMoved(int position);
    void updateSlider();
    void tabChanged();
    void setRangeBreath(int range);
    void setRangeSingle(int range);
    void setRangeEvents(int range);
    void getClickedTs(const QPointF &point);
    // The M key walks the last caliper one interval on; Escape takes every caliper away.
    void marchCaliper();
    void clearCalipers();

signals:
    void newScreenShot(QImage shot, QString text, float ratio, int id);
    void deleteScreenShot(int id);
    void singleBreathScaleChanged(int value);
    void singleBreathBaselineChanged(int value);
    void scaleChosen(bool chosen);
    void breathExtremaEvaluated(int min, int max);
    void newStartDateTime(int seconds);
    void startEventMode();
    void stopEventMode();
    void setLabelEventBar(QString text);
    void loadingFinishedSignal(bool timeCorrect, int duration);
    void sliderMoved(int seconds);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void buildTree();
    void applyLabels();
    void makeConnections();
    void applyLoadedData(const std::shared_ptr<const RecordingData> &data, qint64 recordingStartSeconds);
    void setOximetryEnabled(bool enabled);
    void clearAnalysis();

    void showLeads();
    void showBreath();
    void showSingle();
    void showEventPlots();
    void showOverview();
    // The event the review buttons act on, when the button's action is open to it.
    Event *eventToReview(const QPushButton *button);
    // False, with a box and the event shown as stored, when the database refused the review.
    bool storeReview(bool stored);
    // Accept or reject: the state stored, an earlier snapshot of the event dropped, the next event.
    void reviewWithoutSnapshot(const QPushButton *button, bool (EventStore::*store)(Event *));
    void reportRefusal(const QString &title, const QString &text, const QString &detail);
    // Event mode off, the toolbar told, its prompt cleared.
    void endEventMode();
    QString sessionFolder() const;
    // The ECG records of the window from the position, with the holes over them and the
    // channel means of what they leave.
    struct EcgWindow {
        const EcgRecord *begin;
        const EcgRecord *end;
        WindowHoles holes;
        EcgMeans means;
    };
    EcgWindow ecgWindow(double length) const;
    WindowHoles holesOver(quint32 lastTime) const;
    void drawEcgLead(EcgPaperPlot *plot, int lead, const EcgWindow &window, double pulseWidth) const;
    void showBeatsAndZones(const EcgWindow &window);
    std::pair<const BreathRecord *, const BreathRecord *> breathWindow(double length) const;
    void applyBreathScale(SignalPlot *plot);
    // Autoscales the respiration sum and tells the toolbar the half range and centre it took.
    void evaluateBreathAutoscale();
    void updateScaleLabels();
    void updateSliderLimits();
    ReviewState::SliderLimits currentLimits() const;
    // Every plot on ECG paper: the twelve leads, the single lead, the three event plots.
    QVector<EcgPaperPlot *> paperPlots() const;
    // The time of the tab's last record: where its last window ends.
    qint64 lastDataTime(int tab) const;
    void fitPaperScale();

    Database *m_database;
    Prompts *m_prompts = nullptr;
    QString m_dataFolder = QStringLiteral("DATA");
    int m_sessionId = -1;
    bool m_eventsLocked = true;

    std::shared_ptr<const RecordingData> m_data;
    QString m_loadError;
    qint64 m_recordingStartSeconds = 0;
    qint64 m_startSetupDate = 0;
    qint64 m_startDateTime = 0;
    bool m_oximetryAvailable = false;
    AnalysisResults m_analysis;

    // Event mode: adding an event of the user's.
    bool m_eventMode = false;
    bool m_waitingStart = false;
    bool m_waitingEnd = false;
    QString m_newEventType;
    double m_newEventStart = 0;    // s
    double m_newEventDuration = 0; // s, or the heart rate of "FCMAX" and "FCMIN"
    QStringList m_newEventChannels;
    bool m_printNewEvent = false;
    EventMarks m_marks;

    ReviewState m_state;
    bool m_fitting = false;

    // Widgets.
    QTabWidget *m_tabs = nullptr;
    QScrollBar *m_scrollBar = nullptr;
    OverviewPlot *m_totalGraph = nullptr;
    HeartRatePlot *m_heartRate = nullptr;
    QLabel *m_labelHeartRate = nullptr;
    EcgPaperPlot *m_caliperPlot = nullptr; // where the last caliper was opened
    QLabel *m_labelTotalPlot = nullptr;
    QLabel *m_labelAvailability = nullptr;
    QVector<EcgPaperPlot *> m_leadPlots;
    QVector<SignalPlot *> m_breathPlots;
    QVector<EcgPaperPlot *> m_eventPlots;
    EcgPaperPlot *m_ecgSingle = nullptr;
    SignalPlot *m_breathSingle = nullptr;
    SignalPlot *m_imuSingle = nullptr;
    QVector<TimeStripPlot *> m_strips; // PlotEcg1Scale, PlotEcg2Scale, plotBreathScale, plotSingleScale, plotEventsScale
    QVector<QLabel *> m_scaleLabels;   // labelScale1..12, labelScaleEcgSingle, labelScaleEcgEv1..3
    QVector<QComboBox *> m_eventLeadCombos;
    QVector<QLabel *> m_eventLeadLabels;
    QButtonGroup *m_selectECG = nullptr;
    QButtonGroup *m_selectBreath = nullptr;
    QButtonGroup *m_selectBreathScale = nullptr;
    QButtonGroup *m_selectSingleRange = nullptr;
    QButtonGroup *m_selectEventRange = nullptr;
    QCheckBox *m_visualizeBeats = nullptr;
    QComboBox *m_selectEvent = nullptr;
    QFrame *m_eventsFrame = nullptr;
    QFrame *m_leadFrames[2] = {};
    QFrame *m_breathFrame = nullptr;
    QFrame *m_singleFrame = nullptr;
    QLabel *m_labelIndex = nullptr;
    QLabel *m_labelTot = nullptr;
    QLabel *m_labelChannel = nullptr;
    QLabel *m_labelDuration = nullptr;
    QLabel *m_labelState = nullptr;
    QPushButton *m_buttonBack = nullptr;
    QPushButton *m_buttonForward = nullptr;
    QPushButton *m_buttonCenter = nullptr;
    QPushButton *m_buttonAccept = nullptr;
    QPushButton *m_buttonReject = nullptr;
    QPushButton *m_buttonAcceptPrint = nullptr;
    QLabel *m_labelSleepPosition = nullptr;
    QLabel *m_satValue = nullptr;
    QLabel *m_pulseValue = nullptr;
    QVector<QWidget *> m_oximetryWidgets;
};
