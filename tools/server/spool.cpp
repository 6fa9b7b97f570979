#include "spool.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace dwgserver {

namespace {

constexpr std::size_t kHeadSize = 32;

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string temporaryDirectory()
{
    const char *dir = std::getenv("TMPDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

}  // namespace

BodySpool::BodySpool() : fd_(::memfd_create("dwgtext-server-body", MFD_CLOEXEC))
{
    if (fd_ < 0)
        fail("cannot make a memory file");
}

BodySpool::~BodySpool()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool BodySpool::fail(std::string_view what)
{
    error_ = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool BodySpool::append(const char *data, std::size_t size)
{
    if (fd_ < 0)
        return false;
    if (head_.size() < kHeadSize)
        head_.append(data, std::min(size, kHeadSize - head_.size()));
    if (!onDisk_ && size_ + size > kMemoryLimit && !moveToDisk())
        return false;
    if (!writeAll(fd_, data, size))
        return fail("cannot store the body");
    size_ += size;
    return true;
}

// The bytes so far go from the memory file to a new file on disk, whose
// name is gone before anything is written to it.
bool BodySpool::moveToDisk()
{
    std::string name = temporaryDirectory() + "/dwgtext-server-XXXXXX";
    const int file = ::mkostemp(name.data(), O_CLOEXEC);
    if (file < 0)
        return fail("cannot make a temporary file in " + temporaryDirectory());
    ::unlink(name.c_str());
    off_t from = 0;
    while (static_cast<uint64_t>(from) < size_) {
        if (::sendfile(file, fd_, &from, size_ - static_cast<uint64_t>(from)) <= 0) {
            fail("cannot store the body");
            ::close(file);
            return false;
        }
    }
    ::close(fd_);
    fd_ = file;
    onDisk_ = true;
    return true;
}

std::string BodySpool::start(std::size_t size) const
{
    std::string bytes(std::min<uint64_t>(size, size_), '\0');
    const ssize_t got = ::pread(fd_, bytes.data(), bytes.size(), 0);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

std::string BodySpool::path() const
{
    return "/proc/self/fd/" + std::to_string(fd_);
}

}  // namespace dwgserver
