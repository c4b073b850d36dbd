#pragma once

#include "common/Prompts.h"

#include <QPointer>

class QWidget;

// The real prompts: Qt message boxes, file dialogs, input and progress dialogs.
class WidgetPrompts : public Prompts
{
public:
    explicit WidgetPrompts(QWidget *parent = nullptr);
    void setParent(QWidget *parent);

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

private:
    QPointer<QWidget> m_parent;
};
