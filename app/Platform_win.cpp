#include "app/Platform.h"

#include <windows.h>

namespace {

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], size);
    return out;
}

} // namespace

bool Platform::hideFolder(const std::string &utf8Path)
{
    std::wstring native = wide(utf8Path);
    for (wchar_t &c : native)
        if (c == L'/')
            c = L'\\';
    return SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

void Platform::debuggerLog(const std::string &utf8Line) { OutputDebugStringW(wide(utf8Line).c_str()); }
