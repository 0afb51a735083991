// What the test HTTP server needs of sockets, on Windows.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

using Socket = SOCKET;
inline constexpr Socket kNoSocket = INVALID_SOCKET;

inline bool startSockets() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
inline void closeSocket(Socket socket) { closesocket(socket); }
