#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dwgtext {

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

std::string writeFailureMessage(int error)
{
    if (error == EPIPE)
        return {};
    return std::string("dwgtext: standard output: ") + std::strerror(error) + "\n";
}

}  // namespace dwgtext
