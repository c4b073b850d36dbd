#pragma once

#include <QMainWindow>

class QLabel;
class QLineEdit;
class QPushButton;

// Page 3: the login box. The check itself is the main window's login().
class loginwindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit loginwindow(QWidget *parent = nullptr);

    QLineEdit *userName() const { return m_userName; }
    QLineEdit *password() const { return m_password; }
    QPushButton *buttonLogin() const { return m_buttonLogin; }
    QPushButton *buttonQuit() const { return m_buttonQuit; }

    // Puts the remembered user name in place, so the user only has to type the password.
    void setRememberedUser(const QString &userName);
    // Without a usable database nobody can log in: the fields and the login button are disabled,
    // only "Esci" is left.
    void setLoginUnavailable();

public slots:
    void manageLoginButton(QString s);

private:
    QLineEdit *m_userName;
    QLineEdit *m_password;
    QPushButton *m_buttonLogin;
    QPushButton *m_buttonQuit;
};
