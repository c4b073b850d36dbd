#include "db/Password.h"

#include <QCryptographicHash>

std::string passwordDigest(const QString &password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex().toStdString();
}
