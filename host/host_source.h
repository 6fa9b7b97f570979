// A HostSource over bytes held in memory.
//
// Positions run from 0 to the size; a seek to any of them succeeds (the size
// itself included), a seek outside fails and leaves the position alone.
// Opening does not move the position: the library opens and closes the
// source once per stream it makes, and every stream seeks before it reads.
#ifndef TQHOST_HOST_SOURCE_H
#define TQHOST_HOST_SOURCE_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "TQDUDADE.h"
#include "host_context.h"

namespace tqhost {

struct SourceStats {
    uint64_t opens = 0;        // fpOpen calls, refused ones included
    uint64_t refusedOpens = 0;
    uint64_t closes = 0;
    uint64_t reads = 0;
    uint64_t bytesRead = 0;
    uint64_t seeks = 0;
    uint64_t failedSeeks = 0;
    uint64_t tells = 0;
    uint64_t reports = 0;
};

class MemorySource {
public:
    MemorySource(std::vector<uint8_t> bytes, HostContext &context);
    MemorySource(const MemorySource &) = delete;
    MemorySource &operator=(const MemorySource &) = delete;

    HostSource *record() { return &record_.source; }
    const std::vector<uint8_t> &bytes() const { return bytes_; }
    std::string_view firstBytes(std::size_t count) const;
    int32_t position() const { return position_; }
    const SourceStats &stats() const { return stats_; }

private:
    // The library gets &record_.source and hands it back to the callbacks.
    struct Record {
        HostSource source;
        MemorySource *self;
    };

    static MemorySource &of(HostSource *src);
    static int32_t open(HostSource *src);
    static int32_t read(HostSource *src, void *buffer, int32_t count);
    static int32_t seek(HostSource *src, int32_t offset, int32_t origin);
    static int32_t tell(HostSource *src);
    static void close(HostSource *src);
    static void report(HostSource *src, const char *text, int32_t zero);

    std::vector<uint8_t> bytes_;
    int32_t size_ = 0;  // what the library can address: at most INT32_MAX bytes
    int32_t position_ = 0;
    HostContext &context_;
    SourceStats stats_;
    Record record_{};
};

}  // namespace tqhost

#endif
