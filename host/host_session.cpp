#include "host_session.h"

namespace tqhost {

RecordingHost::RecordingHost(std::vector<uint8_t> bytes, HostOptions options)
    : context_{std::move(options), {}, {}}, source_(std::move(bytes), context_), services_(context_)
{
    params_.services = services_.record();
    params_.hostValue = context_.options.hostValue;
}

namespace {

// What the library must have written by the time startSrcDWG returns.
void checkOpenedSession(RecordingHost &host, const DWGSessionHeader &header)
{
    HostContext &context = host.context();
    const HostOpenParams &params = *host.params();
    if (header.marker != DWG_SESSION_MARKER)
        context.anomaly("session marker is not set");
    if (header.source != host.source() || header.params != host.params() || header.services != host.services())
        context.anomaly("session header does not lead back to the host's records");
    if (header.hostValue != context.options.hostValue)
        context.anomaly("session header does not carry the host value");
    if (header.getObject == nullptr || header.shutDown == nullptr || header.capability == nullptr)
        context.anomaly("session header lacks an operation");
    else if (header.capability(0, 1) != 1 || header.capability(0, 0) != 0 || header.capability(0, 2) != 0)
        context.anomaly("capability operation gives the wrong answers");
    if (params.word8 != 48 || params.word16 != 1 || params.word96 != 1 || params.word128 != 0)
        context.anomaly("open parameters not filled in");
}

}  // namespace

SessionOutcome driveSession(RecordingHost &host, const EntryPoints &entry, uint64_t maxCalls)
{
    SessionOutcome outcome;
    EventLog &log = host.context().log;
    log.version(host.sourceSide().firstBytes(6));

    DWGSessionHeader *session = entry.start(host.source(), host.params());
    if (session == nullptr) {
        outcome.refused = true;
        log.refused();
    } else {
        checkOpenedSession(host, *session);
        while (!log.endSeen()) {
            if (outcome.getCalls >= maxCalls) {
                outcome.boundHit = true;
                break;
            }
            ++outcome.getCalls;
            outcome.lastAnswer = entry.next(session);
            if (outcome.lastAnswer == 0)
                break;
        }
        entry.shutDown(session);
    }

    outcome.endSeen = log.endSeen();
    host.serviceSide().releaseObjects();
    outcome.blocksLeft = host.serviceSide().blocks().stats().inUse;
    return outcome;
}

SessionResult runSession(std::vector<uint8_t> bytes, const HostOptions &options, const EntryPoints &entry,
                         uint64_t maxCalls)
{
    RecordingHost host(std::move(bytes), options);
    SessionResult result;
    result.outcome = driveSession(host, entry, maxCalls);
    result.events = host.events();
    result.eventText = formatEvents(result.events);
    result.blocks = host.serviceSide().blocks().stats();
    result.objects = host.serviceSide().objectStats();
    result.source = host.sourceSide().stats();
    result.calls = host.faults().callCounts();
    result.deliveries = host.serviceSide().deliveries();
    result.anomalies = host.anomalies();
    return result;
}

}  // namespace tqhost
