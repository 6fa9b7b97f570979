#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host_library.h"
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

TEST(R12Reader, DeliversEachRecordsTextsAsItWalksThenTheEnd)
{
    for (dwgw::R12Version version : {dwgw::R12Version::AC1006, dwgw::R12Version::AC1009, dwgw::R12Version::AC1010}) {
        R12Drawing drawing(version);
        drawing.addText("FOO");
        drawing.addBlock("BLK", "D");
        drawing.addAttdef("TAG", "P", "DFLT");
        drawing.addAttrib("V", "T");
        tqhost::SessionResult result = run(drawing.build());
        EXPECT_EQ(result.eventText.substr(result.eventText.find('\n') + 1),
                  "text 0 464f4f\ntext 0 424c4b\ntext 0 44\ntext 0 544147\ntext 0 50\ntext 0 44464c54\n"
                  "text 0 56\ntext 0 54\nend\n");
        EXPECT_EQ(deliverySizes(result), (std::vector<size_t>{3, 6, 9, 6, 1}));
    }
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

std::string hexOf(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        out += "0123456789abcdef"[c >> 4];
        out += "0123456789abcdef"[c & 15];
    }
    return out;
}

// The texts of block definitions follow those of the entity section; the
// BLOCK records that open the definitions give no text, unlike a BLOCK
// record met in the entity section. The block section holds what real
// drawings keep there: a dimension's anonymous block and a title block
// with attributes.
TEST(R12Reader, BlockDefinitionsGiveTheirTextsAfterTheEntitySection)
{
    std::string expected = "text 0 45\ntext 0 " + hexOf("IGNORED") + "\ntext 0 " + hexOf("TOO") + "\n";
    for (const char *text : {"1.0000", "NAME", "Drawn by", "42", "SHEET", "Site plan"}) {
        expected += text == std::string("Site plan") ? "report *** WARNING *** The entity type[0x1a] dosen't exist\\n\n" : "";
        expected += "text 0 " + hexOf(text) + "\n";
    }
    for (dwgw::R12Version version : {dwgw::R12Version::AC1006, dwgw::R12Version::AC1009, dwgw::R12Version::AC1010}) {
        R12Drawing drawing(version);
        drawing.addText("E");
        drawing.addBlock("IGNORED", "TOO");
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
        EXPECT_EQ(deliverySizes(result), (std::vector<size_t>{3, 6, 3, 6, 6, 3, 1}));
    }
}

// The block walk reads every record that starts before the section's last
// 32 bytes, up to the fourth address: here a TEXT of 35 bytes that ends the
// section.
TEST(R12Reader, TheBlockWalkReadsUpToTheLast32BytesBeforeTheFourthAddress)
{
    R12Drawing drawing;
    drawing.beginBlocks();
    drawing.addBlock("B");
    drawing.addText("Z");
    drawing.options.blockSection = {};
    EXPECT_EQ(events(drawing.build()), "version AC1009\ntext 0 5a\nend\n");
}

}  // namespace
