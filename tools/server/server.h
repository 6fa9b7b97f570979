// dwgtext-server: the texts and properties of DWG drawings over HTTP, for
// indexing pipelines that send each document to an extraction server.
#ifndef DWGTEXT_SERVER_SERVER_H
#define DWGTEXT_SERVER_SERVER_H

#include <cstdint>
#include <string>

namespace httplib {
class Server;
}

namespace dwgserver {

struct Settings {
    std::string host = "127.0.0.1";
    int port = 9998;                            // 0: any free port
    uint64_t maxBytes = uint64_t{1} << 30;      // the largest body taken
    unsigned workers = 0;                       // 0: one per core
    int timeout = 30;     // seconds a client may leave a read or write waiting, and take for a head
    int bodyTimeout = 600;  // seconds a whole body may take to arrive
};

// The routes, the limits, the workers and the access log on standard error.
void configure(httplib::Server &server, const Settings &settings);

}  // namespace dwgserver

#endif
