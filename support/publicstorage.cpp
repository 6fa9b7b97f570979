#include "publicstorage.h"

#include <new>

[[gnu::used]] static const char kIdent[] = "@(#)publicstorage: Version 1.00.00";

namespace {

// A small linear congruential generator that lives in the caller's locals:
// nothing is shared between sessions or with the host's own random numbers.
class KeyGenerator {
public:
    explicit KeyGenerator(const void *seed) : state_(reinterpret_cast<uintptr_t>(seed)) {}

    int32_t draw()
    {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int32_t>(state_ >> 33);
    }

private:
    uint64_t state_;
};

}  // namespace

int32_t addressKey(const void *address)
{
    KeyGenerator generator(address);
    int32_t skip = generator.draw() % 8 + 1;
    for (int32_t i = 0; i < skip; ++i) {
        generator.draw();
    }
    return generator.draw();
}

MemoryService *newMemoryService(HostServices *services)
{
    if (services == nullptr || services->PubSnormalmalloc == nullptr || services->PubSfree == nullptr) {
        return nullptr;
    }
    void *block = services->PubSnormalmalloc(services, 1, sizeof(MemoryService));
    if (block == nullptr) {
        return nullptr;
    }
    return ::new (block) MemoryService(services);
}

void deleteMemoryService(MemoryService *memory)
{
    if (memory == nullptr) {
        return;
    }
    HostServices *services = memory->services();
    memory->~MemoryService();
    services->PubSfree(services, memory);
}

MemoryService::~MemoryService()
{
    p_releaseTree(root_);
    root_ = nullptr;
}

void *MemoryService::allocate(uint32_t size)
{
    Record *record = freedRecords_;
    if (record != nullptr) {
        void *block = services_->PubSnormalmalloc(services_, 1, size);
        if (block == nullptr) {
            return nullptr;
        }
        freedRecords_ = record->nextFreed;
        p_refile(record, block, size);
        return block;
    }
    record = static_cast<Record *>(services_->PubSnormalmalloc(services_, 1, sizeof(Record)));
    if (record == nullptr) {
        return nullptr;
    }
    void *block = services_->PubSnormalmalloc(services_, 1, size);
    if (block == nullptr) {
        services_->PubSfree(services_, record);
        return nullptr;
    }
    *record = Record{nullptr, nullptr, addressKey(block), size, block, nullptr};
    p_insert(record);
    return block;
}

void MemoryService::free(void *block)
{
    Record *record = p_find(block, nullptr);
    if (record == nullptr) {
        return;
    }
    record->size = 0;
    services_->PubSfree(services_, record->block);
    record->block = nullptr;
    record->nextFreed = freedRecords_;
    freedRecords_ = record;
}

MemoryService::Record *MemoryService::p_find(const void *block, Record **parent) const
{
    if (block == nullptr) {
        return nullptr;
    }
    int32_t key = addressKey(block);
    Record *above = nullptr;
    Record *node = root_;
    while (node != nullptr) {
        if (key < node->key) {
            above = node;
            node = node->left;
        } else if (node->block == block) {
            break;
        } else {
            above = node;
            node = node->right;
        }
    }
    if (parent != nullptr) {
        *parent = above;
    }
    return node;
}

void MemoryService::p_insert(Record *record)
{
    record->left = nullptr;
    record->right = nullptr;
    Record **place = &root_;
    while (*place != nullptr) {
        place = record->key < (*place)->key ? &(*place)->left : &(*place)->right;
    }
    *place = record;
}

// Takes a record out of the tree, keeping the order of the others: a record
// with two subtrees is replaced by the smallest record of its right subtree.
void MemoryService::p_detach(Record *record)
{
    Record **link = &root_;
    while (*link != record) {
        link = record->key < (*link)->key ? &(*link)->left : &(*link)->right;
        if (*link == nullptr) {
            return;
        }
    }
    if (record->left == nullptr) {
        *link = record->right;
    } else if (record->right == nullptr) {
        *link = record->left;
    } else {
        Record **successor = &record->right;
        while ((*successor)->left != nullptr) {
            successor = &(*successor)->left;
        }
        Record *replacement = *successor;
        *successor = replacement->right;
        replacement->left = record->left;
        replacement->right = record->right;
        *link = replacement;
    }
}

void MemoryService::p_refile(Record *record, void *block, uint32_t size)
{
    p_detach(record);
    record->key = addressKey(block);
    record->size = size;
    record->block = block;
    p_insert(record);
}

void MemoryService::p_releaseTree(Record *node)
{
    if (node == nullptr) {
        return;
    }
    p_releaseTree(node->left);
    p_releaseTree(node->right);
    if (node->block != nullptr) {
        services_->PubSfree(services_, node->block);
    }
    services_->PubSfree(services_, node);
}
