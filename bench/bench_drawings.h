// The drawings dwgbench measures: drawings composed with the test drawing
// writer at several sizes, and the real drawings of a corpus folder.
#ifndef DWGBENCH_BENCH_DRAWINGS_H
#define DWGBENCH_BENCH_DRAWINGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace dwgbench {

struct BenchDrawing {
    std::string name;            // "R2000/10000" or "corpus/NAME.dwg"
    std::vector<uint8_t> bytes;
    uint64_t objects = 0;        // objects composed; 0 for a real drawing
};

enum class Family { R12, R14, R2000, R2004, R2007, R2018 };
inline constexpr Family kFamilies[] = {Family::R12,   Family::R14,   Family::R2000,
                                       Family::R2004, Family::R2007, Family::R2018};

// "R12", "R14", "R2000", "R2004", "R2007" or "R2018".
const char *familyName(Family family);

// Object counts of the composed drawings.
inline constexpr uint64_t kComposedSizes[] = {1000, 10000, 100000};

// A drawing of `objects` objects of which every tenth, starting with the
// first, is a text. From R14 on texts alternate between TEXT and a
// one-paragraph MTEXT that starts with a formatting code; the other objects
// are LINEs the reader passes over. R12 texts are TEXT entities among LINEs.
// Every text gives one text group, so a session gives objects / 10 texts
// (rounded up).
BenchDrawing composeDrawing(Family family, uint64_t objects);

// Every family at every size of kComposedSizes: by family, smallest first.
std::vector<BenchDrawing> composedDrawings();

// The *.dwg files of dir by name; none when dir does not exist. Throws
// std::runtime_error when a file cannot be read.
std::vector<BenchDrawing> corpusDrawings(const std::string &dir);

}  // namespace dwgbench

#endif
