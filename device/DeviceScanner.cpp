#include "device/DeviceScanner.h"

QString pairingOutcome(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("pair device success");
    case 87:
        return QStringLiteral("pair device failed, invalid parameter");
    case 259:
        return QStringLiteral("pair device failed, device appears paired already");
    case 1223:
        return QStringLiteral("pair device failed, user cancelled");
    default:
        return QStringLiteral("pair device failed, unknown error, code ") + QString::number(code);
    }
}
