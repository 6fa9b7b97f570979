#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "r13/getDWGobjectMap.h"
#include "r13/getDWGobjects.h"
#include "stream_fixture.h"
#include "text_fixture.h"
#include "writer/dwgwriter.h"

namespace {

using textlines::report;
using textlines::text;
using Lines = std::vector<std::string>;
using Results = std::vector<StepResult>;
constexpr StepResult kItem = StepResult::Item;
constexpr StepResult kEnd = StepResult::End;
constexpr StepResult kFailed = StepResult::Failed;

constexpr int32_t kR14 = 7;

enum class Order { Sequential, Mapped };

const char *nameOf(Order order)
{
    return order == Order::Mapped ? "mapped" : "sequential";
}

std::string typeWarning(const char *hex)
{
    return report(std::string("*** WARNING *** OBJCT TYPE[0x") + hex + "] dosen't exist\n");
}

// The object walk over a composed R14 drawing: through its object map, or
// from the first object up to the map without one.
struct Walk {
    Walk(const dwgw::Drawing &drawing, Order order, tqhost::HostOptions options = {})
        : composed(drawing.compose()), fixture(composed.bytes, std::move(options))
    {
        fixture.session.versionIndex = kR14;
        const auto mapStart = static_cast<int32_t>(composed.mapOffset);
        if (order == Order::Mapped) {
            map = newObjectMap(&fixture.session, fixture.memory, fixture.stream, mapStart,
                               mapStart + static_cast<int32_t>(composed.mapSize));
        }
        objects = newDWGObjects(&fixture.session, fixture.memory, fixture.stream, map,
                                static_cast<int32_t>(composed.objectOffsets.front()), mapStart);
    }
    ~Walk()
    {
        deleteDWGObjects(objects);
        deleteObjectMap(map);
    }

    // Every answer of getNextObject up to its first End, at most limit calls.
    Results run(size_t limit = 200)
    {
        Results results;
        while (results.size() < limit && (results.empty() || results.back() != kEnd)) {
            results.push_back(objects->getNextObject());
        }
        return results;
    }

    Lines events() const { return textlines::lines(fixture.host.events()); }

    dwgw::ComposedDrawing composed;
    StreamFixture fixture;
    ObjectMap *map = nullptr;
    DWGObjects *objects = nullptr;
};

// Objects that hold no text are stepped over in the call that reaches the
// next text: every listed type silently, those outside the list reported.
TEST(ObjectWalk, ObjectsWithoutATextAreSteppedOverOnTheWayToTheNextText)
{
    dwgw::R14Drawing drawing;
    for (uint16_t type = 4; type < 74; ++type) {
        if (type != 44) {
            drawing.addObject(type, dwgw::Bytes(type, static_cast<uint8_t>(type)));
        }
    }
    drawing.addObject(0);
    drawing.addObject(74, dwgw::Bytes(40, 0x55));
    drawing.addObject(500);
    drawing.addText("X");
    for (Order order : {Order::Sequential, Order::Mapped}) {
        SCOPED_TRACE(nameOf(order));
        Walk walk(drawing, order);

        EXPECT_EQ(walk.run(), (Results{kItem, kEnd}));
        EXPECT_EQ(walk.events(), (Lines{typeWarning("0"), typeWarning("4a"), typeWarning("1f4"), text("X")}));
    }
}

// A listed object whose size reaches past the file fails its step; the
// walk goes on with the next object mapped.
TEST(ObjectWalk, AListedObjectThatRunsPastTheFileFailsItsStep)
{
    dwgw::R14Drawing drawing;
    drawing.addText("A");
    drawing.addObject(19, dwgw::Bytes(56, 0x55));
    drawing.addObject(19, dwgw::Bytes(56, 0x55)).sizeField = 0x7FF0;
    drawing.addText("B");
    Walk walk(drawing, Order::Mapped);
    EXPECT_EQ(walk.run(), (Results{kItem, kFailed, kItem, kEnd}));
    EXPECT_EQ(walk.events(), (Lines{text("A"), text("B")}));
    EXPECT_TRUE(walk.fixture.stream->wentPastEnd());
}

// An object whose size reaches past the file, or a mapped offset that
// cannot be reached, ends the walk even with more objects mapped.
TEST(ObjectWalk, WhatCannotBeReachedEndsTheWalk)
{
    dwgw::R14Drawing pastTheFile;
    pastTheFile.addText("A");
    pastTheFile.addObject(100).sizeField = 0x7FF0;
    pastTheFile.addText("B");
    dwgw::R14Drawing farOffset;
    farOffset.addText("A");
    farOffset.addText("B");
    farOffset.options.adjustMap = [](std::vector<dwgw::MapEntry> &entries) {
        entries.insert(entries.begin() + 1, dwgw::MapEntry{9, 10'000'000});
    };
    Walk past(pastTheFile, Order::Mapped);
    EXPECT_EQ(past.run(), (Results{kItem, kEnd}));
    EXPECT_EQ(past.events(),
              (Lines{text("A"), typeWarning("64"), report("*** WARNING *** Illigal OBJCT size[0x7ff0]\n")}));
    Walk far(farOffset, Order::Mapped);  // quietly
    EXPECT_EQ(far.run(), (Results{kItem, kEnd}));
    EXPECT_EQ(far.events(), Lines{text("A")});
}

// Without a map every byte may start an object, which is checked by
// reading it whole. Here each of 24 KiB claims an object of 16 KiB (size
// 0x3F3F) whose check value never holds: some 130 MB to read. The walk stops
// once it has read sixteen times the file and a megabyte, with the object it
// was checking.
TEST(ObjectWalk, WithoutAMapTheWalkStopsWhenItsReadBudgetIsSpent)
{
    constexpr int32_t kFileSize = 24 * 1024;
    StreamFixture fixture(dwgw::Bytes(kFileSize, 0x3F));
    fixture.session.versionIndex = kR14;
    DWGObjects *objects = newDWGObjects(&fixture.session, fixture.memory, fixture.stream, nullptr, 0, kFileSize);

    EXPECT_EQ(objects->getNextObject(), kEnd);
    EXPECT_LE(fixture.stream->bytesRead(), 16u * kFileSize + (1u << 20) + 2 * 0x3F3F);
    deleteDWGObjects(objects);
}

}  // namespace
