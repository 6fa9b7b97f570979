// The split rule here is the one the paragraph splitter ("\P") and the
// character-code decoder ("\M+") build on; the search it cuts by is
// the C library's, with an empty pattern found nowhere.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/strEtc.h"

namespace {

class StrEtcTest : public ::testing::Test {
protected:
    struct Split {
        int32_t count;
        std::vector<std::string> pieces;
    };

    // Splits a copy of text, collecting the pieces as they are handed over;
    // the visit answers false at the piece numbered stopAt (from 1).
    Split split(const std::string &text, const char *separator, size_t stopAt = 0)
    {
        buffer.assign(text.begin(), text.end());
        buffer.push_back('\0');
        Split result{-7, {}};
        result.count = forEachPiece(buffer.data(), separator, [&](char *piece) {
            result.pieces.emplace_back(piece);
            return result.pieces.size() != stopAt;
        });
        return result;
    }

    std::vector<char> buffer;
};

TEST_F(StrEtcTest, ForEachPieceCutsAtEverySeparatorAfterTheFirstPiece)
{
    struct Case {
        std::string text;
        const char *separator;
        std::vector<std::string> pieces;
    } cases[] = {
        {"A\\PB", "\\P", {"A", "B"}},
        {"A\\PB\\P", "\\P", {"A", "B", ""}},
        {"A\\P\\PB", "\\P", {"A", "B"}},              // a separator at the start of the rest makes no piece
        {"\\PA\\PB", "\\P", {"A", "B"}},               // the leading separator is skipped
        {"\\PA", "\\P", {}},
        {"AB", "\\P", {}},
        {"", "\\P", {}},
        {"AB", "", {}},
        {"1\\M+28140\\M+282", "\\M+", {"1", "28140", "282"}},
    };
    for (const Case &c : cases) {
        Split result = split(c.text, c.separator);
        EXPECT_EQ(result.count, static_cast<int32_t>(c.pieces.size())) << c.text;
        EXPECT_EQ(result.pieces, c.pieces) << c.text;
        if (c.pieces.empty()) {
            EXPECT_EQ(std::string(buffer.data()), c.text) << "no piece leaves the string whole";
        }
    }
}

// Thousands of pieces: textdata_test's LongText.
TEST_F(StrEtcTest, ForEachPieceStopsWhenTheVisitSaysSo)
{
    Split stopped = split("A--B--C", "--", 2);
    EXPECT_EQ(stopped.count, -1);
    EXPECT_EQ(stopped.pieces, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(split("A--B", "--", 2).count, -1) << "a stop at the last piece is still a stop";
}

}  // namespace
