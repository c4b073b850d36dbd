#pragma once

#include <QString>

#include <string>

// How USERS.password is stored and compared: the lower-case hexadecimal MD5 digest of the
// password's UTF-8 bytes (32 characters).
std::string passwordDigest(const QString &password);
// The shortest password the workstation's first user and `tavokrn-tool passwd` accept.
constexpr int MinPasswordLength = 8;
