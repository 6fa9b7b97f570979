// A Windows host's view of the library: it loads TQDUDADE.dll at run time,
// finds the three entry points by name, reads each sample drawing in a whole
// session on our recording host and unloads the DLL again. The events must
// be those of the library linked in, and every host block must come back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawingfiles.h"
#include "host_library.h"

namespace {

constexpr const char *kSamples[] = {"r12.dwg", "r14.dwg", "r2000.dwg"};

std::vector<uint8_t> sample(const std::string &name)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(dwgfiles::readWholeFile(std::string(TQDUDADE_SAMPLES_DIR) + "/" + name, bytes, error)) << error;
    return bytes;
}

template <typename Function>
Function entryPoint(HMODULE dll, const char *name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(dll, name)));
}

tqhost::EntryPoints entryPointsOf(HMODULE dll)
{
    tqhost::EntryPoints entry;
    entry.start = entryPoint<decltype(entry.start)>(dll, "startSrcDWG");
    entry.next = entryPoint<decltype(entry.next)>(dll, "getDWGobject");
    entry.shutDown = entryPoint<decltype(entry.shutDown)>(dll, "shutDownDWGsrc");
    return entry;
}

// Loaded twice in turn, so that a second load after an unload works too.
TEST(WindowsDll, LoadedAtRunTimeReadsEverySampleAndUnloads)
{
    for (int load = 0; load < 2; ++load) {
        HMODULE dll = LoadLibraryA(TQDUDADE_DLL_PATH);
        ASSERT_NE(dll, nullptr) << "LoadLibrary failed: " << GetLastError();
        const tqhost::EntryPoints entry = entryPointsOf(dll);
        ASSERT_TRUE(entry.start && entry.next && entry.shutDown);
        for (const char *name : kSamples) {
            const tqhost::SessionResult result = tqhost::runSession(sample(name), {}, entry);
            EXPECT_TRUE(result.outcome.endSeen) << name;
            EXPECT_TRUE(result.outcome.allBlocksReturned()) << name << ": " << result.outcome.blocksLeft;
            EXPECT_TRUE(result.anomalies.empty()) << name << ": " << result.anomalies.front();
            EXPECT_EQ(result.eventText, tqhost::runSessionEvents(sample(name))) << name;
        }
        EXPECT_TRUE(FreeLibrary(dll));
        EXPECT_EQ(GetModuleHandleA("TQDUDADE.dll"), nullptr) << "still loaded after FreeLibrary";
    }
}

}  // namespace
