// Test server for the URL health probe: plain HTTP/1.1 on 127.0.0.1, on a
// port the system picks, each connection on a thread of its own and kept
// open between requests. Usage: http_server REPORT-FILE [PORT]; without a
// port the system picks one. A port given is taken even while connections
// of an instance that was killed on it linger.
//
// Once it listens, REPORT-FILE appears holding the port and a line end
// (written beside it, then renamed, so it is never seen half-written); the
// path of every request read is then appended to it, a line each. Answers
// by path:
//   /ok         200
//   /fail       503
//   /moved      302 to /fail (a client that followed it would see 503)
//   /slow-body  200 and its headers, but never the body they announce
//   /hang       nothing ever, the connection held open
//   others      404
// Sockets are what socket_shim.h of the system's folder makes them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "socket_shim.h"

namespace {

std::string gReport;
std::mutex gReportLock;

void report(const std::string& line) {
    std::lock_guard<std::mutex> hold(gReportLock);
    if (std::FILE* file = std::fopen(gReport.c_str(), "ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

[[noreturn]] void waitForever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

std::string answerTo(const std::string& path) {
    if (path == "/ok") return "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    if (path == "/fail") return "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 4\r\n\r\nbusy";
    if (path == "/moved") return "HTTP/1.1 302 Found\r\nLocation: /fail\r\nContent-Length: 0\r\n\r\n";
    if (path == "/slow-body") return "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
}

void serve(Socket connection) {
    std::string received;
    char buffer[4096];
    for (;;) {
        const std::size_t end = received.find("\r\n\r\n");
        if (end == std::string::npos) {
            const int length = static_cast<int>(recv(connection, buffer, static_cast<int>(sizeof buffer), 0));
            if (length <= 0) break;
            received.append(buffer, static_cast<std::size_t>(length));
            continue;
        }
        // "GET /path HTTP/1.1"
        const std::size_t from = received.find(' ') + 1;
        const std::string path = received.substr(from, received.find(' ', from) - from);
        received.erase(0, end + 4);
        report(path);
        if (path == "/hang") waitForever();
        const std::string answer = answerTo(path);
        if (send(connection, answer.data(), static_cast<int>(answer.size()), 0) != static_cast<int>(answer.size()))
            break;
        if (path == "/slow-body") waitForever();
    }
    closeSocket(connection);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !startSockets()) return 2;
    gReport = argv[1];
    const Socket listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(argc > 2 ? std::atoi(argv[2]) : 0));
    if (argc > 2) {
        const int reuse = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    }
    socklen_t size = sizeof address;
    if (listener == kNoSocket || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 3;
    const std::string partial = gReport + ".partial";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) return 4;
    std::fprintf(file, "%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    std::fclose(file);
    if (std::rename(partial.c_str(), gReport.c_str()) != 0) return 5;
    for (;;) {
        const Socket connection = accept(listener, nullptr, nullptr);
        if (connection != kNoSocket) std::thread(serve, connection).detach();
    }
}
