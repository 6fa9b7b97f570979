// The HostServices record: counted memory blocks and output objects.
//
// Objects are linked through hostOwn[0]. Appending records the event the
// object stands for (kind 41: its text, kind 1: the end); delivering records
// the chain as one batch and, unless told otherwise, frees the objects and
// the text buffers attached to them and empties the head.
#ifndef TQHOST_HOST_SERVICES_H
#define TQHOST_HOST_SERVICES_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "TQDUDADE.h"
#include "host_blocks.h"
#include "host_context.h"

namespace tqhost {

struct ObjectStats {
    uint64_t created = 0;
    uint64_t refused = 0;        // fpCreateObject answered null
    uint64_t appended = 0;
    uint64_t deliveries = 0;     // fpDeliverObjects calls
    uint64_t delivered = 0;      // objects in those chains, re-deliveries included
    uint64_t freed = 0;          // objects the host has freed
    uint64_t neverAppended = 0;  // freed by releaseObjects() without having been appended
    uint64_t live = 0;
};

struct DeliveredObject {
    int32_t kind = 0;
    int32_t charset = 0;  // kind 41 only
    std::string text;     // kind 41 only: the first `length` bytes
};

using DeliveryBatch = std::vector<DeliveredObject>;

class Services {
public:
    explicit Services(HostContext &context);
    ~Services();
    Services(const Services &) = delete;
    Services &operator=(const Services &) = delete;

    HostServices *record() { return &record_.services; }

    // Frees every object still held (in a chain or never appended) and the
    // text buffers attached to them. Call after shutDownDWGsrc.
    void releaseObjects();

    BlockPool &blocks() { return blocks_; }
    const BlockPool &blocks() const { return blocks_; }
    const ObjectStats &objectStats() const { return objectStats_; }
    const std::vector<DeliveryBatch> &deliveries() const { return deliveries_; }

private:
    // What fpCreateObject hands out; the library sees only `out`.
    struct Object {
        DWGOutputObject out{};
        int32_t kind = 0;
        bool appended = false;
    };

    struct Record {
        HostServices services;
        Services *self;
    };

    static Services &of(HostServices *svc);
    static void *allocate(HostServices *svc, uint32_t count, uint32_t size);
    static void *reallocate(HostServices *svc, void *block, uint32_t size);
    static void release(HostServices *svc, void *block);
    static DWGOutputObject *create(HostServices *svc, int32_t kind);
    static void append(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t where);
    static int32_t deliver(HostServices *svc, DWGOutputObject **head, int32_t zero);

    Object *find(DWGOutputObject *object);
    static DWGOutputObject *nextOf(const DWGOutputObject *object);
    std::string textOf(const DWGOutputObject &object);
    void recordAppended(Object &object);
    void destroy(Object *object);

    HostContext &context_;
    BlockPool blocks_;
    std::unordered_map<DWGOutputObject *, std::unique_ptr<Object>> objects_;
    std::vector<DeliveryBatch> deliveries_;
    ObjectStats objectStats_;
    DWGOutputObject **tailHead_ = nullptr;  // the chain head of the last append
    DWGOutputObject *tail_ = nullptr;       // the object it appended
    Record record_{};
};

}  // namespace tqhost

#endif
