#pragma once

#include <QString>

namespace Platform {
// Gives a folder the Windows hidden attribute; elsewhere folders are left as they are and the
// call only logs. False when the attribute could not be set.
bool hideFolder(const QString &path);
}
