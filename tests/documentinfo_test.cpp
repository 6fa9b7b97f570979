// The decoders of the document properties on their own: a section cut at
// every length keeps the fields before the cut and says it was cut; hostile
// counts and lengths stop at the bytes there are and at the block's bounds.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TQDUDADE.h"
#include "dwgwriter.h"
#include "r2004/documentinfo.h"

namespace {

std::string textOf(const DrawingProperties &properties, PropertyKey key)
{
    const PropertyText &text = properties.standard[static_cast<int32_t>(key)];
    return text.present ? std::string(reinterpret_cast<const char *>(properties.bytesOf(text)), text.length) : "-";
}

TEST(DocumentInfo, ASectionCutAnywhereKeepsTheFieldsBeforeTheCut)
{
    dwgw::SummaryInfo summary;
    summary.title = "Plan";
    summary.author = "Ann";
    summary.created = {2'460'375, 1000};
    summary.custom = {{"a", "b"}, {"c", "d"}};
    const dwgw::Bytes bytes = dwgw::encodeSummaryInfo(summary, false);
    const size_t authorEnd = 2 + 5 + 2 + 1 + 2 + 4;  // title, subject, author with their counts
    const size_t pairsEnd = bytes.size() - 8;         // the two numbers after the pairs are not needed
    for (size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const dwgw::Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        auto properties = std::make_unique<DrawingProperties>();
        const bool whole = decodeSummaryInfo(cut.data(), static_cast<uint32_t>(cut.size()), InfoCharacters::Bytes,
                                             properties.get());
        EXPECT_EQ(whole, length >= pairsEnd);
        EXPECT_EQ(textOf(*properties, PropertyKey::Author), length >= authorEnd ? "Ann" : "-");
        EXPECT_EQ(properties->customCount, length >= pairsEnd ? 2 : length >= pairsEnd - 8 ? 1 : 0);
    }
}

// A count of pairs past the bytes left, a text whose length runs past the
// section, and texts that fill the pool: each stops where it must, and only
// what was kept whole is given.
TEST(DocumentInfo, HostileCountsAndLengthsStopAtTheBytesAndTheBounds)
{
    dwgw::SummaryInfo summary;
    summary.title = "Plan";
    dwgw::Bytes overclaimed = dwgw::encodeSummaryInfo(summary, true);
    overclaimed.resize(overclaimed.size() - 8);  // the section ends with the count of pairs
    overclaimed.end()[-1] = overclaimed.end()[-2] = 0xFF;
    auto properties = std::make_unique<DrawingProperties>();
    EXPECT_FALSE(decodeSummaryInfo(overclaimed.data(), static_cast<uint32_t>(overclaimed.size()), InfoCharacters::Utf16,
                                   properties.get()));
    EXPECT_EQ(properties->customCount, 0);
    EXPECT_EQ(textOf(*properties, PropertyKey::Title), std::string("\0P\0l\0a\0n", 8));

    dwgw::Bytes longTitle = {0xFF, 0xFF, 'P'};
    properties = std::make_unique<DrawingProperties>();
    EXPECT_FALSE(decodeSummaryInfo(longTitle.data(), 3, InfoCharacters::Bytes, properties.get()));
    EXPECT_EQ(textOf(*properties, PropertyKey::Title), "-");

    dwgw::SummaryInfo huge;
    huge.title = std::string(20'000, 't');
    huge.subject = std::string(20'000, 's');
    huge.author = "Ann";
    const dwgw::Bytes full = dwgw::encodeSummaryInfo(huge, false);
    properties = std::make_unique<DrawingProperties>();
    EXPECT_TRUE(decodeSummaryInfo(full.data(), static_cast<uint32_t>(full.size()), InfoCharacters::Bytes,
                                  properties.get()));
    EXPECT_TRUE(properties->capped);
    EXPECT_EQ(textOf(*properties, PropertyKey::Subject), "-");
    EXPECT_EQ(textOf(*properties, PropertyKey::Author), "Ann");
    EXPECT_LE(properties->used, DrawingProperties::kPoolSize);
}

// Both layouts of the program's information; in the later one the entries
// are told apart by what they hold, whatever their number and order.
TEST(DocumentInfo, TheProgramComesFromEitherLayout)
{
    const std::string product = "\"<ProductInformation name =\\\"Drafter\\\" build_version=\\\"N.51\\\"/>\"";
    struct Case {
        dwgw::Bytes bytes;
        std::string name, version;
    };
    dwgw::Bytes twoEntries = {3, 0, 0, 0};
    dwgw::appendInfoText(twoEntries, "AppInfoDataList", true);
    twoEntries.insert(twoEntries.end(), {2, 0, 0, 0});
    for (const std::string &entry : {std::string("Trusted"), product}) {
        twoEntries.insert(twoEntries.end(), 16, 0);
        dwgw::appendInfoText(twoEntries, entry, true);
    }
    const Case cases[] = {
        {dwgw::encodeAppInfo({product, "21.0"}, false), "Drafter", "21.0"},
        {dwgw::encodeAppInfo({product, "21.0"}, true), std::string("\0D\0r\0a\0f\0t\0e\0r", 14),
         std::string("\0" "2\0" "1\0.\0" "0", 8)},
        {twoEntries, std::string("\0D\0r\0a\0f\0t\0e\0r", 14), std::string("\0N\0.\0" "5\0" "1", 8)},
        {dwgw::encodeAppInfo({"Drafter 9", "9"}, false), "Drafter 9", "9"},
    };
    for (const Case &c : cases) {
        auto properties = std::make_unique<DrawingProperties>();
        EXPECT_TRUE(decodeAppInfo(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), properties.get()));
        EXPECT_EQ(textOf(*properties, PropertyKey::Application), c.name);
        EXPECT_EQ(textOf(*properties, PropertyKey::ApplicationVersion), c.version);
    }
}

}  // namespace
