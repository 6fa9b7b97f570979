// Version detection: which reader the first six bytes of a drawing choose.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "front/switchDWGfuncs.h"
#include "stream_fixture.h"

namespace {

std::vector<uint8_t> bytesOf(const std::string &text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(VersionDetection, GivesTheIndexOfTheVersionTable)
{
    const struct {
        const char *start;
        int32_t index;
    } cases[] = {
        {"AC1006", 2}, {"AC1009", 3}, {"AC1010", 4},  {"AC1012", 5},  {"AC1013", 6},
        {"AC1014", 7}, {"AC1015", 8}, {"AC1500", 9},  {"AC1002", 10}, {"AC1004", 10},
        {"AC1018", 10}, {"ac1015", 10}, {"AC1016", 10}, {"BC1015", 10}, {"AC1015 and anything", 8},
        {"AC101", 10},
    };
    for (const auto &c : cases) {
        StreamFixture fixture(bytesOf(c.start));
        ASSERT_NE(fixture.stream, nullptr);
        EXPECT_EQ(detectVersion(fixture.stream), c.index) << c.start;
    }
}

TEST(VersionDetection, ASourceThatCannotBePositionedGivesIndexZero)
{
    StreamFixture fixture(bytesOf("AC1015"));
    fixture.failFromNext(tqhost::HostOp::Seek);
    EXPECT_EQ(detectVersion(fixture.stream), 0);
}

TEST(VersionDetection, FamiliesChooseTheReader)
{
    EXPECT_EQ(versionFamily(3), kFamilyR12);
    EXPECT_EQ(versionFamily(8), kFamilyR13);
    for (int32_t index : {-1, 0, 1, 9, 10, 11}) {
        EXPECT_EQ(versionFamily(index), kFamilyNone) << index;
    }
    EXPECT_STREQ(versionString(7), "AC1014");
    EXPECT_STREQ(versionString(10), "");
    EXPECT_STREQ(versionString(99), "");
}

TEST(ReaderSelection, RefusesWhatNoReaderServesAndReleasesEverything)
{
    for (const char *start : {"AC1500 and more", "AC1018 and more", "AC10"}) {
        StreamFixture fixture(bytesOf(start));
        fixture.session.versionIndex = -7;
        size_t before = fixture.blocksInUse();
        EXPECT_EQ(switchDWGfuncs(&fixture.session, fixture.memory), nullptr);
        EXPECT_NE(fixture.session.versionIndex, -7) << "the index is stored";
        EXPECT_EQ(fixture.blocksInUse(), before);
        EXPECT_TRUE(fixture.reports().empty());
    }
}

TEST(ReaderSelection, AnEmptySourceLeavesTheVersionIndexAlone)
{
    StreamFixture fixture({});
    fixture.session.versionIndex = -7;
    EXPECT_EQ(switchDWGfuncs(&fixture.session, fixture.memory), nullptr);
    EXPECT_EQ(fixture.session.versionIndex, -7);
    EXPECT_EQ(switchDWGfuncs(nullptr, fixture.memory), nullptr);
    EXPECT_EQ(switchDWGfuncs(&fixture.session, nullptr), nullptr);
}

}  // namespace
