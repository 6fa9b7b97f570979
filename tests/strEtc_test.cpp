// The split rule that the paragraph splitter ("\P") and the character-code
// decoder ("\M+") build on. Where it cuts is tested through them, in
// textdata_test's paragraphs and codes; here, that a visit can stop it.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/strEtc.h"

namespace {

struct Split {
    int32_t count;
    std::vector<std::string> pieces;
};

// Splits a copy of text, collecting the pieces as they are handed over; the
// visit answers false at the piece numbered stopAt (from 1).
Split split(const std::string &text, const char *separator, size_t stopAt)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    Split result{-7, {}};
    result.count = forEachPiece(buffer.data(), separator, [&](char *piece) {
        result.pieces.emplace_back(piece);
        return result.pieces.size() != stopAt;
    });
    return result;
}

TEST(StrEtc, ForEachPieceStopsWhenTheVisitSaysSo)
{
    Split stopped = split("A--B--C", "--", 2);
    EXPECT_EQ(stopped.count, -1);
    EXPECT_EQ(stopped.pieces, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(split("A--B", "--", 2).count, -1) << "a stop at the last piece is still a stop";
}

}  // namespace
