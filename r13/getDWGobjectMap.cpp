#include "r13/getDWGobjectMap.h"

#include <algorithm>
#include <cstring>

#include "support/byteswap.h"
#include "support/component.h"
#include "support/filestrmio.h"

[[gnu::used]] static const char kIdent[] = "@(#)getDWGobjectMap(R13 to R2018): Version 2.05.00";

namespace {

// The map ends with a section of size 2 (no entries) and its check value.
constexpr int32_t kClosingSectionLength = 4;
// Every section ends with a check value, which is not read.
constexpr int32_t kCheckValueLength = 2;

// A section that holds no pair closes the map, wherever it lies. From
// R2004 on the map is a section of the container, and a program that
// rewrote a shorter map over a longer one may leave the longer one's tail
// after the closing section, up to the size the section map still gives:
// those bytes are no entries of this drawing.
bool closesMap(uint16_t size)
{
    return size == kCheckValueLength;
}

}  // namespace

ObjectMap *newObjectMap(DWGglobal *session, MemoryService *memory, FileStream *stream,
                        int64_t mapStart, int64_t mapEnd)
{
    if (memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    ObjectMap *map = newIn<ObjectMap>(memory, session, memory, stream, mapStart, mapEnd);
    if (map != nullptr && !map->open()) {
        deleteObjectMap(map);
        return nullptr;
    }
    return map;
}

// The map's cursor stays with the stream, which has no way to drop one.
void deleteObjectMap(ObjectMap *map)
{
    if (map == nullptr) {
        return;
    }
    deleteIn(map->memory(), map);
}

ObjectMap::~ObjectMap()
{
    sectionBlock_.release(memory_);
}

bool ObjectMap::open()
{
    cursor_ = stream_->newCursor();
    return cursor_ >= 0 && p_seek(mapStart_);
}

// Walks the map one entry per call, a section at a time. Within a section
// the offsets are deltas from the previous entry, starting at 0, so the
// running sum is the entry's file offset. A pair that starts before the
// section's check value is decoded, wherever it ends. This is the walk at
// the edges: at the map's end, at a section's, and where a pair may run
// past the bytes held.
StepResult ObjectMap::p_nextOffsetAtEdge(int64_t *offset)
{
    *offset = 0;
    if (inSection_ && pairsStart_ + at_ >= mapEnd_) {
        return StepResult::End;
    }
    if (!inSection_ || at_ >= pairsEnd_) {
        const StepResult loaded = p_loadSection();
        if (loaded != StepResult::Item) {
            return loaded;
        }
    }
    const Pair pair = p_decodeHeldPair(section_ + at_, held_ - at_);
    if (pair.length == 0) {
        return StepResult::Failed;
    }
    at_ += pair.length;
    runningOffset_ += pair.offsetDelta;
    *offset = runningOffset_;
    return StepResult::Item;
}

// Moves on to the next section: past the one walked. The walk ends at the
// closing section, which then ends the map for every later call, and at
// the map's end; each section lies further on than the last, so it also
// ends at the first read past the end of the file.
StepResult ObjectMap::p_loadSection()
{
    directEnd_ = 0;
    if (inSection_ && !p_seek(sectionEnd_)) {
        return StepResult::Failed;
    }
    inSection_ = true;
    uint16_t size = 0;
    if (!p_readSectionSize(&size)) {
        return StepResult::Failed;
    }
    pairsStart_ = p_position();
    sectionEnd_ = pairsStart_ + size;
    runningOffset_ = 0;
    at_ = 0;
    pairsEnd_ = 0;
    if (closesMap(size)) {
        mapEnd_ = std::min(mapEnd_, pairsStart_);
    }
    if (sectionEnd_ >= mapEnd_ || pairsStart_ >= mapEnd_) {
        return StepResult::End;
    }
    pairsEnd_ = static_cast<int32_t>(sectionEnd_ - kCheckValueLength - pairsStart_);
    if (!p_holdSection(pairsStart_, pairsEnd_)) {
        return StepResult::Failed;
    }
    directEnd_ = static_cast<int32_t>(std::min<int64_t>(p_directEnd(pairsEnd_), mapEnd_ - pairsStart_));
    return StepResult::Item;
}

// Copies the pairs of length bytes from start on, and the bytes a last
// pair may run on into, out of the stream, up to the end of the file: a
// pair that runs past that is not held whole. The block is reused from
// section to section, in sizes that do not follow the drawing's.
bool ObjectMap::p_holdSection(int64_t start, int32_t pairsLength)
{
    const int64_t inFile = static_cast<int64_t>(stream_->size()) - start;
    const int32_t wanted = static_cast<int32_t>(inFile < pairsLength + kLongestPair ? inFile : pairsLength + kLongestPair);
    if (wanted > 0) {
        auto *block = static_cast<uint8_t *>(sectionBlock_.reserve(memory_, static_cast<uint32_t>(wanted)));
        if (block == nullptr) {
            return false;
        }
        section_ = block;
    }
    const int32_t got = stream_->readWithCursor(section_, wanted, cursor_);
    held_ = got > 0 ? got : 0;
    return true;
}

bool ObjectMap::scanLowestOffset(int64_t *lowest)
{
    const bool read = p_scanMap() != 0;
    *lowest = read ? lowestOffset_ : 0;
    return read;
}

// Reads every section but the closing one and leaves the cursor at the map
// start, so that a walk with nextOffset begins with the first section. Each
// section scan ends at or beyond the end of the section's size field, so
// the loop always moves on.
int32_t ObjectMap::p_scanMap()
{
    lowestOffset_ = 0;
    if (!p_seek(mapStart_)) {
        return 0;
    }
    while (p_position() < mapEnd_ - kClosingSectionLength) {
        scanStop_ = p_position();
        uint16_t size = 0;
        if (!p_readSectionSize(&size)) {
            return 0;
        }
        if (closesMap(size)) {
            break;
        }
        if (!p_scanSection(size)) {
            return 0;
        }
    }
    return p_seek(mapStart_);
}

// Section sizes are the one big-endian number of the drawing. A size too
// short for the check value is no section's.
int32_t ObjectMap::p_readSectionSize(uint16_t *size)
{
    uint8_t bytes[2] = {0, 0};
    if (stream_->readWithCursor(bytes, 2, cursor_) != 2) {
        return 0;
    }
    *size = bigEndian16(bytes);
    return *size >= kCheckValueLength ? 1 : 0;
}

// A section that does not close the map holds at least one entry: the
// first pair is decoded before the section's end is looked at.
int32_t ObjectMap::p_scanSection(uint16_t size)
{
    const int64_t start = p_position();
    const int32_t pairsLength = size - kCheckValueLength;
    if (!p_holdSection(start, pairsLength)) {
        return 0;
    }
    const uint8_t *bytes = section_;
    const int32_t held = held_;
    const Pair first = p_decodeHeldPair(bytes, held);
    if (first.length == 0) {
        return 0;
    }
    int32_t at = first.length;
    int64_t running = first.offsetDelta;
    int64_t lowest = lowestOffset_ <= 0 || lowestOffset_ > running ? running : lowestOffset_;
    const auto take = [&](const Pair &pair) {
        at += pair.length;
        running += pair.offsetDelta;
        lowest = lowest >= running ? running : lowest;
    };
    const int32_t direct = p_directEnd(pairsLength);
    while (at < direct) {
        take(p_decodePair(bytes + at));
    }
    while (at < pairsLength) {
        const Pair pair = p_decodeHeldPair(bytes + at, held - at);
        if (pair.length == 0) {
            return 0;
        }
        take(pair);
    }
    lowestOffset_ = lowest;
    return p_seek(start + size);
}

bool ObjectMap::findOffset(uint64_t handle, int64_t *offset)
{
    if (!p_seek(mapStart_)) {
        return false;
    }
    bool found = false;
    while (!found && p_position() < mapEnd_ - kClosingSectionLength) {
        uint16_t size = 0;
        if (!p_readSectionSize(&size) || closesMap(size)) {
            break;
        }
        const int64_t start = p_position();
        const int32_t pairsLength = size - kCheckValueLength;
        if (!p_holdSection(start, pairsLength)) {
            break;
        }
        found = p_findInSection(handle, pairsLength, offset);
        if (!p_seek(start + size)) {
            break;
        }
    }
    return p_seek(mapStart_) != 0 && found;
}

// Both deltas of a pair run from 0 at the section's start: the handle's
// is unsigned, seven bits a byte, least significant first.
bool ObjectMap::p_findInSection(uint64_t handle, int32_t pairsLength, int64_t *offset) const
{
    uint64_t running = 0;
    int64_t runningOffset = 0;
    for (int32_t at = 0; at < pairsLength;) {
        const Pair pair = p_decodeHeldPair(section_ + at, held_ - at);
        if (pair.length == 0) {
            return false;
        }
        uint64_t delta = 0;
        for (int32_t i = 0; i < kMaxMCBytes && (i == 0 || (section_[at + i - 1] & kContinues) != 0); ++i) {
            delta |= uint64_t{section_[at + i] & kGroup} << (7 * i);
        }
        running += delta;
        runningOffset += pair.offsetDelta;
        at += pair.length;
        if (running == handle) {
            *offset = runningOffset;
            return true;
        }
    }
    return false;
}

// A pair in fewer bytes than a longest one takes: decoded only when both
// its modular chars end within them.
ObjectMap::Pair ObjectMap::p_decodePairNearEnd(const uint8_t *bytes, int32_t available)
{
    const int32_t first = p_modularCharLength(bytes, available);
    if (first == 0 || p_modularCharLength(bytes + first, available - first) == 0) {
        return Pair{0, 0};
    }
    return p_decodeEachMC(bytes);
}

// The bytes of the modular char at bytes, all of them within available; 0
// when it runs past them.
int32_t ObjectMap::p_modularCharLength(const uint8_t *bytes, int32_t available)
{
    for (int32_t count = 1; count <= available && count <= kMaxMCBytes; ++count) {
        if ((bytes[count - 1] & kContinues) == 0 || count == kMaxMCBytes) {
            return count;
        }
    }
    return 0;
}

ObjectMap::ModularChar ObjectMap::p_decodeLongMC(const uint8_t *bytes)
{
    uint64_t magnitude = 0;
    int32_t count = 0;
    for (;;) {
        const uint8_t byte = bytes[count];
        const int32_t shift = 7 * count;
        ++count;
        if ((byte & kContinues) == 0 || count == kMaxMCBytes) {
            magnitude |= (byte & kLastGroup) << shift;
            return ModularChar{p_signed(magnitude, byte), count};
        }
        magnitude |= (byte & kGroup) << shift;
    }
}

int32_t ObjectMap::p_seek(int64_t position)
{
    return stream_->seekWithCursor(position, cursor_) == 1 ? 1 : 0;
}

int64_t ObjectMap::p_position()
{
    return stream_->positionOfCursor(cursor_);
}
