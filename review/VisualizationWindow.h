#pragma once

#include <QImage>
#include <QWidget>

class Database;

// The recording review page. Its plots, navigation and events come with the review work; for now
// it carries the page's identity, the state the page flow hands it and the signals the main window
// and the toolbar are wired to.
class VisualizationWindow : public QWidget
{
    Q_OBJECT
public:
    explicit VisualizationWindow(Database *database, QWidget *parent = nullptr);

    void setSessionId(int id) { m_sessionId = id; }
    int sessionId() const { return m_sessionId; }
    void setEventsLocked(bool locked) { m_eventsLocked = locked; }
    bool eventsLocked() const { return m_eventsLocked; }

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

private:
    Database *m_database;
    int m_sessionId = -1;
    bool m_eventsLocked = true;
};
