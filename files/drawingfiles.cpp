#include "drawingfiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "mappedfiles.h"

namespace dwgfiles {

int64_t MemoryBytes::readAt(uint64_t offset, void *buffer, std::size_t count)
{
    if (offset >= bytes_.size())
        return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return static_cast<int64_t>(n);
}

namespace {

constexpr std::size_t kChunk = 65536;
// "AC" and four more characters: what every DWG version text looks like.
constexpr std::size_t kVersionLength = 6;

std::string systemError() { return std::strerror(errno); }

// Reads until count bytes or the end; false on a read error.
bool readSome(std::FILE *file, uint8_t *buffer, std::size_t count, std::size_t &got)
{
    got = std::fread(buffer, 1, count, file);
    return !std::ferror(file);
}

// Whether the first bytes of a stream could open a drawing: "AC", a digit,
// then digits or dots. Anything else is refused by the library anyway, so
// nothing more of the stream is read.
bool startsLikeDrawing(const uint8_t *first, std::size_t count)
{
    if (count < kVersionLength || first[0] != 'A' || first[1] != 'C' || first[2] < '0' || first[2] > '9')
        return false;
    for (std::size_t i = 3; i < kVersionLength; ++i) {
        if ((first[i] < '0' || first[i] > '9') && first[i] != '.')
            return false;
    }
    return true;
}

// Whether they could open a DXF file: a binary one's sentinel, or an
// ASCII one's first group code (blanks and digits up to the line's end,
// after UTF-8's byte order mark, which some programs write).
bool startsLikeDxf(const uint8_t *first, std::size_t count)
{
    constexpr uint8_t kBinary[] = {'A', 'u', 't', 'o', 'C', 'A'};
    constexpr uint8_t kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
    if (count >= sizeof kBinary && std::memcmp(first, kBinary, sizeof kBinary) == 0)
        return true;
    std::size_t at = count >= sizeof kByteOrderMark && std::memcmp(first, kByteOrderMark, 3) == 0 ? 3 : 0;
    bool digit = false;
    for (; at < count && first[at] != '\r' && first[at] != '\n'; ++at) {
        if (first[at] >= '0' && first[at] <= '9')
            digit = true;
        else if (first[at] != ' ' && first[at] != '\t')
            return false;
    }
    return digit;
}

std::string overLimit(uint64_t limit)
{
    return "a stream longer than the limit of " + std::to_string(limit) + " bytes";
}

// A file read where it is asked for. The library reads in windows of its
// own, so the stream keeps no buffer either (the caller turns it off before
// the first read or write), and moves only when a read does not follow the
// one before.
class FileBytes final : public ByteSource {
public:
    FileBytes(std::FILE *file, uint64_t size) : file_(file), size_(size) {}
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
    uint64_t position_ = UINT64_MAX;
};

// Bytes held in memory: the first bytes of a stream that is no drawing.
class ReadBytes final : public ByteSource {
public:
    explicit ReadBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), view_(bytes_) {}
    uint64_t size() const override { return view_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override
    {
        return view_.readAt(offset, buffer, count);
    }
    const uint8_t *inMemory() const override { return view_.inMemory(); }

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

// A new file that goes away when closed, unbuffered: in TMPDIR, else /tmp.
std::FILE *temporaryFile()
{
#ifdef _WIN32
    std::FILE *file = std::tmpfile();
#else
    const char *directory = std::getenv("TMPDIR");
    std::string name = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                       "/dwgtext-stream-XXXXXX";
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0)
        return nullptr;
    unlink(name.c_str());
    std::FILE *file = fdopen(descriptor, "w+b");
    if (file == nullptr)
        close(descriptor);
#endif
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

struct CloseFile {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, CloseFile>;

// A stream that starts like a drawing, copied to a temporary file up to the
// limit; its first bytes are already taken.
std::unique_ptr<ByteSource> spool(std::FILE *stream, const std::vector<uint8_t> &first, uint64_t limit,
                                  std::string &error)
{
    OwnedFile spooled(temporaryFile());
    if (!spooled) {
        error = "cannot make a temporary file for the stream: " + systemError();
        return nullptr;
    }
    uint64_t size = first.size();
    bool written = std::fwrite(first.data(), 1, first.size(), spooled.get()) == first.size();
    std::vector<uint8_t> chunk(kChunk);
    std::size_t got = 0;
    while (written && size <= limit) {
        if (!readSome(stream, chunk.data(), chunk.size(), got)) {
            error = systemError();
            return nullptr;
        }
        if (got == 0)
            break;
        size += got;
        written = size > limit || std::fwrite(chunk.data(), 1, got, spooled.get()) == got;
    }
    if (!written) {
        error = "cannot write the stream to a temporary file: " + systemError();
        return nullptr;
    }
    if (size > limit) {
        error = overLimit(limit);
        return nullptr;
    }
    return std::make_unique<FileBytes>(spooled.release(), size);
}

// The first bytes of a stream; false on a read error.
bool firstBytes(std::FILE *stream, std::vector<uint8_t> &first, std::string &error)
{
    first.resize(kVersionLength);
    std::size_t got = 0;
    if (!readSome(stream, first.data(), first.size(), got)) {
        error = systemError();
        return false;
    }
    first.resize(got);
    return true;
}

std::unique_ptr<ByteSource> streamSource(std::FILE *stream, uint64_t limit, std::string &error)
{
    std::vector<uint8_t> first;
    if (!firstBytes(stream, first, error))
        return nullptr;
    if (!startsLikeDrawing(first.data(), first.size()) && !startsLikeDxf(first.data(), first.size()))
        return std::make_unique<ReadBytes>(std::move(first));
    return spool(stream, first, limit, error);
}

// A stream's bytes in memory, looked at and limited as streamSource does.
bool readStream(std::FILE *stream, uint64_t limit, std::vector<uint8_t> &bytes, std::string &error)
{
    if (!firstBytes(stream, bytes, error))
        return false;
    if (!startsLikeDrawing(bytes.data(), bytes.size()) && !startsLikeDxf(bytes.data(), bytes.size()))
        return true;
    uint8_t chunk[kChunk];
    std::size_t got = 0;
    do {
        if (!readSome(stream, chunk, sizeof chunk, got)) {
            error = systemError();
            return false;
        }
        if (bytes.size() + got > limit) {
            error = overLimit(limit);
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    } while (got == sizeof chunk);
    return true;
}

bool readRegular(std::FILE *file, std::vector<uint8_t> &bytes, std::string &error)
{
    bytes.clear();
    uint8_t chunk[kChunk];
    std::size_t got = 0;
    do {
        if (!readSome(file, chunk, sizeof chunk, got)) {
            error = systemError();
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    } while (got == sizeof chunk);
    return true;
}

}  // namespace

std::unique_ptr<ByteSource> openDrawing(const std::string &path, std::string &error, uint64_t streamLimit)
{
    OwnedFile file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = systemError();
        return nullptr;
    }
    const uint64_t size = regularFileSize(file.get());
    if (size == UINT64_MAX)
        return streamSource(file.get(), streamLimit, error);
    if (std::unique_ptr<ByteSource> mapped = mapRegularFile(fileno(file.get()), size))
        return mapped;
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return std::make_unique<FileBytes>(file.release(), size);
}

std::unique_ptr<ByteSource> openStandardInput(std::string &error, uint64_t streamLimit)
{
    return streamSource(stdin, streamLimit, error);
}

bool readWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error)
{
    if (path == "-")
        return readStream(stdin, kDefaultStreamLimit, bytes, error);
    OwnedFile file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = systemError();
        return false;
    }
    if (regularFileSize(file.get()) == UINT64_MAX)
        return readStream(file.get(), kDefaultStreamLimit, bytes, error);
    return readRegular(file.get(), bytes, error);
}

}  // namespace dwgfiles
