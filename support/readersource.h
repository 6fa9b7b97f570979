// Where a session's bytes come from: a drawing read at any position. The
// host's source is one (its seek and read operations make a positioned
// read), bytes our own programs hold or read from a file are another, and
// a container's decompressed sections are a third. The stream's windows
// are filled through it, a window at a time.
#ifndef TQ_SUPPORT_READERSOURCE_H
#define TQ_SUPPORT_READERSOURCE_H

#include <cstdint>

class ReaderSource {
public:
    // Makes the source ready: false refuses it.
    virtual bool open() = 0;
    // The bytes the source holds; 0 when it cannot tell, which refuses it.
    virtual uint64_t measure() = 0;
    // Copies up to count bytes from offset on into buffer: how many (fewer
    // at the end of the source or at a part that cannot be read, 0 when no
    // byte could be had), or -1 when the source cannot be positioned there.
    virtual int32_t readAt(uint64_t offset, void *buffer, int32_t count) = 0;
    // Once, when the stream over it goes, also after a refused open.
    virtual void close() {}
    // All the bytes measure() counts, when they are held in memory and stay
    // there until the session ends; null when they are not.
    virtual const uint8_t *inMemory() const { return nullptr; }
    // Of bytes held in memory, the stream reads the length bytes from start
    // on no more, until a window takes them again: a source that maps a
    // file may give their pages back.
    virtual void letGo(uint64_t, uint32_t) {}
    // A source that makes its bytes a block at a time (a container's
    // decompressed pages) names the largest of its blocks and where the one
    // holding a position starts: each window of the stream then covers one
    // block, which the source can make straight into the window. 0: the
    // source has no blocks of its own.
    virtual uint32_t blockSize() const { return 0; }
    virtual uint64_t blockStart(uint64_t position) const { return position; }
    // The first position from position on whose bytes the source holds: a
    // container's section reads as zeros where no page covers it, and a walk
    // looking for objects there would find none.
    virtual uint64_t heldFrom(uint64_t position) const { return position; }

protected:
    ~ReaderSource() = default;
};

#endif
