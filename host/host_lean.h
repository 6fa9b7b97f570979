// The lean host: what libdwgtext (and so dwgtext) and the timed runs read
// drawings through.
//
// It takes the drawing's bytes by positioned reads from a ByteSource (a file
// read where the library asks, or bytes in memory, which the library reads
// in place through its text sink), takes blocks straight from the C heap
// and, on the host's protocol, frees every object as soon as it is
// delivered; through the sink there are no objects. It
// records nothing and checks nothing: it hands each report on as the library
// makes it, and the texts one at a time as they are asked for, so that what
// it holds stays bounded whatever the drawing's size. The recording host
// (host_session.h) is the one that checks every call.
#ifndef TQHOST_HOST_LEAN_H
#define TQHOST_HOST_LEAN_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "host_session.h"

class SourceInMemory;
class TextSink;

namespace tqhost {

// The library's functions for a session whose texts go to a sink instead of
// output objects (front/textsession.h): for programs that link the
// library's objects, as libdwgtext does.
struct SinkEntryPoints {
    DWGSessionHeader *(*start)(HostSource *, HostOpenParams *, TextSink *, SourceInMemory *) = nullptr;
    bool (*readNext)(DWGSessionHeader *) = nullptr;
    bool (*ended)(DWGSessionHeader *) = nullptr;
    int32_t (*codePage)(DWGSessionHeader *) = nullptr;
    void (*shutDown)(DWGSessionHeader *) = nullptr;
};

// How a lean session reads: through the host's protocol of output objects,
// or through a sink.
using LibraryPath = std::variant<EntryPoints, SinkEntryPoints>;

// A drawing's bytes, read at any position.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to count bytes from offset on into buffer: the number
    // copied, 0 past the end, -1 when the bytes could not be read.
    virtual int64_t readAt(uint64_t offset, void *buffer, std::size_t count) = 0;
    // All the bytes, when they are held in memory; null when they are not.
    virtual const uint8_t *inMemory() const { return nullptr; }
    // The library reads the count bytes from offset on, held in memory, no
    // more for now: a source that maps a file may give their pages back.
    // They stay readable.
    virtual void letGo(uint64_t, std::size_t) {}
    // Whether the bytes changed while they were read: the file was cut
    // short under a mapping of it.
    virtual bool changedWhileRead() const { return false; }
};

// Bytes already in memory; they are not copied.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override;
    const uint8_t *inMemory() const override { return bytes_.data(); }

private:
    std::span<const uint8_t> bytes_;
};

// Where a lean session's reports go, in the order the library makes them.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void report(std::string_view text) = 0;
};

// A text as the library appended it: its character-set code and bytes.
struct LeanText {
    int32_t charset = 0;
    std::string bytes;
};

// One session taken a text at a time: start, then next until it answers
// null. Each next has the library read on (getDWGobject, or through a sink)
// only until a text has come (one step may bring several, which the
// following nexts hand out first), so that a reader of a large drawing
// holds one object's texts at a time. The session is shut down once the
// library is done, or when the LeanSession goes.
class LeanSession {
public:
    LeanSession(ByteSource &bytes, ReportSink &reports, const LibraryPath &path);
    LeanSession(const LeanSession &) = delete;
    LeanSession &operator=(const LeanSession &) = delete;
    ~LeanSession();

    // startSrcDWG: false when the library refused the drawing.
    bool start();
    // The next text, valid until the next call; null once an end object has
    // been appended or the library answered 0. Throws std::bad_alloc when a
    // text or report could not be kept; the session can then go no further.
    const LeanText *next();
    bool endSeen() const;
    // The code page the drawing records, as the library found it (through
    // a sink, while the session is open); -1 when it records none or is not
    // known.
    int32_t codePage() const;

private:
    class Host;
    std::unique_ptr<Host> host_;
};

// What a lean session hands on, in the order the library makes it: the
// texts as they are appended, as the recording host records them.
class SessionListener : public ReportSink {
public:
    // False stops the session: no text follows.
    virtual bool text(int32_t charset, std::string_view bytes) = 0;
};

struct LeanOutcome {
    bool refused = false;  // startSrcDWG gave null
    bool endSeen = false;  // an end object was appended
    bool stopped = false;  // the listener asked to stop
    uint64_t texts = 0;    // kind-41 objects handed to the listener
};

// One whole session on LeanSession: every text to the listener until it
// asks to stop or the library is done.
LeanOutcome runLeanSession(ByteSource &bytes, SessionListener &listener, const LibraryPath &path);

}  // namespace tqhost

#endif
