// The session's memory service: every block the library uses comes from the
// host's block operations through here, and is recorded in a binary tree so
// that deleting the service gives every block back, whatever a component
// left behind.
#ifndef TQ_SUPPORT_PUBLICSTORAGE_H
#define TQ_SUPPORT_PUBLICSTORAGE_H

#include <cstdint>

#include "TQDUDADE.h"

// A fixed pseudo-random function of an address. Keys keep the block tree
// balanced on average whatever order the host's addresses come in; the
// keyed store hands them out as ids.
int32_t addressKey(const void *address);

class MemoryService {
public:
    explicit MemoryService(HostServices *services) : services_(services) {}
    ~MemoryService();

    void *allocate(uint32_t size);
    void free(void *block);
    HostServices *services() const { return services_; }

private:
    struct Record {
        Record *left;
        Record *right;
        int32_t key;
        uint32_t size;
        void *block;
        Record *nextFreed;  // freed records (block null) form a list, newest first
    };

    Record *p_find(const void *block, Record **parent) const;
    void p_insert(Record *record);
    void p_detach(Record *record);
    void p_refile(Record *record, void *block, uint32_t size);
    void p_releaseTree(Record *node);

    HostServices *services_;
    Record *root_ = nullptr;
    Record *freedRecords_ = nullptr;
};

MemoryService *newMemoryService(HostServices *services);
void deleteMemoryService(MemoryService *memory);

#endif
