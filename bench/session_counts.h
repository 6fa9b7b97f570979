// The exact figures of one session: host calls, blocks and the most host
// memory in use at once. They depend only on the drawing and the library,
// so two builds can be compared line by line.
#ifndef DWGBENCH_SESSION_COUNTS_H
#define DWGBENCH_SESSION_COUNTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "bench_drawings.h"
#include "host_lean.h"

namespace dwgbench {

struct SessionCounts {
    uint64_t texts = 0;          // kind-41 objects appended
    uint64_t reads = 0;          // fpRead calls
    uint64_t seeks = 0;          // fpSeek calls
    uint64_t tells = 0;          // fpTell calls
    uint64_t blocks = 0;         // PubSnormalmalloc and PubSrealloc calls
    uint64_t peakBlocks = 0;     // most blocks in use at once
    uint64_t peakBytes = 0;      // most bytes in those blocks at once
    std::string problem;         // empty when the session ended cleanly
};

// Runs one whole session over the drawing on the recording host: start,
// getDWGobject up to the end object, shutdown. A session that is refused,
// ends without an end object, misuses the host or leaves blocks behind is
// named in `problem`.
SessionCounts countSession(const BenchDrawing &drawing);

using tqhost::LeanOutcome;

// One whole session over bytes, as the timed runs make it: the texts are
// counted and dropped. The bytes are not copied. Through output objects on
// the lean host, or with sink through the library's own reader as
// libdwgtext reads.
LeanOutcome runLeanSession(const std::vector<uint8_t> &bytes, bool sink = false);

// The column names of countsLine, as one line.
std::string countsHeader();

// One line: the drawing, its size, objects and texts, the call and block
// totals, the same per object ("-" when the object count is not known), the
// peaks, and the problem if there is one.
std::string countsLine(const BenchDrawing &drawing, const SessionCounts &counts);

}  // namespace dwgbench

#endif
