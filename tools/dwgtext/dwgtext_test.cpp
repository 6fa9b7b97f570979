#include <gtest/gtest.h>

#include "options.h"
#include "text_output.h"

namespace dwgtext {
namespace {

TEST(Options, FilesAndEventsInAnyOrder)
{
    const auto parsed = parseOptions({"a.dwg", "--events", "-", "b.dwg"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_TRUE(parsed.options.events);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"a.dwg", "-", "b.dwg"}));
}

TEST(Options, DoubleDashEndsOptions)
{
    const auto parsed = parseOptions({"--", "--events"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(parsed.options.events);
    EXPECT_EQ(parsed.options.files, (std::vector<std::string>{"--events"}));
}

TEST(Options, UsageErrors)
{
    EXPECT_FALSE(parseOptions({}).ok());
    EXPECT_FALSE(parseOptions({"--events"}).ok());  // no drawing
    EXPECT_FALSE(parseOptions({"--json", "a.dwg"}).ok());
    EXPECT_TRUE(parseOptions({"--help"}).ok());  // help needs no drawing
}

TEST(TextOutput, Utf16BigEndianToUtf8)
{
    using namespace std::string_literals;
    EXPECT_EQ(utf16beToUtf8("\x00\x31\x00\x30\x00\x38\x00\xb0"s), "108\xc2\xb0");  // 108 degrees
    EXPECT_EQ(utf16beToUtf8("\x4e\x2d"s), "\xe4\xb8\xad");
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\xde\x00"s), "\xf0\x9f\x98\x80");  // a surrogate pair
    EXPECT_EQ(utf16beToUtf8("\xd8\x3d\x00\x41"s), "\xef\xbf\xbd" "A");  // lone high surrogate
    EXPECT_EQ(utf16beToUtf8("\xde\x00"s), "\xef\xbf\xbd");               // lone low surrogate
    EXPECT_EQ(utf16beToUtf8("\x00\x41\x00"s), "A\xef\xbf\xbd");         // odd byte left over
    EXPECT_EQ(utf16beToUtf8(""), "");
}

TEST(TextOutput, OnlyCode51IsConverted)
{
    using namespace std::string_literals;
    EXPECT_EQ(printableText(0, "\x00\x41\xb0"s), "\x00\x41\xb0"s);
    EXPECT_EQ(printableText(51, "\x00\x41"s), "A");
}

}  // namespace
}  // namespace dwgtext
