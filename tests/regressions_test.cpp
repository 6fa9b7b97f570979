// Every input that ever made a session fail, kept in tests/regressions/ and
// named after the fault it caught, and those beside the project in
// ../shared/regressions when that folder is there. Each must now give a clean
// session, read with work bounded by its size (see hardening/session_checks.h);
// NAME.expected beside it, when present, is the exact event list it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing_folders.h"
#include "hardening/session_checks.h"
#include "drawingfiles.h"
#include "host_library.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRegressionDirs[] = {TQDUDADE_REGRESSIONS_DIR, TQDUDADE_SHARED_REGRESSIONS_DIR};

std::vector<uint8_t> fileBytes(const fs::path &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(dwgfiles::readWholeFile(path.string(), bytes, error)) << error;
    return bytes;
}

std::vector<fs::path> regressionInputs()
{
    return dwgFilesIn({kRegressionDirs[0], kRegressionDirs[1]});
}

class Regression : public testing::TestWithParam<fs::path> {};

TEST_P(Regression, GivesACleanSession)
{
    const std::vector<uint8_t> input = fileBytes(GetParam());
    const tqhost::SessionResult result =
        tqhost::runLibrarySession(input, {}, hardening::sessionCallBound(input.size()));
    EXPECT_EQ(hardening::sessionProblems(result), "");
    EXPECT_EQ(hardening::everyKindProblems(input.data(), input.size(), hardening::sessionCallBound(input.size())), "");

    const fs::path expected = GetParam().string() + ".expected";
    if (fs::exists(expected)) {
        const std::vector<uint8_t> lines = fileBytes(expected);
        EXPECT_EQ(result.eventText, std::string(lines.begin(), lines.end()));
    }
}

std::string testName(const testing::TestParamInfo<fs::path> &info)
{
    std::string name = info.param.filename().string();
    std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, Regression, testing::ValuesIn(regressionInputs()), testName);
// The folder may hold no input yet.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Regression);

}  // namespace
