#pragma once

#include <QString>

// The settings store holds one thing: the user name of the last successful login.
namespace AppSettings {
QString lastUsername();
void setLastUsername(const QString &username);
}
