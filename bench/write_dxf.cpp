// write_dxf FILE TEXTS [binary]: writes an R2000 DXF file of TEXTS texts
// (TEXT, MTEXT of two paragraphs and ATTRIB in turn, each beside a LINE's
// worth of other groups in its own) with the test kit's DXF writer, for
// the DXF figures of README.md: its reading against `wc -l` on it.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "dwgwriter.h"
#include "dxfwriter.h"

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: write_dxf FILE TEXTS [binary]\n");
        return 2;
    }
    try {
        dwgw::R2000Drawing drawing;
        const unsigned long texts = std::strtoul(argv[2], nullptr, 10);
        for (unsigned long i = 0; i < texts; ++i) {
            const std::string number = std::to_string(i);
            if (i % 3 == 0)
                drawing.addText("Room " + number);
            else if (i % 3 == 1)
                drawing.addMText("\\A1;Note " + number + "\\Psecond line");
            else
                drawing.addAttrib("A-" + number, "TAG");
        }
        dwgw::DxfOptions options;
        if (argc > 3 && std::string(argv[3]) == "binary")
            options.encoding = dwgw::DxfEncoding::Binary;
        dwgw::writeFile(argv[1], dwgw::composeDxf(drawing, options));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "write_dxf: %s\n", error.what());
        return 1;
    }
    return 0;
}
