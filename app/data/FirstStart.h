#pragma once

#include "common/Prompts.h"

#include <QString>

// The first start on a data folder without a database: the workstation offers to create the
// archive and asks for its first user before anyone can log in. Nothing is written before both
// answers are in; a database file that is there, usable or not, is never replaced.
class FirstStart
{
public:
    enum class Outcome {
        Ready,     // the folder holds a database file (it was there, or it was just made)
        Cancelled, // the user declined: nothing was written, the program quits
        Failed     // the archive could not be made; the reason was shown
    };

    explicit FirstStart(Prompts &prompts) : m_prompts(prompts) {}

    Outcome run(const QString &dataFolder);

private:
    bool create(const QString &dataFolder, const Prompts::UserForm &form);

    Prompts &m_prompts;
};
