// Binds the hosts to the library: the recording host and the lean host to
// its three exported entry points.
// Include it only in programs that link the library's objects.
#ifndef TQHOST_HOST_LIBRARY_H
#define TQHOST_HOST_LIBRARY_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "TQDUDADE.h"
#include "host_lean.h"
#include "host_session.h"

namespace tqhost {

inline EntryPoints libraryEntryPoints() { return {&startSrcDWG, &getDWGobject, &shutDownDWGsrc}; }

inline SessionResult runLibrarySession(std::vector<uint8_t> bytes, const HostOptions &options = {},
                                       uint64_t maxCalls = kNoCallLimit)
{
    return runSession(std::move(bytes), options, libraryEntryPoints(), maxCalls);
}

// The event list of one session, in its text form.
inline std::string runSessionEvents(std::vector<uint8_t> bytes, const HostOptions &options = {},
                                    uint64_t maxCalls = kNoCallLimit)
{
    return runLibrarySession(std::move(bytes), options, maxCalls).eventText;
}

}  // namespace tqhost

#endif
