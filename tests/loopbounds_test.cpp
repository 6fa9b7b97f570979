// Drawings built to keep a loop of the readers going: each must still end
// within the session bound and the bound on its decoders' work, give back
// every block and use the host's interface correctly. Each case aims at one loop whose end the drawing
// would otherwise decide.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "hardening/session_checks.h"
#include "host_library.h"
#include "writer/dwgwriter.h"

namespace {

using dwgw::Bytes;

Bytes withMap(Bytes mapBytes, uint32_t mapSize)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("T");
    drawing.options.mapBytes = std::move(mapBytes);
    drawing.options.adjustLocators = [mapSize](std::vector<dwgw::Locator> &locators) { locators[2].size = mapSize; };
    return drawing.build();
}

Bytes r12Records(const std::function<void(dwgw::R12Drawing &)> &add)
{
    dwgw::R12Drawing drawing;
    add(drawing);
    drawing.addText("after");
    return drawing.build();
}

size_t textCount(const tqhost::SessionResult &result)
{
    size_t texts = 0;
    for (const tqhost::Event &event : result.events) {
        texts += event.type == tqhost::Event::Type::Text ? 1 : 0;
    }
    return texts;
}

// How many times a walk may read a record of `recordBytes` bytes in a file
// of `fileBytes` before its read budget (sixteen times the file and a
// megabyte) is spent.
size_t budgetedReads(size_t fileBytes, size_t recordBytes)
{
    return (16 * fileBytes + (1u << 20)) / recordBytes + 2;
}

struct HostileCase {
    const char *loop;
    Bytes drawing;
};

TEST(LoopBounds, HostileDrawingsEndWithinTheSessionBound)
{
    dwgw::R2000Drawing repeatedEntry;
    repeatedEntry.addText("again");
    repeatedEntry.options.adjustMap = [](std::vector<dwgw::MapEntry> &entries) {
        for (uint32_t i = 0; i < 2000; ++i) {
            entries.push_back({entries[0].handle + 1 + i, entries[0].offset});
        }
    };
    dwgw::Drawing manyPoints(dwgw::BitVersion::AC1015);
    manyPoints.addMultileader("points").pointCount = 0x7FFFFFFF;
    dwgw::R13Drawing endlessEed;
    dwgw::EedBlock block;
    block.length = 60000;
    endlessEed.addText("eed").common.eed.push_back(block);

    const std::vector<HostileCase> cases = {
        {"map of empty sections reaching far past the file", withMap(Bytes(3000, 0), 0x7FFFFFF0u)},
        {"map of modular chars that never end", withMap(Bytes(3000, 0xFF), 3000)},
        {"map listing one object two thousand times", repeatedEntry.build()},
        {"extended data running to the end of the file", endlessEed.build()},
        {"multileader line of more points than its bits hold", manyPoints.build()},
        {"R12 records one byte long",
         r12Records([](dwgw::R12Drawing &d) {
             for (int i = 0; i < 50; ++i) {
                 d.addEntity(1).length = 1;
             }
         })},
        {"R12 extended data larger than its record",
         r12Records([](dwgw::R12Drawing &d) {
             dwgw::R12Entity &text = d.addText("eed");
             text.flags = 0x40;
             text.extraFlags = 0x02;
             text.eed.item(0, {0xFF, 0}).size = 0xFFFF;
         })},
        {"R12 record reaching past the section",
         r12Records([](dwgw::R12Drawing &d) { d.addText("long").length = 0xFFFF; })},
    };
    for (const HostileCase &hostile : cases) {
        SCOPED_TRACE(hostile.loop);
        const tqhost::SessionResult result =
            tqhost::runLibrarySession(hostile.drawing, {}, hardening::sessionCallBound(hostile.drawing.size()));
        EXPECT_EQ(hardening::sessionProblems(result), "");
        EXPECT_EQ(hardening::everyKindProblems(hostile.drawing.data(), hostile.drawing.size(),
                                               hardening::sessionCallBound(hostile.drawing.size())),
                  "");
    }
}

// An object whose extended data fills most of the file, listed by the map
// thousands of times: without a limit the walk would read the file a few
// thousand times over (minutes for these 37 KB) and give the text each
// time. The walk stops once its budget is spent: the text comes out a few
// dozen times, not three thousand.
TEST(LoopBounds, TheObjectWalkReadsTheFileAFixedNumberOfTimesAtMost)
{
    dwgw::R2000Drawing drawing;
    dwgw::EedBlock block;
    block.data = Bytes(30000, 'e');
    drawing.addText("big").common.eed.push_back(block);
    drawing.options.adjustMap = [](std::vector<dwgw::MapEntry> &entries) {
        for (uint32_t i = 0; i < 3000; ++i) {
            entries.push_back({entries[0].handle + 1 + i, entries[0].offset});
        }
    };
    const Bytes bytes = drawing.build();

    const tqhost::SessionResult result = tqhost::runLibrarySession(bytes, {}, hardening::sessionCallBound(bytes.size()));

    EXPECT_EQ(hardening::sessionProblems(result), "");
    EXPECT_TRUE(result.outcome.endSeen);
    EXPECT_GE(textCount(result), 2u);
    EXPECT_LE(textCount(result), budgetedReads(bytes.size(), block.data.size()));
}

// Two thousand short R12 text records, each announcing a string of 64 KB
// that runs over the records after it: without a limit the walk would read
// 128 MB of a 150 KB file and give two thousand texts. The block section's
// addresses name the same records, so the second walk must not get a
// budget of its own.
TEST(LoopBounds, TheR12WalkReadsTheFileAFixedNumberOfTimesAtMost)
{
    dwgw::R12Drawing drawing;
    for (int i = 0; i < 2000; ++i) {
        dwgw::R12Entity &text = drawing.addText("t");
        text.body[24] = 0xFF;  // the string's length, after the point and the height
        text.body[25] = 0xFF;
    }
    drawing.options.blockSection = Bytes(70000, 0);
    drawing.options.blockSectionStart = 0x6CF;
    const Bytes bytes = drawing.build();

    const tqhost::SessionResult result = tqhost::runLibrarySession(bytes, {}, hardening::sessionCallBound(bytes.size()));

    EXPECT_EQ(hardening::sessionProblems(result), "");
    EXPECT_TRUE(result.outcome.endSeen);
    EXPECT_GE(textCount(result), 2u);
    EXPECT_LE(textCount(result), budgetedReads(bytes.size(), 0xFFFF));
}

// A failed phase makes the end object, and the session delivers it. A host
// that does not chain what is appended leaves nothing to deliver: the
// session must answer 0 instead of running the failed phase for ever.
TEST(LoopBounds, RepeatedPhaseFailuresStopWhenNothingReachesTheChain)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("lost");
    drawing.options.adjustMap = [](std::vector<dwgw::MapEntry> &entries) { entries.clear(); };
    tqhost::RecordingHost host(drawing.build());
    host.services()->fpAppendObject = nullptr;

    const tqhost::SessionOutcome outcome = tqhost::driveSession(host, tqhost::libraryEntryPoints(), 10);

    EXPECT_FALSE(outcome.boundHit);
    EXPECT_EQ(outcome.lastAnswer, 0);
    EXPECT_TRUE(outcome.allBlocksReturned());
}

}  // namespace
