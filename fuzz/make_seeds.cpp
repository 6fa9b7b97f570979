// Writes the seed drawings of the fuzzer with our test drawing writer:
//
//   make_seeds DIR
//
// writes DIR/NAME.dwg for every composed drawing of every version and for
// those whose maps are lost, a custom entity's proxy graphic with its texts
// in both string layouts, the document properties' sections on their own,
// in both layouts, and the R13-R2000 properties record's data, for the
// fuzzer's calls of their decoders; and DIR/NAME.dxf, a drawing of every
// kind of text as DXF of a few releases, ASCII and binary, for the DXF
// reader that our own reader runs.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "testkit/hardening/composed_drawings.h"
#include "testkit/writer/dxfwriter.h"

void writeDxfSeeds(const std::string &dir, const dwgw::SummaryInfo &summary)
{
    for (const dwgw::BitVersion version : {dwgw::BitVersion::AC1015, dwgw::BitVersion::AC1032}) {
        dwgw::Drawing drawing(version);
        drawing.addText("\\A1;PUMP\\U+2205");
        drawing.addAttdef("default", "TAG", "Which?").attributeKind = 4;
        drawing.addMText("floor\\Psecond");
        drawing.addTolerance("%%v0.5");
        drawing.addDimension("user", 0);
        drawing.addMultileader(std::nullopt, {"A1"});
        for (const dwgw::DxfEncoding encoding : {dwgw::DxfEncoding::Ascii, dwgw::DxfEncoding::Binary}) {
            dwgw::DxfOptions options;
            options.encoding = encoding;
            options.properties = summary;
            options.entitiesInBlock = 1;
            const std::string name = std::string(version == dwgw::BitVersion::AC1015 ? "r2000" : "r2018") +
                                     (encoding == dwgw::DxfEncoding::Ascii ? "-ascii" : "-binary");
            dwgw::writeFile(dir + "/" + name + ".dxf", dwgw::composeDxf(drawing, options));
        }
    }
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    try {
        const std::string dir = argv[1];
        std::vector<hardening::NamedDrawing> drawings = hardening::composedDrawings();
        for (hardening::NamedDrawing &drawing : hardening::mapsLostDrawings()) {
            drawings.push_back(std::move(drawing));
        }
        for (const hardening::NamedDrawing &drawing : drawings) {
            dwgw::writeFile(dir + "/" + drawing.name + ".dwg", drawing.bytes);
        }
        for (const dwgw::BitVersion version : {dwgw::BitVersion::AC1015, dwgw::BitVersion::AC1032}) {
            dwgw::Drawing drawing(version);
            drawing.addCustomEntity({"D01", "AXIS A", "ROOM 101"});
            drawing.addText("after");
            const bool wide = version == dwgw::BitVersion::AC1032;
            dwgw::writeFile(dir + "/proxy-" + (wide ? "utf16" : "bytes") + ".dwg", drawing.build());
        }
        dwgw::SummaryInfo summary;
        summary.title = "Plan";
        summary.author = "Ann";
        summary.created = {2'460'375, 1000};
        summary.custom = {{"Sheet", "A-101"}};
        const dwgw::AppInfo program{"<ProductInformation name=\"Drafter\" build_version=\"9\"/>", "9.1"};
        for (const bool utf16 : {false, true}) {
            const std::string layout = utf16 ? "utf16" : "bytes";
            dwgw::writeFile(dir + "/summaryinfo-" + layout, dwgw::encodeSummaryInfo(summary, utf16));
            dwgw::writeFile(dir + "/appinfo-" + layout, dwgw::encodeAppInfo(program, utf16));
        }
        dwgw::writeFile(dir + "/propertiesrecord", dwgw::encodePropertiesRecord(summary));
        writeDxfSeeds(dir, summary);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
