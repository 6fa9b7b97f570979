// A random-access byte stream over a session's source, with a few
// independent cursors. Each cursor keeps its position and the window of the
// file it reads in: reads and moves within the window are served from
// memory. When a read leaves it, the cursor takes the window that holds the
// bytes wanted if the stream still has one, else the source is asked for a
// whole aligned window. Readers of different parts of a drawing (the object
// map beside the objects) interleave on one source, each with its own
// cursor; the objects of a real drawing lie in a few regions of the file
// that the map's order goes back and forth between, and the stream keeps a
// window for each. A source that holds its bytes whole in memory is read
// where they lie: its windows are larger, point into those bytes instead
// of holding copies, and the source is asked for no bytes at all; it is
// told when the stream lets a window go, so that a source that maps a file
// into memory can give those pages back.
#ifndef TQ_SUPPORT_FILESTRMIO_H
#define TQ_SUPPORT_FILESTRMIO_H

#include <cstdint>

#include "support/publicstorage.h"
#include "support/readersource.h"

class FileStream {
public:
    static constexpr int32_t kMaxCursors = 4;
    static constexpr int32_t kWindowSize = 16384;
    // A window over a source held in memory costs no block and no copy: it
    // is large, so that the walks leave it seldom.
    static constexpr int32_t kInPlaceWindowSize = 1 << 18;
    static constexpr int32_t kWindowCount = 8;
    // Windows cover a source's blocks up to this size; a source with larger
    // blocks is read in windows of kWindowSize.
    static constexpr uint32_t kLargestBlockWindow = 1 << 16;
    static_assert(kWindowCount > kMaxCursors, "a cursor leaving its window always finds a spare one");

    FileStream(ReaderSource *source, MemoryService *memory)
        : source_(source), memory_(memory), inPlace_(source->inMemory()), windowSize_(p_windowSizeFor(source))
    {
    }
    ~FileStream();

    // The default cursor is the stream's first, made when it opens: the
    // operations without a cursor argument use it.
    int32_t SeekPos(int64_t position)
    {
        if (static_cast<uint64_t>(position) > size_) {
            p_notePastEnd(position);
            return 0;
        }
        cursors_[kDefaultCursor].position = position;
        return 1;
    }
    int32_t read(void *buffer, int32_t count);
    uint64_t size() const { return size_; }
    // Bytes this stream has handed to its readers so far.
    uint64_t bytesRead() const { return bytesRead_; }
    // The reads the decoders made near or past the end of this stream's
    // spans (BitCursor::loadsNearEnd): they stay within a small multiple of
    // the file's size whatever the counts the drawing states.
    uint64_t loadsNearEnd() const { return *loadsNearEnd_; }
    void noteLoadsNearEnd(uint64_t loads) { *loadsNearEnd_ += loads; }
    // A stream over a part of the file (a container's section) counts them
    // with the file's stream, which must outlive it.
    void countLoadsWith(FileStream &file) { loadsNearEnd_ = file.loadsNearEnd_; }
    // Whether a reader asked for a position or bytes past the end of the
    // source, or found that the drawing records some there: where the
    // drawing's own checked records lead there, it was cut short.
    bool wentPastEnd() const { return wentPastEnd_; }
    // Whether the source gave fewer bytes than it holds: the host failed a
    // read, or a container's page could not be read.
    bool sourceFailed() const { return sourceFailed_; }
    void notePastEnd() { wentPastEnd_ = true; }
    int64_t CurPosition() const { return cursors_[kDefaultCursor].position; }
    int32_t newCursor();
    // The first position from position on that the source holds bytes for.
    int64_t heldFrom(int64_t position) const
    {
        return static_cast<int64_t>(source_->heldFrom(static_cast<uint64_t>(position)));
    }
    // Positions from 0 to the size are valid (the size is where a reader
    // stands after the last byte). A move asks nothing of the source: the next
    // read fetches what it needs.
    int32_t seekWithCursor(int64_t position, int32_t cursor)
    {
        Cursor *state = p_cursor(cursor);
        if (state == nullptr || static_cast<uint64_t>(position) > size_) {
            p_notePastEnd(position);
            return 0;
        }
        state->position = position;
        return 1;
    }
    int32_t readWithCursor(void *buffer, int32_t count, int32_t cursor);
    int64_t positionOfCursor(int32_t cursor)
    {
        const Cursor *state = p_cursor(cursor);
        return state == nullptr ? -1 : state->position;
    }

    // Up to length bytes from position on, for a decoder to read in
    // memory: in place when the default cursor's window holds them, else
    // copied into the stream's span block, which the next span reuses.
    // Fewer at the end of the file, or before a gap, and then clipped is
    // set. Nothing past the end is asked for, and the default cursor
    // stands at position afterwards. readable counts the bytes from bytes
    // on that hold the file, the span's and, in a window, those after it,
    // which a decoder may load but not use.
    struct Span {
        const uint8_t *bytes;
        int32_t length;
        int32_t readable;
        bool clipped;
    };
    Span span(int64_t position, int32_t length)
    {
        Cursor &state = cursors_[kDefaultCursor];
        const int64_t offset = position - state.windowStart;
        if (length > 0 && offset >= 0 && offset <= state.windowLength - length) {
            state.position = position;
            bytesRead_ += static_cast<uint32_t>(length);
            return Span{state.window + offset, length, static_cast<int32_t>(state.windowLength - offset), false};
        }
        return p_spanOutsideWindow(position, length);
    }
    // The bytes from position on that the window of a cursor holds, read in
    // place: how many (0 past the end of the file or when the source cannot
    // give them), with *bytes at the first. The cursor stands at position.
    int32_t viewWithCursor(int64_t position, int32_t cursor, const uint8_t **bytes)
    {
        Cursor *state = p_cursor(cursor);
        if (state == nullptr || position < 0) {
            return 0;
        }
        state->position = position;
        return p_view(*state, bytes);
    }
    // The default cursor's window: length bytes of the file from offset
    // start on (none before the first read). A walk over many small records
    // in a row reads those the window holds straight from it, and counts
    // the bytes it took with noteBytesRead, as span would have.
    struct Held {
        const uint8_t *bytes;
        int64_t start;
        int32_t length;
    };
    Held held() const
    {
        const Cursor &state = cursors_[kDefaultCursor];
        return Held{state.window, state.windowStart, state.windowLength};
    }
    void noteBytesRead(uint64_t count) { bytesRead_ += count; }
    // A decoder that ran out of a span the end of the file cut short read
    // past that end.
    void noteRanOut(const Span &span, bool ranOut)
    {
        if (ranOut && span.clipped) {
            wentPastEnd_ = true;
        }
    }

    // Opens the source, makes the default cursor and measures the source;
    // false when any of it fails.
    bool open();

    MemoryService *memory() const { return memory_; }

    // For a source whose reads can stop short inside it (a container's
    // section with a page that cannot be read): a window that stops short
    // of a position is then followed by one that starts at that position,
    // so that what lies past the gap can still be read.
    void readAroundGaps() { readsAroundGaps_ = true; }
    bool readsAroundGaps() const { return readsAroundGaps_; }

private:
    static constexpr int32_t kDefaultCursor = 0;

    struct Window {
        uint8_t *block;     // windowSize_ bytes, taken with the others at the first read; none in place
        int64_t start;      // file offset of the window's first byte
        int32_t length;     // bytes that hold the file
        uint32_t lastUse;   // when a cursor last took it
    };

    // The cursor's window, with its start and length copied beside the
    // position for the reads served from it. No cursor moves a window that
    // another holds to another part of the file; a window the source gave
    // only in part is read again in place, with the same bytes.
    struct Cursor {
        int64_t position;
        const uint8_t *window;
        int64_t windowStart;
        int32_t windowLength;
        int32_t windowId;   // -1 before the first read
    };

    void p_notePastEnd(int64_t position) { wentPastEnd_ = wentPastEnd_ || position >= 0; }
    // Cursors are numbered from 0 in the order they were made.
    Cursor *p_cursor(int32_t id) { return id >= 0 && id < cursorCount_ ? &cursors_[id] : nullptr; }
    int32_t p_readAtCursor(Cursor *state, uint8_t *buffer, int32_t count);
    int32_t p_fillWindow(Cursor *state, int64_t position);
    static int32_t p_windowSizeFor(const ReaderSource *source);
    static bool p_hasBlockWindows(const ReaderSource *source)
    {
        return source->inMemory() == nullptr && source->blockSize() > 0 && source->blockSize() <= kLargestBlockWindow;
    }
    // Where the window that holds position starts.
    int64_t p_windowStart(int64_t position) const
    {
        return p_hasBlockWindows(source_) ? static_cast<int64_t>(source_->blockStart(static_cast<uint64_t>(position)))
                                    : position - position % windowSize_;
    }
    Window *p_windowAt(int64_t start);
    int32_t p_fillWindowAt(Cursor *state, int64_t start, int64_t position);
    Window *p_spareWindow(const Cursor *state);
    bool p_isHeldByAnother(int32_t windowId, const Cursor *state) const;
    int32_t p_readWindow(Window *window, int64_t start);
    int32_t p_pointWindow(Window *window, int64_t start);
    // The window's bytes: its block's copy, or in place the source's own.
    const uint8_t *p_windowBytes(const Window &window) const
    {
        return inPlace_ != nullptr ? inPlace_ + window.start : window.block;
    }
    bool p_takeWindows();
    int32_t p_viewAfterFill(Cursor *state, const uint8_t **bytes);
    // The bytes of the cursor's window from its position on, read in
    // place: how many there are (0 at the end of the file or when the
    // source cannot give them), with *bytes pointing at the first.
    int32_t p_view(Cursor &state, const uint8_t **bytes)
    {
        const int64_t offset = state.position - state.windowStart;
        if (offset >= 0 && offset < state.windowLength) {
            *bytes = state.window + offset;
            return static_cast<int32_t>(state.windowLength - offset);
        }
        return p_viewAfterFill(&state, bytes);
    }
    Span p_spanOutsideWindow(int64_t position, int32_t length);

    ReaderSource *source_;
    MemoryService *memory_;
    const uint8_t *inPlace_;  // the source's bytes when it holds them in memory
    int32_t windowSize_;
    Cursor cursors_[kMaxCursors] = {};
    Window windows_[kWindowCount] = {};
    uint32_t windowUses_ = 0;
    int32_t cursorCount_ = 0;
    uint64_t size_ = 0;
    uint64_t bytesRead_ = 0;
    uint64_t ownLoadsNearEnd_ = 0;
    uint64_t *loadsNearEnd_ = &ownLoadsNearEnd_;
    ReusableBlock spanCopy_;
    bool wentPastEnd_ = false;
    bool readsAroundGaps_ = false;
    bool sourceFailed_ = false;
};

// Null when no block can be had, or the source cannot be opened or
// measured (it is then closed).
FileStream *newFileStream(ReaderSource *source, MemoryService *memory);
void deleteFileStream(FileStream *stream);

#endif
