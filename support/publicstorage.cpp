#include "publicstorage.h"

#include <new>

[[gnu::used]] static const char kIdent[] = "@(#)publicstorage: Version 1.00.00";

MemoryService *newMemoryService(const BlockOperations &blocks)
{
    if (blocks.take == nullptr || blocks.giveBack == nullptr) {
        return nullptr;
    }
    void *block = blocks.take(blocks.owner, sizeof(MemoryService));
    if (block == nullptr) {
        return nullptr;
    }
    return ::new (block) MemoryService(blocks);
}

void deleteMemoryService(MemoryService *memory)
{
    if (memory == nullptr) {
        return;
    }
    const BlockOperations blocks = memory->blocks();
    memory->~MemoryService();
    blocks.giveBack(blocks.owner, memory);
}

MemoryService::~MemoryService()
{
    while (live_ != nullptr) {
        Header *next = live_->next;
        blocks_.giveBack(blocks_.owner, live_);
        live_ = next;
    }
}

void *MemoryService::allocate(uint32_t size)
{
    if (size > UINT32_MAX - kHeaderSize) {
        return nullptr;
    }
    auto *header = static_cast<Header *>(blocks_.take(blocks_.owner, kHeaderSize + size));
    if (header == nullptr) {
        refused_ = true;
        return nullptr;
    }
    header->previous = nullptr;
    header->next = live_;
    if (live_ != nullptr) {
        live_->previous = header;
    }
    live_ = header;
    return reinterpret_cast<uint8_t *>(header) + kHeaderSize;
}

void MemoryService::free(void *block)
{
    if (block == nullptr) {
        return;
    }
    auto *header = reinterpret_cast<Header *>(static_cast<uint8_t *>(block) - kHeaderSize);
    (header->previous != nullptr ? header->previous->next : live_) = header->next;
    if (header->next != nullptr) {
        header->next->previous = header->previous;
    }
    blocks_.giveBack(blocks_.owner, header);
}

// The block grows to the next power of two from 256 bytes on, so that it
// is taken again only a few times however the sizes asked for vary.
void *ReusableBlock::p_grow(MemoryService *memory, uint32_t size)
{
    constexpr uint32_t kSmallest = 256;
    uint32_t capacity = kSmallest;
    while (capacity < size && capacity <= UINT32_MAX / 2) {
        capacity *= 2;
    }
    void *grown = memory->allocate(capacity < size ? size : capacity);
    if (grown == nullptr) {
        return nullptr;
    }
    memory->free(block_);
    block_ = grown;
    capacity_ = capacity < size ? size : capacity;
    return block_;
}

void ReusableBlock::release(MemoryService *memory)
{
    memory->free(block_);
    block_ = nullptr;
    capacity_ = 0;
}
