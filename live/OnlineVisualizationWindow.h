#pragma once

#include "device/RecordBuffer.h"

#include <QWidget>

class QString;
class QTimer;

// The live view of the set-up phase. Its plots come with the live streaming work; for now it
// carries the page's identity, the record buffers the stream consumer fills, the refresh timers
// the streaming commands start and stop, and the gain and respiration window the toolbar sets.
class OnlineVisualizationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit OnlineVisualizationWindow(QWidget *parent = nullptr);

    // Filled by the stream consumer (a pool thread), emptied by the refresh steps.
    RecordBuffer &ecgRecords() { return m_ecgRecords; }
    RecordBuffer &breathRecords() { return m_breathRecords; }

    // The refresh timers run while their stream is on.
    void startEcgTimer();
    void stopEcgTimer();
    void startBreathTimer();
    void stopBreathTimer();

    void setGain(int gain) { m_gain = gain; }
    int gain() const { return m_gain; }
    void setBreathWindow(int milliseconds) { m_breathWindowMs = milliseconds; }
    int breathWindow() const { return m_breathWindowMs; }

    // Empties both buffers and the plots; the next records start new clocks.
    void reset();
    // A captured recorder stream replaces both buffers' content.
    bool loadCapture(const QString &path, QString *error);

public slots:
    void realTimeDataEcg();
    void realTimeDataBreath();

private:
    RecordBuffer m_ecgRecords;
    RecordBuffer m_breathRecords;
    QTimer *m_ecgTimer;
    QTimer *m_breathTimer;
    int m_gain = 6;
    int m_breathWindowMs = 10000;
};
