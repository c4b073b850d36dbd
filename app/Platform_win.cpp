#include "app/Platform.h"

#include "common/WinText_win.h"

#include <windows.h>

bool Platform::hideFolder(const std::string &utf8Path)
{
    std::wstring native = wintext::wide(utf8Path);
    for (wchar_t &c : native)
        if (c == L'/')
            c = L'\\';
    return SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

// The per-user application data folder is already closed to other users, and the program's own
// folder carries the access its installation gave it.
void Platform::keepNewFilesPrivate(int) {}

void Platform::debuggerLog(const std::string &utf8Line) { OutputDebugStringW(wintext::wide(utf8Line).c_str()); }
