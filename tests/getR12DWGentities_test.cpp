#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "r12/getR12DWGentities.h"
#include "stream_fixture.h"
#include "writer/r12writer.h"

namespace {

using dwgw::Bytes;
using dwgw::R12Drawing;

// The entity section end the header names.
int32_t sectionEnd(const Bytes &bytes)
{
    return bytes[0x18] | bytes[0x19] << 8 | bytes[0x1A] << 16 | bytes[0x1B] << 24;
}

// A walker over the given range of a drawing, by default the entity section
// its composer made right after the header.
struct Walk {
    explicit Walk(const dwgw::ComposedR12 &drawing, int32_t start = 0x6CF, int32_t end = -1)
        : fixture(drawing.bytes)
    {
        end = end >= 0 ? end : sectionEnd(drawing.bytes);
        walker = newR12EntityWalker(&fixture.session, fixture.memory, fixture.stream, start, end, R12Section::Entities);
    }
    ~Walk() { deleteR12EntityWalker(walker); }

    // Walks on past every record that gives texts; the answer that ended it.
    StepResult walkToEnd()
    {
        StepResult result = StepResult::Item;
        for (int steps = 0; result == StepResult::Item && steps < 1000; ++steps) {
            result = walker->walkEntities();
        }
        return result;
    }

    std::string events() const { return tqhost::formatEvents(fixture.host.events()); }

    StreamFixture fixture;
    R12EntityWalker *walker = nullptr;
};

std::string typeWarning(const char *hex)
{
    return std::string("report *** WARNING *** The entity type[0x") + hex + "] dosen't exist\\n\n";
}

struct R12WalkCase {
    const char *name;
    std::function<void(R12Drawing &)> build;
    std::string events;
};

class R12Walk : public ::testing::TestWithParam<R12WalkCase> {};

// Each section ends with the composer's 32-byte BLOCK "NOREAD", which lies
// in the tail that is never read as entities.
TEST_P(R12Walk, WalksToTheEndAndEmitsItsStrings)
{
    R12Drawing drawing;
    GetParam().build(drawing);
    Walk w(drawing.compose());
    EXPECT_EQ(w.walkToEnd(), StepResult::End);
    EXPECT_EQ(w.events(), GetParam().events);
    EXPECT_TRUE(w.fixture.host.anomalies().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Entities, R12Walk,
    ::testing::Values(
        R12WalkCase{"noEntities", [](R12Drawing &) {}, ""},
        R12WalkCase{"blockWithSecondString", [](R12Drawing &d) { d.addBlock("N", "XY"); }, "text 0 4e\ntext 0 5859\n"},
        R12WalkCase{"secondStringNeedsTheOptionBit",
                    [](R12Drawing &d) {
                        d.addBlock("N", "XY").optionWord = 0xFFFD;
                        d.addText("Z");
                    },
                    "text 0 4e\ntext 0 5a\n"},
        R12WalkCase{"attdefWithEmptyMiddleString", [](R12Drawing &d) { d.addAttdef("TAG", "", "DFLT"); },
                    "text 0 544147\ntext 0 44464c54\n"},
        R12WalkCase{"otherTypesPassSilently",
                    [](R12Drawing &d) {
                        for (uint8_t type : {1, 2, 3, 4, 8, 9, 11, 13, 14, 17, 19, 20, 22, 23, 24}) {
                            d.addEntity(type);
                        }
                        d.addText("Z");
                    },
                    "text 0 5a\n"},
        R12WalkCase{"unknownTypesAreReportedAndPassed",
                    [](R12Drawing &d) {
                        d.addEntity(0x1A);
                        d.addEntity(5, Bytes(300, 7));
                        d.addText("Z");
                    },
                    typeWarning("1a") + typeWarning("5") + "text 0 5a\n"},
        R12WalkCase{"stringsAfterEveryCommonField",
                    [](R12Drawing &d) {
                        for (auto *e : {&d.addText("T"), &d.addBlock("B", "C"), &d.addAttrib("D", "E")}) {
                            e->flags = 0xFF;
                            e->extraFlags = 0x06;
                            e->eed.string("XDATA", 0).item(70, {1, 0});
                        }
                    },
                    "text 0 54\ntext 0 42\ntext 0 43\ntext 0 44\ntext 0 45\n"},
        // A record of length 0 cannot be passed over: it ends the section,
        // with no type warning even for a type that does not exist.
        R12WalkCase{"zeroLengthRecordEndsTheWalk",
                    [](R12Drawing &d) {
                        d.addText("A");
                        d.addEntity(0x1A).length = 0;
                        d.addText("B");
                    },
                    "text 0 41\n"},
        // The same among records without text, where the walk steps over
        // many in one go.
        R12WalkCase{"zeroLengthLineEndsTheWalk",
                    [](R12Drawing &d) {
                        d.addText("A");
                        d.addEntity(1);
                        d.addEntity(1).length = 0;
                        d.addEntity(1);
                        d.addText("B");
                    },
                    "text 0 41\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(R12Walk, RecordStartingThirtyTwoBytesBeforeTheEndIsNotRead)
{
    R12Drawing drawing;
    drawing.addText("A");
    const dwgw::ComposedR12 composed = drawing.compose();
    const int32_t start = static_cast<int32_t>(composed.entityOffsets[0]);
    for (int32_t end : {start + 32, start + 33}) {
        Walk w(composed, start, end);
        EXPECT_EQ(w.walkToEnd(), StepResult::End);
        EXPECT_EQ(w.events(), end == start + 33 ? "text 0 41\n" : "");
    }
}

TEST(R12Walk, ShortStringKeepsItsLengthWithZerosForTheMissingBytes)
{
    R12Drawing drawing;
    drawing.addText("ABCDEFGHIJ");
    dwgw::ComposedR12 composed = drawing.compose();
    // Head 4, common part 4, point 16, real 8, length 2, then "ABC".
    composed.bytes.resize(0x6CF + 34 + 3);
    Walk w(composed, 0x6CF, 0x1000);
    EXPECT_EQ(w.walkToEnd(), StepResult::Failed);
    EXPECT_EQ(w.events(), "text 0 41424300000000000000\n");
}

}  // namespace
