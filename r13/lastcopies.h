// Where each handle's last copy lies, for a walk of the objects in file
// order. A save that does not write the whole file anew writes the objects
// it changed after what the file holds and leaves their older copies where
// they were; the object map of that save lists only the new ones. Without
// the map both copies are found, and the later in the file is the live
// one. An open-addressing table of handle and position, in a block of the
// session's memory service that doubles when half full: at most four slots
// of 16 bytes for each object noted, an object noted taking at least 4
// bytes of its section, and a bounded number of slots looked at a search.
#ifndef TQ_R13_LASTCOPIES_H
#define TQ_R13_LASTCOPIES_H

#include <cstdint>

class MemoryService;

class LastCopies {
public:
    explicit LastCopies(MemoryService *memory) : memory_(memory) {}
    ~LastCopies();
    LastCopies(const LastCopies &) = delete;
    LastCopies &operator=(const LastCopies &) = delete;

    // Notes an object of handle at position at, which lies after every
    // position noted before; false when a block cannot be had.
    bool note(uint64_t handle, int64_t at);
    // Whether a copy of handle lies after position at.
    bool hasLaterCopy(uint64_t handle, int64_t at) const;

private:
    // A free slot holds no position (0); positions are kept one up.
    struct Slot {
        uint64_t handle;
        int64_t atPlusOne;
    };
    Slot *p_slotOf(uint64_t handle) const;
    bool p_grow();

    MemoryService *memory_;
    Slot *slots_ = nullptr;
    uint32_t capacity_ = 0;  // a power of two, or 0
    uint32_t count_ = 0;
};

#endif
