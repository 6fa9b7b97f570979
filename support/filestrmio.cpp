#include "filestrmio.h"

#include <cstring>

#include "component.h"

[[gnu::used]] static const char kIdent[] = "@(#)filestrmio: Version 1.00.00";

FileStream *newFileStream(ReaderSource *source, MemoryService *memory)
{
    if (source == nullptr || memory == nullptr) {
        return nullptr;
    }
    FileStream *stream = newIn<FileStream>(memory, source, memory);
    if (stream == nullptr) {
        return nullptr;
    }
    if (!stream->open()) {
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

// The source is closed whenever a stream goes, also one whose opening
// failed half-way: a host may have set something up in a refused open.
FileStream::~FileStream()
{
    for (Window &window : windows_) {
        memory_->free(window.block);
    }
    spanCopy_.release(memory_);
    source_->close();
}

bool FileStream::open()
{
    if (!source_->open() || newCursor() != kDefaultCursor) {
        return false;
    }
    size_ = source_->measure();
    return size_ > 0;
}

int32_t FileStream::read(void *buffer, int32_t count)
{
    return readWithCursor(buffer, count, kDefaultCursor);
}

// A span the default cursor's window does not hold whole: the window that
// holds its start, when that holds it all, or a copy.
FileStream::Span FileStream::p_spanOutsideWindow(int64_t position, int32_t length)
{
    if (position < 0 || static_cast<uint64_t>(position) >= size_ || length <= 0) {
        return Span{nullptr, 0, 0, length > 0};
    }
    const uint64_t left = size_ - static_cast<uint64_t>(position);
    const int32_t wanted = static_cast<uint64_t>(length) < left ? length : static_cast<int32_t>(left);
    Cursor &state = cursors_[kDefaultCursor];
    state.position = position;
    const uint8_t *bytes = nullptr;
    const int32_t inWindow = p_view(state, &bytes);
    if (inWindow >= wanted) {
        bytesRead_ += static_cast<uint32_t>(wanted);
        return Span{bytes, wanted, inWindow, wanted < length};
    }
    auto *copy = static_cast<uint8_t *>(spanCopy_.reserve(memory_, static_cast<uint32_t>(wanted)));
    int32_t got = copy == nullptr ? 0 : p_readAtCursor(&state, copy, wanted);
    got = got < 0 ? 0 : got;
    bytesRead_ += static_cast<uint32_t>(got);
    return Span{copy, got, got, got < length};
}

int32_t FileStream::newCursor()
{
    if (cursorCount_ == kMaxCursors) {
        return -1;
    }
    cursors_[cursorCount_] = Cursor{0, nullptr, 0, 0, -1};
    return cursorCount_++;
}

int32_t FileStream::readWithCursor(void *buffer, int32_t count, int32_t cursor)
{
    Cursor *state = p_cursor(cursor);
    if (state == nullptr) {
        return -1;
    }
    int32_t got = p_readAtCursor(state, static_cast<uint8_t *>(buffer), count);
    if (got > 0) {
        state->position += got;
        bytesRead_ += static_cast<uint32_t>(got);
    }
    return got;
}

// Copies from the cursor's window, refilling it whenever the bytes wanted
// lie beyond it. 0 when the source cannot be positioned at a window, -1
// when no byte could be had, else the number of bytes copied: fewer than
// asked at the end of the file.
int32_t FileStream::p_readAtCursor(Cursor *state, uint8_t *buffer, int32_t count)
{
    int32_t copied = 0;
    while (copied < count && static_cast<uint64_t>(state->position + copied) < size_) {
        const int64_t at = state->position + copied;
        if (at < state->windowStart || at >= state->windowStart + state->windowLength) {
            int32_t filled = p_fillWindow(state, at);
            if (filled <= 0) {
                return copied > 0 ? copied : filled;
            }
        }
        const int32_t available = static_cast<int32_t>(state->windowStart + state->windowLength - at);
        const int32_t step = count - copied < available ? count - copied : available;
        memcpy(buffer + copied, state->window + (at - state->windowStart), static_cast<size_t>(step));
        copied += step;
    }
    if (copied < count) {
        p_notePastEnd(state->position + copied);
    }
    return copied > 0 ? copied : -1;
}

// Gives the cursor the aligned window that holds position, read from the
// source unless the stream has it: 0 when the source cannot be positioned
// there, -1 when it gives nothing, else the bytes the window holds.
int32_t FileStream::p_fillWindow(Cursor *state, int64_t position)
{
    const int32_t filled = p_fillWindowAt(state, p_windowStart(position), position);
    if (filled < 0 && readsAroundGaps_ && state->windowLength > 0) {
        return p_fillWindowAt(state, position, position);
    }
    return filled;
}

// The same for the window that starts at start; -1 also when it holds
// bytes but stops short of position.
int32_t FileStream::p_fillWindowAt(Cursor *state, int64_t start, int64_t position)
{
    Window *window = p_windowAt(start);
    if (window == nullptr || position >= start + window->length) {
        window = window != nullptr ? window : p_spareWindow(state);
        const int32_t filled = p_readWindow(window, start);
        if (filled <= 0) {
            state->windowLength = 0;
            return filled;
        }
    }
    window->lastUse = ++windowUses_;
    state->windowId = static_cast<int32_t>(window - windows_);
    state->window = p_windowBytes(*window);
    state->windowStart = window->start;
    state->windowLength = window->length;
    return position < start + window->length ? window->length : -1;
}

FileStream::Window *FileStream::p_windowAt(int64_t start)
{
    for (Window &window : windows_) {
        if (window.start == start && window.length > 0) {
            return &window;
        }
    }
    return nullptr;
}

// The window used least recently of those no other cursor holds: with more
// windows than cursors there always is one.
FileStream::Window *FileStream::p_spareWindow(const Cursor *state)
{
    Window *spare = nullptr;
    for (int32_t id = 0; id < kWindowCount; ++id) {
        if (!p_isHeldByAnother(id, state) && (spare == nullptr || windows_[id].lastUse < spare->lastUse)) {
            spare = &windows_[id];
        }
    }
    return spare;
}

bool FileStream::p_isHeldByAnother(int32_t windowId, const Cursor *state) const
{
    for (int32_t id = 0; id < cursorCount_; ++id) {
        if (&cursors_[id] != state && cursors_[id].windowId == windowId) {
            return true;
        }
    }
    return false;
}

// The windows are taken together at the stream's first read, with a first
// block for the copies of spans that cross windows, so that a session holds
// as much whatever the drawing's length. In place the windows take no
// blocks.
bool FileStream::p_takeWindows()
{
    constexpr uint32_t kFirstSpanCopy = 256;
    for (Window &window : windows_) {
        if (inPlace_ == nullptr && window.block == nullptr) {
            window.block = static_cast<uint8_t *>(memory_->allocate(static_cast<uint32_t>(windowSize_)));
            if (window.block == nullptr) {
                return false;
            }
        }
    }
    return spanCopy_.reserve(memory_, kFirstSpanCopy) != nullptr;
}

// Reads the window at start from the source: 0 when the source cannot be
// positioned there, -1 when no block can be had or the source gives
// nothing, else the bytes read.
int32_t FileStream::p_readWindow(Window *window, int64_t start)
{
    if (!p_takeWindows()) {
        return -1;
    }
    if (inPlace_ != nullptr) {
        return p_pointWindow(window, start);
    }
    const uint64_t left = size_ - static_cast<uint64_t>(start);
    const int32_t wanted = left < static_cast<uint64_t>(windowSize_) ? static_cast<int32_t>(left) : windowSize_;
    const int32_t got = source_->readAt(static_cast<uint64_t>(start), window->block, wanted);
    sourceFailed_ = sourceFailed_ || got < wanted;
    window->start = start;
    window->length = got > 0 ? got : 0;
    return got < 0 ? 0 : got > 0 ? got : -1;
}

// Windows as large as the source's blocks, where it has blocks of a size
// a window can take; in place, large windows that cost nothing.
int32_t FileStream::p_windowSizeFor(const ReaderSource *source)
{
    if (source->inMemory() != nullptr) {
        return kInPlaceWindowSize;
    }
    return p_hasBlockWindows(source) ? static_cast<int32_t>(source->blockSize()) : kWindowSize;
}

// In place the window covers the source's bytes from start on, after the
// source is told that those it covered are let go.
int32_t FileStream::p_pointWindow(Window *window, int64_t start)
{
    if (window->length > 0) {
        source_->letGo(static_cast<uint64_t>(window->start), static_cast<uint32_t>(window->length));
    }
    const uint64_t left = size_ - static_cast<uint64_t>(start);
    window->start = start;
    window->length = left < static_cast<uint64_t>(windowSize_) ? static_cast<int32_t>(left) : windowSize_;
    return window->length;
}

int32_t FileStream::p_viewAfterFill(Cursor *state, const uint8_t **bytes)
{
    if (static_cast<uint64_t>(state->position) >= size_ || p_fillWindow(state, state->position) <= 0) {
        return 0;
    }
    *bytes = state->window + (state->position - state->windowStart);
    return static_cast<int32_t>(state->windowStart + state->windowLength - state->position);
}
