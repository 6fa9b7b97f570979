// A random-access byte stream over the host's source, with any number of
// independent cursors. Each cursor keeps its position; every read first
// moves the host to the cursor's position, so readers of different parts of a drawing (the object map
// beside the objects) can interleave on one source. Nothing is buffered:
// every read goes to the host.
#ifndef TQ_SUPPORT_FILESTRMIO_H
#define TQ_SUPPORT_FILESTRMIO_H

#include <cstdint>

#include "TQDUDADE.h"

class MemoryService;
class SimpleDB;

class FileStream {
public:
    FileStream(HostSource *source, MemoryService *memory, SimpleDB *cursors)
        : cursors_(cursors), source_(source), memory_(memory)
    {
    }
    ~FileStream();

    int32_t SeekPos(int32_t position);
    int32_t read(void *buffer, int32_t count);
    uint32_t size() const { return size_; }
    // Bytes the host has handed over through this stream so far.
    uint64_t bytesRead() const { return bytesRead_; }
    int32_t CurPosition();
    int32_t newCursor();
    int32_t seekWithCursor(int32_t position, int32_t cursor);
    int32_t readWithCursor(void *buffer, int32_t count, int32_t cursor);
    int32_t positionOfCursor(int32_t cursor);

    // Opens the host source, makes the default cursor and measures the
    // source; false when any of it fails.
    bool p_open();

    MemoryService *memory() const { return memory_; }

private:
    struct Cursor {
        int32_t position;
    };

    Cursor *p_cursor(int32_t id);
    int32_t p_readAtCursor(Cursor *state, void *buffer, int32_t count);
    uint32_t p_measureSize();
    int32_t p_hostSeek(int32_t offset, int32_t origin);
    int32_t p_hostTell();
    int32_t p_hostRead(void *buffer, int32_t count);

    SimpleDB *cursors_;
    HostSource *source_;
    MemoryService *memory_;
    uint32_t size_ = 0;
    int32_t defaultCursor_ = -1;
    uint64_t bytesRead_ = 0;
};

FileStream *newFileStream(HostSource *source, MemoryService *memory);
void deleteFileStream(FileStream *stream);

#endif
