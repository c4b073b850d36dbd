#include "device/DeviceScanner.h"

std::string pairingOutcome(int code)
{
    switch (code) {
    case 0:
        return "pair device success";
    case 87:
        return "pair device failed, invalid parameter";
    case 259:
        return "pair device failed, device appears paired already";
    case 1223:
        return "pair device failed, user cancelled";
    default:
        return "pair device failed, unknown error, code " + std::to_string(code);
    }
}
