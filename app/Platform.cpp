#include "app/Platform.h"

#include <QDebug>
#include <QDir>

#ifdef _WIN32
#include <windows.h>

bool Platform::hideFolder(const QString &path)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    return SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
}

#else

bool Platform::hideFolder(const QString &path)
{
    qInfo().noquote() << "Folder attributes are not changed on this system: " + path;
    return true;
}

#endif
