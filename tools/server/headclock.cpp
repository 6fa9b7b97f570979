#include "headclock.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

// No deadline while it is the epoch of the clock.
thread_local Clock::time_point headDeadline{};

bool armed()
{
    return headDeadline != Clock::time_point{};
}

// Milliseconds left before the deadline, 0 once it has passed.
int millisecondsLeft()
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(headDeadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

template <class Function>
Function *next(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace dwgserver {

void armHeadDeadline(std::chrono::seconds limit)
{
    headDeadline = Clock::now() + limit;
}

void disarmHeadDeadline()
{
    headDeadline = {};
}

}  // namespace dwgserver

// The waits and reads of the HTTP library, as the server's executable
// defines them before the C library does: on a thread with a deadline, a
// wait ends by it (as a wait with nothing to read) and a read after it
// fails; on any other thread they are the C library's own.
extern "C" int poll(struct pollfd *fds, nfds_t count, int timeout)
{
    static auto *const real = next<int(pollfd *, nfds_t, int)>("poll");
    if (armed()) {
        const int left = millisecondsLeft();
        timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    return real(fds, count, timeout);
}

extern "C" ssize_t recv(int socket, void *buffer, size_t length, int flags)
{
    static auto *const real = next<ssize_t(int, void *, size_t, int)>("recv");
    if (armed() && millisecondsLeft() == 0) {
        errno = ETIMEDOUT;
        return -1;
    }
    return real(socket, buffer, length, flags);
}
