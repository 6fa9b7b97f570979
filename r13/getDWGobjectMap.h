// The object map of an R13 to R2018 drawing: for every object its handle
// and file offset (from R2004 on, its offset in the objects section), as
// runs of signed modular-char deltas in sections of at most a few
// kilobytes. Each section is copied out of the stream through a cursor of
// its own and decoded from memory; only one section and the state of the
// walk are kept.
#ifndef TQ_R13_GETDWGOBJECTMAP_H
#define TQ_R13_GETDWGOBJECTMAP_H

#include <algorithm>
#include <cstdint>

#include "core/results.h"
#include "support/publicstorage.h"

struct DWGglobal;
class FileStream;

class ObjectMap {
public:
    ObjectMap(DWGglobal *session, MemoryService *memory, FileStream *stream, int64_t mapStart, int64_t mapEnd)
        : session_(session), memory_(memory), stream_(stream), mapStart_(mapStart), mapEnd_(mapEnd)
    {
    }
    ~ObjectMap();
    ObjectMap(const ObjectMap &) = delete;
    ObjectMap &operator=(const ObjectMap &) = delete;

    DWGglobal *session() const { return session_; }
    MemoryService *memory() const { return memory_; }

    // Item: an offset was delivered; End: no more entries; Failed: a read
    // failed. Inline for the entries that lie within the section held with
    // a longest pair's bytes after them, which are nearly all.
    StepResult nextOffset(int64_t *offset)
    {
        if (at_ < directEnd_) {
            const Pair pair = p_decodePair(section_ + at_);
            at_ += pair.length;
            runningOffset_ += pair.offsetDelta;
            *offset = runningOffset_;
            return StepResult::Item;
        }
        return p_nextOffsetAtEdge(offset);
    }
    // Hands take the offsets of the entries that nextOffset would deliver
    // inline, one after the other, for as long as take takes them (returns
    // true); the first it refuses is left for nextOffset. The walk's state
    // stays in registers meanwhile.
    template <class Take>
    void takeHeldOffsets(Take take)
    {
        const uint8_t *const section = section_;
        const int32_t end = directEnd_;
        int32_t at = at_;
        int64_t running = runningOffset_;
        while (at < end) {
            const Pair pair = p_decodePair(section + at);
            const int64_t offset = running + pair.offsetDelta;
            if (!take(offset)) {
                break;
            }
            at += pair.length;
            running = offset;
        }
        at_ = at;
        runningOffset_ = running;
    }
    // Reads every section for the lowest absolute offset of all entries (0
    // when there are none); false when a section cannot be read.
    bool scanLowestOffset(int64_t *lowest);
    // Where the section that failed the scan starts.
    int64_t scanStop() const { return scanStop_; }

    // The offset the map gives the object of handle, looked for section
    // by section; false when the map does not list it or cannot be read.
    // The cursor is left at the map start.
    bool findOffset(uint64_t handle, int64_t *offset);

    // Makes the byte-order service and the cursor and moves the cursor to
    // the map start; false when any of it fails.
    bool open();

private:
    // No modular char of the map is longer than six bytes; a sixth byte
    // ends the value whatever its continuation bit says.
    static constexpr int32_t kMaxMCBytes = 6;
    static constexpr int32_t kLongestPair = 2 * kMaxMCBytes;
    // A modular char holds seven value bits per byte, least significant
    // group first; kContinues says another byte follows, and in the last
    // byte kSign is the sign, leaving six value bits.
    static constexpr uint8_t kContinues = 0x80;
    static constexpr uint8_t kSign = 0x40;
    static constexpr uint64_t kGroup = 0x7F;
    static constexpr uint64_t kLastGroup = 0x3F;

    // A decoded modular char, and the bytes it took.
    struct ModularChar {
        int64_t value;
        int32_t length;
    };
    // A pair is two modular chars: the handle's delta, which the walk does
    // not need, then the offset's. length 0: the pair could not be decoded.
    struct Pair {
        int64_t offsetDelta;
        int32_t length;
    };
    // Nearly every pair of a map is a one-byte handle delta and an offset
    // delta of one or two bytes, followed by the next pair's one-byte
    // handle delta: the first and third bytes tell such a pair at once.
    static Pair p_decodePair(const uint8_t *bytes)
    {
        if (((bytes[0] | bytes[2]) & kContinues) == 0) {
            const ModularChar offset = p_decodeMC(bytes + 1);
            return Pair{offset.value, 1 + offset.length};
        }
        return p_decodeEachMC(bytes);
    }
    // A pair decoded one modular char after the other, reading no byte
    // past its own.
    static Pair p_decodeEachMC(const uint8_t *bytes)
    {
        const int32_t handleLength = p_decodeMC(bytes).length;
        const ModularChar offset = p_decodeMC(bytes + handleLength);
        return Pair{offset.value, handleLength + offset.length};
    }
    // Most deltas of a map take one or two bytes.
    static ModularChar p_decodeMC(const uint8_t *bytes)
    {
        const uint8_t first = bytes[0];
        if ((first & kContinues) == 0) {
            return ModularChar{p_signed(first & kLastGroup, first), 1};
        }
        const uint8_t second = bytes[1];
        if ((second & kContinues) == 0) {
            return ModularChar{p_signed((first & kGroup) | (second & kLastGroup) << 7, second), 2};
        }
        return p_decodeLongMC(bytes);
    }
    static int64_t p_signed(uint64_t magnitude, uint8_t last)
    {
        const auto value = static_cast<int64_t>(magnitude);
        return (last & kSign) != 0 ? -value : value;
    }
    static ModularChar p_decodeLongMC(const uint8_t *bytes);
    static int32_t p_modularCharLength(const uint8_t *bytes, int32_t available);
    // A pair within available bytes.
    static Pair p_decodeHeldPair(const uint8_t *bytes, int32_t available)
    {
        if (available >= kLongestPair) {
            return p_decodePair(bytes);
        }
        return p_decodePairNearEnd(bytes, available);
    }
    static Pair p_decodePairNearEnd(const uint8_t *bytes, int32_t available);
    // Where, within the first pairsLength bytes held, the pairs stop having
    // a longest pair's bytes held after them: those before it are decoded
    // without a test of the bytes held.
    int32_t p_directEnd(int32_t pairsLength) const { return std::min(pairsLength, held_ - kLongestPair + 1); }

    StepResult p_nextOffsetAtEdge(int64_t *offset);
    StepResult p_loadSection();
    bool p_holdSection(int64_t start, int32_t pairsLength);
    int32_t p_scanMap();
    bool p_findInSection(uint64_t handle, int32_t pairsLength, int64_t *offset) const;
    int32_t p_readSectionSize(uint16_t *size);
    int32_t p_scanSection(uint16_t size);
    int32_t p_seek(int64_t position);
    int64_t p_position();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    int64_t mapStart_;
    int64_t mapEnd_;
    // The section being walked, copied out of the stream from its first
    // pair on: its pairs end at pairsEnd_, its bytes (and up to a longest
    // pair after them, as far as the file goes) fill held_ bytes of
    // section_.
    bool inSection_ = false;
    int64_t sectionEnd_ = 0;
    int64_t pairsStart_ = 0;
    int32_t pairsEnd_ = 0;
    int32_t at_ = 0;
    // The pairs that start before directEnd_ lie within the section's
    // pairs, before the map's end, with a longest pair's bytes held after
    // them; 0 or less while no section is walked.
    int32_t directEnd_ = 0;
    ReusableBlock sectionBlock_;
    uint8_t *section_ = nullptr;
    int32_t held_ = 0;
    int64_t runningOffset_ = 0;
    int64_t lowestOffset_ = 0;
    int64_t scanStop_ = 0;
    int32_t cursor_ = -1;
};

ObjectMap *newObjectMap(DWGglobal *session, MemoryService *memory, FileStream *stream,
                        int64_t mapStart, int64_t mapEnd);
void deleteObjectMap(ObjectMap *map);

#endif
