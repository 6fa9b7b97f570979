#include "filestrmio.h"

#include "component.h"
#include "simpleDB.h"

[[gnu::used]] static const char kIdent[] = "@(#)filestrmio: Version 1.00.00";

namespace {

constexpr int32_t kFromStart = 0;
constexpr int32_t kFromEnd = 2;

}  // namespace

FileStream *newFileStream(HostSource *source, MemoryService *memory)
{
    if (source == nullptr || memory == nullptr) {
        return nullptr;
    }
    SimpleDB *cursors = newSimpleDB(memory);
    if (cursors == nullptr) {
        return nullptr;
    }
    FileStream *stream = newIn<FileStream>(memory, source, memory, cursors);
    if (stream == nullptr) {
        deleteSimpleDB(cursors);
        return nullptr;
    }
    if (!stream->p_open()) {
        deleteFileStream(stream);
        return nullptr;
    }
    return stream;
}

void deleteFileStream(FileStream *stream)
{
    if (stream != nullptr) {
        deleteIn(stream->memory(), stream);
    }
}

// The host is closed whenever a stream goes, also one whose opening failed
// half-way: the host may have set something up in a refused fpOpen.
FileStream::~FileStream()
{
    deleteSimpleDB(cursors_);
    cursors_ = nullptr;
    if (source_->fpClose != nullptr) {
        source_->fpClose(source_);
    }
}

bool FileStream::p_open()
{
    if (source_->fpOpen == nullptr || source_->fpOpen(source_) == 0) {
        return false;
    }
    defaultCursor_ = newCursor();
    if (defaultCursor_ < 0) {
        return false;
    }
    size_ = p_measureSize();
    return size_ > 0;
}

int32_t FileStream::SeekPos(int32_t position)
{
    return seekWithCursor(position, defaultCursor_);
}

int32_t FileStream::read(void *buffer, int32_t count)
{
    return readWithCursor(buffer, count, defaultCursor_);
}

int32_t FileStream::CurPosition()
{
    return positionOfCursor(defaultCursor_);
}

int32_t FileStream::newCursor()
{
    int32_t id = cursors_->add();
    if (id < 0) {
        return -1;
    }
    const Cursor start{0};
    return cursors_->put(&start, sizeof start, id) == 1 ? id : -1;
}

// Positions from 0 to the size are valid (the size is where a reader stands
// after the last byte). The cursor moves even when the host cannot follow:
// the next read seeks again anyway.
int32_t FileStream::seekWithCursor(int32_t position, int32_t cursor)
{
    Cursor *state = p_cursor(cursor);
    if (state == nullptr || static_cast<uint32_t>(position) > size_) {
        return 0;
    }
    state->position = position;
    return p_hostSeek(position, kFromStart);
}

int32_t FileStream::readWithCursor(void *buffer, int32_t count, int32_t cursor)
{
    Cursor *state = p_cursor(cursor);
    if (state == nullptr) {
        return -1;
    }
    int32_t got = p_readAtCursor(state, buffer, count);
    if (got > 0) {
        state->position += got;
    }
    return got;
}

int32_t FileStream::positionOfCursor(int32_t cursor)
{
    const Cursor *state = p_cursor(cursor);
    return state == nullptr ? -1 : state->position;
}

// Every read starts with a host seek to the cursor, since another cursor
// may have moved the host since; the caller advances the cursor. 0 when
// the host cannot seek there, -1 when it gives no byte, else the number of
// bytes read.
int32_t FileStream::p_readAtCursor(Cursor *state, void *buffer, int32_t count)
{
    if (p_hostSeek(state->position, kFromStart) == 0) {
        return 0;
    }
    int32_t got = p_hostRead(buffer, count);
    bytesRead_ += static_cast<uint32_t>(got);
    return got == 0 ? -1 : got;
}

// The cursor record lives in the keyed store and is changed in place.
FileStream::Cursor *FileStream::p_cursor(int32_t id)
{
    void *data = nullptr;
    uint32_t length = 0;
    if (cursors_->get(&data, &length, id) == 0 || length != sizeof(Cursor)) {
        return nullptr;
    }
    return static_cast<Cursor *>(data);
}

// The end of the source is where the host stands after a seek to the end;
// the host is put back where it was. Any failure measures 0, which refuses
// the source.
uint32_t FileStream::p_measureSize()
{
    int32_t here = p_hostTell();
    if (here < 0 || p_hostSeek(0, kFromEnd) == 0) {
        return 0;
    }
    int32_t end = p_hostTell();
    if (end < 0 || p_hostSeek(here, kFromStart) == 0) {
        return 0;
    }
    return static_cast<uint32_t>(end);
}

int32_t FileStream::p_hostSeek(int32_t offset, int32_t origin)
{
    if (source_->fpSeek == nullptr) {
        return 0;
    }
    return source_->fpSeek(source_, offset, origin) == 1 ? 1 : 0;
}

int32_t FileStream::p_hostTell()
{
    return source_->fpTell == nullptr ? -1 : source_->fpTell(source_);
}

int32_t FileStream::p_hostRead(void *buffer, int32_t count)
{
    if (source_->fpRead == nullptr) {
        return 0;
    }
    int32_t got = source_->fpRead(source_, buffer, count);
    return got < 1 ? 0 : got;
}
