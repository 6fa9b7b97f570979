// The lean host: a host of the library's protocol for the timed runs and
// for the tests that set the protocol beside our own reader.
//
// It takes the drawing's bytes by positioned reads from a ByteSource (a file
// read where the library asks, or bytes in memory), takes blocks straight
// from the C heap and frees every object as soon as it is delivered. It
// records nothing and checks nothing: it hands each report on as the library
// makes it, and the texts one at a time as they are asked for, so that what
// it holds stays bounded whatever the drawing's size. The recording host
// (host_session.h) is the one that checks every call.
#ifndef TQHOST_HOST_LEAN_H
#define TQHOST_HOST_LEAN_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "bytesource.h"
#include "host_session.h"

namespace tqhost {

using dwgfiles::ByteSource;

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
// null. Each next has the library read on (getDWGobject) only until a text
// has come (one call may bring several, which the following nexts hand out
// first), so that a reader of a large drawing holds one object's texts at
// a time. The session is shut down once the
// library is done, or when the LeanSession goes.
class LeanSession {
public:
    LeanSession(ByteSource &bytes, ReportSink &reports, const EntryPoints &library);
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
LeanOutcome runLeanSession(ByteSource &bytes, SessionListener &listener, const EntryPoints &library);

}  // namespace tqhost

#endif
