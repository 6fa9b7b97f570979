// Every input that ever made a session fail, kept in tests/regressions/ and
// named after the fault it caught. Each must now give a clean session (see
// hardening/session_checks.h); NAME.expected beside it, when present, is the
// exact event list it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "hardening/session_checks.h"
#include "drawingfiles.h"
#include "host_library.h"

namespace {

namespace fs = std::filesystem;

const fs::path kRegressions = TQDUDADE_REGRESSIONS_DIR;

std::vector<uint8_t> fileBytes(const fs::path &path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(dwgfiles::readWholeFile(path.string(), bytes, error)) << error;
    return bytes;
}

std::vector<std::string> regressionInputs()
{
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(kRegressions)) {
        if (entry.path().extension() != ".expected" && entry.path().filename() != "README.md") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Regression : public testing::TestWithParam<std::string> {};

TEST_P(Regression, GivesACleanSession)
{
    const std::vector<uint8_t> input = fileBytes(kRegressions / GetParam());
    const tqhost::SessionResult result =
        tqhost::runLibrarySession(input, {}, hardening::sessionCallBound(input.size()));
    EXPECT_EQ(hardening::sessionProblems(result), "");
    EXPECT_EQ(hardening::everyKindProblems(input.data(), input.size(), hardening::sessionCallBound(input.size())), "");

    const fs::path expected = kRegressions / (GetParam() + ".expected");
    if (fs::exists(expected)) {
        const std::vector<uint8_t> lines = fileBytes(expected);
        EXPECT_EQ(result.eventText, std::string(lines.begin(), lines.end()));
    }
}

std::string testName(const testing::TestParamInfo<std::string> &info)
{
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
                    '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, Regression, testing::ValuesIn(regressionInputs()), testName);
// The folder may hold no input yet.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Regression);

}  // namespace
