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

}  // namespace
