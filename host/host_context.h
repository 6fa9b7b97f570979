// What every part of the recording host shares: the knobs, the fault plan,
// the event log and the list of interface misuses it noticed.
#ifndef TQHOST_HOST_CONTEXT_H
#define TQHOST_HOST_CONTEXT_H

#include <cstdint>
#include <string>
#include <vector>

#include "host_events.h"
#include "host_faults.h"

namespace tqhost {

// The knobs that let a test play any host the library has to live with.
// The defaults are the well-behaved host of the reference event lists.
struct HostOptions {
    // Source.
    bool hasTell = true;      // false: fpTell is null
    bool hasReport = true;    // false: fpReport is null
    int32_t readChunk = 0;    // > 0: no fpRead returns more bytes than this

    // Objects.
    bool deliveryEmptiesChain = true;    // false: fpDeliverObjects leaves the head as it is
    int32_t deliveryResult = 1;          // what fpDeliverObjects answers
    std::vector<int32_t> refusedKinds;   // fpCreateObject answers null for these kinds

    // Calls that fail, by kind and number.
    FaultPlan faults;

    // Copied into HostOpenParams offset 124.
    uint32_t hostValue = 0x5451u;
};

struct HostContext {
    HostOptions options;
    EventLog log;
    // Things the library did that the interface does not allow (a bad free,
    // an object appended twice, a text longer than its buffer...). Empty for
    // a correct library.
    std::vector<std::string> anomalies;

    FaultPlan &faults() { return options.faults; }
    void anomaly(std::string what) { anomalies.push_back(std::move(what)); }
};

}  // namespace tqhost

#endif
