// dwgtext-server's HTTP front: one event loop (libmicrohttpd's, on a thread
// of ours) owns every connection, so that a slow client costs a buffer and
// a timer, never a worker. A request's body
// streams through the intake to an unlinked file as it arrives; once it has
// all come, the connection waits, suspended, while a worker reads the
// drawing, and then the answer goes out.
#ifndef DWGTEXT_SERVER_FRONT_H
#define DWGTEXT_SERVER_FRONT_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace dwgserver {

struct Settings {
    std::string host = "127.0.0.1";
    int port = 9998;                         // 0: any free port
    uint64_t maxBytes = uint64_t{1} << 30;   // the largest body taken, as sent and as decoded
    unsigned workers = 0;                    // 0: one per core
    unsigned queue = 256;                    // drawings waiting for a worker; more get 503
    int timeout = 30;          // seconds a connection may stay silent, and take for a request's head
    uint64_t minRate = 1024;   // bytes a second a body must average, once it has taken the timeout
    unsigned maxConnections = 1024;
    unsigned maxPerAddress = 256;
    int parseTimeout = 300;    // seconds a drawing may take to read
    bool summaryInContent = true;
};

class Front {
public:
    // Serves on listening, a socket bound and listening; false, with the
    // reason on standard error, when the server cannot start.
    explicit Front(const Settings &settings);
    ~Front();
    bool start(int listening);
    // Stops taking connections, answers every request already under way
    // (within a time limit), then closes the rest.
    void stop();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// A socket bound to the host and port and listening, or -1 with the reason
// in error; port 0 takes any free port, and bound says which.
int listenOn(const std::string &host, int port, int &bound, std::string &error);

}  // namespace dwgserver

#endif
