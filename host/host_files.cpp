#include "host_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace

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
