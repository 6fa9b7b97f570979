// The session's memory service: every block the library uses comes from the
// block operations of whoever opened the session (the host's, on its
// protocol) through here. Each is one host block with a small
// header in front that links it into the service's list of live blocks, so
// that freeing one takes constant time and deleting the service gives every
// block back, whatever a component left behind.
#ifndef TQ_SUPPORT_PUBLICSTORAGE_H
#define TQ_SUPPORT_PUBLICSTORAGE_H

#include <cstdint>

// Where blocks come from: take gives a zero-filled block of size bytes, or
// null; giveBack takes one back. owner is passed to both.
struct BlockOperations {
    void *owner;
    void *(*take)(void *owner, uint32_t size);
    void (*giveBack)(void *owner, void *block);
};

class MemoryService {
public:
    explicit MemoryService(const BlockOperations &blocks) : blocks_(blocks) {}
    ~MemoryService();

    // A zero-filled block of size bytes; null when the owner refuses.
    void *allocate(uint32_t size);
    // Whether the owner has refused a block.
    bool refused() const { return refused_; }
    // Gives back a block of this service; nothing for null.
    void free(void *block);
    const BlockOperations &blocks() const { return blocks_; }

private:
    // Sixteen bytes, so that the block keeps the alignment the host's own
    // blocks have.
    struct Header {
        Header *previous;
        Header *next;
    };
    static constexpr uint32_t kHeaderSize = 16;
    static_assert(sizeof(Header) <= kHeaderSize);

    BlockOperations blocks_;
    Header *live_ = nullptr;
    bool refused_ = false;
};

// One block of a memory service used over and over for bytes that live
// until its next use: it grows when it holds less than is asked for.
// Its owner gives it back.
class ReusableBlock {
public:
    // At least size bytes, not cleared; null when the owner refuses, and
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

// Null when an operation is missing or the service's own block is refused.
MemoryService *newMemoryService(const BlockOperations &blocks);
void deleteMemoryService(MemoryService *memory);

#endif
