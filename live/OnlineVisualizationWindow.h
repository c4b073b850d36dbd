#pragma once

#include "device/RecordBuffer.h"
#include "live/data/LiveRefresh.h"

#include <QWidget>

#include <array>

class LiveBreathPlot;
class LiveEcgPlot;
class QString;
class QTimer;
class LiveTimeStrip;

// The live view of the set-up phase: the twelve ECG leads in two columns of strips, the five
// respiration channels and their sum, each column with the recorder's clock under it. The
// stream consumer (a pool thread) fills the two record buffers; two timers move the records
// whose time has come onto the plots, 500 ms behind the recorder, so that the traces scroll
// evenly although the records arrive in bursts.
class OnlineVisualizationWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int EcgRefreshMs = 10;
    static constexpr int BreathRefreshMs = 20;
    static constexpr int DefaultBreathWindowMs = 10000;
    // The ECG strips take their records every 10 ms but are redrawn at most every 20 ms: twelve
    // repaints a hundred times a second would keep the GUI thread busy for little to see. Each
    // redraw shows the traces as they stand at that moment.
    static constexpr int EcgRedrawMs = 20;

    // now: the clock the traces play on (tests pass their own).
    explicit OnlineVisualizationWindow(QWidget *parent = nullptr, MonotonicClock now = steadyClock());

    // Filled by the stream consumer (a pool thread), emptied by the refresh steps.
    RecordBuffer &ecgRecords() { return m_ecgRecords; }
    RecordBuffer &breathRecords() { return m_breathRecords; }

    // The refresh timers run while their stream is on.
    void startEcgTimer();
    void stopEcgTimer();
    void startBreathTimer();
    void stopBreathTimer();
    QTimer *ecgTimer() const { return m_ecgTimer; }
    QTimer *breathTimer() const { return m_breathTimer; }
    // While calibrating the ECG records keep arriving but the plots stand still: the timer stays
    // on and is only detached from the ECG refresh. Attaching twice attaches once.
    void setEcgRefreshConnected(bool connected);
    bool isEcgRefreshConnected() const { return m_ecgRefreshConnected; }

    // The divisor of every ECG value: the recorder's current gain.
    void setGain(int gain) { m_ecg.setDivisor(gain); }
    int gain() const { return m_ecg.divisor(); }
    void setBreathWindow(int milliseconds);
    int breathWindow() const { return m_breathWindowMs; }
    int ecgWindow() const { return m_ecg.windowMs(); }

    // Empties both buffers and all traces; the next records start new clocks.
    void reset();
    // Replays a captured recorder byte stream: the page is reset and both buffers take every
    // ECG and respiration frame of the file (the refresh timers then play them in real time).
    bool loadCapture(const QString &path, QString *error);

    // The plots, for the page's users and tests. ECG index = lead index (0 V6, 1 I, 2 II, 3 V2,
    // 4 V3, 5 V4, 6 V5, 7 V1, 8 III, 9 aVR, 10 aVL, 11 aVF).
    LiveEcgPlot *ecgPlot(int index) const { return m_ecgPlots[std::size_t(index)]; }
    LiveBreathPlot *breathPlot() const { return m_breathPlot; }
    LiveBreathPlot *breathSumPlot() const { return m_breathSumPlot; }
    // 0 under the left column, 1 under the right one.
    LiveTimeStrip *ecgTimeStrip(int column) const { return m_ecgStrips[std::size_t(column)]; }
    LiveTimeStrip *breathTimeStrip(int column) const { return m_breathStrips[std::size_t(column)]; }
    const EcgRefresh &ecgTraces() const { return m_ecg; }
    const BreathRefresh &breathTraces() const { return m_breath; }

public slots:
    void realTimeDataEcg();
    void realTimeDataBreath();
    // The window that ends at position.
    void setXAxisRangeEcg(double position, double rangeecg = 5000);
    void setXAxisRangeBreath(double position, double rangebreath = 5000);
    // Shows or hides respiration channel 0-4; a hidden channel still counts in the sum.
    void breathVisibilityChanged(int channel);

private:
    void buildPage();
    void setEcgAxes(double position, double range);
    void redrawEcg();
    void alignTimeStrips();
    void showBreathTraces();

    RecordBuffer m_ecgRecords;
    RecordBuffer m_breathRecords;
    EcgRefresh m_ecg;
    BreathRefresh m_breath;
    QTimer *m_ecgTimer;
    QTimer *m_breathTimer;
    MonotonicClock m_now;
    qint64 m_ecgRedrawnAt = 0;
    bool m_ecgRedrawPending = false;
    bool m_ecgRefreshConnected = false;
    int m_breathWindowMs = DefaultBreathWindowMs;

    std::array<LiveEcgPlot *, EcgRefresh::PlotCount> m_ecgPlots{};
    LiveBreathPlot *m_breathPlot = nullptr;
    LiveBreathPlot *m_breathSumPlot = nullptr;
    std::array<LiveTimeStrip *, 2> m_ecgStrips{};
    std::array<LiveTimeStrip *, 2> m_breathStrips{};
};
