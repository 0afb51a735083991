// What the test HTTP server needs of sockets, on Linux.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Socket = int;
inline constexpr Socket kNoSocket = -1;

inline bool startSockets() { return true; }
inline void closeSocket(Socket socket) { close(socket); }
