// What the benchmark's figures rest on: the composed drawings read as
// composed on both hosts, the counts repeat exactly, a session that goes
// wrong is flagged, and the host memory a session holds at once does not
// grow with the objects of a drawing.
#include <gtest/gtest.h>


#include "bench_drawings.h"
#include "session_counts.h"

namespace dwgbench {
namespace {

std::string nameOf(const testing::TestParamInfo<Family> &info) { return familyName(info.param); }

class EachFamily : public testing::TestWithParam<Family> {};


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

}  // namespace
}  // namespace dwgbench
