#include "r13/lastcopies.h"

#include <algorithm>

#include "support/publicstorage.h"

namespace {

constexpr uint32_t kFirstCapacity = 256;
// The most objects one block of the memory service can note.
constexpr uint32_t kMostNoted = 1u << 27;

}  // namespace

LastCopies::~LastCopies()
{
    memory_->free(noted_);
}

bool LastCopies::note(uint64_t handle, int64_t at)
{
    if (count_ == capacity_) {
        const uint32_t capacity = capacity_ == 0 ? kFirstCapacity : 2 * capacity_;
        if (capacity > kMostNoted) {
            return false;
        }
        auto *grown = static_cast<Noted *>(memory_->allocate(capacity * static_cast<uint32_t>(sizeof(Noted))));
        if (grown == nullptr) {
            return false;
        }
        std::copy(noted_, noted_ + count_, grown);
        memory_->free(noted_);
        noted_ = grown;
        capacity_ = capacity;
    }
    noted_[count_++] = Noted{handle, at};
    return true;
}

// Sorted by handle, and by position within one, every entry followed by
// one of its handle is an older copy. The older copies are moved to the
// front of the block, which they never outrun, and sorted back into file
// order.
void LastCopies::settle()
{
    std::sort(noted_, noted_ + count_, [](const Noted &a, const Noted &b) {
        return a.handle != b.handle ? a.handle < b.handle : a.at < b.at;
    });
    olderCount_ = 0;
    for (uint32_t i = 0; i + 1 < count_; ++i) {
        if (noted_[i].handle == noted_[i + 1].handle) {
            noted_[olderCount_++] = noted_[i];
        }
    }
    std::sort(noted_, noted_ + olderCount_, [](const Noted &a, const Noted &b) { return a.at < b.at; });
}

bool LastCopies::isOlderCopy(int64_t at)
{
    while (nextOlder_ < olderCount_ && noted_[nextOlder_].at < at) {
        ++nextOlder_;
    }
    return nextOlder_ < olderCount_ && noted_[nextOlder_].at == at;
}
