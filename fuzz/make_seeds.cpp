// Writes the seed drawings of the fuzzer with our test drawing writer:
//
//   make_seeds DIR
//
// writes DIR/NAME.dwg for every composed drawing of every version.
#include <cstdio>
#include <exception>
#include <string>

#include "testkit/hardening/composed_drawings.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    try {
        for (const hardening::NamedDrawing &drawing : hardening::composedDrawings()) {
            dwgw::writeFile(std::string(argv[1]) + "/" + drawing.name + ".dwg", drawing.bytes);
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
