#include "r13/lastcopies.h"

#include "support/publicstorage.h"

namespace {

constexpr uint32_t kFirstCapacity = 256;
// The most slots one block of the memory service can hold.
constexpr uint32_t kMostSlots = 1u << 27;
// A search looks at no more slots than this, so that handles chosen to
// crowd one run of the table cost no more than others: a handle it does
// not find room for within them is not noted, and its copies give their
// texts as if it had no other.
constexpr uint32_t kMostProbes = 64;

// Handles are numbered from 1 up, so their low bits alone would crowd
// runs of neighbours together: they are spread first.
uint32_t spread(uint64_t handle)
{
    return static_cast<uint32_t>((handle * 0x9E3779B97F4A7C15ull) >> 32);
}

}  // namespace

LastCopies::~LastCopies()
{
    memory_->free(slots_);
}

// The slot of handle, or the free one where it would go; null when
// neither lies within the probes allowed.
LastCopies::Slot *LastCopies::p_slotOf(uint64_t handle) const
{
    const uint32_t mask = capacity_ - 1;
    uint32_t at = spread(handle) & mask;
    for (uint32_t probe = 0; probe < kMostProbes; ++probe, at = (at + 1) & mask) {
        if (slots_[at].atPlusOne == 0 || slots_[at].handle == handle) {
            return &slots_[at];
        }
    }
    return nullptr;
}

bool LastCopies::note(uint64_t handle, int64_t at)
{
    if (2 * (count_ + 1) > capacity_ && !p_grow()) {
        return false;
    }
    Slot *slot = p_slotOf(handle);
    if (slot != nullptr) {
        count_ += slot->atPlusOne == 0 ? 1 : 0;
        *slot = Slot{handle, at + 1};
    }
    return true;
}

bool LastCopies::hasLaterCopy(uint64_t handle, int64_t at) const
{
    const Slot *slot = capacity_ == 0 ? nullptr : p_slotOf(handle);
    return slot != nullptr && slot->atPlusOne > at + 1;
}

bool LastCopies::p_grow()
{
    const uint32_t capacity = capacity_ == 0 ? kFirstCapacity : 2 * capacity_;
    if (capacity > kMostSlots) {
        return false;
    }
    auto *slots = static_cast<Slot *>(memory_->allocate(capacity * static_cast<uint32_t>(sizeof(Slot))));
    if (slots == nullptr) {
        return false;
    }
    Slot *old = slots_;
    const uint32_t oldCapacity = capacity_;
    slots_ = slots;
    capacity_ = capacity;
    for (uint32_t i = 0; i < oldCapacity; ++i) {
        Slot *slot = old[i].atPlusOne != 0 ? p_slotOf(old[i].handle) : nullptr;
        if (slot != nullptr) {
            *slot = old[i];
        }
    }
    memory_->free(old);
    return true;
}
