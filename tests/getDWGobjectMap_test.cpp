#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "r13/getDWGobjectMap.h"
#include "stream_fixture.h"
#include "writer/objectmap.h"

namespace {

using dwgw::Bytes;
using dwgw::MapEntry;
using dwgw::ObjectMapWriter;

// The map lies after `prefix` bytes of other data, as in a drawing; its end
// is the end of the map bytes.
struct MapReader {
    explicit MapReader(const Bytes &map, size_t prefix = 0) : fixture(withPrefix(map, prefix))
    {
        start = static_cast<int32_t>(prefix);
        end = static_cast<int32_t>(prefix + map.size());
        map_ = newObjectMap(&fixture.session, fixture.memory, fixture.strings, fixture.stream, start, end);
    }
    ~MapReader() { deleteObjectMap(map_); }

    static Bytes withPrefix(const Bytes &map, size_t prefix)
    {
        Bytes bytes(prefix, 0xEE);
        bytes.insert(bytes.end(), map.begin(), map.end());
        return bytes;
    }

    // Every offset nextOffset delivers, and the answer that ended the walk.
    // A walk has at most one entry per two map bytes.
    std::vector<int32_t> walk(int32_t *last)
    {
        std::vector<int32_t> offsets;
        for (int32_t calls = 0; calls <= end - start; ++calls) {
            int32_t offset = -1;
            *last = map_->nextOffset(&offset);
            if (*last != 2) {
                EXPECT_EQ(offset, 0);
                return offsets;
            }
            offsets.push_back(offset);
        }
        ADD_FAILURE() << "the walk did not end";
        return offsets;
    }

    StreamFixture fixture;
    int32_t start = 0;
    int32_t end = 0;
    ObjectMap *map_ = nullptr;
};

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// One section with the given entry bytes, then the closing section.
Bytes oneSection(const Bytes &entries)
{
    return ObjectMapWriter().rawSection(entries).bytes();
}

const Bytes kExampleMap = {0x00, 0x07, 0x01, 0xE4, 0x00, 0x01, 0x14, 0xCC, 0xCC, 0x00, 0x02, 0xCC, 0xCC};

TEST(ObjectMapWalk, DeliversAbsoluteOffsetsInMapOrder)
{
    for (size_t prefix : {0u, 21u}) {
        SCOPED_TRACE("map at offset " + std::to_string(prefix));
        MapReader reader(kExampleMap, prefix);
        ASSERT_NE(reader.map_, nullptr);
        int32_t last = -1;
        EXPECT_EQ(reader.walk(&last), (std::vector<int32_t>{100, 120}));
        EXPECT_EQ(last, 1);
    }
}

TEST(ObjectMapWalk, EachSectionStartsItsOffsetsAtZero)
{
    Bytes map = ObjectMapWriter()
                    .section({{1, 100}, {2, 120}, {3, 90}})
                    .section({{4, 50}, {5, 70}})
                    .section({{6, 400}})
                    .bytes();
    MapReader reader(map);
    int32_t last = -1;
    EXPECT_EQ(reader.walk(&last), (std::vector<int32_t>{100, 120, 90, 50, 70, 400}));
    EXPECT_EQ(last, 1);
    EXPECT_EQ(reader.map_->lowestOffset(), 50);
}

TEST(ObjectMapWalk, ClosingSectionAloneHasNoEntries)
{
    MapReader reader(ObjectMapWriter().bytes());
    ASSERT_NE(reader.map_, nullptr);
    EXPECT_EQ(reader.map_->lowestOffset(), 0);
    int32_t last = -1;
    EXPECT_TRUE(reader.walk(&last).empty());
    EXPECT_EQ(last, 1);
}

// Phase 3 scans the map before the object walk begins, and the objects are
// read through the default cursor between two entries.
TEST(ObjectMapWalk, ScanAndOtherReadsOfTheStreamDoNotDisturbTheWalk)
{
    Bytes map = ObjectMapWriter().section({{1, 300}, {2, 200}, {3, 250}}).section({{4, 260}}).bytes();
    MapReader reader(map, 8);
    EXPECT_EQ(reader.map_->lowestOffset(), 200);
    std::vector<int32_t> offsets;
    int32_t offset = 0;
    while (reader.map_->nextOffset(&offset) == 2 && offsets.size() < 10) {
        offsets.push_back(offset);
        uint8_t bytes[3];
        ASSERT_EQ(reader.fixture.stream->SeekPos(1), 1);
        ASSERT_EQ(reader.fixture.stream->read(bytes, 3), 3);
    }
    EXPECT_EQ(offsets, (std::vector<int32_t>{300, 200, 250, 260}));
    EXPECT_EQ(reader.map_->lowestOffset(), 200);
}

TEST(ObjectMapWalk, MapCutShortByTheEndOfTheFileFails)
{
    Bytes map = ObjectMapWriter().section({{1, 100}, {2, 120}}).bytes();
    Bytes cut(map.begin(), map.begin() + 5);
    StreamFixture fixture(cut);
    // The locator claims the full map.
    ObjectMap *objects = newObjectMap(&fixture.session, fixture.memory, fixture.strings, fixture.stream, 0,
                                      static_cast<int32_t>(map.size()));
    ASSERT_NE(objects, nullptr);
    int32_t offset = -1;
    EXPECT_EQ(objects->nextOffset(&offset), 2);
    EXPECT_EQ(offset, 100);
    EXPECT_EQ(objects->nextOffset(&offset), 0);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(objects->lowestOffset(), 0);
    deleteObjectMap(objects);
}

// Whatever the bytes, both operations end, and a walk delivers at most one
// entry per two map bytes.
TEST(ObjectMapWalk, GarbledMapsEnd)
{
    uint32_t state = 12345;
    auto nextByte = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<uint8_t>(state >> 16);
    };
    for (int round = 0; round < 300; ++round) {
        Bytes map(24);
        for (uint8_t &byte : map) {
            byte = nextByte();
        }
        // Small section sizes make the interesting cases: sizes below the
        // entries they hold, sizes 0 and 1.
        map[0] = 0;
        map[1] = static_cast<uint8_t>(round % 16);
        SCOPED_TRACE("round " + std::to_string(round));
        MapReader reader(map);
        reader.map_->lowestOffset();
        int32_t last = -1;
        reader.walk(&last);
        EXPECT_NE(last, 2);
    }
    MapReader zeros(Bytes(64, 0));
    int32_t last = -1;
    zeros.walk(&last);
    EXPECT_EQ(last, 1);
}

struct MCCase {
    const char *name;
    Bytes bytes;
    int32_t value;
};

// The first entry of a section delivers its offset delta as it stands.
TEST(ObjectMapModularChars, DecodeSignAndGroups)
{
    const std::vector<MCCase> cases = {
        {"one byte", {0x05}, 5},
        {"negative one", {0x41}, -1},
        {"two groups", {0x81, 0x01}, 129},
        {"sign in the second byte", {0x80, 0x41}, -128},
        {"empty continuation group", {0xE4, 0x00}, 100},
        {"negative zero", {0x40}, 0},
        {"largest", {0xFF, 0xFF, 0xFF, 0xFF, 0x07}, INT32_MAX},
        {"bits past 31 dropped", {0x80, 0x80, 0x80, 0x80, 0x3F}, static_cast<int32_t>(0xF0000000u)},
        {"sixth byte ends the value", {0x85, 0x80, 0x80, 0x80, 0x80, 0x80}, 5},
        {"sixth byte carries the sign", {0x85, 0x80, 0x80, 0x80, 0x80, 0xC0}, -5},
    };
    for (const MCCase &c : cases) {
        SCOPED_TRACE(c.name);
        MapReader reader(oneSection(concat({{0x01}, c.bytes})));
        int32_t offset = 0;
        ASSERT_EQ(reader.map_->nextOffset(&offset), 2);
        EXPECT_EQ(offset, c.value);
    }
}

TEST(ObjectMapModularChars, ValueAfterASixByteCharStartsAtTheNextByte)
{
    Bytes entries = {0x01, 0x85, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x0A};
    MapReader reader(oneSection(entries));
    int32_t last = -1;
    EXPECT_EQ(reader.walk(&last), (std::vector<int32_t>{5, 15}));
    EXPECT_EQ(last, 1);
}

TEST(ObjectMapModularChars, EveryWidthOfTheWriterReadsBack)
{
    for (int32_t value : {0, 1, -1, 63, -64, 64, 8191, -8192, 1 << 20, -(1 << 27), INT32_MAX, INT32_MIN + 1}) {
        for (size_t width = dwgw::encodeMC(value).size(); width <= 5; ++width) {
            SCOPED_TRACE(std::to_string(value) + " in " + std::to_string(width) + " bytes");
            MapReader reader(oneSection(concat({{0x01}, dwgw::encodeMC(value, width)})));
            int32_t offset = 0;
            ASSERT_EQ(reader.map_->nextOffset(&offset), 2);
            EXPECT_EQ(offset, value);
        }
    }
}

TEST(ObjectMapMaking, NeedsItsPartsAndAReachableStart)
{
    StreamFixture f(kExampleMap);
    EXPECT_EQ(newObjectMap(&f.session, nullptr, f.strings, f.stream, 0, 13), nullptr);
    EXPECT_EQ(newObjectMap(&f.session, f.memory, nullptr, f.stream, 0, 13), nullptr);
    EXPECT_EQ(newObjectMap(&f.session, f.memory, f.strings, nullptr, 0, 13), nullptr);
    EXPECT_EQ(newObjectMap(&f.session, f.memory, f.strings, f.stream, 14, 20), nullptr);
    EXPECT_TRUE(f.reports().empty());
}

}  // namespace
