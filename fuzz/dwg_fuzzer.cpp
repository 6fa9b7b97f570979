// Arbitrary bytes as a drawing: one whole session on our memory-backed host.
// Anything but a clean session stops the fuzzer: a crash or undefined
// behaviour (the sanitizers), a host block not given back, a misuse of the
// host's interface, or a session that does not end within its bound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_library.h"
#include "testkit/hardening/session_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const tqhost::SessionResult result = tqhost::runLibrarySession(std::vector<uint8_t>(data, data + size), {},
                                                                   hardening::sessionCallBound(size));
    const std::string problems = hardening::sessionProblems(result);
    if (!problems.empty()) {
        std::fputs(problems.c_str(), stderr);
        std::abort();
    }
    return 0;
}
