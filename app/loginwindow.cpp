#include "app/loginwindow.h"

#include "common/LabelTable.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

loginwindow::loginwindow(QWidget *parent)
    : QMainWindow(parent), m_userName(new QLineEdit), m_password(new QLineEdit), m_buttonLogin(new QPushButton),
      m_buttonQuit(new QPushButton)
{
    setObjectName("loginwindow");
    auto *central = new QWidget(this);
    central->setObjectName("centralwidget");
    setCentralWidget(central);

    auto *loginWidget = new QWidget(central);
    loginWidget->setObjectName("loginWidget");
    loginWidget->setAttribute(Qt::WA_StyledBackground);
    loginWidget->setMaximumWidth(330);

    auto *logo = new QLabel(loginWidget);
    logo->setObjectName("label");
    logo->setPixmap(QPixmap(":/icons/tavo.png"));
    logo->setAlignment(Qt::AlignCenter);

    auto *title = new QLabel(loginWidget);
    title->setObjectName("label_2");
    title->setText("<html><head/><body><p align=\"center\"><span style=\"font-size:16pt; font-weight:600; "
                   "color:#30375e;\">TavoKRN</span></p></body></html>");

    auto *labelLogin = new QLabel(loginWidget);
    labelLogin->setObjectName("labelLogin");
    auto *labelPassword = new QLabel(loginWidget);
    labelPassword->setObjectName("labelPassword");
    m_userName->setParent(loginWidget);
    m_userName->setObjectName("userName");
    m_password->setParent(loginWidget);
    m_password->setObjectName("password");
    m_password->setEchoMode(QLineEdit::Password);
    m_buttonLogin->setParent(loginWidget);
    m_buttonLogin->setObjectName("buttonLogin");
    m_buttonLogin->setEnabled(false);
    m_buttonQuit->setParent(loginWidget);
    m_buttonQuit->setObjectName("buttonQuit");

    auto *maker = new QLabel(loginWidget);
    maker->setObjectName("label_3");
    maker->setText("<html><body><p align=\"center\" style=\"color:#30375e; font-weight:normal; font-size:11px;\">"
                   "Velmor Biomedical Systems<br/><a href=\"https://www.velmor-biomedical.example\">"
                   "www.velmor-biomedical.example</a></p></body></html>");
    maker->setOpenExternalLinks(true);

    auto *fields = new QGridLayout;
    fields->addWidget(labelLogin, 0, 0);
    fields->addWidget(m_userName, 0, 1);
    fields->addWidget(labelPassword, 1, 0);
    fields->addWidget(m_password, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_buttonQuit);
    buttons->addWidget(m_buttonLogin);

    auto *box = new QVBoxLayout(loginWidget);
    box->addWidget(logo);
    box->addWidget(title);
    box->addLayout(fields);
    box->addLayout(buttons);
    box->addWidget(maker);

    // The box sits centred, 150 pixels from the top of the page.
    auto *page = new QVBoxLayout(central);
    page->setContentsMargins(0, 150, 0, 0);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(loginWidget);
    row->addStretch(1);
    page->addLayout(row);
    page->addStretch(1);

    const LabelTable labels(objectName());
    labels.applyText(labelLogin);
    labels.applyText(labelPassword);
    labels.applyAll(m_buttonLogin);
    labels.applyAll(m_buttonQuit);

    connect(m_password, &QLineEdit::textEdited, this, &loginwindow::manageLoginButton);
    connect(m_password, &QLineEdit::returnPressed, m_buttonLogin, &QPushButton::click);
}

void loginwindow::setRememberedUser(const QString &userName)
{
    m_userName->setText(userName);
    setTabOrder(m_password, m_userName);
    m_password->setFocus();
}

void loginwindow::setLoginUnavailable()
{
    m_userName->setEnabled(false);
    m_password->setEnabled(false);
    m_buttonLogin->setEnabled(false);
}

void loginwindow::manageLoginButton(QString s) { m_buttonLogin->setEnabled(!s.isEmpty()); }
