#include "bench_drawings.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "dwgwriter.h"
#include "drawingfiles.h"

namespace dwgbench {

namespace {

constexpr uint16_t kLineType = 19;   // R13-R2000 LINE
constexpr uint8_t kR12LineType = 1;  // R12 LINE
// Two points of three doubles and a little of the common data: about what a
// LINE of a real drawing takes.
constexpr std::size_t kLinePayload = 56;

// The same length at every size, so that sizes differ in object count only.
std::string textNumber(uint64_t index)
{
    char text[32];
    std::snprintf(text, sizeof text, "Label %06llu", static_cast<unsigned long long>(index));
    return text;
}

bool isText(uint64_t index) { return index % 10 == 0; }

dwgw::Bytes composeBitDrawing(dwgw::Drawing &drawing, uint64_t objects)
{
    const dwgw::Bytes line(kLinePayload, 0x55);
    for (uint64_t i = 0; i < objects; ++i) {
        if (!isText(i)) {
            drawing.addObject(kLineType, line);
        } else if (i / 10 % 2 == 0) {
            drawing.addText(textNumber(i));
        } else {
            drawing.addMText("\\A1;" + textNumber(i));
        }
    }
    return drawing.build();
}

dwgw::Bytes composeR12Drawing(uint64_t objects)
{
    dwgw::R12Drawing drawing(dwgw::R12Version::AC1009);
    for (uint64_t i = 0; i < objects; ++i) {
        if (isText(i)) {
            drawing.addText(textNumber(i));
        } else {
            drawing.addEntity(kR12LineType);
        }
    }
    return drawing.build();
}

dwgw::Bytes composeBytes(Family family, uint64_t objects)
{
    switch (family) {
    case Family::R12:
        return composeR12Drawing(objects);
    case Family::R14: {
        dwgw::R14Drawing drawing;
        return composeBitDrawing(drawing, objects);
    }
    case Family::R2000: {
        dwgw::R2000Drawing drawing;
        return composeBitDrawing(drawing, objects);
    }
    case Family::R2004: {
        dwgw::R2004Drawing drawing;
        return composeBitDrawing(drawing, objects);
    }
    case Family::R2007: {
        dwgw::R2007Drawing drawing;
        return composeBitDrawing(drawing, objects);
    }
    case Family::R2018: {
        dwgw::R2018Drawing drawing;
        return composeBitDrawing(drawing, objects);
    }
    }
    return {};
}

}  // namespace

const char *familyName(Family family)
{
    switch (family) {
    case Family::R12:
        return "R12";
    case Family::R14:
        return "R14";
    case Family::R2000:
        return "R2000";
    case Family::R2004:
        return "R2004";
    case Family::R2007:
        return "R2007";
    case Family::R2018:
        return "R2018";
    }
    return "?";
}

BenchDrawing composeDrawing(Family family, uint64_t objects)
{
    BenchDrawing drawing;
    drawing.name = std::string(familyName(family)) + "/" + std::to_string(objects);
    drawing.bytes = composeBytes(family, objects);
    drawing.objects = objects;
    return drawing;
}

std::vector<BenchDrawing> composedDrawings()
{
    std::vector<BenchDrawing> drawings;
    for (Family family : kFamilies) {
        for (uint64_t objects : kComposedSizes) {
            drawings.push_back(composeDrawing(family, objects));
        }
    }
    return drawings;
}

std::vector<BenchDrawing> corpusDrawings(const std::string &dir)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> paths;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(dir, error)) {
        if (entry.path().extension() == ".dwg") {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());

    std::vector<BenchDrawing> drawings;
    for (const fs::path &path : paths) {
        BenchDrawing drawing;
        drawing.name = "corpus/" + path.filename().string();
        std::string readError;
        if (!dwgfiles::readWholeFile(path.string(), drawing.bytes, readError)) {
            throw std::runtime_error(readError);
        }
        drawings.push_back(std::move(drawing));
    }
    return drawings;
}

}  // namespace dwgbench
