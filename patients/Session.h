#pragma once

#include "db/Records.h"

#include <QWidget>

class QLabel;
class QPushButton;

// One recording session's tile under the patient form: its setup date and the import, analyse
// and view buttons, of which only the one the session's status allows is enabled.
class Session : public QWidget
{
    Q_OBJECT
public:
    explicit Session(const SessionRecord &s, QWidget *parent = nullptr);

    QLabel *dateLabel() const { return m_date; }
    QPushButton *buttonImport() const { return m_buttonImport; }
    QPushButton *buttonAnalyze() const { return m_buttonAnalyze; }
    QPushButton *buttonView() const { return m_buttonView; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_date;
    QPushButton *m_buttonImport;
    QPushButton *m_buttonAnalyze;
    QPushButton *m_buttonView;
};
