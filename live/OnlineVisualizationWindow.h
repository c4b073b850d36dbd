#pragma once

#include <QWidget>

// The live view of the set-up phase. Its plots come with the live streaming work; for now it
// carries the page's identity and the gain and respiration window the toolbar sets.
class OnlineVisualizationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit OnlineVisualizationWindow(QWidget *parent = nullptr);

    void setGain(int gain) { m_gain = gain; }
    int gain() const { return m_gain; }
    void setBreathWindow(int milliseconds) { m_breathWindowMs = milliseconds; }
    int breathWindow() const { return m_breathWindowMs; }

private:
    int m_gain = 6;
    int m_breathWindowMs = 10000;
};
