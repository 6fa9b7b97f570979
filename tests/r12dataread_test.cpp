#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "r12/r12dataread.h"
#include "stream_fixture.h"
#include "writer/r12writer.h"

namespace {

using dwgw::Bytes;
using dwgw::R12Entity;

constexpr int32_t kR10Index = 2;  // "AC1006"
constexpr int32_t kR11Index = 3;  // "AC1009"

struct R12Reader {
    explicit R12Reader(Bytes bytes, int32_t versionIndex = kR11Index) : fixture(std::move(bytes))
    {
        fixture.session.versionIndex = versionIndex;
        reader = newR12DataRead(&fixture.session, fixture.memory, fixture.stream);
    }
    ~R12Reader() { deleteR12DataRead(reader); }

    // Reads the head and the common part of the record at the start.
    int32_t readHeadAndCommon()
    {
        uint8_t type = 0;
        uint8_t flags = 0;
        uint16_t length = 0;
        uint16_t firstWord = 0;
        return reader->getEntityHead(&type, &flags, &length) &&
               reader->getEntityCommon(&firstWord, &optionWord, &colour, &extraFlags, type, flags);
    }
    int32_t position() { return fixture.stream->CurPosition(); }

    StreamFixture fixture;
    R12DataRead *reader = nullptr;
    uint16_t optionWord = 0;
    uint16_t colour = 0xFFFF;
    uint16_t extraFlags = 0xFFFF;
};

// A record with every field of the common part filled in, and a body that a
// reader reading too much or too little of the common part lands in.
R12Entity entity(uint8_t type, uint8_t flags, uint8_t extraFlags = 0)
{
    R12Entity e;
    e.type = type;
    e.flags = flags;
    e.extraFlags = extraFlags;
    e.optionWord = 0xBEEF;
    e.colour = 5;
    e.linetype = 0x0909;
    e.counted = {1, 2, 3};
    e.eed.string("AB", 0x2A).item(10, Bytes(24, 0x11));
    e.body = Bytes(40, 0xEE);
    return e;
}
constexpr int32_t kEedBlock = 2 + 5 + 25;

struct CommonCase {
    const char *name;
    uint8_t type, flags, extraFlags;
    int32_t commonSize;  // bytes after the four-byte head
    uint16_t colour, extra;
    dwgw::R12Version version = dwgw::R12Version::AC1009;
};

class R12CommonPart : public ::testing::TestWithParam<CommonCase> {};

TEST_P(R12CommonPart, ReadsExactlyTheFieldsTheFlagsAnnounce)
{
    const CommonCase &c = GetParam();
    const bool r10 = c.version == dwgw::R12Version::AC1006;
    R12Reader r(dwgw::encodeR12Entity(entity(c.type, c.flags, c.extraFlags), c.version), r10 ? kR10Index : kR11Index);
    ASSERT_EQ(r.readHeadAndCommon(), 1);
    EXPECT_EQ(r.position(), 4 + c.commonSize);
    EXPECT_EQ(r.optionWord, 0xBEEF);
    EXPECT_EQ(r.colour, c.colour);
    EXPECT_EQ(r.extraFlags, c.extra);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, R12CommonPart,
    ::testing::Values(CommonCase{"colour", 3, 0x01, 0, 5, 5, 0}, CommonCase{"elevationOnLine", 1, 0x04, 0, 4, 0, 0},
                      CommonCase{"elevationOnCircle", 3, 0x04, 0, 12, 0, 0},
                      CommonCase{"thickness", 1, 0x08, 0, 12, 0, 0}, CommonCase{"counted", 3, 0x20, 0, 8, 0, 0},
                      CommonCase{"linetypeR10", 3, 0x02, 0, 5, 0, 0, dwgw::R12Version::AC1006},
                      CommonCase{"linetypeR12", 3, 0x03, 0, 7, 5, 0, dwgw::R12Version::AC1010},
                      CommonCase{"extraFlagsAlone", 3, 0x40, 0xF9, 5, 0, 0xF9},
                      CommonCase{"everything", 7, 0xFF, 0xFF, 6 + kEedBlock + 2 + 8 + 8 + 4 + 2, 5, 0xFF},
                      CommonCase{"everythingR10", 7, 0xFF, 0xFF, 6 + kEedBlock + 1 + 8 + 8 + 4 + 2, 5, 0xFF,
                                 dwgw::R12Version::AC1006}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(R12CommonPart, FailsAtEveryCutOfTheRecord)
{
    const Bytes whole = dwgw::encodeR12Entity(entity(7, 0x6F, 0x06));
    const int32_t readable = 4 + 6 + kEedBlock + 2 + 8 + 8 + 4 + 2;
    for (int32_t cut = 1; cut <= readable; ++cut) {
        R12Reader r(Bytes(whole.begin(), whole.begin() + cut));
        EXPECT_EQ(r.readHeadAndCommon(), cut == readable ? 1 : 0) << cut;
    }
}

// An item code followed by size bytes.
Bytes item(uint8_t code, size_t size)
{
    return Bytes(size + 1, code);
}

const Bytes kEveryItem = concat({{0, 4, 0, 'T', 'E', 'X', 'T'}, item(1, 2), item(2, 1), item(3, 2), item(5, 8),
                               item(10, 24), item(11, 24), item(12, 24), item(40, 8), item(41, 8), item(42, 8),
                               item(70, 2), item(71, 4)});

// Whatever its items, a block of extended data ends at its start + 2 + its
// declared size: items that do not fit, and unlisted codes, end the walk.
TEST(R12ExtendedData, EndsWhereItsSizeSays)
{
    struct Case {
        Bytes items;
        size_t size;
    };
    for (const Case &c : {Case{{}, 0}, Case{kEveryItem, kEveryItem.size()}, Case{kEveryItem, 17},
                          Case{concat({{4, 200, 0}, Bytes(9, 0)}), 12}, Case{concat({item(70, 2), {99}, Bytes(30)}), 34},
                          Case{{0, 200, 0, 'A'}, 4}, Case{{0}, 1}, Case{{0, 5}, 2}, Case{item(5, 7), 8},
                          Case{item(10, 23), 24}, Case{item(71, 2), 3}, Case{{2}, 1}}) {
        R12Entity e = entity(3, 0x40, 0x02);
        e.eed.items = c.items;
        e.eed.size = static_cast<uint16_t>(c.size);
        R12Reader r(dwgw::encodeR12Entity(e));
        ASSERT_EQ(r.readHeadAndCommon(), 1);
        EXPECT_EQ(r.position(), static_cast<int32_t>(4 + 4 + 1 + 2 + c.size)) << ::testing::PrintToString(c.items);
    }
}

}  // namespace
