// Arbitrary bytes as what a client sends dwgtext-server: one connection on
// loopback to a server running in this process, its bytes sent, its write
// side closed, its answer read to the end. The server's whole handling of a
// request runs on them: the HTTP library's parsing, our checks of the head,
// the routes, the body's intake (chunks, gzip, multipart) and the drawing's
// reading. A crash, undefined behaviour or a leak stops the fuzzer. (How
// long answers take is for the server's tests: the fuzzer waits a few
// seconds for one, then goes on.)
#include <poll.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "front.h"

namespace {

// The server, started on the first input and kept for the run.
int serverPort()
{
    static const int port = [] {
        dwgserver::Settings settings;
        settings.port = 0;
        settings.workers = 1;
        settings.timeout = 1;
        settings.maxBytes = 1 << 20;
        int bound = 0;
        std::string error;
        const int listening = dwgserver::listenOn("127.0.0.1", 0, bound, error);
        static dwgserver::Front front(settings);
        if (listening < 0 || !front.start(listening)) {
            std::fprintf(stderr, "request_fuzzer: cannot serve: %s\n", error.c_str());
            std::abort();
        }
        return bound;
    }();
    return port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(serverPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (client < 0 || ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        std::abort();
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(client, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(client, SHUT_WR);
    // The server answers, or closes the connection, once the request is
    // whole or the client has been silent for its timeout of 1 s (it does
    // not take the closed write side for the end of a body).
    char answer[65536];
    pollfd ready{client, POLLIN, 0};
    while (::poll(&ready, 1, 5000) == 1 && ::recv(client, answer, sizeof answer, 0) > 0) {
    }
    ::close(client);
    return 0;
}
