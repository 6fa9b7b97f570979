// Arbitrary bytes as a drawing: one whole session on our memory-backed host.
// Anything but a clean session stops the fuzzer: a crash or undefined
// behaviour (the sanitizers), a host block not given back, a misuse of the
// host's interface, or a session that does not end within its bound. Our
// own reader then reads the same bytes with every kind of text, whose
// decoders the host's protocol never runs (tolerances, dimensions, prompts),
// under the same bound and with every block given back. The
// same bytes then go straight to the page decoders of R2004 and later,
// which in a drawing sit behind page checksums that a mutation rarely gets
// past, and to the decoders of the document properties, which a session on
// the host's protocol never reaches.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host_library.h"
#include "core/versions.h"
#include "r13/headertimes.h"
#include "r13/propertiesrecord.h"
#include "r2004/documentinfo.h"
#include "r2004/lz77.h"
#include "r2004/r2007lz77.h"
#include "r2004/reedsolomon.h"
#include "testkit/hardening/session_checks.h"

namespace {

constexpr size_t kPage = 0x7400;

void decodeAsPages(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> page(kPage);
    decompressLz77(data, static_cast<uint32_t>(size), page.data(), kPage);
    decompressR2007Lz77(data, static_cast<uint32_t>(size), page.data(), kPage);
    constexpr size_t kMostWords = 4;
    const int32_t words = static_cast<int32_t>(std::min(size / rs::kCodewordSize, kMostWords));
    std::vector<uint8_t> decoded(static_cast<size_t>(words) * rs::dataBytes(rs::Code::System) + 1);
    rs::decodeInterleaved(rs::Code::System, data, words, decoded.data());
}

void decodeAsProperties(const uint8_t *data, size_t size)
{
    const auto length = static_cast<uint32_t>(std::min<size_t>(size, UINT32_MAX));
    auto properties = std::make_unique<DrawingProperties>();
    decodeSummaryInfo(data, length, size % 2 == 0 ? InfoCharacters::Utf16 : InfoCharacters::Bytes, properties.get());
    decodeAppInfo(data, length, properties.get());
    const auto span = static_cast<int32_t>(std::min<size_t>(size, INT32_MAX));
    BitCursor in(data, span);
    uint64_t namedObjects = 0;
    decodeHeaderTimes(in, size % 3 == 0, properties.get(), &namedObjects);
    const int32_t versionIndex = size % 3 == 0 ? kAC1014 : kAC1015;
    BitCursor dictionary(data, span);
    findDictionaryEntry(dictionary, versionIndex, "DWGPROPS");
    BitCursor record(data, span);
    std::vector<uint8_t> scratch(kPage);
    decodePropertiesRecord(record, versionIndex, scratch.data(), kPage, properties.get());
    decodePropertiesGroups(data, length, properties.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const tqhost::SessionResult result = tqhost::runLibrarySession(std::vector<uint8_t>(data, data + size), {},
                                                                   hardening::sessionCallBound(size));
    const std::string problems =
        hardening::sessionProblems(result) + hardening::everyKindProblems(data, size, hardening::sessionCallBound(size));
    if (!problems.empty()) {
        std::fputs(problems.c_str(), stderr);
        std::abort();
    }
    decodeAsPages(data, size);
    decodeAsProperties(data, size);
    return 0;
}
