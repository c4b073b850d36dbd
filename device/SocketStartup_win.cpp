#include "device/SocketStartup.h"

#include <winsock2.h>

int SocketStartup::start()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketStartup::cleanup() { WSACleanup(); }
