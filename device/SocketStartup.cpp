#include "device/SocketStartup.h"

#ifdef _WIN32
#include <winsock2.h>

int SocketStartup::start()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketStartup::cleanup() { WSACleanup(); }

#else

int SocketStartup::start() { return 0; }

void SocketStartup::cleanup() {}

#endif
