#pragma once

#include "db/Records.h"

#include <QString>
#include <vector>

// The outcome of checking a user name and password against the users, in list order. A user name
// may be shared by several users: the first one whose password digest matches logs in.
struct LoginResult
{
    enum class Outcome { Success, WrongPassword, UnknownUser };
    Outcome outcome = Outcome::UnknownUser;
    int userIndex = -1; // the matching user on success
};

LoginResult checkLogin(const std::vector<UserRecord> &users, const QString &userName, const QString &password);
