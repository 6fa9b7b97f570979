#include "simpleDB.h"

#include <cstring>

#include "component.h"
#include "publicstorage.h"

[[gnu::used]] static const char kIdent[] = "@(#)simpleDB: Version 1.00.00";

SimpleDB *newSimpleDB(MemoryService *memory)
{
    return newIn<SimpleDB>(memory, memory);
}

void deleteSimpleDB(SimpleDB *store)
{
    if (store != nullptr) {
        deleteIn(store->memory(), store);
    }
}

SimpleDB::~SimpleDB()
{
    p_release(root_);
    root_ = nullptr;
}

// The id is the key of the entry's own address, so ids come out spread
// over the non-negative range and the tree stays shallow on average.
int32_t SimpleDB::add()
{
    Entry *entry = newIn<Entry>(memory_);
    if (entry == nullptr) {
        return -1;
    }
    entry->id = addressKey(entry);
    Entry **place = &root_;
    while (*place != nullptr) {
        place = entry->id < (*place)->id ? &(*place)->left : &(*place)->right;
    }
    *place = entry;
    return entry->id;
}

// The value is copied into a block of its own before the old one is given
// back, so a value taken from get may be put again under the same id.
int32_t SimpleDB::put(const void *data, uint32_t length, int32_t id)
{
    Entry *entry = p_find(root_, id);
    if (entry == nullptr) {
        return 0;
    }
    void *block = memory_->allocate(length);
    if (block != nullptr && length > 0) {
        memcpy(block, data, length);
    }
    memory_->free(entry->data);
    entry->data = block;
    entry->length = block == nullptr ? 0 : length;
    return block == nullptr ? 0 : 1;
}

int32_t SimpleDB::get(void **data, uint32_t *length, int32_t id)
{
    Entry *entry = p_find(root_, id);
    if (entry == nullptr) {
        return 0;
    }
    *data = entry->data;
    *length = entry->length;
    return 1;
}

// Walks right subtree, entry, left subtree: of two entries with the same id
// the later one lies further right and is found first.
SimpleDB::Entry *SimpleDB::p_find(Entry *node, int32_t id) const
{
    if (node == nullptr) {
        return nullptr;
    }
    if (Entry *found = p_find(node->right, id)) {
        return found;
    }
    if (node->id == id) {
        return node;
    }
    return p_find(node->left, id);
}

void SimpleDB::p_release(Entry *node)
{
    if (node == nullptr) {
        return;
    }
    p_release(node->left);
    p_release(node->right);
    memory_->free(node->data);
    deleteIn(memory_, node);
}
