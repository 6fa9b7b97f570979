// Small values under integer ids the store hands out itself. The file
// stream keeps its cursors here, one 8-byte value per cursor, updated in
// place through the pointer get returns.
#ifndef TQ_SUPPORT_SIMPLEDB_H
#define TQ_SUPPORT_SIMPLEDB_H

#include <cstdint>

class MemoryService;

class SimpleDB {
public:
    explicit SimpleDB(MemoryService *memory) : memory_(memory) {}
    ~SimpleDB();

    int32_t add();
    int32_t put(const void *data, uint32_t length, int32_t id);
    int32_t get(void **data, uint32_t *length, int32_t id);

    MemoryService *memory() const { return memory_; }

private:
    struct Entry {
        Entry *left;
        Entry *right;
        int32_t id;
        uint32_t length;
        void *data;
    };

    Entry *p_find(Entry *node, int32_t id) const;
    void p_release(Entry *node);

    MemoryService *memory_;
    Entry *root_ = nullptr;
};

SimpleDB *newSimpleDB(MemoryService *memory);
void deleteSimpleDB(SimpleDB *store);

#endif
