#pragma once

#include "db/Records.h"

#include <QList>
#include <QWidget>

class QFrame;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSignalMapper;
class QVBoxLayout;
class Session;
class patient;
class patientInfo;

// Page 0: the patient grid with its search field and new-patient button, the patient form and
// the selected patient's session tiles. The main window fills the grid and the tiles; the page
// holds the widgets and turns the row buttons into row indices through its two mappers.
class IntroWindow : public QWidget
{
    Q_OBJECT
public:
    explicit IntroWindow(QWidget *parent = nullptr);

    QPushButton *buttonNewPatient() const { return m_buttonNewPatient; }
    QLineEdit *editPatientSearch() const { return m_editPatientSearch; }
    // New-session and view buttons, mapped to their row index.
    QSignalMapper *newSessionMapper() const { return m_newSessionMapper; }
    QSignalMapper *viewPatientMapper() const { return m_viewPatientMapper; }
    patientInfo *info() const { return m_info; }
    // The panel of the session tiles.
    QVBoxLayout *sessionLayout() const { return m_sessionLayout; }
    QScrollArea *sessionsScroll() const { return m_sessionsScroll; }

    // One tile per session, in list order; their view, import and analyze buttons are mapped to
    // the tile's index in these three mappers.
    void showSessions(const std::vector<SessionRecord> &sessions);
    void clearSessionTiles();
    const QList<Session *> &sessionTiles() const { return m_sessionTiles; }
    QSignalMapper *viewMapper() const { return m_viewMapper; }
    QSignalMapper *importMapper() const { return m_importMapper; }
    QSignalMapper *analyzeMapper() const { return m_analyzeMapper; }
    // Back from the new-patient form: the panel the form's opening hid comes back.
    void showSessionPanel();

    // Appends one grid row: the patient's tile, its new-session button (disabled while a
    // recording of the patient is "OPEN" on a recorder) and its view button.
    void addPatientRow(const PatientRecord &p);
    // Removes and deletes every row's widgets.
    void clearPatientRows();
    // The row last chosen with a view or new-session button; -1 before any.
    int selectedPatient() const { return m_selectedPatient; }

    // The row widgets in row order.
    const QList<patient *> &patientTiles() const { return m_tiles; }
    const QList<QPushButton *> &newSessionButtons() const { return m_newSessionButtons; }
    const QList<QPushButton *> &viewButtons() const { return m_viewButtons; }

public slots:
    void patientViewSelected(int index);
    void newPatientButtonPressed();

private:
    QPushButton *m_buttonNewPatient;
    QLineEdit *m_editPatientSearch;
    QSignalMapper *m_newSessionMapper;
    QSignalMapper *m_viewPatientMapper;
    QSignalMapper *m_viewMapper;
    QSignalMapper *m_importMapper;
    QSignalMapper *m_analyzeMapper;
    patientInfo *m_info;
    QFrame *m_listFrame;
    QGridLayout *m_grid;
    QScrollArea *m_sessionsScroll;
    QVBoxLayout *m_sessionLayout;
    QList<patient *> m_tiles;
    QList<QPushButton *> m_newSessionButtons;
    QList<QPushButton *> m_viewButtons;
    QList<Session *> m_sessionTiles;
    // Texts of the row buttons, read from the label table once for all rows.
    QString m_newText, m_newTooltip, m_viewText, m_viewTooltip;
    int m_selectedPatient = -1;
};
