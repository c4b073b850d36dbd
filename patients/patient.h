#pragma once

#include "db/Records.h"

#include <QWidget>

class QLabel;

// One patient's tile in the patient grid: surname and name in upper case, white on the grid.
class patient : public QWidget
{
    Q_OBJECT
public:
    explicit patient(const PatientRecord &p, QWidget *parent = nullptr);

    QLabel *surnameLabel() const { return m_surname; }
    QLabel *nameLabel() const { return m_name; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QLabel *m_surname;
    QLabel *m_name;
};
