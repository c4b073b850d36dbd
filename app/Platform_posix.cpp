#include "app/Platform.h"

#include <sys/stat.h>

#include <cstdio>

bool Platform::hideFolder(const std::string &utf8Path)
{
    // Only Windows has a hidden attribute; the folder stays as it is.
    std::printf("Folder attributes are not changed on this system: %s\n", utf8Path.c_str());
    return true;
}

void Platform::keepNewFilesPrivate(int groupBits)
{
    // Others never get anything; the group only what it was given.
    umask(mode_t(S_IRWXO | (~(groupBits << 3) & S_IRWXG)));
}

void Platform::debuggerLog(const std::string &) {}
