#include "host_services.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace tqhost {

Services::Services(HostContext &context) : context_(context), blocks_(context)
{
    static_assert(std::is_standard_layout_v<Record> && offsetof(Record, services) == 0,
                  "the callbacks find the services from the HostServices they are given");
    static_assert(std::is_standard_layout_v<Object> && offsetof(Object, out) == 0,
                  "an object starts with the layout the library writes");

    HostServices &svc = record_.services;
    svc.PubSnormalmalloc = &Services::allocate;
    svc.PubSrealloc = &Services::reallocate;
    svc.PubSfree = &Services::release;
    svc.fpCreateObject = &Services::create;
    svc.fpAppendObject = &Services::append;
    svc.fpDeliverObjects = &Services::deliver;
    record_.self = this;
}

Services::~Services() { releaseObjects(); }

Services &Services::of(HostServices *svc) { return *reinterpret_cast<Record *>(svc)->self; }

void *Services::allocate(HostServices *svc, uint32_t count, uint32_t size)
{
    return of(svc).blocks_.allocate(count, size);
}

void *Services::reallocate(HostServices *svc, void *block, uint32_t size)
{
    return of(svc).blocks_.reallocate(block, size);
}

void Services::release(HostServices *svc, void *block) { of(svc).blocks_.release(block); }

DWGOutputObject *Services::create(HostServices *svc, int32_t kind)
{
    Services &self = of(svc);
    const auto &refused = self.context_.options.refusedKinds;
    const bool refuseKind = std::find(refused.begin(), refused.end(), kind) != refused.end();
    if (self.context_.faults().next(HostOp::Create) || refuseKind) {
        ++self.objectStats_.refused;
        return nullptr;
    }
    auto object = std::make_unique<Object>();
    object->kind = kind;
    DWGOutputObject *out = &object->out;
    self.objects_.emplace(out, std::move(object));
    ++self.objectStats_.created;
    ++self.objectStats_.live;
    return out;
}

Services::Object *Services::find(DWGOutputObject *object)
{
    const auto found = objects_.find(object);
    return found == objects_.end() ? nullptr : found->second.get();
}

DWGOutputObject *Services::nextOf(const DWGOutputObject *object)
{
    return static_cast<DWGOutputObject *>(object->hostOwn[0]);
}

std::string Services::textOf(const DWGOutputObject &object)
{
    if (object.length <= 0 || object.text == nullptr) {
        if (object.length > 0)
            context_.anomaly("kind-41 object with a length but no text buffer");
        if (object.length < 0)
            context_.anomaly("kind-41 object with a negative length");
        return {};
    }
    const auto length = static_cast<std::size_t>(object.length);
    if (!blocks_.covers(object.text, length)) {
        context_.anomaly("kind-41 text reaches past its buffer or is not a block");
        return {};
    }
    return std::string(static_cast<const char *>(object.text), length);
}

void Services::recordAppended(Object &object)
{
    switch (object.kind) {
    case DWG_OBJECT_END:
        context_.log.end();
        break;
    case DWG_OBJECT_TEXT_OPEN:
        if (object.out.openCode != DWG_TEXT_OPEN_CODE)
            context_.anomaly("kind-38 object appended without its open code");
        break;
    case DWG_OBJECT_TEXT:
        if (object.out.charset != DWG_CHARSET_BYTES && object.out.charset != DWG_CHARSET_UTF16BE)
            context_.anomaly("kind-41 object with an unknown character-set code");
        if (object.out.text != nullptr && blocks_.sizeOf(object.out.text) < 0)
            context_.anomaly("kind-41 text buffer is not the start of a block");
        context_.log.text(object.out.charset, textOf(object.out));
        break;
    case DWG_OBJECT_TEXT_CLOSE:
        break;
    default:
        context_.anomaly("object of kind " + std::to_string(object.kind) + " appended");
        break;
    }
}

void Services::append(HostServices *svc, DWGOutputObject **head, DWGOutputObject *object, int32_t where)
{
    Services &self = of(svc);
    if (where != -1)
        self.context_.anomaly("fpAppendObject called with a position other than -1");
    if (head == nullptr) {
        self.context_.anomaly("fpAppendObject called without a chain head");
        return;
    }
    Object *mine = self.find(object);
    if (mine == nullptr) {
        self.context_.anomaly("fpAppendObject of an object the host did not make");
        return;
    }
    if (mine->appended) {
        self.context_.anomaly("fpAppendObject of an object already appended");
        return;
    }

    // The chain is walked from the last object appended to this head; only
    // a head the host has not seen before is walked from its start.
    DWGOutputObject **link = head;
    if (head == self.tailHead_ && *head != nullptr && self.tail_ != nullptr)
        link = reinterpret_cast<DWGOutputObject **>(&self.tail_->hostOwn[0]);
    std::size_t steps = 0;
    while (*link != nullptr) {
        if (self.find(*link) == nullptr || ++steps > self.objects_.size()) {
            self.context_.anomaly("fpAppendObject on a broken chain");
            return;
        }
        link = reinterpret_cast<DWGOutputObject **>(&(*link)->hostOwn[0]);
    }
    object->hostOwn[0] = nullptr;
    *link = object;
    self.tailHead_ = head;
    self.tail_ = object;
    mine->appended = true;
    ++self.objectStats_.appended;
    self.recordAppended(*mine);
}

int32_t Services::deliver(HostServices *svc, DWGOutputObject **head, int32_t zero)
{
    Services &self = of(svc);
    const int32_t answer = self.context_.options.deliveryResult;
    ++self.objectStats_.deliveries;
    if (zero != 0)
        self.context_.anomaly("fpDeliverObjects called with a non-zero third argument");
    if (head == nullptr) {
        self.context_.anomaly("fpDeliverObjects called without a chain head");
        return answer;
    }
    if (*head == nullptr)
        self.context_.anomaly("fpDeliverObjects called with an empty chain");

    DeliveryBatch batch;
    std::vector<Object *> chain;
    for (DWGOutputObject *at = *head; at != nullptr; at = nextOf(at)) {
        Object *mine = self.find(at);
        if (mine == nullptr || chain.size() >= self.objects_.size()) {
            self.context_.anomaly("fpDeliverObjects on a broken chain");
            break;
        }
        DeliveredObject delivered;
        delivered.kind = mine->kind;
        if (mine->kind == DWG_OBJECT_TEXT) {
            delivered.charset = at->charset;
            delivered.text = self.textOf(*at);
        }
        batch.push_back(std::move(delivered));
        chain.push_back(mine);
    }
    self.objectStats_.delivered += chain.size();
    self.deliveries_.push_back(std::move(batch));

    if (self.context_.options.deliveryEmptiesChain) {
        for (Object *mine : chain)
            self.destroy(mine);
        *head = nullptr;
    }
    return answer;
}

void Services::destroy(Object *object)
{
    if (&object->out == tail_)
        tail_ = nullptr;
    if (!object->appended)
        ++objectStats_.neverAppended;
    if (object->kind == DWG_OBJECT_TEXT && object->out.text != nullptr)
        blocks_.releaseByHost(object->out.text);
    ++objectStats_.freed;
    --objectStats_.live;
    objects_.erase(&object->out);
}

void Services::releaseObjects()
{
    std::vector<Object *> all;
    all.reserve(objects_.size());
    for (auto &entry : objects_)
        all.push_back(entry.second.get());
    for (Object *object : all)
        destroy(object);
}

}  // namespace tqhost
