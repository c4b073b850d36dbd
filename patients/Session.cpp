#include "patients/Session.h"

#include "common/LabelTable.h"

#include <QDateTime>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

Session::Session(const SessionRecord &s, QWidget *parent)
    : QWidget(parent),
      m_date(new QLabel),
      m_buttonImport(new QPushButton),
      m_buttonAnalyze(new QPushButton),
      m_buttonView(new QPushButton)
{
    setObjectName("Session");
    setFixedSize(402, 121);

    auto *panel = new QFrame(this);
    panel->setObjectName("frame");
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    m_date->setObjectName("Date");
    QFont small = m_date->font();
    small.setPointSize(8);
    m_date->setFont(small);
    m_date->setAlignment(Qt::AlignCenter);
    // The tile shows when the session was set up on the recorder, not when recording began.
    m_date->setText(QDateTime::fromSecsSinceEpoch(s.startSetupDate).toLocalTime().toString("d MM yyyy - hh:mm"));

    m_buttonImport->setObjectName("buttonImport");
    m_buttonAnalyze->setObjectName("buttonAnalyze");
    m_buttonView->setObjectName("buttonView");

    auto *grid = new QGridLayout(panel);
    grid->addWidget(m_date, 0, 0, 1, 3);
    grid->addWidget(m_buttonImport, 1, 0);
    grid->addWidget(m_buttonAnalyze, 1, 1);
    grid->addWidget(m_buttonView, 1, 2);

    const LabelTable labels(objectName());
    for (QPushButton *b : {m_buttonImport, m_buttonAnalyze, m_buttonView}) {
        labels.applyAll(b);
        b->setEnabled(false);
    }
    // One step at a time: a recorded session is imported, then analysed, then only viewed. An
    // unknown status offers nothing.
    if (s.status == "OPEN")
        m_buttonImport->setEnabled(true);
    else if (s.status == "LOADED")
        m_buttonAnalyze->setEnabled(true);
    else if (s.status == "ANALYZED")
        m_buttonView->setEnabled(true);
}

void Session::mousePressEvent(QMouseEvent *event)
{
    emit clicked();
    QWidget::mousePressEvent(event);
}
