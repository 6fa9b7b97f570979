// Writes the drawings the command-line tests need beyond the samples, with
// our test drawing writer:
//
//   make_test_drawings DIR
//
//   nul.dwg      R12 texts that end in a NUL byte, as some real drawings'
//   breaks.dwg   R14 texts holding CR and LF
//   mtext.dwg    R2000 MTEXT with inline formatting and TEXT with %% codes
//   recoll.dwg   R2000 text with a word found nowhere else
//   long.dwg     R12 drawing whose first text holds a rare word, followed by
//                many others: cut to a third, that text still comes out
//   properties.dwg  R2004 document properties with empty values among them
#include <cstdio>
#include <exception>
#include <string>

#include "documentinfo.h"
#include "dwgwriter.h"

namespace {

using namespace std::string_literals;

dwgw::Bytes nulDrawing()
{
    dwgw::R12Drawing drawing(dwgw::R12Version::AC1009);
    drawing.addText("Pump room\0"s);
    drawing.addText("Valve V-12\0"s);
    return drawing.build();
}

dwgw::Bytes breaksDrawing()
{
    dwgw::R14Drawing drawing;
    drawing.addText("first line\r\nsecond line");
    drawing.addText("one\ntwo\rthree");
    return drawing.build();
}

dwgw::Bytes mtextDrawing()
{
    dwgw::R2000Drawing drawing;
    drawing.addMText("{\\H0.5x;Standard text}\\P}\\P4'-0{\\H1x;\\S1#4;}\"");
    drawing.addMText("{\\fArial|b1;Bold} and \\LUnderlined\\l\\Xnext");
    drawing.addText("%%c50 %%p0.1 45%%d");
    return drawing.build();
}

dwgw::Bytes recollDrawing()
{
    dwgw::R2000Drawing drawing;
    drawing.addText("Quarterdeck plan");
    drawing.addMText("{\\H2;Zymurgical} store");
    return drawing.build();
}

dwgw::Bytes longDrawing()
{
    dwgw::R12Drawing drawing(dwgw::R12Version::AC1009);
    drawing.addText("Acopian rectifier room");
    for (int i = 1; i <= 200; ++i)
        drawing.addText("Note " + std::to_string(i));
    return drawing.build();
}

// A title and a custom pair with values; the subject and a custom pair kept
// empty, as programs save a properties dialog left blank.
dwgw::Bytes propertiesDrawing()
{
    dwgw::R2004Drawing drawing;
    drawing.addText("Plan");
    dwgw::SummaryInfo properties;
    properties.title = "Plan";
    properties.custom = {{"Checked", ""}, {"Job", "42"}};
    drawing.options.summaryInfo = dwgw::encodeSummaryInfo(properties, false);
    return drawing.build();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_drawings DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    try {
        dwgw::writeFile(dir + "/nul.dwg", nulDrawing());
        dwgw::writeFile(dir + "/breaks.dwg", breaksDrawing());
        dwgw::writeFile(dir + "/mtext.dwg", mtextDrawing());
        dwgw::writeFile(dir + "/recoll.dwg", recollDrawing());
        dwgw::writeFile(dir + "/long.dwg", longDrawing());
        dwgw::writeFile(dir + "/properties.dwg", propertiesDrawing());
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_test_drawings: %s\n", error.what());
        return 1;
    }
    return 0;
}
