#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <sys/stat.h>

namespace tqhost {

namespace {

bool readAll(std::FILE *file, std::vector<uint8_t> &bytes, std::string &error)
{
    bytes.clear();
    uint8_t chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk)
            break;
    }
    if (std::ferror(file)) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// A regular file read where it is asked for. The library reads in windows
// of its own, so the stream keeps no buffer of its own either, and moves
// only when a read does not follow the one before.
class FileBytes final : public ByteSource {
public:
    FileBytes(std::FILE *file, uint64_t size) : file_(file), size_(size)
    {
        std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;
    ~FileBytes() override { std::fclose(file_); }

    uint64_t size() const override { return size_; }

    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override
    {
        if (offset != position_ && std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0)
            return -1;
        const std::size_t n = std::fread(buffer, 1, count, file_);
        position_ = offset + n;
        if (n == 0 && std::ferror(file_)) {
            std::clearerr(file_);
            position_ = UINT64_MAX;
            return -1;
        }
        return static_cast<int64_t>(n);
    }

private:
    std::FILE *file_;
    uint64_t size_;
    uint64_t position_ = 0;
};

// Bytes read whole from a stream that cannot be read by position.
class ReadBytes final : public ByteSource {
public:
    explicit ReadBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), view_(bytes_) {}
    uint64_t size() const override { return view_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override
    {
        return view_.readAt(offset, buffer, count);
    }

private:
    std::vector<uint8_t> bytes_;
    MemoryBytes view_;
};

uint64_t regularFileSize(std::FILE *file)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || std::ftell(file) != 0)
        return UINT64_MAX;
    return static_cast<uint64_t>(status.st_size);
}

std::unique_ptr<ByteSource> sourceOf(std::FILE *file, std::string &error)
{
    const uint64_t size = regularFileSize(file);
    if (size != UINT64_MAX)
        return std::make_unique<FileBytes>(file, size);
    std::vector<uint8_t> bytes;
    const bool ok = readAll(file, bytes, error);
    std::fclose(file);
    return ok ? std::make_unique<ReadBytes>(std::move(bytes)) : nullptr;
}

}  // namespace

std::unique_ptr<ByteSource> openDrawing(const std::string &path, std::string &error)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return nullptr;
    }
    return sourceOf(file, error);
}

bool readWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error)
{
    if (path == "-")
        return readAll(stdin, bytes, error);

    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = readAll(file, bytes, error);
    std::fclose(file);
    return ok;
}

}  // namespace tqhost
