// Memory blocks handed to the library, with an account of every one.
#ifndef TQHOST_HOST_BLOCKS_H
#define TQHOST_HOST_BLOCKS_H

#include <cstddef>
#include <cstdint>
#include <map>

#include "host_context.h"

namespace tqhost {

struct BlockStats {
    uint64_t requests = 0;        // allocate and reallocate calls
    uint64_t allocateCalls = 0;
    uint64_t reallocateCalls = 0;
    uint64_t failedRequests = 0;  // answered null
    uint64_t freeCalls = 0;       // by the library, null included
    uint64_t hostFrees = 0;       // text buffers the host freed itself
    uint64_t badFrees = 0;        // pointers that were not a block in use
    uint64_t inUse = 0;
    uint64_t peakInUse = 0;
    uint64_t bytesInUse = 0;
    uint64_t peakBytesInUse = 0;
    uint64_t largestRequest = 0;  // bytes of the largest block asked for
};

class BlockPool {
public:
    explicit BlockPool(HostContext &context) : context_(context) {}
    ~BlockPool();
    BlockPool(const BlockPool &) = delete;
    BlockPool &operator=(const BlockPool &) = delete;

    // count * size zero-filled bytes, or null (fault, overflow, no memory).
    void *allocate(uint32_t count, uint32_t size);
    // The block's new address, or null with the old block left in use.
    // Bytes past the old size are filled with 0xA5, not zero, so that a
    // reader that counts on zeros there is caught.
    void *reallocate(void *block, uint32_t size);
    // A free by the library. Null is ignored; a pointer that is not a block
    // in use is counted as a bad free and left alone.
    void release(void *block);
    // A free by the host of a block it took over (a text buffer).
    void releaseByHost(void *block);

    // Size of the block in use that starts at address, or -1.
    int64_t sizeOf(const void *address) const;
    // True when [address, address + length) lies inside one block in use.
    bool covers(const void *address, std::size_t length) const;

    const BlockStats &stats() const { return stats_; }

private:
    void *take(std::size_t size, bool zeroed);
    bool giveBack(void *block);
    void noteInUse(std::size_t size);

    HostContext &context_;
    std::map<uintptr_t, std::size_t> live_;  // address -> requested size
    BlockStats stats_;
};

}  // namespace tqhost

#endif
