#include "r2004/sectionstream.h"

#include <cstddef>

#include "TQDUDADE.h"
#include "r2004/container.h"
#include "support/component.h"
#include "support/filestrmio.h"

namespace {

constexpr int32_t kFromStart = 0;
constexpr int32_t kFromEnd = 2;

// A host source of our own whose bytes are the two sections; the stream
// finds it again from the record it was given, the first member.
struct ContainerSource {
    HostSource source;
    DrawingContainer *container;
    MemoryService *memory;
    uint32_t mapStart;
    uint32_t size;
    uint32_t position;
    bool pageFailed;
};
static_assert(offsetof(ContainerSource, source) == 0, "the stream's record opens the source");

ContainerSource *sourceOf(HostSource *source)
{
    return reinterpret_cast<ContainerSource *>(source);
}

int32_t TQDUDADE_CALL openSource(HostSource *)
{
    return 1;
}

// A read stops where a section ends (the objects section ends at the
// map's start) or at a page that cannot be read.
int32_t TQDUDADE_CALL readSource(HostSource *record, void *buffer, int32_t count)
{
    ContainerSource *source = sourceOf(record);
    const bool inMap = source->position >= source->mapStart;
    const SectionName name = inMap ? SectionName::Handles : SectionName::Objects;
    const uint32_t offset = inMap ? source->position - source->mapStart : source->position;
    const uint32_t sectionEnd = inMap ? source->size : source->mapStart;
    const uint32_t left = sectionEnd - source->position;
    const int32_t wanted = static_cast<uint32_t>(count) < left ? count : static_cast<int32_t>(left);
    const int32_t got = wanted > 0 ? source->container->readSection(name, offset, buffer, wanted) : 0;
    source->position += static_cast<uint32_t>(got > 0 ? got : 0);
    source->pageFailed = source->pageFailed || got < wanted;
    return got;
}

int32_t TQDUDADE_CALL seekSource(HostSource *record, int32_t offset, int32_t origin)
{
    ContainerSource *source = sourceOf(record);
    const int64_t base = origin == kFromEnd ? source->size : 0;
    const int64_t target = base + offset;
    if ((origin != kFromStart && origin != kFromEnd) || target < 0 || target > source->size) {
        return 0;
    }
    source->position = static_cast<uint32_t>(target);
    return 1;
}

int32_t TQDUDADE_CALL tellSource(HostSource *record)
{
    return static_cast<int32_t>(sourceOf(record)->position);
}

// The stream closes its source when it goes: the record goes with it.
void TQDUDADE_CALL closeSource(HostSource *record)
{
    ContainerSource *source = sourceOf(record);
    deleteIn(source->memory, source);
}

}  // namespace

SectionStream newSectionStream(DrawingContainer *container, MemoryService *memory)
{
    const uint32_t objects = container->sectionSize(SectionName::Objects);
    const uint32_t map = container->sectionSize(SectionName::Handles);
    if (objects == 0 || map == 0 || objects > INT32_MAX - map) {
        return {nullptr, 0, nullptr};
    }
    ContainerSource *source = newIn<ContainerSource>(memory);
    if (source == nullptr) {
        return {nullptr, 0, nullptr};
    }
    source->source.fpOpen = openSource;
    source->source.fpRead = readSource;
    source->source.fpSeek = seekSource;
    source->source.fpTell = tellSource;
    source->source.fpClose = closeSource;
    source->container = container;
    source->memory = memory;
    source->mapStart = objects;
    source->size = objects + map;
    FileStream *stream = newFileStream(&source->source, memory);
    if (stream == nullptr) {
        return {nullptr, 0, nullptr};
    }
    stream->readAroundGaps();
    return {stream, static_cast<int32_t>(objects), &source->pageFailed};
}
