// The host of the timed runs: the drawing in memory, blocks straight from
// the C heap, objects freed as soon as they are delivered. It checks nothing
// and keeps nothing but the number of texts and whether the end came, so
// that the time measured is the library's and not the host's. The counts
// come from the recording host, which checks every call.
#ifndef DWGBENCH_LEAN_HOST_H
#define DWGBENCH_LEAN_HOST_H

#include <cstdint>
#include <vector>

namespace dwgbench {

struct LeanOutcome {
    uint64_t texts = 0;    // kind-41 objects delivered
    bool endSeen = false;  // the end object was delivered
};

// One whole session over bytes: start, getDWGobject until the end object
// has been delivered or the library answers 0, shutdown. The bytes are not
// copied.
LeanOutcome runLeanSession(const std::vector<uint8_t> &bytes);

}  // namespace dwgbench

#endif
