// Which objects are older copies of a handle, for a walk of the objects in
// file order. A save that does not write the whole file anew writes the
// objects it changed after what the file holds and leaves their older
// copies where they were; the object map of that save lists only the new
// ones. Without the map every copy is found, and the last in the file is
// the live one. The objects are noted in file order (handle and position,
// 16 bytes each, in a block of the session's memory service that doubles
// as it fills), then sorted by handle once: the positions of every copy
// but each handle's last are kept, in file order, and the walk asks for
// positions in file order too, so each question costs a comparison or two.
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

    // Notes an object of handle at position at, after every position noted
    // before; false when a block cannot be had.
    bool note(uint64_t handle, int64_t at);
    // Once every object is noted: keeps the older copies' positions.
    void settle();
    // Whether the object at position at is an older copy of its handle;
    // asked for positions in file order.
    bool isOlderCopy(int64_t at);

private:
    struct Noted {
        uint64_t handle;
        int64_t at;
    };

    MemoryService *memory_;
    Noted *noted_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
    uint32_t olderCount_ = 0;  // after settle, the first entries of noted_
    uint32_t nextOlder_ = 0;
};

#endif
