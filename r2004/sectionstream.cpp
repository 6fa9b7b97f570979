#include "r2004/sectionstream.h"

#include "r2004/container.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/readersource.h"

namespace {

// The two sections as one source: the objects from 0 on, the map after
// them.
class ContainerSource final : public ReaderSource {
public:
    ContainerSource(DrawingContainer *container, MemoryService *memory, uint64_t mapStart, uint64_t size)
        : container_(container), memory_(memory), mapStart_(mapStart), size_(size)
    {
    }

    bool open() override { return true; }
    uint64_t measure() override { return size_; }

    // The stream's windows cover the sections' pages, each made straight
    // into a window.
    uint32_t blockSize() const override
    {
        const uint32_t objects = container_->largestPage(SectionName::Objects);
        const uint32_t map = container_->largestPage(SectionName::Handles);
        return objects > map ? objects : map;
    }
    uint64_t blockStart(uint64_t position) const override { return p_pageAt(position).start; }
    uint64_t heldFrom(uint64_t position) const override
    {
        if (position < mapStart_) {
            return container_->heldFrom(SectionName::Objects, position);
        }
        return mapStart_ + container_->heldFrom(SectionName::Handles, position - mapStart_);
    }

    // A read from a page's start takes that page whole and no more, so that
    // a window holds one page; any other read runs on from the objects into
    // the map. Either stops at a page that cannot be read.
    int32_t readAt(uint64_t offset, void *buffer, int32_t count) override
    {
        if (offset > size_) {
            return -1;
        }
        const DrawingContainer::PageSpan page = p_pageAt(offset);
        if (page.start == offset && page.length > 0 && page.length < static_cast<uint32_t>(count)) {
            count = static_cast<int32_t>(page.length);
        }
        int32_t got = 0;
        while (got < count && offset + static_cast<uint64_t>(got) < size_) {
            const int32_t step = p_readPiece(offset + static_cast<uint64_t>(got), static_cast<uint8_t *>(buffer) + got,
                                             count - got);
            if (step <= 0) {
                break;
            }
            got += step;
        }
        return got;
    }

    // The stream closes its source when it goes: the source goes with it.
    void close() override { deleteIn(memory_, this); }

    bool pageFailed = false;

private:
    // The page that holds position, in the stream's offsets.
    DrawingContainer::PageSpan p_pageAt(uint64_t position) const
    {
        if (position < mapStart_) {
            return container_->pageAt(SectionName::Objects, position);
        }
        const DrawingContainer::PageSpan page = container_->pageAt(SectionName::Handles, position - mapStart_);
        return {mapStart_ + page.start, page.length};
    }

    // Bytes of the one section position lies in, up to its end.
    int32_t p_readPiece(uint64_t position, uint8_t *buffer, int32_t count)
    {
        const bool inMap = position >= mapStart_;
        const SectionName name = inMap ? SectionName::Handles : SectionName::Objects;
        const uint64_t offset = inMap ? position - mapStart_ : position;
        const uint64_t left = (inMap ? size_ : mapStart_) - position;
        const int32_t wanted = static_cast<uint64_t>(count) < left ? count : static_cast<int32_t>(left);
        const int32_t got = container_->readSection(name, offset, buffer, wanted);
        pageFailed = pageFailed || got < wanted;
        return got;
    }

    DrawingContainer *container_;
    MemoryService *memory_;
    uint64_t mapStart_;
    uint64_t size_;
};

}  // namespace

SectionStream newSectionStream(DrawingContainer *container, MemoryService *memory)
{
    const uint64_t objects = container->sectionSize(SectionName::Objects);
    const uint64_t map = container->sectionSize(SectionName::Handles);
    if (objects == 0) {
        return {nullptr, 0, nullptr};
    }
    auto *source = newIn<ContainerSource>(memory, container, memory, objects, objects + map);
    if (source == nullptr) {
        return {nullptr, 0, nullptr};
    }
    FileStream *stream = newFileStream(source, memory);
    if (stream == nullptr) {
        return {nullptr, 0, nullptr};
    }
    stream->readAroundGaps();
    return {stream, static_cast<int64_t>(objects), &source->pageFailed};
}
