// Writes the sample drawings of samples/ with our test drawing writer:
//
//   make_samples DIR
//
// writes DIR/r12.dwg, DIR/r14.dwg, DIR/r2000.dwg, DIR/r2004.dwg and
// DIR/r2018.dwg. Each holds a few texts
// of the kinds the library reads, so that `dwgtext samples/*.dwg` shows what
// comes out of each release.
#include <cstdio>
#include <exception>
#include <string>

#include "dwgwriter.h"

namespace {

// ANSI_1252, the code page of most drawings, and ANSI_932 (Japanese).
constexpr std::uint16_t kCodePage1252 = 30;
constexpr std::uint16_t kCodePage932 = 38;

// R12: texts are stored and delivered byte for byte, so the degree sign is
// the ANSI_1252 byte 0xB0 and "\U+2205" reaches dwgtext as it stands. The
// first text carries a colour and a linetype, as most real entities do. The
// block section holds a title block with an attribute and the anonymous
// block of a dimension, whose texts follow those of the entity section.
dwgw::Bytes r12Sample()
{
    dwgw::R12Drawing drawing(dwgw::R12Version::AC1009);
    dwgw::R12Entity &plan = drawing.addText("Ground floor plan");
    plan.flags = 0x03;
    plan.colour = 1;
    plan.linetype = 2;
    drawing.addText("Roof pitch 35\xB0");
    drawing.addText("\\U+2205 12 holes");
    drawing.addBlock("TITLEBLOCK");
    drawing.addAttdef("J. Smith", "DRAWN", "Drawn by");
    drawing.addAttrib("A. Jones", "CHECKED");
    drawing.beginBlocks();
    drawing.addBlock("SHEETBLOCK");
    drawing.addText("Scale 1:50");
    drawing.addAttdef("1", "SHEET", "Sheet number");
    drawing.addEntity(13);
    drawing.addBlock("*D1");
    drawing.addText("4.2500");
    drawing.addEntity(13);
    return drawing.build();
}

// R14: an MTEXT of three paragraphs, one that starts with a formatting code,
// an attribute with its definition, two multileader callouts (a text of two
// paragraphs, a block with an attribute), and two "\U+" texts: the library
// turns the second into UTF-16, as its codes make up most of it.
dwgw::Bytes r14Sample()
{
    dwgw::R14Drawing drawing;
    drawing.options.codePage = kCodePage1252;
    drawing.addText("Section A-A");
    drawing.addMText("Notes:\\PAll dimensions in mm.\\PDo not scale.");
    drawing.addMText("\\A1;Centred title");
    drawing.addAttdef("Unnamed", "ROOM", "Room name");
    drawing.addAttrib("Kitchen", "ROOM");
    drawing.addMultileader("\\A1;EPDM ROOF CONSTRUCTION\\PO.S.B SHEATHING");
    drawing.addMultileader(std::nullopt, {"A-101"});
    drawing.addText("Bore \\U+2205 40");
    drawing.addText("\\U+00B1 0.05");
    return drawing.build();
}

// R2000 with code page ANSI_932: a Japanese text in "\M+" codes, which the
// library turns into Shift-JIS bytes (0x907D 0x96CA: "drawing"), and a
// block of general notes longer than 256 bytes, one text per paragraph.
dwgw::Bytes r2000Sample()
{
    dwgw::R2000Drawing drawing;
    drawing.options.codePage = kCodePage932;
    drawing.addText("Site plan");
    drawing.addText("\\M+1907D\\M+196CA");
    drawing.addMText("Levels:\\PGround 0.00\\PFirst 3.20");
    drawing.addMText("\\A1;GENERAL NOTES:"
                     "\\P1. All dimensions are in millimetres unless noted otherwise."
                     "\\P2. Do not scale from this drawing; report any discrepancy to the architect."
                     "\\P3. Concrete to be grade C30/37 with 40 mm cover to all reinforcement."
                     "\\P4. Steelwork to be hot-dip galvanised after fabrication.");
    drawing.addAttrib("Rev C", "REVISION");
    drawing.addText("Angle 45\\U+00B0");
    return drawing.build();
}

// R2004: the objects lie in compressed pages of the container; texts are
// still bytes of the drawing's code page, as are its document properties.
dwgw::Bytes r2004Sample()
{
    dwgw::R2004Drawing drawing;
    drawing.options.codePage = kCodePage1252;
    drawing.addText("Elevation north");
    drawing.addMText("Finishes:\\PBrick, red\\POak, oiled");
    drawing.addAttrib("B-12", "DOOR");
    drawing.addText("Fall 1:80 \\U+2193");
    dwgw::SummaryInfo properties;
    properties.title = "North elevation";
    properties.author = "J. Pe\xF1" "a";  // CP1252
    properties.keywords = "elevation; brick";
    properties.created = {2'460'375, 50'829'000};   // 2024-03-05 14:07:09
    properties.modified = {2'460'400, 36'000'000};  // 2024-03-30 10:00:00
    properties.custom = {{"Project", "Riverside 12"}};
    drawing.options.summaryInfo = dwgw::encodeSummaryInfo(properties, false);
    return drawing.build();
}

// R2018: texts in UTF-16, and a multi-line attribute whose two lines come
// from its embedded MTEXT; every kind of document property.
dwgw::Bytes r2018Sample()
{
    dwgw::R2018Drawing drawing;
    drawing.addText("Ground floor, east wing");
    drawing.addMText("\\A1;Legend:\\PWall\\PWindow");
    drawing.addAttrib("Client:\\PCity council", "CLIENT").attributeKind = 2;
    drawing.addText("Width 3.60 \\U+00B1 0.01");
    dwgw::SummaryInfo properties;
    properties.title = "Ground floor, east wing";
    properties.subject = "Architecture";
    properties.author = "Zo\u00EB \u00C5ngstr\u00F6m";
    properties.comments = "For planning approval";
    properties.revision = "C";
    properties.editingTime = {0, 5'400'000};        // an hour and a half
    properties.created = {2'460'375, 50'829'000};   // 2024-03-05 14:07:09
    properties.modified = {2'460'400, 36'000'000};  // 2024-03-30 10:00:00
    properties.custom = {{"Client", "City council"}, {"Sheet", "A-101"}};
    drawing.options.summaryInfo = dwgw::encodeSummaryInfo(properties, true);
    drawing.options.appInfo =
        dwgw::encodeAppInfo({"<ProductInformation name=\"TQDUDADE test writer\" build_version=\"1\"/>", "1.0"}, true);
    return drawing.build();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    try {
        dwgw::writeFile(dir + "/r12.dwg", r12Sample());
        dwgw::writeFile(dir + "/r14.dwg", r14Sample());
        dwgw::writeFile(dir + "/r2000.dwg", r2000Sample());
        dwgw::writeFile(dir + "/r2004.dwg", r2004Sample());
        dwgw::writeFile(dir + "/r2018.dwg", r2018Sample());
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_samples: %s\n", error.what());
        return 1;
    }
    return 0;
}
