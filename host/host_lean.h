// The lean host: what dwgtext and the timed runs read drawings through.
//
// It takes the drawing's bytes by positioned reads from a ByteSource (a file
// read where the library asks, or bytes in memory), takes blocks straight
// from the C heap and frees every object as soon as it is delivered. It
// records nothing and checks nothing: it hands each report and text to a
// listener as the library makes them, so that what it holds stays bounded
// whatever the drawing's size. The recording host (host_session.h) is the
// one that checks every call.
#ifndef TQHOST_HOST_LEAN_H
#define TQHOST_HOST_LEAN_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "host_session.h"

namespace tqhost {

// A drawing's bytes, read at any position.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to count bytes from offset on into buffer: the number
    // copied, 0 past the end, -1 when the bytes could not be read.
    virtual int64_t readAt(uint64_t offset, void *buffer, std::size_t count) = 0;
};

// Bytes already in memory; they are not copied.
class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    int64_t readAt(uint64_t offset, void *buffer, std::size_t count) override;

private:
    std::span<const uint8_t> bytes_;
};

// What a lean session hands on, in the order the library makes it: the
// texts as they are appended, as the recording host records them.
class SessionListener {
public:
    virtual ~SessionListener() = default;
    virtual void report(std::string_view text) = 0;
    // False stops the session after the current getDWGobject call.
    virtual bool text(int32_t charset, std::string_view bytes) = 0;
};

struct LeanOutcome {
    bool refused = false;  // startSrcDWG gave null
    bool endSeen = false;  // an end object was appended
    bool stopped = false;  // the listener asked to stop
    uint64_t texts = 0;    // kind-41 objects appended
};

// One whole session: start, getDWGobject until an end object has been
// appended, the library answers 0 or the listener stops it, shutdown.
LeanOutcome runLeanSession(ByteSource &bytes, SessionListener &listener, const EntryPoints &entry);

}  // namespace tqhost

#endif
