#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class breathFilters;

// The session toolbar above the pages. It holds almost no logic: the main window wires its
// controls and decides which of them each page shows.
class viewSubmenu : public QWidget
{
    Q_OBJECT
public:
    explicit viewSubmenu(QWidget *parent = nullptr);

    // The controls, by the object names they carry.
    struct Controls
    {
        QPushButton *buttonBack, *buttonFiilters, *buttonSnapshot, *buttonExport, *buttonViewPdf;
        QPushButton *buttonPlay, *buttonStop, *buttonStartSession;
        QFrame *framebreath;
        QLabel *breathlabel;
        QPushButton *buttonplaybreath, *buttonstopbreath;
        QFrame *frameecg;
        QLabel *ecglabel;
        QPushButton *buttonplayecg, *buttonstopecg;
        breathFilters *breath;
        QFrame *framegain;
        QLabel *labelgain;
        QComboBox *gainchoice;
        QFrame *nameFrame;
        QLabel *labelPatient, *labelsurname, *labelname;
        QFrame *FrameDate;
        QLabel *labelTime, *labelDate;
        QFrame *frameGoTo;
        QLabel *labelGoTo;
        QLineEdit *lineGoTo; // a time to put the review window at; Ctrl+G reaches it
        QPushButton *loadAnalysisPushButton;
        QPushButton *buttonAutoAnalysis;
        QFrame *frameScaleVis;
        QLabel *label_4;
        QCheckBox *checkBoxAutoscale;
        QLabel *labelScaleVisualize;
        QComboBox *scalechoice;
        QFrame *frameBreathScale;
        QLabel *label_2, *label_3, *label;
        QSlider *breathScaleSlider, *breathBaselineSlider;
        QPushButton *breathAutoButton;
        QFrame *frameAddEvent;
        QPushButton *buttonAddEvent;
        QCheckBox *printCheckBox;
        QLabel *label_5, *labelAddEvent;
        QPushButton *buttonExportEdf;
    };
    const Controls &ui() const { return m_ui; }

    void setName(const QString &name);
    void setSurname(const QString &surname);

public slots:
    void setMinMaxBreath(int min, int max);
    void setStartEventMode();
    void setStopEventMode();
    // After a go-to: what was wrong with the time, shown in the field (selected, so typing
    // replaces it) and in full in its tooltip, or nothing when the window moved.
    void showGoToResult(const QString &problem, const QString &detail = QString());

private:
    Controls m_ui;
};
