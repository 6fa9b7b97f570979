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

// The corpus's drawings by file name; one empty name when there are none,
// so that the test can say so.
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
    return names.empty() ? std::vector<std::string>{""} : names;
}

// The lines of an event list, comments left out.
std::vector<std::string> eventLines(const std::string &text)
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

std::string fileText(const fs::path &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(tqhost::readWholeFile(path.string(), bytes, error)) << error;
    return std::string(bytes.begin(), bytes.end());
}

class CorpusDrawing : public testing::TestWithParam<std::string> {};

TEST_P(CorpusDrawing, GivesExactlyTheExpectedEvents)
{
    const std::string name = GetParam();
    if (name.empty()) {
        GTEST_SKIP() << "no drawings in " << kCorpus << ": the real-drawing corpus is not beside the project";
    }
    const std::string drawing = fileText(kCorpus / name);
    std::vector<std::string> expected = eventLines(fileText(kCorpus / (name + ".expected")));
    std::vector<std::string> actual = eventLines(tqhost::runSessionEvents({drawing.begin(), drawing.end()}));

    const size_t lines = std::max(expected.size(), actual.size());
    expected.resize(lines, "(nothing)");
    actual.resize(lines, "(nothing)");
    const auto line = static_cast<size_t>(std::mismatch(expected.begin(), expected.end(), actual.begin()).first -
                                          expected.begin());
    if (line < lines) {
        FAIL() << name << ": line " << line + 1 << " differs\n  expected: " << expected[line]
               << "\n  actual:   " << actual[line];
    }
}

std::string testName(const testing::TestParamInfo<std::string> &info)
{
    std::string name = info.param.empty() ? "NoCorpus" : info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusDrawing, testing::ValuesIn(corpusDrawings()), testName);

}  // namespace
