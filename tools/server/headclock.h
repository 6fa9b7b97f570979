// How long a client may take to send a request's head. cpp-httplib bounds
// each wait for the client's bytes on its own (the --timeout), so a client
// that sends a byte of its head now and then would hold a worker for as
// long as it liked. A worker therefore carries a deadline from when it
// takes a connection, and again from the end of each request on it, until
// the next request's head has come; the library's waits and reads on that
// worker's thread end at the deadline, as though the client had gone
// quiet, and the connection is closed. The body has a clock of its own
// (--body-timeout).
#ifndef DWGTEXT_SERVER_HEADCLOCK_H
#define DWGTEXT_SERVER_HEADCLOCK_H

#include <chrono>

namespace dwgserver {

// On the calling thread: the head of the next request must come within
// limit; disarming lifts the deadline.
void armHeadDeadline(std::chrono::seconds limit);
void disarmHeadDeadline();

}  // namespace dwgserver

#endif
