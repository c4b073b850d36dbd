#pragma once

// The socket layer the recorder link needs. Windows must start Windows Sockets 2.2 before any
// Bluetooth socket is made; elsewhere there is nothing to start.
namespace SocketStartup {
// Returns 0 when the layer is ready, otherwise the system's error code.
int start();
void cleanup();
}
