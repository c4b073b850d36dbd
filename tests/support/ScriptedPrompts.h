#pragma once

#include "common/Prompts.h"

#include <QQueue>
#include <QStringList>

// Prompts for tests: every box, chooser and dialog is recorded; answers come from queues filled by
// the test. A box with no queued answer presses its first button, a chooser with none is cancelled.
class ScriptedPrompts : public Prompts
{
public:
    struct ProgressRecord
    {
        ProgressSpec setup;
        QVector<int> values;
        bool open = true;
        bool canceled = false;
        int checks = 0; // looks at the cancelled state
    };

    // Answers, consumed in order.
    QQueue<QString> buttons;      // text of the button to press ("OK", "Cancel" or a custom text)
    QQueue<QString> directories;  // folder chooser results ("" cancels)
    QQueue<QString> files;        // file chooser results, to open or to save ("" cancels)
    QQueue<std::optional<int>> integers;
    QQueue<std::optional<UserForm>> userForms; // none left: the form is cancelled
    // A progress dialog reports itself cancelled once it has been set to this value (-1: never).
    int cancelProgressAt = -1;
    // A progress dialog reports itself cancelled from the Nth look at its state on (1 for the
    // first; -1: never), wherever its value stands.
    int cancelProgressAtCheck = -1;

    // What was asked.
    QVector<Box> boxes;
    QStringList chooserTitles;
    QStringList linkKeepingChoosers; // folder choosers asked not to resolve symbolic links
    QStringList savePaths;        // the suggested path of each save chooser
    QVector<std::shared_ptr<ProgressRecord>> progresses;
    QStringList notices;       // texts of the self-closing notices, which return at once here
    QVector<UserForm> shownForms; // what each user form opened with

    int ask(const Box &box) override;
    QString existingDirectory(const QString &title, const QString &startDir) override;
    QString existingDirectoryKeepingLinks(const QString &title, const QString &startDir) override;
    QString openFileName(const QString &title, const QString &startDir, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &startPath, const QString &filter) override;
    std::optional<int> integer(const QString &title, const QString &label, int value, int minimum, int maximum,
                               int step) override;
    std::unique_ptr<Progress> progress(const ProgressSpec &setup) override;
    void notice(const QString &text, int milliseconds) override;
    std::optional<UserForm> userForm(const QString &title, const QString &text, const UserForm &shown) override;

    // The texts of the boxes asked so far, in order ("title|text" when the box has a title).
    QStringList boxTexts() const;
};
