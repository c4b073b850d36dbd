#pragma once

#include <QDialog>

class QDialogButtonBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTextEdit;

// The small dialog that collects the note of a snapshot and, for the report, its comment with the
// analysed ECG time (hours and minutes). One class for both uses: the time fields are always there
// and only the report reads them; the report sets its own title text and the report mode.
class SnapshotNotesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit SnapshotNotesDialog(QWidget *parent = nullptr);

    // The window says which of the two it collects: "Snapshot" or "Report".
    void setReportMode(bool on)
    {
        m_reportMode = on;
        setWindowTitle(on ? "Report" : "Snapshot");
    }
    bool reportMode() const { return m_reportMode; }
    // Replaces the title label's text (the label table's by default).
    void setTitleText(const QString &text);
    QString titleText() const;

    // The note as an HTML document, as the snapshot text files and the report store it.
    QString noteHtml() const;
    QString hoursText() const;
    QString minutesText() const;

    QLabel *titleLabel() const { return m_labelTitle; }
    QTextEdit *textEdit() const { return m_textEdit; }
    QLineEdit *hourLineEdit() const { return m_hourLineEdit; }
    QLineEdit *minuteLineEdit() const { return m_minuteLineEdit; }
    QFrame *timeFrame() const { return m_timeFrame; }
    QDialogButtonBox *buttonBox() const { return m_buttonBox; }

private:
    bool m_reportMode = false;
    QLabel *m_labelTitle;
    QTextEdit *m_textEdit;
    QFrame *m_timeFrame;
    QLineEdit *m_hourLineEdit;
    QLineEdit *m_minuteLineEdit;
    QDialogButtonBox *m_buttonBox;
};
