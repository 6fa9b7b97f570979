#include "host_blocks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace tqhost {

namespace {

uintptr_t addressOf(const void *p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

BlockPool::~BlockPool()
{
    for (const auto &entry : live_)
        std::free(reinterpret_cast<void *>(entry.first));
}

void BlockPool::noteInUse(std::size_t size)
{
    ++stats_.inUse;
    stats_.bytesInUse += size;
    if (stats_.inUse > stats_.peakInUse)
        stats_.peakInUse = stats_.inUse;
    if (stats_.bytesInUse > stats_.peakBytesInUse)
        stats_.peakBytesInUse = stats_.bytesInUse;
}

void *BlockPool::take(std::size_t size, bool zeroed)
{
    // A zero-byte request still gets a distinct block of its own.
    const std::size_t real = size == 0 ? 1 : size;
    void *block = zeroed ? std::calloc(1, real) : std::malloc(real);
    if (block == nullptr)
        return nullptr;
    live_[addressOf(block)] = size;
    noteInUse(size);
    return block;
}

void *BlockPool::allocate(uint32_t count, uint32_t size)
{
    ++stats_.requests;
    ++stats_.allocateCalls;
    const uint64_t total = uint64_t{count} * uint64_t{size};
    stats_.largestRequest = std::max(stats_.largestRequest, total);
    void *block = nullptr;
    if (!context_.faults().next(HostOp::Block) && total <= UINT32_MAX)
        block = take(static_cast<std::size_t>(total), true);
    if (block == nullptr)
        ++stats_.failedRequests;
    return block;
}

void *BlockPool::reallocate(void *block, uint32_t size)
{
    ++stats_.requests;
    ++stats_.reallocateCalls;
    stats_.largestRequest = std::max<uint64_t>(stats_.largestRequest, size);
    if (context_.faults().next(HostOp::Block)) {
        ++stats_.failedRequests;
        return nullptr;
    }
    if (block == nullptr) {
        void *fresh = take(size, false);
        if (fresh == nullptr)
            ++stats_.failedRequests;
        else
            std::memset(fresh, 0xA5, size);
        return fresh;
    }
    const auto found = live_.find(addressOf(block));
    if (found == live_.end()) {
        context_.anomaly("PubSrealloc of a pointer that is not a block in use");
        ++stats_.failedRequests;
        return nullptr;
    }
    const std::size_t oldSize = found->second;
    void *moved = std::realloc(block, size == 0 ? 1 : size);
    if (moved == nullptr) {
        ++stats_.failedRequests;
        return nullptr;
    }
    live_.erase(found);
    live_[addressOf(moved)] = size;
    if (size > oldSize)
        std::memset(static_cast<unsigned char *>(moved) + oldSize, 0xA5, size - oldSize);
    stats_.bytesInUse = stats_.bytesInUse - oldSize + size;
    if (stats_.bytesInUse > stats_.peakBytesInUse)
        stats_.peakBytesInUse = stats_.bytesInUse;
    return moved;
}

bool BlockPool::giveBack(void *block)
{
    const auto found = live_.find(addressOf(block));
    if (found == live_.end())
        return false;
    stats_.bytesInUse -= found->second;
    --stats_.inUse;
    live_.erase(found);
    std::free(block);
    return true;
}

void BlockPool::release(void *block)
{
    ++stats_.freeCalls;
    if (block == nullptr)
        return;
    if (!giveBack(block)) {
        ++stats_.badFrees;
        context_.anomaly("PubSfree of a pointer that is not a block in use");
    }
}

void BlockPool::releaseByHost(void *block)
{
    if (block == nullptr)
        return;
    if (giveBack(block)) {
        ++stats_.hostFrees;
    } else {
        ++stats_.badFrees;
        context_.anomaly("text buffer that is not a block in use");
    }
}

int64_t BlockPool::sizeOf(const void *address) const
{
    const auto found = live_.find(addressOf(address));
    return found == live_.end() ? -1 : static_cast<int64_t>(found->second);
}

bool BlockPool::covers(const void *address, std::size_t length) const
{
    const uintptr_t at = addressOf(address);
    auto after = live_.upper_bound(at);
    if (after == live_.begin())
        return false;
    const auto &[start, size] = *std::prev(after);
    return at - start <= size && length <= size - (at - start);
}

}  // namespace tqhost
