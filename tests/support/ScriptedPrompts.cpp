#include "tests/support/ScriptedPrompts.h"

#include <QtTest>

namespace {

class RecordedProgress : public Prompts::Progress
{
public:
    RecordedProgress(std::shared_ptr<ScriptedPrompts::ProgressRecord> record, int cancelAt, int cancelAtCheck)
        : m_record(std::move(record)), m_cancelAt(cancelAt), m_cancelAtCheck(cancelAtCheck)
    {
    }
    ~RecordedProgress() override { m_record->open = false; }
    void setLabelText(const QString &text) override { m_record->setup.labelText = text; }
    void setValue(int value) override
    {
        m_record->values.append(value);
        if (m_cancelAt >= 0 && value >= m_cancelAt)
            m_record->canceled = true;
    }
    bool wasCanceled() const override
    {
        if (m_cancelAtCheck > 0 && ++m_record->checks >= m_cancelAtCheck)
            m_record->canceled = true;
        return m_record->canceled;
    }

private:
    std::shared_ptr<ScriptedPrompts::ProgressRecord> m_record;
    int m_cancelAt;
    int m_cancelAtCheck;
};

} // namespace

int ScriptedPrompts::ask(const Box &box)
{
    boxes.append(box);
    if (box.buttons.isEmpty())
        return -1;
    if (buttons.isEmpty())
        return 0;
    const QString wanted = buttons.dequeue();
    for (int i = 0; i < box.buttons.size(); ++i) {
        if (box.buttons[i].text == wanted)
            return i;
    }
    QTest::qFail(qPrintable(QString("box \"%1\" has no button \"%2\"").arg(box.text, wanted)), __FILE__, __LINE__);
    return -1;
}

QString ScriptedPrompts::existingDirectory(const QString &title, const QString &)
{
    chooserTitles.append(title);
    return directories.isEmpty() ? QString() : directories.dequeue();
}

QString ScriptedPrompts::existingDirectoryKeepingLinks(const QString &title, const QString &startDir)
{
    linkKeepingChoosers.append(title);
    return existingDirectory(title, startDir);
}

QString ScriptedPrompts::openFileName(const QString &title, const QString &, const QString &)
{
    chooserTitles.append(title);
    return files.isEmpty() ? QString() : files.dequeue();
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &startPath, const QString &)
{
    chooserTitles.append(title);
    savePaths.append(startPath);
    return files.isEmpty() ? QString() : files.dequeue();
}

std::optional<int> ScriptedPrompts::integer(const QString &title, const QString &, int, int, int, int)
{
    chooserTitles.append(title);
    return integers.isEmpty() ? std::nullopt : integers.dequeue();
}

std::unique_ptr<Prompts::Progress> ScriptedPrompts::progress(const ProgressSpec &setup)
{
    auto record = std::make_shared<ProgressRecord>();
    record->setup = setup;
    progresses.append(record);
    return std::make_unique<RecordedProgress>(record, cancelProgressAt, cancelProgressAtCheck);
}

void ScriptedPrompts::notice(const QString &text, int) { notices.append(text); }

std::optional<Prompts::UserForm> ScriptedPrompts::userForm(const QString &title, const QString &, const UserForm &shown)
{
    chooserTitles.append(title);
    shownForms.append(shown);
    return userForms.isEmpty() ? std::nullopt : userForms.dequeue();
}

QStringList ScriptedPrompts::boxTexts() const
{
    QStringList texts;
    for (const Box &box : boxes)
        texts.append(box.title.isEmpty() ? box.text : box.title + "|" + box.text);
    return texts;
}
