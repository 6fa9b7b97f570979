// A request body as it arrives. The first few MiB stay in memory (in an
// anonymous memory file); past that the body moves to a temporary file under
// $TMPDIR, which is unlinked as soon as it is made, so that memory stays
// bounded and no file outlives the request, however it ends. Either way the
// reader opens the body by a path, as dwgtext opens a file.
#ifndef DWGTEXT_SERVER_SPOOL_H
#define DWGTEXT_SERVER_SPOOL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dwgserver {

class BodySpool {
public:
    static constexpr uint64_t kMemoryLimit = uint64_t{4} << 20;

    BodySpool();
    BodySpool(const BodySpool &) = delete;
    BodySpool &operator=(const BodySpool &) = delete;
    ~BodySpool();

    // False when the bytes could not be stored; error() says why.
    bool append(const char *data, std::size_t size);

    uint64_t size() const { return size_; }
    bool onDisk() const { return onDisk_; }
    // The body's first bytes, enough to tell a DWG or DXF drawing.
    std::string_view head() const { return head_; }
    // Up to size bytes from the body's start.
    std::string start(std::size_t size) const;
    // A path that opens the body from its start while the spool lives.
    std::string path() const;
    const std::string &error() const { return error_; }

private:
    bool moveToDisk();
    bool fail(std::string_view what);

    int fd_ = -1;
    bool onDisk_ = false;
    uint64_t size_ = 0;
    std::string head_;
    std::string error_;
};

}  // namespace dwgserver

#endif
