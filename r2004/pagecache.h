// What both containers use to reach their pages: reads at a file position
// through a cursor of the container's own, and a small cache of
// decompressed pages, so that host memory does not grow with the drawing.
#ifndef TQ_R2004_PAGECACHE_H
#define TQ_R2004_PAGECACHE_H

#include <cstdint>

class FileStream;
class MemoryService;
struct DWGglobal;

// The file as a container reads it: its own cursor leaves the positions
// of the other readers alone.
class ContainerFile {
public:
    ContainerFile(FileStream *file, int32_t cursor) : file_(file), cursor_(cursor) {}

    uint64_t size() const;
    // Reads count bytes from position on. False when the host fails, or
    // when they do not all lie in the file, which is noted as a read past
    // its end.
    bool readAt(uint64_t position, void *bytes, uint64_t count);
    // The count bytes from position on where the file's stream holds them
    // in one window, else as readAt copies them into scratch; null where
    // readAt fails. Valid until the file is read again.
    const uint8_t *bytesAt(uint64_t position, uint32_t count, uint8_t *scratch);
    // The drawing records a part past the end of the file: it was cut short.
    void notePastEnd();
    // The host failed a read of bytes the file holds: what was not read
    // is not known to be lost or damaged.
    bool hostFailed() const { return hostFailed_; }

private:
    FileStream *file_;
    int32_t cursor_;
    bool hostFailed_ = false;
};

// A few slots of pageBytes each, reused in least-recent order, for what is
// read of a page in part (a section's header and classes, the ends of
// pages): the walks read the objects and their map in whole pages, made
// straight into the stream's windows. Pages are told apart by the address
// of the record that describes them.
class PageCache {
public:
    PageCache(DWGglobal *session, MemoryService *memory, uint32_t pageBytes)
        : session_(session), memory_(memory), pageBytes_(pageBytes)
    {
    }

    // The bytes of a page held, marked as used now; null when not held.
    const uint8_t *held(const void *page);
    // The least-recent slot, emptied, for a page to be loaded into; null,
    // after a report, when its block cannot be had.
    uint8_t *claim();
    // The slot claimed last holds page from now on.
    const uint8_t *keep(const void *page);
    void release();

private:
    static constexpr int32_t kSlots = 3;

    struct Slot {
        uint8_t *bytes;
        const void *page;  // null when none
        uint32_t lastUse;
    };

    DWGglobal *session_;
    MemoryService *memory_;
    uint32_t pageBytes_;
    Slot slots_[kSlots] = {};
    Slot *claimed_ = nullptr;
    uint32_t uses_ = 0;
};

#endif
