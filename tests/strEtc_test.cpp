// The split, count and removal rules here are the ones the paragraph
// splitter ("\P") and the character-code decoder ("\M+") build on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "stream_fixture.h"

namespace {

class StrEtcTest : public ::testing::Test {
protected:
    StreamFixture fixture{{}};
    StrEtc *strings = fixture.strings;

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
        result.count = strings->forEachPiece(buffer.data(), separator, [&](char *piece) {
            result.pieces.emplace_back(piece);
            return result.pieces.size() != stopAt;
        });
        return result;
    }

    std::string edited(const std::string &text, char *(StrEtc::*operation)(char *, const char *),
                       const char *argument)
    {
        buffer.assign(text.begin(), text.end());
        buffer.push_back('\0');
        char *result = (strings->*operation)(buffer.data(), argument);
        EXPECT_EQ(result, buffer.data());
        return buffer.data();
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

TEST_F(StrEtcTest, ForEachPieceHasNoLimitAndStopsWhenTheVisitSaysSo)
{
    std::string many;
    for (int i = 0; i < 5000; ++i) {
        many += "p" + std::to_string(i) + "--";
    }
    Split all = split(many, "--");
    ASSERT_EQ(all.count, 5001);
    EXPECT_EQ(all.pieces[4999], "p4999");
    EXPECT_EQ(all.pieces[5000], "");

    Split stopped = split("A--B--C", "--", 2);
    EXPECT_EQ(stopped.count, -1);
    EXPECT_EQ(stopped.pieces, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(split("A--B", "--", 2).count, -1) << "a stop at the last piece is still a stop";
}

TEST_F(StrEtcTest, SearchesFindTheFirstWholeOccurrence)
{
    struct Case {
        const char *text;
        const char *pattern;
        int32_t index;
        int32_t count;
    } cases[] = {
        {"abcabc", "bc", 1, 2},
        {"aaaa", "aa", 0, 2},    // occurrences do not overlap
        {"aaa", "aa", 0, 1},
        {"ab", "abc", -1, 0},    // a pattern running past the end
        {"", "a", -1, 0},
        {"abc", "", -1, 0},
        {"x\\M+1", "\\M+", 1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(strings->findString(c.text, c.pattern), c.index) << c.text << " / " << c.pattern;
        EXPECT_EQ(strings->indexOfString(c.text, c.pattern), c.index) << c.text << " / " << c.pattern;
        EXPECT_EQ(strings->countString(c.text, c.pattern), c.count) << c.text << " / " << c.pattern;
    }
}

TEST_F(StrEtcTest, CharacterSetAndBlankScans)
{
    EXPECT_EQ(strings->findAnyChar("abc;d", ";,"), 3);
    EXPECT_EQ(strings->findAnyChar("abc", ";,"), -1);
    EXPECT_EQ(strings->firstNotInSet("  \tx ", " \t"), 3);
    EXPECT_EQ(strings->firstNotInSet("   ", " "), 3);
    for (auto [text, length] : {std::pair{"", -1}, {"  ", -1}, {" a \t ", 2}, {"a", 1}}) {
        EXPECT_EQ(strings->lengthWithoutTrailing(text, " \t"), length) << '"' << text << '"';
    }
    // Trimming keeps the first character, even a blank one.
    for (auto [text, trimmed] : {std::pair{"\t \t", "\t"}, {"ab \t ", "ab"}, {" a ", " a"}, {"", ""}}) {
        std::string copy = text;
        strings->trimBlanks(copy.data());
        EXPECT_STREQ(copy.c_str(), trimmed) << '"' << text << '"';
    }
}

TEST_F(StrEtcTest, RemovalsWorkInPlace)
{
    struct Case {
        const char *text;
        const char *pattern;
        const char *withoutString;
        const char *withoutChars;
    } cases[] = {
        {"xxyy", "xy", "", ""},             // the first removal forms a new occurrence
        {"xxxyyy", "xy", "", ""},
        {"axbyc", "xy", "axbyc", "abc"},
        {"\\P\\Pab\\P", "\\P", "ab", "ab"},
        {"abc", "", "abc", "abc"},
        {"", "ab", "", ""},
        {"aXbXXc", "X", "abc", "abc"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(edited(c.text, &StrEtc::removeString, c.pattern), c.withoutString) << c.text;
        EXPECT_EQ(edited(c.text, &StrEtc::removeChars, c.pattern), c.withoutChars) << c.text;
    }

    char text[] = "a,b,,c";
    strings->removeChar(text, ',');
    EXPECT_STREQ(text, "abc");
    strings->removeChar(text, '\0');
    EXPECT_STREQ(text, "abc");
}

TEST_F(StrEtcTest, CountWideUnitsStopsAtAZeroSecondByte)
{
    const unsigned char text[] = {0x00, 0x41, 0x30, 0x42, 0x41, 0x00, 0x00, 0x43};
    EXPECT_EQ(strings->countWideUnits(text), 2);
    const unsigned char empty[] = {0x41, 0x00};
    EXPECT_EQ(strings->countWideUnits(empty), 0);
    EXPECT_EQ(strings->countWideUnits(nullptr), 0);
}

}  // namespace
