// Composed drawings of every R13 to R2018 release, read to their end with
// the reader libdwgtext reads with: what each kind of object gives, and
// objects too large for a one-word size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TQDUDADE.h"
#include "reading.h"
#include "writer/dwgwriter.h"

namespace {

using Version = dwgw::BitVersion;

const Version kVersions[] = {Version::AC1014, Version::AC1015, Version::AC1018, Version::AC1021,
                             Version::AC1024, Version::AC1027, Version::AC1032};

// A text's bytes with UTF-16 of ASCII brought back to ASCII, so that one
// expectation serves every release.
std::string plain(const dwgtext::FoundText &text)
{
    if (text.charset != DWG_CHARSET_UTF16BE) {
        return text.bytes;
    }
    std::string out;
    for (size_t i = 1; i < text.bytes.size(); i += 2) {
        out += text.bytes[i];
    }
    return out;
}

struct Read {
    std::vector<std::string> texts;
    std::vector<std::string> reports;
    dwgtext::Status status;
};

Read readAll(const dwgw::Drawing &drawing)
{
    const dwgw::Bytes bytes = drawing.build();
    dwgtext::TextReader reader(bytes);
    Read read;
    while (const dwgtext::FoundText *text = reader.next()) {
        read.texts.push_back(plain(*text));
    }
    read.reports = reader.reports();
    read.status = reader.facts().status;
    return read;
}

class EveryRelease : public testing::TestWithParam<Version> {};

INSTANTIATE_TEST_SUITE_P(R14ToR2018, EveryRelease, testing::ValuesIn(kVersions));

// An object of 32 KiB or more states its size in two words. Each place a
// size is read must take both: the walk stepping over a large object with
// the map, the common data reaching past large extended data, the decoder
// leaving a large text object, and a string stream of more than 32 Kibit.
TEST_P(EveryRelease, ObjectsOf32KiBOrMoreAreReadByTheirTwoWordSize)
{
    dwgw::Drawing drawing(GetParam());
    drawing.addObject(42, dwgw::Bytes(40000, 0x5A));
    dwgw::TextEntity &text = drawing.addText("after the dictionary");
    text.common.eed.push_back({5, {0x12}, dwgw::Bytes(45000, 'x'), std::nullopt});
    const std::string longText(3000, 'L');
    drawing.addMText(longText);
    drawing.addText("last");
    const Read read = readAll(drawing);
    ASSERT_EQ(read.texts.size(), 3u);
    EXPECT_EQ(read.texts[0], "after the dictionary");
    EXPECT_TRUE(read.texts[1] == longText) << read.texts[1].size() << " bytes";
    EXPECT_EQ(read.texts[2], "last");
    EXPECT_EQ(read.reports, std::vector<std::string>{});
    EXPECT_EQ(read.status, dwgtext::Status::Read);
}

}  // namespace
