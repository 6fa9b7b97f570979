// What every whole session must satisfy on any drawing and under any host
// failure: it stops by itself within a known number of calls, gives every
// host block back and uses the host's interface correctly. The fuzzer, the
// fault-injection sweep and the regression inputs all hold a session to it.
// Our own reader, reading every kind of text, must do the same.
#ifndef TQ_TESTS_HARDENING_SESSION_CHECKS_H
#define TQ_TESTS_HARDENING_SESSION_CHECKS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "front/drawingreader.h"
#include "front/hostinput.h"
#include "host_session.h"

namespace hardening {

// The most getDWGobject calls a session on a drawing of `size` bytes may
// take before it delivers its end object or answers 0. A call that does not
// end the session delivers at least one object, made by a phase step that
// either moves on to the next of the six phases or takes one entry of the
// R13-R2000 object map, and an entry holds at least two bytes of the file
// (two modular chars). The R10-R12 reader hands over its whole entity
// section in one call.
inline uint64_t sessionCallBound(std::size_t size)
{
    return size / 2 + 16;
}

// Empty for a clean session, else one line per problem.
inline std::string sessionProblems(const tqhost::SessionResult &result)
{
    std::string problems;
    if (result.outcome.boundHit) {
        problems += "did not stop within " + std::to_string(result.outcome.getCalls) + " getDWGobject calls\n";
    }
    if (!result.outcome.allBlocksReturned()) {
        problems += std::to_string(result.outcome.blocksLeft) + " host blocks not given back\n";
    }
    for (const std::string &anomaly : result.anomalies) {
        problems += anomaly + "\n";
    }
    return problems;
}

// The most reads the decoders may make near or past the ends of their
// records in reading a drawing of `size` bytes (FileStream::loadsNearEnd):
// every count a record states is held to the bits left in it, and the walk
// reads its records up to sixteen times the file (support/readbudget.h).
inline uint64_t loadsNearEndBound(std::size_t size)
{
    return 16 * 8 * uint64_t{size} + (1u << 20);
}

// Our own reader on the same bytes, reading every kind of text (decoders
// the host's protocol never runs): empty when it ended within bound steps,
// within loadsNearEndBound and gave every block back.
inline std::string everyKindProblems(const uint8_t *data, std::size_t size, uint64_t bound)
{
    struct Ignoring final : TextSink, ReportListener {
        void text(const void *, int32_t, int32_t, TextKind) override {}
        void report(const char *) override {}
    };
    tqhost::RecordingHost host(std::vector<uint8_t>(data, data + size));
    HostInput input(host.source());
    Ignoring ignoring;
    bool ended = true;
    uint64_t loads = 0;
    {
        DrawingReader reader;
        if (reader.open({&input, hostBlocks(host.services()), &ignoring, &ignoring})) {
            uint64_t calls = 0;
            while (calls < bound && reader.readOn()) {
                ++calls;
            }
            ended = calls < bound;
        }
        loads = reader.facts().loadsNearEnd;
    }
    if (!ended) {
        return "every kind: the reading did not end within its bound\n";
    }
    if (loads > loadsNearEndBound(size)) {
        return "every kind: " + std::to_string(loads) + " reads past the records' ends\n";
    }
    return host.serviceSide().blocks().stats().inUse == 0 ? "" : "every kind: blocks not given back\n";
}

}  // namespace hardening

#endif
