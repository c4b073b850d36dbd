#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

// Every message box, question, chooser, input dialog and busy dialog the workstation shows goes
// through this interface. The application installs the widget implementation; tests install a
// scripted one that answers from a queue and records what was asked.
class Prompts
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };

    // A button of a box: a standard one (its text comes from the toolkit) or one with its own text
    // and role. The role decides Escape and default behaviour in the widget implementation.
    struct Button
    {
        enum class Standard { None, Ok, Cancel, Yes, No };
        enum class Role { Accept, Reject, Yes, No };
        Standard standard = Standard::None;
        QString text;
        Role role = Role::Accept;

        static Button ok() { return {Standard::Ok, "OK", Role::Accept}; }
        static Button cancel() { return {Standard::Cancel, "Cancel", Role::Reject}; }
        static Button custom(const QString &text, Role role) { return {Standard::None, text, role}; }
    };

    struct Box
    {
        Icon icon = Icon::None;
        QString title;
        QString text;
        QString informativeText;
        QString detailedText;
        QVector<Button> buttons;
    };

    // A busy or progress dialog, open while the handle lives.
    class Progress
    {
    public:
        virtual ~Progress() = default;
        virtual void setLabelText(const QString &text) = 0;
        virtual void setValue(int value) = 0;
        virtual bool wasCanceled() const = 0;
    };

    struct ProgressSpec
    {
        QString title;
        QString labelText;
        QString cancelText; // empty: no cancel button
        // The dialog keeps its cancel text but shows no button: it is cancelled only by being
        // closed, which the caller looks at when it suits it.
        bool withoutCancelButton = false;
        int minimum = 0;
        int maximum = 0;    // 0..0 is a busy indicator
        int fixedWidth = 0; // 0: natural width
        bool frameless = false;
    };

    // A user's details as typed into the user form, the password twice.
    struct UserForm
    {
        QString name;
        QString surname;
        QString username;
        QString password;
        QString passwordAgain;
    };

    virtual ~Prompts() = default;

    // Shows a modal box and returns the index of the pressed button in box.buttons (-1 when the
    // box was closed without one).
    virtual int ask(const Box &box) = 0;

    virtual QString existingDirectory(const QString &title, const QString &startDir) = 0;
    // The same chooser, keeping a symbolic link the user picks as picked rather than following it
    // to its target. A prompt that cannot tell links apart answers as existingDirectory does.
    virtual QString existingDirectoryKeepingLinks(const QString &title, const QString &startDir)
    {
        return existingDirectory(title, startDir);
    }
    virtual QString openFileName(const QString &title, const QString &startDir, const QString &filter) = 0;
    // A file to write; startPath may name a suggested file. Empty when cancelled.
    virtual QString saveFileName(const QString &title, const QString &startPath, const QString &filter) = 0;
    // An integer from an input dialog; no value when the dialog was cancelled.
    virtual std::optional<int> integer(const QString &title, const QString &label, int value, int minimum,
                                       int maximum, int step) = 0;
    // An application-modal dialog that stays open until the returned handle is destroyed.
    virtual std::unique_ptr<Progress> progress(const ProgressSpec &setup) = 0;
    // A frameless modal notice with one bold line and no button, closing itself after the time.
    virtual void notice(const QString &text, int milliseconds) = 0;
    // A form asking for a user's name, surname, user name and password (twice), opened with the
    // values of `shown`; no value when it was cancelled.
    virtual std::optional<UserForm> userForm(const QString &title, const QString &text, const UserForm &shown) = 0;

    // A box with one OK button.
    void inform(Icon icon, const QString &title, const QString &text);
    // A box with OK and Cancel; true when OK was pressed.
    bool confirm(Icon icon, const QString &title, const QString &text);
};
