#pragma once

#include <string>

// What the shell needs from the operating system, one file per system behind this header
// (Platform_win.cpp, Platform_posix.cpp). Plain C++ with UTF-8 strings, so that the Windows file
// needs nothing but the Win32 headers.
namespace Platform {
// Gives a folder the Windows hidden attribute; elsewhere folders are left as they are.
// False when the attribute could not be set.
bool hideFolder(const std::string &utf8Path);
// From now on, files and folders this process creates are for their owner only, plus the group
// bits given (read 4, write 2, execute 1), whatever the umask the process was started with.
void keepNewFilesPrivate(int groupBits);
// Hands a diagnostic line to the system's debugger log where there is one (Windows).
void debuggerLog(const std::string &utf8Line);
}
