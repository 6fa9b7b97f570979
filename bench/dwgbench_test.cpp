// What the benchmark's figures rest on: the composed drawings read as
// composed on both hosts, the counts repeat exactly, a session that goes
// wrong is flagged, and the host memory a session holds at once does not
// grow with the objects of a drawing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bench_drawings.h"
#include "session_counts.h"

namespace dwgbench {
namespace {

std::string nameOf(const testing::TestParamInfo<Family> &info) { return familyName(info.param); }

class EachFamily : public testing::TestWithParam<Family> {};

// 95 objects hold texts at 0, 10, ..., 90: ten of them.
TEST_P(EachFamily, ComposedDrawingGivesEveryTenthObjectAsTextOnBothHosts)
{
    const BenchDrawing drawing = composeDrawing(GetParam(), 95);
    const SessionCounts counts = countSession(drawing);
    EXPECT_EQ(counts.problem, "");
    EXPECT_EQ(counts.texts, 10u);

    const LeanOutcome lean = runLeanSession(drawing.bytes);
    EXPECT_TRUE(lean.endSeen);
    EXPECT_EQ(lean.texts, 10u);
}

// The memory service keys its blocks with the C library's random numbers;
// nothing of that may reach the counts, or two builds could not be compared.
TEST_P(EachFamily, CountsRepeatExactlyFromSessionToSession)
{
    const BenchDrawing drawing = composeDrawing(GetParam(), 300);
    const std::string first = countsLine(drawing, countSession(drawing));
    countSession(composeDrawing(GetParam(), 40));
    EXPECT_EQ(countsLine(drawing, countSession(drawing)), first);
}


// Texts are handed over as they are found, so a session holds the same
// blocks whatever the drawing's length, in every version. From R2004 on
// the container keeps a table of the pages, a few bytes for each page of
// 0x7400 bytes: well under a hundredth of what the file grows by.
TEST_P(EachFamily, PeakHostMemoryIsTheSameForFourTimesTheObjects)
{
    const BenchDrawing smaller = composeDrawing(GetParam(), 1000);
    const BenchDrawing larger = composeDrawing(GetParam(), 4000);
    const SessionCounts small = countSession(smaller);
    const SessionCounts large = countSession(larger);
    EXPECT_EQ(large.peakBlocks, small.peakBlocks);
    EXPECT_LE(large.peakBytes - small.peakBytes, (larger.bytes.size() - smaller.bytes.size()) / 100);
    if (GetParam() <= Family::R2000) {
        EXPECT_EQ(large.peakBytes, small.peakBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Bench, EachFamily, testing::ValuesIn(kFamilies), nameOf);

// A drawing the library refuses is flagged, so that it cannot pass for a
// cheap one; a drawing cut short still ends (from R2004 on, whose maps lie
// at the end, it is refused at the start), and the lean host gives back
// everything (the sanitizer build checks for leaks).
TEST(BenchSessions, RefusedDrawingIsFlaggedAndCutDrawingStillEnds)
{
    BenchDrawing refused = composeDrawing(Family::R2000, 20);
    refused.bytes[5] = '9';
    EXPECT_EQ(countSession(refused).problem, "refused");
    EXPECT_NE(countsLine(refused, countSession(refused)).find("! refused"), std::string::npos);
    EXPECT_FALSE(runLeanSession(refused.bytes).endSeen);

    for (Family family : kFamilies) {
        BenchDrawing cut = composeDrawing(family, 200);
        cut.bytes.resize(cut.bytes.size() * 3 / 4);
        EXPECT_EQ(runLeanSession(cut.bytes).endSeen, family <= Family::R2000) << countsLine(cut, countSession(cut));
    }
}

// The corpus folder holds each drawing beside its expected events; only the
// drawings are measured, by name, and a missing folder is no error.
TEST(BenchCorpus, TakesOnlyTheDrawingsInNameOrder)
{
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "dwgbench_corpus";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char *name : {"b.dwg", "b.dwg.expected", "a.dwg", "README.md"}) {
        std::ofstream(dir / name) << name;
    }
    const std::vector<BenchDrawing> drawings = corpusDrawings(dir.string());
    ASSERT_EQ(drawings.size(), 2u);
    EXPECT_EQ(drawings[0].name, "corpus/a.dwg");
    EXPECT_EQ(drawings[1].name, "corpus/b.dwg");
    EXPECT_EQ(std::string(drawings[1].bytes.begin(), drawings[1].bytes.end()), "b.dwg");
    EXPECT_EQ(drawings[0].objects, 0u);

    std::filesystem::remove_all(dir);
    EXPECT_TRUE(corpusDrawings(dir.string()).empty());
}

}  // namespace
}  // namespace dwgbench
