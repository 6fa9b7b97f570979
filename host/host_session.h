// The recording host as a whole, and the driver that runs one session on it.
//
// The driver plays the host of the reference event lists: it records the
// version, opens a session with startSrcDWG, calls getDWGobject until an end
// object has been appended or the library answers 0, and shuts the session
// down. The library's entry points come in as an EntryPoints record so that
// this library does not depend on the reader; host_library.h binds the real
// ones.
#ifndef TQHOST_HOST_SESSION_H
#define TQHOST_HOST_SESSION_H

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "TQDUDADE.h"
#include "host_blocks.h"
#include "host_context.h"
#include "host_events.h"
#include "host_faults.h"
#include "host_services.h"
#include "host_source.h"

namespace tqhost {

class RecordingHost {
public:
    explicit RecordingHost(std::vector<uint8_t> bytes, HostOptions options = {});
    RecordingHost(const RecordingHost &) = delete;
    RecordingHost &operator=(const RecordingHost &) = delete;

    // The three records startSrcDWG takes.
    HostSource *source() { return source_.record(); }
    HostOpenParams *params() { return &params_; }
    HostServices *services() { return services_.record(); }

    HostContext &context() { return context_; }
    const HostContext &context() const { return context_; }
    MemorySource &sourceSide() { return source_; }
    Services &serviceSide() { return services_; }

    const std::vector<Event> &events() const { return context_.log.events(); }
    const FaultPlan &faults() const { return context_.options.faults; }
    const std::vector<std::string> &anomalies() const { return context_.anomalies; }

private:
    HostContext context_;  // first: the parts below keep a reference to it
    MemorySource source_;
    Services services_;
    HostOpenParams params_{};
};

struct EntryPoints {
    DWGSessionHeader *(*start)(HostSource *, HostOpenParams *) = nullptr;
    int32_t (*next)(DWGSessionHeader *) = nullptr;
    void (*shutDown)(DWGSessionHeader *) = nullptr;
};

inline constexpr uint64_t kNoCallLimit = std::numeric_limits<uint64_t>::max();

struct SessionOutcome {
    bool refused = false;    // startSrcDWG gave null
    bool endSeen = false;    // an end object was appended
    bool boundHit = false;   // stopped by maxCalls, not by the library
    uint64_t getCalls = 0;   // getDWGobject calls made
    int32_t lastAnswer = 0;  // answer of the last getDWGobject call
    // Blocks still in use after shutDownDWGsrc, once the host has freed the
    // objects it holds and their text buffers. 0 for a correct library.
    uint64_t blocksLeft = 0;

    bool allBlocksReturned() const { return blocksLeft == 0; }
};

// Runs one session on host. At most maxCalls getDWGobject calls are made.
// Problems seen in the session header go to the host's anomalies.
SessionOutcome driveSession(RecordingHost &host, const EntryPoints &entry, uint64_t maxCalls = kNoCallLimit);

struct SessionResult {
    SessionOutcome outcome;
    std::vector<Event> events;
    std::string eventText;  // events in their text form
    BlockStats blocks;
    ObjectStats objects;
    SourceStats source;
    CallCounts calls{};     // per HostOp, the counts a fault sweep needs
    std::vector<DeliveryBatch> deliveries;
    std::vector<std::string> anomalies;
};

// A whole session over bytes, with a host made from options.
SessionResult runSession(std::vector<uint8_t> bytes, const HostOptions &options, const EntryPoints &entry,
                         uint64_t maxCalls = kNoCallLimit);

}  // namespace tqhost

#endif
