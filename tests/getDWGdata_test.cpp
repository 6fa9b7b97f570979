#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_library.h"
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

// The longest texts a BS length can state. Their objects outgrow the 16-bit
// size field, which wraps; the walk finds the next object through the map,
// and the fields are read from a copy of the file after the object, which
// is bounded.
TEST(R13Reader, TextsOfTheLongestLengthComeOutWhole)
{
    std::string paragraphs;
    while (paragraphs.size() + 3 <= 65535) {
        paragraphs += "x\\P";
    }
    const std::string plain(65535, 'q');
    for (dwgw::BitVersion version : {dwgw::BitVersion::AC1014, dwgw::BitVersion::AC1015}) {
        dwgw::Drawing drawing(version);
        drawing.addText(plain).sizeField = 0xFFFF;
        drawing.addMText(paragraphs).sizeField = 0xFFFF;
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

// A header whose locators cannot be read refuses the drawing; a map that
// cannot be read or lists nothing leaves only the end object. A header that
// records a section past the end of the file says the drawing was cut
// short; an object past the end of a full-length file, that it is damaged.
TEST(R13Reader, SpoiledHeadersAndMaps)
{
    const Lines refused{"version AC1015", "refused",
                        report("*** ERROR *** p_getSectionsPosition failed[getDWGdata/1].")};
    const Lines endOnly{"version AC1015", "end"};
    const Lines cutShort{"version AC1015",
                         report("*** ERROR *** The drawing is cut short: parts it records lie past the end of the "
                                "file[getDWGdata/1]."),
                         "end"};
    const Lines damaged{"version AC1015",
                        report("*** ERROR *** The drawing is damaged: parts it records cannot be read[getDWGdata/1]."),
                        "end"};
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
        {"record 2 missing", [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { l[2].number = 3; }; },
         refused},
        {"record number too low",
         [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { l[1].number = 0; }; }, refused},
        {"map outside the file",
         [](dwgw::DrawingOptions &o) { o.adjustLocators = [](Locators &l) { l[2].seeker = 0x7000000; }; }, cutShort},
        // One entry: handle 1 at offset 0x7000, past the end of the file.
        {"object outside the file",
         [](dwgw::DrawingOptions &o) { o.mapBytes = dwgw::Bytes{0, 6, 0x01, 0x80, 0xE0, 0x01, 0, 0, 0, 2, 0, 0}; },
         damaged},
        {"map without entries", [](dwgw::DrawingOptions &o) { o.mapBytes = dwgw::Bytes{0x00, 0x02, 0xA5, 0x5A}; },
         endOnly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        dwgw::R2000Drawing drawing;
        drawing.addText("never");
        c.spoil(drawing.options);
        EXPECT_EQ(sessionLines(drawing.build()), c.expected);
    }
}

}  // namespace
