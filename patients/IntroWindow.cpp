#include "patients/IntroWindow.h"

#include "common/LabelTable.h"
#include "patients/Session.h"
#include "patients/patient.h"
#include "patients/patientInfo.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalMapper>
#include <QVBoxLayout>

IntroWindow::IntroWindow(QWidget *parent)
    : QWidget(parent),
      m_buttonNewPatient(new QPushButton),
      m_editPatientSearch(new QLineEdit),
      m_newSessionMapper(new QSignalMapper(this)),
      m_viewPatientMapper(new QSignalMapper(this)),
      m_viewMapper(new QSignalMapper(this)),
      m_importMapper(new QSignalMapper(this)),
      m_analyzeMapper(new QSignalMapper(this)),
      m_info(new patientInfo),
      m_listFrame(new QFrame),
      m_grid(new QGridLayout(m_listFrame)),
      m_sessionsScroll(new QScrollArea),
      m_sessionLayout(new QVBoxLayout)
{
    setObjectName("IntroWindow");
    m_buttonNewPatient->setObjectName("buttonNewPatient");
    m_editPatientSearch->setObjectName("editPatientSearch");
    m_editPatientSearch->setClearButtonEnabled(true);
    m_info->setObjectName("info");

    // Left: the patient list.
    auto *patientLabel = new QLabel(QStringLiteral(
        "<html><head/><body><p><span style=\" font-size:12pt; font-weight:600;\">Lista pazienti</span></p>"
        "</body></html>"));
    patientLabel->setObjectName("patientLabel");
    auto *labelPatientSearch = new QLabel;
    labelPatientSearch->setObjectName("labelPatientSearch");
    auto *searchRow = new QHBoxLayout;
    searchRow->addWidget(labelPatientSearch);
    searchRow->addWidget(m_editPatientSearch, 1);
    searchRow->addSpacing(12);
    searchRow->addWidget(m_buttonNewPatient);

    m_listFrame->setObjectName("listFrame");
    m_grid->setAlignment(Qt::AlignTop);
    m_grid->setContentsMargins(12, 12, 12, 12);
    m_grid->setColumnStretch(3, 1);
    auto *scrollArea = new QScrollArea;
    scrollArea->setObjectName("scrollArea");
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setWidget(m_listFrame);

    auto *left = new QVBoxLayout;
    left->addWidget(patientLabel);
    left->addLayout(searchRow);
    left->addWidget(scrollArea, 1);

    // Right: the form, and under it the selected patient's sessions.
    auto *sessionLabel = new QLabel(QStringLiteral(
        "<html><head/><body><p><span style=\" font-size:12pt; font-weight:600;\">Lista sessioni</span></p>"
        "</body></html>"));
    sessionLabel->setObjectName("sessionLabel");
    sessionLabel->setFixedHeight(90);
    // The caption sits on the page above the panel, in the accent colour like the login texts.
    sessionLabel->setStyleSheet("color: #30375e;");
    sessionLabel->setContentsMargins(12, 0, 0, 0);
    auto *sessionWidget = new QWidget;
    sessionWidget->setObjectName("sessionWidget");
    sessionWidget->setAttribute(Qt::WA_StyledBackground);
    sessionWidget->setLayout(m_sessionLayout);
    m_sessionLayout->setObjectName("sessionLayout");
    m_sessionLayout->setAlignment(Qt::AlignTop);
    m_sessionLayout->setContentsMargins(12, 12, 12, 12);
    auto *sessionContent = new QWidget;
    sessionContent->setObjectName("sessionContent");
    auto *sessionColumn = new QVBoxLayout(sessionContent);
    sessionColumn->setContentsMargins(0, 0, 0, 0);
    sessionColumn->addWidget(sessionLabel);
    sessionColumn->addWidget(sessionWidget, 1);
    m_sessionsScroll->setObjectName("sessionsScroll");
    m_sessionsScroll->setWidgetResizable(true);
    m_sessionsScroll->setWidget(sessionContent);
    m_sessionsScroll->hide();

    auto *right = new QVBoxLayout;
    right->addWidget(m_info);
    right->addWidget(m_sessionsScroll, 1);
    right->addStretch(0);

    auto *page = new QHBoxLayout(this);
    page->setSpacing(16);
    page->addLayout(left, 1);
    page->addLayout(right, 1);

    const LabelTable labels(objectName());
    labels.applyAll(m_buttonNewPatient);
    labels.applyText(labelPatientSearch);
    m_newText = labels.label("new");
    m_newTooltip = labels.tooltip("new");
    m_viewText = labels.label("view");
    m_viewTooltip = labels.tooltip("view");

    connect(m_buttonNewPatient, &QPushButton::clicked, m_info, &patientInfo::addNewPatient);
    connect(m_buttonNewPatient, &QPushButton::clicked, this, &IntroWindow::newPatientButtonPressed);
    connect(m_viewPatientMapper, &QSignalMapper::mappedInt, this, &IntroWindow::patientViewSelected);
    connect(m_viewPatientMapper, &QSignalMapper::mappedInt, m_info, &patientInfo::patientViewSelected);
}

void IntroWindow::addPatientRow(const PatientRecord &p)
{
    const int row = m_tiles.size();
    auto *tile = new patient(p, m_listFrame);
    auto *newSession = new QPushButton(m_newText, m_listFrame);
    newSession->setObjectName("new");
    newSession->setToolTip(m_newTooltip);
    auto *view = new QPushButton(m_viewText, m_listFrame);
    view->setObjectName("view");
    view->setToolTip(m_viewTooltip);
    // A patient whose recording is still on a recorder cannot start another one.
    newSession->setEnabled(p.status != "OPEN");

    m_grid->addWidget(tile, row, 0);
    m_grid->addWidget(newSession, row, 1);
    m_grid->addWidget(view, row, 2);
    m_newSessionMapper->setMapping(newSession, row);
    m_viewPatientMapper->setMapping(view, row);
    connect(newSession, &QPushButton::clicked, m_newSessionMapper, qOverload<>(&QSignalMapper::map));
    connect(view, &QPushButton::clicked, m_viewPatientMapper, qOverload<>(&QSignalMapper::map));

    m_tiles.append(tile);
    m_newSessionButtons.append(newSession);
    m_viewButtons.append(view);
}

void IntroWindow::clearPatientRows()
{
    // Deleting a button also drops its mapping.
    auto removeAll = [this](auto &widgets) {
        for (QWidget *w : widgets) {
            m_grid->removeWidget(w);
            delete w;
        }
        widgets.clear();
    };
    removeAll(m_tiles);
    removeAll(m_newSessionButtons);
    removeAll(m_viewButtons);
}

void IntroWindow::patientViewSelected(int index)
{
    m_selectedPatient = index;
    m_sessionsScroll->show();
}

void IntroWindow::newPatientButtonPressed()
{
    m_sessionsScroll->hide();
}

void IntroWindow::showSessionPanel() { m_sessionsScroll->show(); }

void IntroWindow::showSessions(const std::vector<SessionRecord> &sessions)
{
    clearSessionTiles();
    for (size_t j = 0; j < sessions.size(); ++j) {
        auto *tile = new Session(sessions[j]);
        m_sessionTiles.append(tile);
        m_sessionLayout->addWidget(tile);
        const struct {
            QPushButton *button;
            QSignalMapper *mapper;
        } routes[] = {{tile->buttonImport(), m_importMapper},
                      {tile->buttonAnalyze(), m_analyzeMapper},
                      {tile->buttonView(), m_viewMapper}};
        for (const auto &route : routes) {
            route.mapper->setMapping(route.button, int(j));
            connect(route.button, &QPushButton::clicked, route.mapper, qOverload<>(&QSignalMapper::map));
        }
    }
}

void IntroWindow::clearSessionTiles()
{
    // Later, not now: the list is rebuilt from a tile's own button when an import or a review
    // ends, and that button is still on the call stack.
    for (Session *tile : qAsConst(m_sessionTiles)) {
        m_sessionLayout->removeWidget(tile);
        tile->hide();
        tile->deleteLater();
    }
    m_sessionTiles.clear();
}
