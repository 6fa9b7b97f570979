// Small drawings of every version that reach every path of both readers:
// each kind of text, formatting and character codes, paragraphs, long
// texts, extended data, every field of the R10-R12 common part, block
// definitions, types that are stepped over or refused, the object map
// before and after the objects, and the R13-R2000 properties record. They
// seed the fuzzer and are swept by the fault-injection test.
#ifndef TQ_TESTS_HARDENING_COMPOSED_DRAWINGS_H
#define TQ_TESTS_HARDENING_COMPOSED_DRAWINGS_H

#include <string>
#include <utility>
#include <vector>

#include "dwgwriter.h"

namespace hardening {

struct NamedDrawing {
    std::string name;
    dwgw::Bytes bytes;
};

inline dwgw::Bytes composedBitDrawing(dwgw::BitVersion version, bool mapFirst)
{
    dwgw::Drawing drawing(version);
    drawing.options.mapBeforeObjects = mapFirst;
    drawing.options.entriesPerMapSection = 3;
    drawing.addText("\\A1;Plan \\U+00B1 0.5").common.eed.push_back({});
    drawing.addAttrib("value", "TAG");
    drawing.addAttdef("default", "TAG", "PROMPT");
    drawing.addMText("\\H2.5;first\\P\\M+18140second\\Pthird");
    std::string notes = "\\A1;";
    for (int line = 1; line <= 40; ++line) {
        notes += "note " + std::to_string(line) + "\\P";
    }
    drawing.addMText(notes + "\\U+00B0");
    drawing.addObject(30);
    drawing.addTolerance("{\\Fgdt;j}%%v0.05%%vA");
    drawing.addDimension("<> TYP", 0x30);
    drawing.addDimension("NO BLOCK", 0).type = 26;
    drawing.addObject(500);
    if (version >= dwgw::BitVersion::AC1014) {
        drawing.addMultileader("\\A1;callout\\Psecond line", {"ATT"});
    }
    if (version >= dwgw::BitVersion::AC1015) {
        drawing.addText("flags").dataFlags = 0x1F;
    }
    if (version <= dwgw::BitVersion::AC1015) {
        dwgw::SummaryInfo properties;
        properties.title = "Plan";
        for (int i = 0; i < 12; ++i) {
            properties.custom.emplace_back("Sheet " + std::to_string(i), "A-10" + std::to_string(i));
        }
        dwgw::HeaderTimes header{{2'460'375, 1000}, {2'460'400, 0}, {0, 60'000}};
        header.namedObjects = drawing.addPropertiesRecord(dwgw::encodePropertiesRecord(properties));
        drawing.options.headerVariables = dwgw::encodeHeaderTimes(header, version != dwgw::BitVersion::AC1015);
    }
    if (version >= dwgw::BitVersion::AC1018) {
        drawing.addText("true colour").common.color = 0xA001;
        drawing.options.container.pageSize = 0x200;
        drawing.options.r2007.pageSize = 0x200;
    }
    if (version == dwgw::BitVersion::AC1032) {
        drawing.addAttrib("multi\\Pline", "TAG").attributeKind = 2;
    }
    return drawing.build();
}

inline dwgw::Bytes composedR12Drawing(dwgw::R12Version version)
{
    dwgw::R12Drawing drawing(version);
    dwgw::R12Entity &text = drawing.addText("Ground floor");
    text.flags = 0x6F;
    text.extraFlags = 0x06;
    text.eed.string("APP").item(40, dwgw::Bytes(8, 1)).item(70, {2, 0});
    text.counted = {0x1A, 0x2B};
    drawing.addBlock("TITLE", "second");
    drawing.addAttdef("J. Smith", "DRAWN", "Drawn by");
    drawing.addAttrib("A. Jones", "CHECKED");
    drawing.addEntity(1);
    drawing.addEntity(99);
    drawing.beginBlocks();
    drawing.addBlock("*D1").flags = 0x41;
    drawing.addText("1.0000").flags = 0x03;
    drawing.addAttdef("REV", "R", "Revision");
    drawing.addAttrib("B", "SHEET");
    drawing.addEntity(13);
    return drawing.build();
}

inline std::vector<NamedDrawing> composedDrawings()
{
    return {
        {"r10", composedR12Drawing(dwgw::R12Version::AC1006)},
        {"r11", composedR12Drawing(dwgw::R12Version::AC1009)},
        {"r12", composedR12Drawing(dwgw::R12Version::AC1010)},
        {"r13", composedBitDrawing(dwgw::BitVersion::AC1012, false)},
        {"r13c3", composedBitDrawing(dwgw::BitVersion::AC1013, false)},
        {"r14", composedBitDrawing(dwgw::BitVersion::AC1014, true)},
        {"r2000", composedBitDrawing(dwgw::BitVersion::AC1015, false)},
        {"r2000_map_first", composedBitDrawing(dwgw::BitVersion::AC1015, true)},
        {"r2004", composedBitDrawing(dwgw::BitVersion::AC1018, false)},
        {"r2007", composedBitDrawing(dwgw::BitVersion::AC1021, false)},
        {"r2010", composedBitDrawing(dwgw::BitVersion::AC1024, false)},
        {"r2013", composedBitDrawing(dwgw::BitVersion::AC1027, false)},
        {"r2018", composedBitDrawing(dwgw::BitVersion::AC1032, false)},
    };
}

// The same drawings of the releases whose pages carry headers, their
// section map overwritten: read from the pages found by their headers,
// in file order. For the fuzzer's seeds: they read as damaged.
inline std::vector<NamedDrawing> mapsLostDrawings()
{
    std::vector<NamedDrawing> drawings;
    for (const auto &[name, version] : {std::pair{"r2004_maps_lost", dwgw::BitVersion::AC1018},
                                        std::pair{"r2018_maps_lost", dwgw::BitVersion::AC1032}}) {
        dwgw::Drawing drawing(version);
        drawing.addText("\\A1;Plan").common.eed.push_back({});
        drawing.addAttrib("value", "TAG");
        drawing.addObject(30);
        drawing.addObject(500);
        drawing.addMText("first\\Psecond");
        dwgw::ContainerPlaces places;
        drawing.options.container.pageSize = 0x40;
        drawing.options.container.places = &places;
        dwgw::Bytes bytes = drawing.build();
        bytes.at(places.sectionMap) ^= 0xFF;
        drawings.push_back({name, std::move(bytes)});
    }
    return drawings;
}

}  // namespace hardening

#endif
