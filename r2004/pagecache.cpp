#include "r2004/pagecache.h"

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "support/filestrmio.h"
#include "support/publicstorage.h"

static const char kModule[] = "pagecache";

uint64_t ContainerFile::size() const { return file_->size(); }

bool ContainerFile::readAt(uint64_t position, void *bytes, uint64_t count)
{
    const uint64_t size = file_->size();
    if (position > size || count > size - position) {
        file_->notePastEnd();
        return false;
    }
    const int32_t wanted = static_cast<int32_t>(count);
    const bool read = file_->seekWithCursor(static_cast<int64_t>(position), cursor_) != 0 &&
                      file_->readWithCursor(bytes, wanted, cursor_) == wanted;
    hostFailed_ = hostFailed_ || !read;
    return read;
}

const uint8_t *ContainerFile::bytesAt(uint64_t position, uint32_t count, uint8_t *scratch)
{
    const uint8_t *held = nullptr;
    if (position + count <= file_->size() &&
        file_->viewWithCursor(static_cast<int64_t>(position), cursor_, &held) >= static_cast<int32_t>(count)) {
        file_->noteBytesRead(count);
        return held;
    }
    return readAt(position, scratch, count) ? scratch : nullptr;
}

void ContainerFile::notePastEnd() { file_->notePastEnd(); }

const uint8_t *PageCache::held(const void *page)
{
    for (Slot &slot : slots_) {
        if (slot.page == page) {
            slot.lastUse = ++uses_;
            return slot.bytes;
        }
    }
    return nullptr;
}

// The slots take their blocks together, at the first claim, so that a
// session holds as much however many of them its drawing comes to use.
uint8_t *PageCache::claim()
{
    Slot *oldest = &slots_[0];
    for (Slot &slot : slots_) {
        oldest = slot.lastUse < oldest->lastUse ? &slot : oldest;
        if (slot.bytes == nullptr) {
            slot.bytes = static_cast<uint8_t *>(memory_->allocate(pageBytes_));
        }
    }
    oldest->page = nullptr;
    if (oldest->bytes == nullptr) {
        reportf(session_, msg::kAllocationFailed, HERE);
        return nullptr;
    }
    claimed_ = oldest;
    return oldest->bytes;
}

const uint8_t *PageCache::keep(const void *page)
{
    claimed_->page = page;
    claimed_->lastUse = ++uses_;
    return claimed_->bytes;
}

void PageCache::release()
{
    for (Slot &slot : slots_) {
        memory_->free(slot.bytes);
        slot = Slot{};
    }
}
