// The session's memory service: every block the library uses comes from the
// host's block operations through here. Each is one host block with a small
// header in front that links it into the service's list of live blocks, so
// that freeing one takes constant time and deleting the service gives every
// block back, whatever a component left behind.
#ifndef TQ_SUPPORT_PUBLICSTORAGE_H
#define TQ_SUPPORT_PUBLICSTORAGE_H

#include <cstdint>

#include "TQDUDADE.h"

class MemoryService {
public:
    explicit MemoryService(HostServices *services) : services_(services) {}
    ~MemoryService();

    // A zero-filled block of size bytes; null when the host refuses.
    void *allocate(uint32_t size);
    // Gives back a block of this service; nothing for null.
    void free(void *block);
    HostServices *services() const { return services_; }

private:
    // Sixteen bytes, so that the block keeps the alignment the host's own
    // blocks have.
    struct Header {
        Header *previous;
        Header *next;
    };
    static constexpr uint32_t kHeaderSize = 16;
    static_assert(sizeof(Header) <= kHeaderSize);

    HostServices *services_;
    Header *live_ = nullptr;
};

// One block of a memory service used over and over for bytes that live
// until its next use: it grows when it holds less than is asked for.
// Its owner gives it back.
class ReusableBlock {
public:
    // At least size bytes, not cleared; null when the host refuses, and
    // the block held so far is kept.
    void *reserve(MemoryService *memory, uint32_t size)
    {
        return size <= capacity_ && block_ != nullptr ? block_ : p_grow(memory, size);
    }
    void release(MemoryService *memory);

private:
    void *p_grow(MemoryService *memory, uint32_t size);

    void *block_ = nullptr;
    uint32_t capacity_ = 0;
};

// Null when the host's services lack the block operations or refuse the
// service's own block.
MemoryService *newMemoryService(HostServices *services);
void deleteMemoryService(MemoryService *memory);

#endif
