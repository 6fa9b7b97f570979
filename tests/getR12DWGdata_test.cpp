#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host_library.h"
#include "text_fixture.h"
#include "writer/r12writer.h"

namespace {

using dwgw::Bytes;
using dwgw::R12Drawing;

// One session as the reference host runs it; whatever happens, every block
// goes back and the host's interface is used correctly.
tqhost::SessionResult run(const Bytes &bytes, const tqhost::HostOptions &options = {})
{
    tqhost::SessionResult result = tqhost::runLibrarySession(bytes, options, 50);
    EXPECT_TRUE(result.anomalies.empty()) << result.anomalies.front();
    EXPECT_EQ(result.outcome.blocksLeft, 0u);
    EXPECT_FALSE(result.outcome.boundHit);
    return result;
}

std::string events(const Bytes &bytes, const tqhost::HostOptions &options = {})
{
    return run(bytes, options).eventText;
}

// What the reader says at the end of a drawing it could not read whole.
const std::string kCutShort =
    "report *** ERROR *** The drawing is cut short: parts it records lie past the end of the file"
    "[getR12DWGdata/LINE].\n";
const std::string kDamaged =
    "report *** ERROR *** The drawing is damaged: parts it records cannot be read[getR12DWGdata/LINE].\n";

Bytes oneText()
{
    R12Drawing drawing;
    drawing.addText("A");
    return drawing.build();
}

// Each record's texts reach the host in a delivery of their own, so the host
// holds a few text groups at a time however large the drawing.
std::vector<size_t> deliverySizes(const tqhost::SessionResult &result)
{
    std::vector<size_t> sizes;
    for (const tqhost::DeliveryBatch &batch : result.deliveries) {
        sizes.push_back(batch.size());
    }
    return sizes;
}

// A header cut short, or one that records an entity section past the end
// of the file, gives only the end object and says the drawing was cut short.
TEST(R12Reader, HeaderCutShortOrUnusableEntitySectionGivesOnlyTheEndObject)
{
    const std::string first = "report *** ERROR *** p_getSectionsPosition1 failed[getR12DWGdata/LINE].\n";
    const std::string second = "report *** ERROR *** p_getSectionsPosition2 failed[getR12DWGdata/LINE].\n";
    const Bytes whole = oneText();
    for (const auto &[size, report] : std::vector<std::pair<size_t, std::string>>{
             {0x14, first}, {0x5D, first}, {0x5E, ""}, {0x31F, ""}, {0x3EE, ""}, {0x3EF, second}, {0x6CE, second},
             {0x6CF, ""}}) {
        EXPECT_EQ(events(Bytes(whole.begin(), whole.begin() + size)), "version AC1009\n" + report + kCutShort + "end\n")
            << size;
    }
    struct Section {
        int32_t start, end;
        std::string state;
    };
    for (const Section &c : {Section{0, 0x800, kCutShort}, Section{-5, 0x800, kCutShort}, Section{0x6CF, 0x6CF, ""},
                             Section{0x6CF, 0x6CE, ""}, Section{0x100000, 0x200000, kCutShort}}) {
        R12Drawing drawing;
        drawing.addText("A");
        drawing.options.entitySectionStart = c.start;
        drawing.options.entitySectionEnd = c.end;
        EXPECT_EQ(events(drawing.build()), "version AC1009\n" + c.state + "end\n") << c.start << " " << c.end;
    }
}

TEST(R12Reader, EntityFailuresStillEndWithTheEndObject)
{
    R12Drawing huge;
    huge.addText("A");
    huge.addEntity(0x1A).length = 0xFFFF;
    EXPECT_EQ(events(huge.build()), "version AC1009\ntext 0 41\n"
                                    "report *** WARNING *** The entity type[0x1a] dosen't exist\\n\n"
                                    "report *** WARNING *** Illigal entity size[0xffff]\\n\n" +
                                        kDamaged + "end\n");

    // The second text's bytes are missing: its buffer goes back to the host.
    R12Drawing cut;
    cut.addText("A");
    cut.addText("LOST");
    dwgw::ComposedR12 composed = cut.compose();
    composed.bytes.resize(composed.entityOffsets[1] + 34);
    EXPECT_EQ(events(composed.bytes), "version AC1009\ntext 0 41\n" + kCutShort + "end\n");
}

std::string typeWarning(const char *hex)
{
    return std::string("report *** WARNING *** The entity type[0x") + hex + "] dosen't exist\\n\n";
}

// Each record's texts reach the host in a delivery of their own. The texts
// of block definitions follow those of the entity section; the BLOCK
// records that open the definitions give no text, unlike a BLOCK record met
// in the entity section. The block section holds what real drawings keep
// there: a dimension's anonymous block and a title block with attributes.
TEST(R12Reader, BlockDefinitionsGiveTheirTextsAfterTheEntitySection)
{
    std::string expected;
    for (const char *text : {"E", "BLK", "TOO", "TAG", "P", "DFLT", "1.0000", "NAME", "Drawn by", "42", "SHEET"}) {
        expected += textlines::text(text) + "\n";
    }
    expected += typeWarning("1a") + textlines::text("Site plan") + "\n";
    for (dwgw::R12Version version : {dwgw::R12Version::AC1006, dwgw::R12Version::AC1009, dwgw::R12Version::AC1010}) {
        R12Drawing drawing(version);
        drawing.addText("E");
        drawing.addBlock("BLK", "TOO");
        drawing.addAttdef("TAG", "P", "DFLT");
        drawing.beginBlocks();
        drawing.addBlock("*D1").flags = 0x41;
        drawing.addText("1.0000").flags = 0x03;
        drawing.addEntity(13);
        drawing.addBlock("TITLE", "DESCRIPTION");
        drawing.addAttdef("NAME", "", "Drawn by");
        drawing.addAttrib("42", "SHEET");
        drawing.addEntity(0x1A);
        drawing.addText("Site plan");
        drawing.addEntity(13);
        tqhost::SessionResult result = run(drawing.build());
        EXPECT_EQ(result.eventText.substr(result.eventText.find('\n') + 1), expected + "end\n");
        EXPECT_EQ(deliverySizes(result), (std::vector<size_t>{3, 6, 9, 3, 6, 6, 3, 1}));
    }
}

// Each walk reads the records that start before the last 32 bytes of its
// section: up to the entity section's end, and in the block section up to
// the fourth address.
TEST(R12Reader, EachWalkReadsTheRecordsThatStartBeforeItsSectionsLast32Bytes)
{
    for (bool blocks : {false, true}) {
        for (int32_t margin : {32, 33}) {
            SCOPED_TRACE(std::string(blocks ? "blocks, " : "entities, ") + std::to_string(margin));
            R12Drawing drawing;
            if (blocks) {
                drawing.beginBlocks();
            }
            drawing.addText("A");
            const dwgw::ComposedR12 composed = drawing.compose();
            const auto start = static_cast<int32_t>(blocks ? composed.blockOffsets[0] : composed.entityOffsets[0]);
            (blocks ? drawing.options.fourthAddress : drawing.options.entitySectionEnd) = start + margin;
            EXPECT_EQ(events(drawing.build()),
                      std::string("version AC1009\n") + (margin == 33 ? "text 0 41\n" : "") + "end\n");
        }
    }
}

// Every known type without a text passes silently, an unknown one is
// reported and passed over by its length, and a record of length 0, which
// cannot be passed over, ends the section, whether the walk reads it or
// meets it among records it steps over in one go. A BLOCK record's second
// string needs its option bit.
TEST(R12Reader, RecordsWithoutTextsArePassedOverAndAnEmptyOneEndsTheSection)
{
    struct Case {
        const char *name;
        std::function<void(R12Drawing &)> build;
        std::string events;
    };
    const Case cases[] = {
        {"second string needs the option bit",
         [](R12Drawing &d) {
             d.addBlock("N", "XY").optionWord = 0xFFFD;
             d.addText("Z");
         },
         "text 0 4e\ntext 0 5a\n"},
        {"other types pass silently",
         [](R12Drawing &d) {
             for (uint8_t type : {1, 2, 3, 4, 8, 9, 11, 13, 14, 17, 19, 20, 22, 23, 24}) {
                 d.addEntity(type);
             }
             d.addText("Z");
         },
         "text 0 5a\n"},
        {"unknown types are reported and passed",
         [](R12Drawing &d) {
             d.addEntity(0x1A);
             d.addEntity(5, Bytes(300, 7));
             d.addText("Z");
         },
         typeWarning("1a") + typeWarning("5") + "text 0 5a\n"},
        {"a record of length 0 ends the walk",
         [](R12Drawing &d) {
             d.addText("A");
             d.addEntity(0x1A).length = 0;
             d.addText("B");
         },
         "text 0 41\n"},
        {"a LINE of length 0 among LINEs ends the walk",
         [](R12Drawing &d) {
             d.addText("A");
             d.addEntity(1);
             d.addEntity(1).length = 0;
             d.addEntity(1);
             d.addText("B");
         },
         "text 0 41\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        R12Drawing drawing;
        c.build(drawing);
        EXPECT_EQ(events(drawing.build()), "version AC1009\n" + c.events + "end\n");
    }
}

// A string the file ends inside keeps its length, with zeros for the bytes
// that are missing.
TEST(R12Reader, AStringCutByTheEndOfTheFileKeepsItsLength)
{
    R12Drawing drawing;
    drawing.addText("ABCDEFGHIJ");
    dwgw::ComposedR12 composed = drawing.compose();
    // Head 4, common part 4, point 16, real 8, length 2, then "ABC".
    composed.bytes.resize(composed.entityOffsets[0] + 34 + 3);
    EXPECT_EQ(events(composed.bytes), "version AC1009\ntext 0 41424300000000000000\n" + kCutShort + "end\n");
}

}  // namespace
