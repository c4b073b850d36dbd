#include "patients/patient.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

patient::patient(const PatientRecord &p, QWidget *parent)
    : QWidget(parent), m_surname(new QLabel), m_name(new QLabel)
{
    setObjectName("patient");
    setFixedSize(449, 58);

    auto *panel = new QFrame(this);
    panel->setObjectName("frame");
    panel->setFrameShape(QFrame::NoFrame);
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    m_surname->setObjectName("Surname");
    m_surname->setStyleSheet("color: white;");
    m_name->setObjectName("Name");
    m_name->setStyleSheet("color : white;");
    for (QLabel *l : {m_surname, m_name}) {
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
    }
    m_surname->setText(QString::fromStdString(p.surname).toUpper());
    m_name->setText(QString::fromStdString(p.name).toUpper());

    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(10, 10, 10, 10);
    row->addWidget(m_surname);
    row->addWidget(m_name);
    row->addStretch(1);
}

void patient::mousePressEvent(QMouseEvent *event)
{
    emit clicked();
    QWidget::mousePressEvent(event);
}
