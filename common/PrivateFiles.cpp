#include "common/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>

int PrivateFiles::groupBits(const QString &dataFolder)
{
    const QFileInfo info(dataFolder);
    if (!info.isDir())
        return 0;
    const QFileDevice::Permissions p = info.permissions();
    return (p.testFlag(QFileDevice::ReadGroup) ? 4 : 0) | (p.testFlag(QFileDevice::WriteGroup) ? 2 : 0)
        | (p.testFlag(QFileDevice::ExeGroup) ? 1 : 0);
}

QFileDevice::Permissions PrivateFiles::forFolder(const QString &dataFolder)
{
    const int group = groupBits(dataFolder);
    QFileDevice::Permissions p = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    if (group & 4)
        p |= QFileDevice::ReadGroup;
    if (group & 2)
        p |= QFileDevice::WriteGroup;
    if (group & 1)
        p |= QFileDevice::ExeGroup;
    return p;
}

QFileDevice::Permissions PrivateFiles::forFile(const QString &dataFolder)
{
    return forFolder(dataFolder)
        & ~QFileDevice::Permissions(QFileDevice::ExeOwner | QFileDevice::ExeUser | QFileDevice::ExeGroup);
}

bool PrivateFiles::makeFolder(const QString &path, QString *error)
{
    const QString target = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The missing levels, outermost first, so that each is made private before anything goes in.
    QStringList missing;
    for (QString level = target; !QFileInfo::exists(level) && !QDir(level).isRoot();
         level = QFileInfo(level).absolutePath())
        missing.prepend(level);
    for (const QString &level : missing) {
        if (!QDir().mkdir(level) && !QFileInfo(level).isDir()) {
            if (error)
                *error = QStringLiteral("cannot create folder %1").arg(level);
            return false;
        }
        QFile::setPermissions(level, forFolder(QString()));
    }
    if (!QFileInfo(target).isDir()) {
        if (error)
            *error = QStringLiteral("%1 is not a folder").arg(target);
        return false;
    }
    return true;
}
