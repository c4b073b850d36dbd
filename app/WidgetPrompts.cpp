#include "app/WidgetPrompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

namespace {

QMessageBox::Icon toQt(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information: return QMessageBox::Information;
    case Prompts::Icon::Warning: return QMessageBox::Warning;
    case Prompts::Icon::Critical: return QMessageBox::Critical;
    case Prompts::Icon::Question: return QMessageBox::Question;
    case Prompts::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(Prompts::Button::Standard standard)
{
    switch (standard) {
    case Prompts::Button::Standard::Ok: return QMessageBox::Ok;
    case Prompts::Button::Standard::Cancel: return QMessageBox::Cancel;
    case Prompts::Button::Standard::Yes: return QMessageBox::Yes;
    case Prompts::Button::Standard::No: return QMessageBox::No;
    case Prompts::Button::Standard::None: break;
    }
    return QMessageBox::NoButton;
}

QMessageBox::ButtonRole toQt(Prompts::Button::Role role)
{
    switch (role) {
    case Prompts::Button::Role::Accept: return QMessageBox::AcceptRole;
    case Prompts::Button::Role::Reject: return QMessageBox::RejectRole;
    case Prompts::Button::Role::Yes: return QMessageBox::YesRole;
    case Prompts::Button::Role::No: return QMessageBox::NoRole;
    }
    return QMessageBox::AcceptRole;
}

class DialogProgress : public Prompts::Progress
{
public:
    DialogProgress(QWidget *parent, const Prompts::ProgressSpec &setup)
        : m_dialog(setup.labelText, setup.cancelText, setup.minimum, setup.maximum, parent,
                   setup.frameless ? Qt::FramelessWindowHint : Qt::WindowFlags())
    {
        if (!setup.title.isEmpty())
            m_dialog.setWindowTitle(setup.title);
        if (setup.cancelText.isEmpty() || setup.withoutCancelButton)
            m_dialog.setCancelButton(nullptr);
        if (setup.fixedWidth > 0)
            m_dialog.setFixedWidth(setup.fixedWidth);
        // A busy dialog has nothing to explain: no "?" in its title bar (Windows adds one to
        // every dialog otherwise).
        m_dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(0);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(setup.minimum);
        m_dialog.show();
        QCoreApplication::processEvents();
    }
    void setLabelText(const QString &text) override { m_dialog.setLabelText(text); }
    void setValue(int value) override { m_dialog.setValue(value); }
    bool wasCanceled() const override { return m_dialog.wasCanceled(); }

private:
    QProgressDialog m_dialog;
};

} // namespace

WidgetPrompts::WidgetPrompts(QWidget *parent) : m_parent(parent) {}

void WidgetPrompts::setParent(QWidget *parent) { m_parent = parent; }

int WidgetPrompts::ask(const Box &box)
{
    QMessageBox message(toQt(box.icon), box.title, box.text, QMessageBox::NoButton, m_parent);
    message.setInformativeText(box.informativeText);
    message.setDetailedText(box.detailedText);
    QVector<QAbstractButton *> buttons;
    for (const Button &b : box.buttons) {
        if (b.standard != Button::Standard::None)
            buttons.append(message.addButton(toQt(b.standard)));
        else
            buttons.append(message.addButton(b.text, toQt(b.role)));
    }
    message.exec();
    return buttons.indexOf(message.clickedButton());
}

QString WidgetPrompts::existingDirectory(const QString &title, const QString &startDir)
{
    return QFileDialog::getExistingDirectory(m_parent, title, startDir, QFileDialog::ShowDirsOnly);
}

QString WidgetPrompts::existingDirectoryKeepingLinks(const QString &title, const QString &startDir)
{
    return QFileDialog::getExistingDirectory(m_parent, title, startDir,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

QString WidgetPrompts::openFileName(const QString &title, const QString &startDir, const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, title, startDir, filter);
}

QString WidgetPrompts::saveFileName(const QString &title, const QString &startPath, const QString &filter)
{
    return QFileDialog::getSaveFileName(m_parent, title, startPath, filter);
}

std::optional<int> WidgetPrompts::integer(const QString &title, const QString &label, int value, int minimum,
                                          int maximum, int step)
{
    bool ok = false;
    const int answer = QInputDialog::getInt(m_parent, title, label, value, minimum, maximum, step, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

std::unique_ptr<Prompts::Progress> WidgetPrompts::progress(const ProgressSpec &setup)
{
    return std::make_unique<DialogProgress>(m_parent, setup);
}

void WidgetPrompts::notice(const QString &text, int milliseconds)
{
    QDialog box(m_parent, Qt::Dialog | Qt::FramelessWindowHint);
    box.setModal(true);
    auto *layout = new QHBoxLayout(&box);
    auto *label = new QLabel(text);
    QFont font = label->font();
    font.setPointSize(10);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    QTimer::singleShot(milliseconds, &box, &QDialog::accept);
    box.exec();
}

std::optional<Prompts::UserForm> WidgetPrompts::userForm(const QString &title, const QString &text,
                                                         const UserForm &shown)
{
    QDialog dialog(m_parent);
    dialog.setWindowTitle(title);
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog.setMinimumWidth(420);
    auto *layout = new QFormLayout(&dialog);
    auto *intro = new QLabel(text);
    intro->setWordWrap(true);
    layout->addRow(intro);
    const auto field = [&](const QString &label, const QString &value, bool secret) {
        auto *edit = new QLineEdit(value);
        if (secret)
            edit->setEchoMode(QLineEdit::Password);
        layout->addRow(label, edit);
        return edit;
    };
    QLineEdit *name = field(QStringLiteral("Nome"), shown.name, false);
    QLineEdit *surname = field(QStringLiteral("Cognome"), shown.surname, false);
    QLineEdit *username = field(QStringLiteral("Nome utente"), shown.username, false);
    QLineEdit *password = field(QStringLiteral("Password"), shown.password, true);
    QLineEdit *again = field(QStringLiteral("Ripeti la password"), shown.passwordAgain, true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // The first empty field has the cursor, so that a form asked again opens on what is missing.
    for (QLineEdit *edit : {name, surname, username, password, again}) {
        if (edit->text().isEmpty()) {
            edit->setFocus();
            break;
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return UserForm{name->text(), surname->text(), username->text(), password->text(), again->text()};
}
