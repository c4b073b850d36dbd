#pragma once

#include <QWidget>

class QButtonGroup;
class QLabel;
class QPushButton;

// The respiration options of the session toolbar: the time window of the live respiration plots
// and which of the five channels are drawn.
class breathFilters : public QWidget
{
    Q_OBJECT
public:
    explicit breathFilters(QWidget *parent = nullptr);

    QButtonGroup *selectDuration() const { return m_selectDuration; }
    QButtonGroup *selectPlot() const { return m_selectPlot; }

private:
    QButtonGroup *m_selectDuration;
    QButtonGroup *m_selectPlot;
};
