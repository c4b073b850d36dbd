#include "device/SocketStartup.h"

// BlueZ sockets need no start-up.
int SocketStartup::start() { return 0; }

void SocketStartup::cleanup() {}
