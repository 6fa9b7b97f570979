#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/versions.h"
#include "r12/r12records.h"
#include "support/bitcursor.h"
#include "writer/r12writer.h"

namespace {

using dwgw::Bytes;
using dwgw::R12Entity;

// A TEXT record with every field of the common part filled in, then its
// point, its real and its string: a reader that takes too much or too
// little of the common part does not find the string.
R12Entity text(uint8_t flags, uint8_t extraFlags)
{
    R12Entity e;
    e.type = kR12Text;
    e.flags = flags;
    e.extraFlags = extraFlags;
    e.colour = 5;
    e.linetype = 0x0909;
    e.counted = {1, 2, 3};
    e.eed.string("AB", 0x2A).item(10, Bytes(24, 0x11));
    e.body = Bytes(24, 0xEE);
    const Bytes string = dwgw::r12String("T1");
    e.body.insert(e.body.end(), string.begin(), string.end());
    return e;
}

R12Strings read(const Bytes &record, int32_t version, bool endsFile = false)
{
    BitCursor in(record.data(), static_cast<int32_t>(record.size()));
    R12Strings strings{};
    readTextRecord(in, version, endsFile, &strings);
    return strings;
}

std::string stringAt(const Bytes &record, const R12Strings::String &s)
{
    return std::string(record.begin() + s.offset, record.begin() + s.offset + s.available);
}

// Each field of the common part is there exactly when the flags say so; the
// linetype index is one byte in R10 and two after.
TEST(R12TextRecord, FindsItsStringBehindEveryCommonPart)
{
    struct Case {
        const char *name;
        uint8_t flags, extraFlags;
        dwgw::R12Version version;
        int32_t index;
    };
    const Case cases[] = {{"colour", 0x01, 0, dwgw::R12Version::AC1009, kAC1009},
                          {"elevation", 0x04, 0, dwgw::R12Version::AC1009, kAC1009},
                          {"thickness", 0x08, 0, dwgw::R12Version::AC1009, kAC1009},
                          {"handle", 0x20, 0, dwgw::R12Version::AC1009, kAC1009},
                          {"linetype R10", 0x02, 0, dwgw::R12Version::AC1006, kAC1006},
                          {"linetype R12", 0x03, 0, dwgw::R12Version::AC1010, kAC1010},
                          {"extra flags alone", 0x40, 0xF9, dwgw::R12Version::AC1009, kAC1009},
                          {"everything", 0xFF, 0xFF, dwgw::R12Version::AC1009, kAC1009},
                          {"everything R10", 0xFF, 0xFF, dwgw::R12Version::AC1006, kAC1006}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes record = dwgw::encodeR12Entity(text(c.flags, c.extraFlags), c.version);
        const R12Strings strings = read(record, c.index);
        ASSERT_TRUE(strings.whole);
        ASSERT_EQ(strings.count, 1);
        EXPECT_EQ(stringAt(record, strings.strings[0]), "T1");
    }
}

// Cut anywhere before its last byte, a record is not whole; where the cut
// is the end of the file, a cut inside the string keeps the bytes there are
// and the string's length.
TEST(R12TextRecord, ACutRecordIsNotWholeUnlessTheFileEndsInItsString)
{
    const Bytes whole = dwgw::encodeR12Entity(text(0x6F, 0x06));
    const size_t stringStart = whole.size() - 2;
    for (size_t cut = 1; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const Bytes record(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(read(record, kAC1009).whole);
        const R12Strings atFileEnd = read(record, kAC1009, true);
        EXPECT_EQ(atFileEnd.whole, cut > stringStart);
        if (atFileEnd.whole) {
            EXPECT_EQ(atFileEnd.strings[0].length, 2);
            EXPECT_EQ(atFileEnd.strings[0].available, cut - stringStart);
        }
    }
    EXPECT_TRUE(read(whole, kAC1009).whole);
}

}  // namespace
