// Writes the seed drawings of the fuzzer with our test drawing writer:
//
//   make_seeds DIR
//
// writes DIR/NAME.dwg for every composed drawing of every version and for
// those whose maps are lost, a custom entity's proxy graphic with its texts
// in both string layouts, the document properties' sections on their own,
// in both layouts, and the R13-R2000 properties record's data, for the
// fuzzer's calls of their decoders.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "testkit/hardening/composed_drawings.h"

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
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
