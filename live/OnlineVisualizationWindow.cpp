#include "live/OnlineVisualizationWindow.h"

#include <QFile>
#include <QTimer>

OnlineVisualizationWindow::OnlineVisualizationWindow(QWidget *parent)
    : QWidget(parent), m_ecgTimer(new QTimer(this)), m_breathTimer(new QTimer(this))
{
    // The live form has always been named with a capital I; the label table is keyed on it.
    setObjectName("OnlineVisualizationWIndow");
    m_ecgTimer->setInterval(10);
    m_breathTimer->setInterval(20);
    connect(m_ecgTimer, &QTimer::timeout, this, &OnlineVisualizationWindow::realTimeDataEcg);
    connect(m_breathTimer, &QTimer::timeout, this, &OnlineVisualizationWindow::realTimeDataBreath);
}

void OnlineVisualizationWindow::startEcgTimer() { m_ecgTimer->start(); }
void OnlineVisualizationWindow::stopEcgTimer() { m_ecgTimer->stop(); }
void OnlineVisualizationWindow::startBreathTimer() { m_breathTimer->start(); }
void OnlineVisualizationWindow::stopBreathTimer() { m_breathTimer->stop(); }

void OnlineVisualizationWindow::reset()
{
    m_ecgRecords.clear();
    m_breathRecords.clear();
}

bool OnlineVisualizationWindow::loadCapture(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    SampleList ecg;
    SampleList breath;
    parseSampleChunk(file.readAll(), ecg, breath);
    m_ecgRecords.assign(std::move(ecg));
    m_breathRecords.assign(std::move(breath));
    return true;
}

// The plots are not drawn yet: the refresh only keeps the buffers from growing without bound.
void OnlineVisualizationWindow::realTimeDataEcg() { m_ecgRecords.clear(); }
void OnlineVisualizationWindow::realTimeDataBreath() { m_breathRecords.clear(); }
