// Composed drawings of every R13 to R2018 release, read to their end with
// the reader libdwgtext reads with: what each kind of object gives, and
// objects too large for a one-word size.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TQDUDADE.h"
#include "host_library.h"
#include "reading.h"
#include "writer/dwgwriter.h"

namespace {

using Version = dwgw::BitVersion;

const Version kVersions[] = {Version::AC1014, Version::AC1015, Version::AC1018, Version::AC1021,
                             Version::AC1024, Version::AC1027, Version::AC1032};

// A text's bytes with UTF-16 of ASCII brought back to ASCII, so that one
// expectation serves every release.
std::string plain(const dwgtext::FoundText &text)
{
    if (text.charset != DWG_CHARSET_UTF16BE) {
        return text.bytes;
    }
    std::string out;
    for (size_t i = 1; i < text.bytes.size(); i += 2) {
        out += text.bytes[i];
    }
    return out;
}

struct Read {
    std::vector<std::string> texts;  // each "KIND text"
    std::vector<std::string> reports;
    dwgtext::Status status;
};

enum class Kinds { Every, Classic };

Read readAll(const dwgw::Drawing &drawing, Kinds kinds = Kinds::Every)
{
    const dwgw::Bytes bytes = drawing.build();
    dwgtext::TextReader reader(bytes);
    if (kinds == Kinds::Classic) {
        reader.keepClassicKinds();
    }
    Read read;
    while (const dwgtext::FoundText *text = reader.next()) {
        read.texts.push_back(std::string(dwgtext::textKindName(text->kind)) + " " + plain(*text));
    }
    read.reports = reader.reports();
    read.status = reader.facts().status;
    return read;
}

class EveryRelease : public testing::TestWithParam<Version> {};

INSTANTIATE_TEST_SUITE_P(R14ToR2018, EveryRelease, testing::ValuesIn(kVersions));

// An object of 32 KiB or more states its size in two words. Each place a
// size is read must take both: the walk stepping over a large object with
// the map, the common data reaching past large extended data, the decoder
// leaving a large text object, and a string stream of more than 32 Kibit.
TEST_P(EveryRelease, ObjectsOf32KiBOrMoreAreReadByTheirTwoWordSize)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addObject(42, dwgw::Bytes(40000, 0x5A));
    dwgw::TextEntity &text = drawing.addText("after the dictionary");
    text.common.eed.push_back({5, {0x12}, dwgw::Bytes(45000, 'x'), std::nullopt});
    const std::string longText(3000, 'L');
    drawing.addMText(longText);
    drawing.addText("last");
    const Read read = readAll(drawing);
    ASSERT_EQ(read.texts.size(), 3u);
    EXPECT_EQ(read.texts[0], "TEXT after the dictionary");
    EXPECT_TRUE(read.texts[1] == "MTEXT " + longText) << read.texts[1].size() << " bytes";
    EXPECT_EQ(read.texts[2], "TEXT last");
    EXPECT_EQ(read.reports, std::vector<std::string>{});
    EXPECT_EQ(read.status, dwgtext::Status::Read);
    // The host's protocol reads the file through its windows, which such
    // an object outgrows.
    const tqhost::SessionResult host = tqhost::runLibrarySession(drawing.build());
    const auto texts = std::count_if(host.events.begin(), host.events.end(),
                                     [](const tqhost::Event &event) { return event.type == tqhost::Event::Type::Text; });
    EXPECT_EQ(texts, 3);
    EXPECT_TRUE(host.outcome.endSeen);
}

// Every kind, in object-map order, each text with its kind: an attribute
// definition's prompt after its default (past the alignment fields its data
// flags keep), a tolerance frame's string as
// stored, a dimension's user text only when its block is not in the
// drawing. The classic kinds alone are what the host's protocol gives.
TEST_P(EveryRelease, EachKindOfEntityGivesItsTextsWithTheirKind)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addText("plain");
    drawing.addAttdef("1", "SHEET", "Enter sheet number").dataFlags = 0xC0;  // no alignment codes
    drawing.addAttdef("2", "REV", "");
    drawing.addAttdef("3", "NOTE", "Note").attributeKind = 4;  // multi-line in R2018
    drawing.addAttrib("A-101", "SHEET");
    drawing.addTolerance("{\\Fgdt;j}%%v0.5%%v%%vA");
    drawing.addDimension("WITH BLOCK", 0x30).type = 22;
    drawing.addDimension("NO BLOCK", 0).type = 25;
    drawing.addDimension("", 0);
    drawing.addMText("first\\Psecond");
    const std::vector<std::string> classic{"TEXT plain",   "ATTDEF 1",    "ATTDEF 2",    "ATTDEF 3",
                                           "ATTRIB A-101", "MTEXT first", "MTEXT second"};
    const Read every = readAll(drawing);
    EXPECT_EQ(every.texts, (std::vector<std::string>{"TEXT plain", "ATTDEF 1", "ATTDEF_PROMPT Enter sheet number",
                                                     "ATTDEF 2", "ATTDEF 3", "ATTDEF_PROMPT Note", "ATTRIB A-101",
                                                     "TOLERANCE {\\Fgdt;j}%%v0.5%%v%%vA", "DIMENSION NO BLOCK",
                                                     "MTEXT first", "MTEXT second"}));
    EXPECT_EQ(every.reports, std::vector<std::string>{});
    EXPECT_EQ(every.status, dwgtext::Status::Read);
    EXPECT_EQ(readAll(drawing, Kinds::Classic).texts, classic);
}

// A multileader's type is its class's number, read from the drawing's
// classes. Its MTEXT content gives one text per paragraph, whatever the
// number of leader roots before it and whatever colour names lie among its
// texts; then the values of its block labels come, each as a TEXT value
// is given, an empty one giving nothing.
TEST_P(EveryRelease, MultileadersGiveTheirParagraphsThenTheirAttributeValues)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addText("before");
    drawing.addMultileader("\\A1;EPDM ROOF\\PO.S.B SHEATHING");
    drawing.addMultileader(std::nullopt, {"A1", "", "SHEET 2"});
    dwgw::MultileaderEntity &named = drawing.addMultileader("two roots", {"B7"});
    named.leaderRoots = 2;
    named.colorName = "NAMED";
    drawing.addText("after");
    const Read every = readAll(drawing);
    EXPECT_EQ(every.texts, (std::vector<std::string>{"TEXT before", "MULTILEADER EPDM ROOF",
                                                     "MULTILEADER O.S.B SHEATHING", "MULTILEADER A1",
                                                     "MULTILEADER SHEET 2", "MULTILEADER two roots",
                                                     "MULTILEADER B7", "TEXT after"}));
    EXPECT_EQ(every.reports, std::vector<std::string>{});
    EXPECT_EQ(readAll(drawing, Kinds::Classic).texts, (std::vector<std::string>{"TEXT before", "TEXT after"}));
}

// A multileader whose fields do not end exactly where its data does was
// misread, and gives nothing: one that claims a label more than it holds
// reads on into the fields after, one that claims a label fewer stops short.
// Each is reported.
TEST_P(EveryRelease, AMultileaderThatDoesNotEndWhereItsDataDoesGivesNoText)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addMultileader("callout", {"A1"}).labelCount = 2;
    drawing.addMultileader("short", {"B2"}).labelCount = 0;
    drawing.addText("after");
    const Read every = readAll(drawing);
    EXPECT_EQ(every.texts, std::vector<std::string>{"TEXT after"});
    ASSERT_EQ(every.reports.size(), 4u);
    EXPECT_TRUE(every.reports[0].starts_with("*** ERROR *** multileader fields do not end")) << every.reports[0];
    EXPECT_EQ(every.reports[0].substr(0, 50), every.reports[2].substr(0, 50));
}

// An entity of a custom class gives the texts its graphic draws, in
// place among the drawing's texts, UTF-16 ones from R2007 on as 8-bit ones
// before; the classic kinds leave them out. A multileader's graphic, and
// that of a table, whose texts come from its block, give nothing.
TEST_P(EveryRelease, CustomEntitiesGiveTheTextsTheirGraphicsDraw)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addText("before");
    drawing.addCustomEntity({"D01", "door mark 2", "AXIS A"});
    dwgw::CustomEntity &table = drawing.addCustomEntity({"cell"});
    table.type = 601;
    table.dxfName = "ACAD_TABLE";
    dwgw::CustomEntity &tag = drawing.addCustomEntity({"R101"});
    tag.type = 602;
    tag.dxfName = "AECROOMTAG";
    drawing.addMultileader("callout").common.graphic = dwgw::proxyGraphic({"picture"}, false);
    drawing.addText("after");
    EXPECT_EQ(readAll(drawing).texts, (std::vector<std::string>{"TEXT before", "PROXY D01", "PROXY door mark 2",
                                                               "PROXY AXIS A", "PROXY R101", "MULTILEADER callout",
                                                               "TEXT after"}));
    EXPECT_EQ(readAll(drawing, Kinds::Classic).texts, (std::vector<std::string>{"TEXT before", "TEXT after"}));
}

// A graphic gives its texts only when it parses exactly: its stated size,
// its count of primitives and each text primitive's fields must all agree.
TEST_P(EveryRelease, AGraphicThatDoesNotParseExactlyGivesNoText)
{
    const auto putRL = [](dwgw::Bytes &graphic, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            graphic[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    const auto rl = [](const dwgw::Bytes &graphic, size_t at) {
        return uint32_t{graphic[at]} | uint32_t{graphic[at + 1]} << 8 | uint32_t{graphic[at + 2]} << 16 |
               uint32_t{graphic[at + 3]} << 24;
    };
    const std::vector<std::function<void(dwgw::Bytes &)>> faults{
        [&](dwgw::Bytes &g) { putRL(g, 0, rl(g, 0) + 1); },  // the stated size
        [&](dwgw::Bytes &g) { putRL(g, 4, rl(g, 4) + 1); },  // the count
        [&](dwgw::Bytes &g) { putRL(g, 4, rl(g, 4) - 1); },
        [&](dwgw::Bytes &g) {  // the last text primitive 4 bytes longer than its fields
            const size_t text = 8 + rl(g, 8);
            const size_t last = text + rl(g, text);
            putRL(g, last, rl(g, last) + 4);
            putRL(g, 0, rl(g, 0) + 4);
            g.insert(g.end(), 4, 0);
        },
    };
    for (size_t fault = 0; fault < faults.size(); ++fault) {
        dwgw::Drawing drawing(GetParam());
        drawing.addCustomEntity({"KEEP", "OUT"}).adjustGraphic = faults[fault];
        drawing.addText("after");
        EXPECT_EQ(readAll(drawing).texts, std::vector<std::string>{"TEXT after"}) << "fault " << fault;
    }
}

}  // namespace
