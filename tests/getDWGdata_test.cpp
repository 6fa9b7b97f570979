#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_library.h"
#include "r13/dwgcommon.h"
#include "text_fixture.h"
#include "writer/dwgwriter.h"

namespace {

using textlines::report;
using textlines::text;
using Lines = std::vector<std::string>;

// The event list of a whole session as lines.
Lines sessionLines(const dwgw::Bytes &bytes, const tqhost::HostOptions &options = {})
{
    tqhost::SessionResult result = tqhost::runLibrarySession(bytes, options, 1000);
    EXPECT_TRUE(result.outcome.allBlocksReturned());
    EXPECT_EQ(result.anomalies, std::vector<std::string>{});
    return textlines::lines(result.events);
}

// Texts of every kind, a refused type and a skipped one.
void addEveryKind(dwgw::Drawing &drawing)
{
    drawing.addText("one");
    drawing.addObject(30);
    drawing.addAttrib("value", "TAG");
    drawing.addAttdef("default", "TAG", "PROMPT");
    drawing.addMText("\\A1;first\\Psecond");
    drawing.addObject(500);
}

// The longest texts a BS length can state, in objects whose size takes two
// words; the fields are read from a copy of the file after the object,
// which is bounded.
TEST(R13Reader, TextsOfTheLongestLengthComeOutWhole)
{
    std::string paragraphs;
    while (paragraphs.size() + 3 <= 65535) {
        paragraphs += "x\\P";
    }
    const std::string plain(65535, 'q');
    for (dwgw::BitVersion version : {dwgw::BitVersion::AC1014, dwgw::BitVersion::AC1015}) {
        dwgw::Drawing drawing(version);
        drawing.addText(plain);
        drawing.addMText(paragraphs);
        drawing.addText("after");
        tqhost::SessionResult result = tqhost::runLibrarySession(drawing.build(), {}, 1000);

        Lines expected{text(plain)};
        expected.insert(expected.end(), paragraphs.size() / 3, text("x"));
        expected.insert(expected.end(), {text(""), text("after"), "end"});
        Lines got = textlines::lines(result.events);
        EXPECT_EQ(Lines(got.begin() + 1, got.end()), expected);
        EXPECT_TRUE(result.outcome.allBlocksReturned());
        // The copy, of at most 512 KiB, and the memory service's header.
        EXPECT_LE(result.blocks.largestRequest, (1u << 19) + 16u);
    }
}

TEST(R13Reader, EmitsEveryTextOfEachVersionThenTheEndObject)
{
    using dwgw::BitVersion;
    const std::pair<BitVersion, const char *> versions[] = {
        {BitVersion::AC1012, "AC1012"}, {BitVersion::AC1013, "AC1013"}, {BitVersion::AC1014, "AC1014"},
        {BitVersion::AC1015, "AC1015"}};
    for (const auto &[version, name] : versions) {
        SCOPED_TRACE(name);
        dwgw::Drawing drawing(version);
        addEveryKind(drawing);

        EXPECT_EQ(sessionLines(drawing.build()),
                  (Lines{std::string("version ") + name, text("one"), text("value"), text("default"), text("first"),
                         text("second"), report("*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n"), "end"}));
    }
}

const std::string kCutShort =
    report("*** ERROR *** The drawing is cut short: parts it records lie past the end of the file[getDWGdata/1].");

// A header whose locators cannot be read refuses the drawing; a map that
// lists nothing leaves only the end object, and one that cannot be read
// says the drawing is damaged. A header that
// records a section past the end of the file says the drawing was cut
// short, and its objects are walked without the map, unless the map lies
// whole before the end; an object past the end of a full-length file says
// that it is damaged.
TEST(R13Reader, SpoiledHeadersAndMaps)
{
    const Lines refused{"version AC1015", "refused",
                        report("*** ERROR *** p_getSectionsPosition failed[getDWGdata/1].")};
    const Lines endOnly{"version AC1015", "end"};
    const Lines cutShortAfterItsText{"version AC1015", text("X"), kCutShort, "end"};
    const Lines damaged{"version AC1015",
                        report("*** ERROR *** The drawing is damaged: parts it records cannot be read[getDWGdata/1]."),
                        "end"};
    const Lines damagedAfterItsText{"version AC1015", text("X"), damaged[1], "end"};
    using Locators = std::vector<dwgw::Locator>;
    struct Case {
        const char *fault;
        std::function<void(dwgw::DrawingOptions &)> spoil;
        Lines expected;
    };
    const Case cases[] = {
        {"four locators", [](dwgw::DrawingOptions &o) { o.locatorCount = 4; }, refused},
        {"records out of turn",
         [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { std::swap(l[1], l[2]); }; }, refused},
        {"map outside the file",
         [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { l[2].seeker = 0x7000000; }; },
         cutShortAfterItsText},
        // The map is whole, so the header variables cannot have been cut away.
        {"header variables outside the file",
         [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { l[0].seeker = 0x7FFFFFFF; }; },
         damagedAfterItsText},
        // One entry: handle 1 at offset 0x7000, past the end of the file.
        {"object outside the file",
         [](dwgw::DrawingOptions &o) { o.mapBytes = dwgw::Bytes{0, 6, 0x01, 0x80, 0xE0, 0x01, 0, 0, 0, 2, 0, 0}; },
         damaged},
        {"map without entries", [](dwgw::DrawingOptions &o) { o.mapBytes = dwgw::Bytes{0x00, 0x02, 0xA5, 0x5A}; },
         endOnly},
        // The map ends the file, and its section's pair runs past that end:
        // where it failed is said, and the objects are walked in file order.
        {"map that cannot be read", [](dwgw::DrawingOptions &o) { o.mapBytes = dwgw::Bytes{0, 0xFF, 1, 0x81, 0x81}; },
         {"version AC1015",
          report("*** ERROR *** The object map cannot be read from its part at [0x32b] of [the file]: the objects are "
                 "read in file order[getDWGdata/1]."),
          text("X"), damaged[1], "end"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        dwgw::R2000Drawing drawing;
        drawing.addText("X");
        c.spoil(drawing.options);
        EXPECT_EQ(sessionLines(drawing.build()), c.expected);
    }
}

// Cut before the end of its map, a drawing is walked in file order: at
// every cut, each object that ends before it gives its events. An object
// whose bytes do not give its check value is passed over, and the walk
// goes on with the next one that does.
TEST(R13Reader, ACutDrawingGivesTheTextsOfTheObjectsBeforeTheCut)
{
    dwgw::R2000Drawing drawing;
    addEveryKind(drawing);
    drawing.addText("last");
    const dwgw::ComposedDrawing composed = drawing.compose();
    const std::vector<std::size_t> &starts = composed.objectOffsets;
    const std::vector<Lines> eventsOf{
        {text("one")}, {}, {text("value")}, {text("default")}, {text("first"), text("second")},
        {report("*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n")}, {text("last")}};
    ASSERT_EQ(starts.size(), eventsOf.size());
    const auto eventsBefore = [&](std::size_t cut, std::size_t passedOver) {
        Lines events{"version AC1015"};
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : composed.mapOffset;
            if (end <= cut && i != passedOver) {
                events.insert(events.end(), eventsOf[i].begin(), eventsOf[i].end());
            }
        }
        events.insert(events.end(), {kCutShort, "end"});
        return events;
    };
    const std::size_t mapEnd = composed.mapOffset + composed.mapSize;
    for (std::size_t cut = starts.front(); cut < mapEnd; ++cut) {
        EXPECT_EQ(sessionLines(dwgw::Bytes(composed.bytes.begin(), composed.bytes.begin() + cut)),
                  eventsBefore(cut, starts.size()))
            << cut;
    }
    dwgw::Bytes garbled(composed.bytes.begin(), composed.bytes.begin() + composed.mapOffset + 2);
    garbled[starts[2] + 5] ^= 0x10;
    EXPECT_EQ(sessionLines(garbled), eventsBefore(garbled.size(), 2));
}

// An object of 32 KiB or more states its size in two words. Without the
// map (here the header places it far past the end of the file) the walk
// steps over all of it: it holds copies of the whole TEXT object before
// it, which a walk that stopped short would take for objects.
TEST(R13Reader, ACutDrawingStepsOverAnObjectOf32KiBWhole)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("A");
    drawing.addObject(500);
    drawing.addText("B");
    drawing.options.adjustLocators = [](std::vector<dwgw::Locator> &locators) { locators[2].seeker = 0x7000000; };
    const dwgw::ComposedDrawing parts = drawing.compose();
    const auto start = [&](std::size_t i) { return parts.bytes.begin() + parts.objectOffsets[i]; };

    dwgw::Bytes body(start(1) + 2, start(1) + 4);
    while (body.size() < 40000) {
        body.insert(body.end(), start(0), start(1));
    }
    const auto size = static_cast<uint32_t>(body.size());
    dwgw::Bytes file(parts.bytes.begin(), start(1));
    const std::size_t bigAt = file.size();
    file.insert(file.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8 | 0x80),
                             static_cast<uint8_t>(size >> 15), static_cast<uint8_t>(size >> 23)});
    file.insert(file.end(), body.begin(), body.end());
    const auto bigLength = static_cast<int32_t>(file.size() - bigAt);
    const uint16_t check = continueObjectCheck(kObjectCheckSeed, file.data() + bigAt, bigLength);
    file.insert(file.end(), {static_cast<uint8_t>(check), static_cast<uint8_t>(check >> 8)});
    file.insert(file.end(), start(2), parts.bytes.begin() + parts.mapOffset);
    Lines texts = sessionLines(file);
    std::erase_if(texts, [](const std::string &line) { return !line.starts_with("text "); });
    EXPECT_EQ(texts, (Lines{text("A"), text("B")}));
}

}  // namespace
