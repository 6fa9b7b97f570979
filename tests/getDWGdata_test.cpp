#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_library.h"
#include "r13/getDWGdata.h"
#include "stream_fixture.h"
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

TEST(R13Reader, EmitsEveryTextOfEachVersionThenTheEndObject)
{
    const std::array<std::pair<dwgw::BitVersion, const char *>, 4> versions{{
        {dwgw::BitVersion::AC1012, "AC1012"},
        {dwgw::BitVersion::AC1013, "AC1013"},
        {dwgw::BitVersion::AC1014, "AC1014"},
        {dwgw::BitVersion::AC1015, "AC1015"},
    }};
    for (const auto &[version, name] : versions) {
        SCOPED_TRACE(name);
        dwgw::Drawing drawing(version);
        addEveryKind(drawing);

        EXPECT_EQ(sessionLines(drawing.build()),
                  (Lines{std::string("version ") + name, text("one"), text("value"), text("default"), text("first"),
                         text("second"), report("*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n"), "end"}));
    }
}

TEST(R13Reader, FindsItsObjectsThroughTheMapWhereverTheyLie)
{
    dwgw::R2000Drawing drawing;
    addEveryKind(drawing);
    drawing.options.mapBeforeObjects = true;
    drawing.options.entriesPerMapSection = 2;
    drawing.options.adjustMap = [](std::vector<dwgw::MapEntry> &entries) { std::swap(entries[0], entries[4]); };

    EXPECT_EQ(sessionLines(drawing.build()),
              (Lines{"version AC1015", text("first"), text("second"), text("value"), text("default"), text("one"),
                     report("*** WARNING *** OBJCT TYPE[0x1f4] dosen't exist\n"), "end"}));
}

TEST(R13Reader, RefusesAFileHeaderItCannotRead)
{
    const std::string failed = report("*** ERROR *** p_getSectionsPosition failed[getDWGdata/1].");
    struct Header {
        const char *fault;
        std::function<void(dwgw::Drawing &)> spoil;
    };
    const Header headers[] = {
        {"four locators", [](dwgw::Drawing &d) { d.options.locatorCount = 4; }},
        {"records out of turn",
         [](dwgw::Drawing &d) {
             d.options.adjustLocators = [](std::vector<dwgw::Locator> &l) { std::swap(l[1], l[2]); };
         }},
        {"record 2 missing",
         [](dwgw::Drawing &d) {
             d.options.adjustLocators = [](std::vector<dwgw::Locator> &l) { l[2].number = 3; };
         }},
    };
    for (const Header &header : headers) {
        SCOPED_TRACE(header.fault);
        dwgw::R2000Drawing drawing;
        drawing.addText("never");
        header.spoil(drawing);

        EXPECT_EQ(sessionLines(drawing.build()), (Lines{"version AC1015", "refused", failed}));
    }
}

// The version was detected before, but the reader trusts only its own look.
TEST(R13Reader, ChecksTheVersionAgainAndSetsTheSessionsIndex)
{
    dwgw::R14Drawing drawing;
    drawing.options.versionText = "AC1009";
    StreamFixture fixture(drawing.build());

    EXPECT_EQ(newDWGReader(&fixture.session, fixture.memory), nullptr);
    EXPECT_EQ(fixture.session.versionIndex, 10);
    EXPECT_EQ(textlines::lines(fixture.host.events()),
              Lines{report("*** ERROR *** This version[AC1009] has not been supported[getDWGdata/1].")});
}

TEST(R13Reader, AMapWithoutObjectsGivesOnlyTheEndObject)
{
    struct Map {
        const char *fault;
        std::function<void(dwgw::Drawing &)> spoil;
    };
    const Map maps[] = {
        {"map outside the file",
         [](dwgw::Drawing &d) {
             d.options.adjustLocators = [](std::vector<dwgw::Locator> &l) { l[2].seeker = 0x7000000; };
         }},
        {"map without entries", [](dwgw::Drawing &d) { d.options.mapBytes = dwgw::Bytes{0x00, 0x02, 0xA5, 0x5A}; }},
    };
    for (const Map &map : maps) {
        SCOPED_TRACE(map.fault);
        dwgw::R2000Drawing drawing;
        drawing.addText("unlisted");
        map.spoil(drawing);

        EXPECT_EQ(sessionLines(drawing.build()), (Lines{"version AC1015", "end"}));
    }
}

// A failed object ends the output with the end object; the session is
// whole however the host fails.
TEST(R13Reader, AHostThatRefusesATextStillGetsTheEndObject)
{
    for (int32_t kind : {38, 41, 48}) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        dwgw::R13Drawing drawing;
        drawing.addText("first");
        drawing.addText("second");
        tqhost::HostOptions options;
        options.refusedKinds = {kind};
        Lines expected{"version AC1012"};
        if (kind == 48) {
            expected.push_back(text("first"));
        }
        expected.push_back(report("*** ERROR *** fpCreateObject()[textdata/1]"));
        expected.push_back(report("*** ERROR *** getDWGText()[getDWGobjects/1]"));
        expected.push_back("end");

        EXPECT_EQ(sessionLines(drawing.build(), options), expected);
    }
}

dwgw::Drawing smallDrawing(bool mapFirst)
{
    dwgw::R2000Drawing drawing;
    drawing.addText("AB");
    drawing.addMText("C\\PD");
    drawing.addObject(600);
    drawing.options.mapBeforeObjects = mapFirst;
    return drawing;
}

constexpr uint64_t kSmallDrawingObjects = 3;

// Whatever part of the file is missing, the session ends by itself within a
// call per mapped object and the end object, and gives every block back.
TEST(R13Reader, SurvivesTruncationAtEveryLength)
{
    for (bool mapFirst : {false, true}) {
        const dwgw::Bytes whole = smallDrawing(mapFirst).build();
        for (size_t length = 0; length <= whole.size(); ++length) {
            SCOPED_TRACE((mapFirst ? "map first, length " : "objects first, length ") + std::to_string(length));
            dwgw::Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            tqhost::SessionResult result = tqhost::runLibrarySession(cut, {}, 100);

            EXPECT_TRUE(result.outcome.refused || result.outcome.endSeen);
            EXPECT_LE(result.outcome.getCalls, kSmallDrawingObjects + 1);
            EXPECT_TRUE(result.outcome.allBlocksReturned());
            EXPECT_EQ(result.anomalies, std::vector<std::string>{});
        }
    }
}

// Every call of every host operation, failing once: the session still ends
// by itself and leaves no block behind.
TEST(R13Reader, SurvivesEveryHostFailure)
{
    const dwgw::Bytes bytes = smallDrawing(false).build();
    const tqhost::CallCounts clean = tqhost::runLibrarySession(bytes).calls;
    for (tqhost::HostOp op : {tqhost::HostOp::Open, tqhost::HostOp::Read, tqhost::HostOp::Seek,
                              tqhost::HostOp::Tell, tqhost::HostOp::Block, tqhost::HostOp::Create}) {
        for (uint64_t k = 1; k <= clean[static_cast<size_t>(op)]; ++k) {
            SCOPED_TRACE(std::string(tqhost::hostOpName(op)) + " call " + std::to_string(k));
            tqhost::HostOptions options;
            options.faults.failOnce(op, k);
            tqhost::SessionResult result = tqhost::runLibrarySession(bytes, options, 100);

            EXPECT_FALSE(result.outcome.boundHit);
            EXPECT_TRUE(result.outcome.allBlocksReturned());
            EXPECT_EQ(result.anomalies, std::vector<std::string>{});
        }
    }
}

}  // namespace
