// Version detection: which reader the first six bytes of a drawing choose.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/versions.h"
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
        {"AC1006", kAC1006},     {"AC1009", kAC1009},     {"AC1010", kAC1010},
        {"AC1012", kAC1012},     {"AC1013", kAC1013},     {"AC1014", kAC1014},
        {"AC1015", kAC1015},     {"AC1500", kAC1500},     {"AC1002", kNoVersion},
        {"AC1004", kNoVersion},  {"AC1032", kAC1032},     {"ac1015", kNoVersion},
        {"AC1016", kNoVersion},  {"BC1015", kNoVersion},  {"AC1015 and anything", kAC1015},
        {"AC101", kNoVersion},
    };
    for (const auto &c : cases) {
        StreamFixture fixture(bytesOf(c.start));
        ASSERT_NE(fixture.stream, nullptr);
        EXPECT_EQ(detectVersion(fixture.stream), c.index) << c.start;
    }
}

TEST(VersionDetection, ASourceTheHostCannotPositionGivesNoVersion)
{
    StreamFixture fixture(bytesOf("AC1015"));
    fixture.failFromNext(tqhost::HostOp::Seek);
    EXPECT_EQ(detectVersion(fixture.stream), kNoVersion);
}

TEST(ReaderSelection, RefusesWhatNoReaderServesAndClosesTheStream)
{
    for (const char *start : {"AC1500 and more", "AC1004 and more", "AC10"}) {
        StreamFixture fixture(bytesOf(start));
        fixture.session.versionIndex = -7;
        EXPECT_EQ(switchDWGfuncs(&fixture.session, fixture.memory), nullptr);
        EXPECT_NE(fixture.session.versionIndex, -7) << "the index is stored";
        EXPECT_EQ(fixture.session.stream, nullptr) << "the stream is closed";
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
