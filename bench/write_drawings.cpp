// write_drawings DIR COUNT...: writes the composed drawings of every family
// at each object count into DIR as FAMILY-COUNT.dwg, for the whole-process
// comparison (whole_process.sh), which times programs on files.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_drawings.h"

namespace {

void writeDrawing(const std::filesystem::path &dir, dwgbench::Family family, uint64_t objects)
{
    const dwgbench::BenchDrawing drawing = dwgbench::composeDrawing(family, objects);
    const std::filesystem::path path = dir / (std::string(dwgbench::familyName(family)) + "-" +
                                              std::to_string(objects) + ".dwg");
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(drawing.bytes.data()), static_cast<std::streamsize>(drawing.bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
    std::printf("%s\n", path.string().c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: write_drawings DIR COUNT...\n");
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        std::filesystem::create_directories(dir);
        for (int i = 2; i < argc; ++i) {
            const uint64_t objects = std::strtoull(argv[i], nullptr, 10);
            for (dwgbench::Family family : dwgbench::kFamilies)
                writeDrawing(dir, family, objects);
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "write_drawings: %s\n", error.what());
        return 1;
    }
    return 0;
}
