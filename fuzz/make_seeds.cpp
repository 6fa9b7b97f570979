// Writes the seed drawings of the fuzzer with our test drawing writer:
//
//   make_seeds DIR
//
// writes DIR/NAME.dwg for every composed drawing of every version, and for
// those whose maps are lost.
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
        std::vector<hardening::NamedDrawing> drawings = hardening::composedDrawings();
        for (hardening::NamedDrawing &drawing : hardening::mapsLostDrawings()) {
            drawings.push_back(std::move(drawing));
        }
        for (const hardening::NamedDrawing &drawing : drawings) {
            dwgw::writeFile(std::string(argv[1]) + "/" + drawing.name + ".dwg", drawing.bytes);
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
