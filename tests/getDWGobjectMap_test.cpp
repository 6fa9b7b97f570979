#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "r13/getDWGobjectMap.h"
#include "support/filestrmio.h"
#include "stream_fixture.h"
#include "writer/objectmap.h"

namespace {

using dwgw::Bytes;
using dwgw::ObjectMapWriter;
using Offsets = std::vector<int64_t>;

// The map lies `prefix` bytes into the file; the locator's size may claim
// more than the file holds.
struct MapReader {
    MapReader(const Bytes &map, size_t prefix = 0, size_t claimed = 0) : fixture(withPrefix(map, prefix))
    {
        start = static_cast<int32_t>(prefix);
        end = start + static_cast<int32_t>(claimed > 0 ? claimed : map.size());
        map_ = newObjectMap(&fixture.session, fixture.memory, fixture.stream, start, end);
    }
    ~MapReader() { deleteObjectMap(map_); }

    static Bytes withPrefix(Bytes map, size_t prefix)
    {
        map.insert(map.begin(), prefix, 0xEE);
        return map;
    }

    // The offsets delivered and the answer that ended the walk. A walk has
    // at most one entry per two map bytes.
    Offsets walk(StepResult *last)
    {
        Offsets offsets;
        int64_t offset = -1;
        while ((*last = map_->nextOffset(&offset)) == StepResult::Item) {
            offsets.push_back(offset);
            if (offsets.size() > static_cast<size_t>(end - start)) {
                ADD_FAILURE() << "the walk did not end";
                break;
            }
        }
        EXPECT_EQ(offset, *last == StepResult::Item ? offsets.back() : 0);
        return offsets;
    }

    StreamFixture fixture;
    int32_t start = 0;
    int32_t end = 0;
    ObjectMap *map_ = nullptr;
};

const Bytes kExampleMap = {0x00, 0x07, 0x01, 0xE4, 0x00, 0x01, 0x14, 0xCC, 0xCC, 0x00, 0x02, 0xCC, 0xCC};

// A map of tens of kilobytes, over several of the stream's windows, with
// deltas of one to four bytes; its lowest offset lies deep inside a section.
Bytes longMap(Offsets *offsets)
{
    ObjectMapWriter writer;
    uint32_t handle = 0;
    uint32_t random = 12345;
    for (int32_t section = 0; section < 40; ++section) {
        std::vector<dwgw::MapEntry> entries;
        for (int32_t i = 0; i < 300; ++i) {
            random = random * 1103515245u + 12345u;
            const uint32_t spread = (random >> 8) % (1u << (i % 24));
            const int32_t offset = section == 20 && i == 150 ? 50 : 100 + static_cast<int32_t>(spread);
            entries.push_back({++handle, offset});
            offsets->push_back(offset);
        }
        writer.section(entries);
    }
    EXPECT_GT(writer.bytes().size(), static_cast<size_t>(2 * FileStream::kWindowSize));
    return writer.bytes();
}

Bytes withTail(Bytes map)
{
    map.insert(map.end(), {0x9C, 0x02, 0x01, 0x9C, 0x02, 0x01, 0xEE, 0x01, 0x00, 0x02, 0x01, 0xD0});
    return map;
}

TEST(ObjectMap, WalkAndLowestOffset)
{
    struct Case {
        const char *name;
        Bytes map;
        Offsets offsets;
        int32_t lowest;
    };
    Offsets longOffsets;
    const Bytes longBytes = longMap(&longOffsets);
    const std::vector<Case> cases = {
        {"example", kExampleMap, {100, 120}, 100},
        {"long map across windows", longBytes, longOffsets, 50},
        {"closing section only", ObjectMapWriter().bytes(), {}, 0},
        // The map section of a later release may keep an older map's tail
        // after the closing section: a size that runs past the map, pairs.
        {"bytes after the closing section", withTail(ObjectMapWriter().section({{1, 100}, {2, 120}}).bytes()),
         {100, 120}, 100},
        {"offsets restart in each section",
         ObjectMapWriter().section({{1, 300}, {2, 200}, {3, 250}}).section({{4, 50}, {5, 70}}).section({{6, 9}}).bytes(),
         {300, 200, 250, 50, 70, 9}, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MapReader reader(c.map, 21);
        ASSERT_NE(reader.map_, nullptr);
        // Phase 3 scans the map before the walk, and the objects are read
        // through the default cursor between two entries.
        int64_t lowest = -1;
        EXPECT_TRUE(reader.map_->scanLowestOffset(&lowest));
        EXPECT_EQ(lowest, c.lowest);
        int64_t offset = 0;
        for (int32_t expected : c.offsets) {
            ASSERT_EQ(reader.map_->nextOffset(&offset), StepResult::Item);
            EXPECT_EQ(offset, expected);
            uint8_t bytes[3];
            ASSERT_EQ(reader.fixture.stream->SeekPos(1), 1);
            ASSERT_EQ(reader.fixture.stream->read(bytes, 3), 3);
        }
        StepResult last = StepResult::Item;
        EXPECT_TRUE(reader.walk(&last).empty());
        EXPECT_EQ(last, StepResult::End);
    }
}

TEST(ObjectMap, MapCutShortByTheEndOfTheFileFailsAndOnePastItIsRefused)
{
    Bytes map = ObjectMapWriter().section({{1, 100}, {2, 120}}).bytes();
    MapReader reader(Bytes(map.begin(), map.begin() + 5), 0, map.size());
    StepResult last = StepResult::Item;
    EXPECT_EQ(reader.walk(&last), Offsets{100});
    EXPECT_EQ(last, StepResult::Failed);
    int64_t lowest = -1;
    EXPECT_FALSE(reader.map_->scanLowestOffset(&lowest));
    // A map that starts past the end of the file is refused at once.
    EXPECT_EQ(newObjectMap(&reader.fixture.session, reader.fixture.memory, reader.fixture.stream, 6, 20), nullptr);
}

// Entries of one section: the first offset delta is delivered as it stands.
TEST(ObjectMap, ModularChars)
{
    struct Case {
        const char *name;
        Bytes entries;
        Offsets offsets;
    };
    const std::vector<Case> cases = {
        {"one byte", {0x01, 0x05}, {5}},
        {"negative one", {0x01, 0x41}, {-1}},
        {"two groups", {0x01, 0x81, 0x01}, {129}},
        {"sign in the second byte", {0x01, 0x80, 0x41}, {-128}},
        {"empty continuation group", {0x01, 0xE4, 0x00}, {100}},
        {"negative zero", {0x01, 0x40}, {0}},
        {"31 bits", {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x07}, {INT32_MAX}},
        {"past 32 bits, as a section over 4 GiB needs", {0x01, 0x80, 0x80, 0x80, 0x80, 0x3F}, {int64_t{0x3F} << 28}},
        {"sixth byte carries the sign", {0x01, 0x85, 0x80, 0x80, 0x80, 0x80, 0xC0}, {-5}},
        {"sixth byte ends the value", {0x01, 0x85, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x0A}, {5, 15}},
        {"multi-byte handle delta", {0x81, 0x81, 0x01, 0x07}, {7}},
    };
    for (const Case &c : cases) {
        const Bytes map = ObjectMapWriter().rawSection(c.entries).bytes();
        // Bytes after the map put all of it in one read of the window.
        for (size_t after : {0, 16}) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(after) + " bytes after the map");
            Bytes file = map;
            file.resize(map.size() + after, 0xEE);
            MapReader reader(file, 0, map.size());
            int64_t lowest = -1;
            EXPECT_TRUE(reader.map_->scanLowestOffset(&lowest));
            EXPECT_EQ(lowest, *std::min_element(c.offsets.begin(), c.offsets.end()));
            StepResult last = StepResult::Item;
            EXPECT_EQ(reader.walk(&last), c.offsets);
            EXPECT_EQ(last, StepResult::End);
        }
    }
}

}  // namespace
