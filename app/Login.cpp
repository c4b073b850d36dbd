#include "app/Login.h"

#include "db/Password.h"

LoginResult checkLogin(const std::vector<UserRecord> &users, const QString &userName, const QString &password)
{
    const std::string digest = passwordDigest(password);
    const std::string name = userName.toUtf8().toStdString();
    LoginResult result;
    for (size_t i = 0; i < users.size(); ++i) {
        if (users[i].username != name)
            continue;
        result.outcome = LoginResult::Outcome::WrongPassword;
        if (users[i].password == digest)
            return {LoginResult::Outcome::Success, int(i)};
    }
    return result;
}
