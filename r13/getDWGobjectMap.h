// The object map of an R13 to R2018 drawing: for every object its handle
// and file offset (from R2004 on, its offset in the objects section), as
// runs of signed modular-char deltas in sections of at most a few
// kilobytes. Each section is copied out of the stream through a cursor of
// its own and decoded from memory; only one section and the state of the
// walk are kept.
#ifndef TQ_R13_GETDWGOBJECTMAP_H
#define TQ_R13_GETDWGOBJECTMAP_H

#include <cstdint>

#include "core/results.h"

struct DWGglobal;
class FileStream;
class MemoryService;

class ObjectMap {
public:
    ObjectMap(DWGglobal *session, MemoryService *memory, FileStream *stream, int32_t mapStart, int32_t mapEnd)
        : session_(session), memory_(memory), stream_(stream), mapStart_(mapStart), mapEnd_(mapEnd)
    {
    }
    ~ObjectMap();
    ObjectMap(const ObjectMap &) = delete;
    ObjectMap &operator=(const ObjectMap &) = delete;

    DWGglobal *session() const { return session_; }
    MemoryService *memory() const { return memory_; }

    // Item: an offset was delivered; End: no more entries; Failed: a read
    // failed.
    StepResult nextOffset(int32_t *offset);
    // The lowest absolute offset of all entries; 0 when none or on failure.
    int32_t lowestOffset();

    // Makes the byte-order service and the cursor and moves the cursor to
    // the map start; false when any of it fails.
    bool open();

private:
    StepResult p_loadSection();
    bool p_holdSection(int32_t start, int32_t pairsLength);
    int32_t p_scanMap();
    int32_t p_readSectionSize(uint16_t *size);
    int32_t p_scanSection(uint16_t size);
    [[gnu::always_inline]] int32_t p_decodePair(const uint8_t *bytes, int32_t *handleDelta,
                                                int32_t *offsetDelta) const;
    int32_t p_decodeHeldPair(const uint8_t *bytes, int32_t available, int32_t *handleDelta,
                             int32_t *offsetDelta) const;
    [[gnu::always_inline]] int32_t p_decodeMC(const uint8_t *bytes, int32_t *value) const;
    int32_t p_decodeLongMC(const uint8_t *bytes, int32_t *value) const;
    int32_t p_seek(int32_t position);
    int32_t p_position();

    DWGglobal *session_;
    MemoryService *memory_;
    FileStream *stream_;
    int32_t mapStart_;
    int32_t mapEnd_;
    // The section being walked, copied out of the stream from its first
    // pair on: its pairs end at pairsEnd_, its bytes (and up to a longest
    // pair after them, as far as the file goes) fill held_ bytes of
    // section_.
    bool inSection_ = false;
    int32_t sectionEnd_ = 0;
    int32_t pairsStart_ = 0;
    int32_t pairsEnd_ = 0;
    int32_t at_ = 0;
    uint8_t *section_ = nullptr;
    int32_t held_ = 0;
    int32_t capacity_ = 0;
    int32_t runningOffset_ = 0;
    int32_t lowestOffset_ = 0;
    int32_t cursor_ = -1;
};

ObjectMap *newObjectMap(DWGglobal *session, MemoryService *memory, FileStream *stream,
                        int32_t mapStart, int32_t mapEnd);
void deleteObjectMap(ObjectMap *map);

#endif
