// Real drawings against the exact event lists a correct library gives. The
// drawings live beside the project, not in it; without them the test skips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host_files.h"
#include "host_library.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = TQDUDADE_CORPUS_DIR;

// Every drawing of the corpus by file name; one empty name when there is no
// corpus, so that the test can say so.
std::vector<std::string> corpusDrawings()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(kCorpus, error)) {
        if (entry.path().extension() == ".dwg") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        names.push_back("");
    }
    return names;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

class CorpusDrawing : public testing::TestWithParam<std::string> {};

TEST_P(CorpusDrawing, GivesExactlyTheExpectedEvents)
{
    const std::string name = GetParam();
    if (name.empty()) {
        GTEST_SKIP() << "no drawings in " << kCorpus << ": the real-drawing corpus is not beside the project";
    }
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> expectedBytes;
    std::string error;
    ASSERT_TRUE(tqhost::readWholeFile((kCorpus / name).string(), bytes, error)) << error;
    ASSERT_TRUE(tqhost::readWholeFile((kCorpus / (name + ".expected")).string(), expectedBytes, error)) << error;
    const std::vector<std::string> expected = linesOf(std::string(expectedBytes.begin(), expectedBytes.end()));
    const std::vector<std::string> actual = linesOf(tqhost::runSessionEvents(bytes));

    const size_t common = std::min(expected.size(), actual.size());
    const auto differ = std::mismatch(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(common),
                                      actual.begin());
    const auto line = static_cast<size_t>(differ.first - expected.begin());
    if (line < common) {
        FAIL() << name << ": line " << line + 1 << " differs\n  expected: " << expected[line]
               << "\n  actual:   " << actual[line];
    }
    if (expected.size() != actual.size()) {
        FAIL() << name << ": line " << common + 1 << " differs\n  expected: "
               << (common < expected.size() ? expected[common] : "(nothing)")
               << "\n  actual:   " << (common < actual.size() ? actual[common] : "(nothing)");
    }
}

std::string testName(const testing::TestParamInfo<std::string> &info)
{
    std::string name = info.param.empty() ? "NoCorpus" : info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDrawing, testing::ValuesIn(corpusDrawings()), testName);

}  // namespace
