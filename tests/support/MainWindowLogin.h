#pragma once

// Logging in on the real main window as a user does: name, password, the login page's action.

#include "app/KRNMainWindow.h"
#include "app/loginwindow.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QLineEdit>

#include <memory>
#include <string>

inline void logIn(KRNMainWindow &window, const QString &user, const QString &password)
{
    window.loginPage()->userName()->setText(user);
    window.loginPage()->password()->setText(password);
    window.login();
}

// A new main window on the data folder, logged in as a new user "demo" of that role; the boxes
// shown on the way (a small offscreen screen's warning) are cleared.
inline std::unique_ptr<KRNMainWindow> loggedIn(TestDatabase &data, ScriptedPrompts &prompts, const std::string &role = {})
{
    data.addUser("demo", "demo", role);
    auto window = std::make_unique<KRNMainWindow>(data.dataDir(), prompts);
    logIn(*window, "demo", "demo");
    prompts.boxes.clear();
    return window;
}
