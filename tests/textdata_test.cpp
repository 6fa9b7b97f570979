#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "core/versions.h"
#include "r13/textdata.h"
#include "support/bitcursor.h"
#include "stream_fixture.h"
#include "text_fixture.h"
#include "writer/dwgwriter.h"

namespace {

using dwgw::Field;
using dwgw::Layout;
using textlines::report;
using textlines::text;
using Lines = std::vector<std::string>;

const char *nameOf(Layout layout)
{
    return layout == Layout::R2007 ? "R2007" : layout == Layout::R2000 ? "R2000" : "R13";
}

int32_t versionOf(Layout layout)
{
    return layout == Layout::R2007 ? kAC1021 : layout == Layout::R2000 ? kAC1015 : kAC1012;
}

dwgw::Bytes framed(const dwgw::Object &object, Layout layout)
{
    return dwgw::frameObject(object, layout, 1).bytes;
}

// A text decoder over a file that holds objects one after another.
struct Decoder {
    Decoder(dwgw::Bytes bytes, Layout layout, tqhost::HostOptions options = {})
        : fixture(std::move(bytes), std::move(options))
    {
        fixture.session.versionIndex = versionOf(layout);
        decoder = newTextData(&fixture.session, fixture.memory, fixture.stream);
    }
    ~Decoder() { deleteTextData(decoder); }

    // Decodes the object at the stream's position as the walk would, after
    // reading its head.
    int32_t text() { return decode(&TextData::getDWGText); }
    int32_t mtext() { return decode(&TextData::getDWGMText); }
    int32_t decode(int32_t (TextData::*get)(int64_t, const ObjectHead &))
    {
        const int64_t start = fixture.stream->CurPosition();
        const FileStream::Span span = fixture.stream->span(start, kLongestObjectHead);
        ObjectHead head{};
        readObjectHead(span.bytes, span.length, fixture.session.versionIndex, &head);
        return (decoder->*get)(start, head);
    }

    Lines events() const { return textlines::lines(fixture.host.events()); }
    int32_t position() const { return fixture.stream->CurPosition(); }

    StreamFixture fixture;
    TextData *decoder = nullptr;
};

// An entity whose every field needs its full encoding, so that a reader that
// takes a wrong turn anywhere loses the text. The long common data keeps the
// extended data inside the object when cutAfter shrinks its size.
dwgw::TextEntity busyText(std::string string)
{
    dwgw::TextEntity entity;
    entity.common.linetypeScale = 0.5;
    entity.elevation = 12.5;
    entity.insertion = {1.5, 2.5};
    entity.alignment = {3.5, 4.5};
    entity.extrusion = {0.5, 0.0, 1.0};
    entity.thickness = 3.5;
    entity.oblique = 0.25;
    entity.rotation = 1.25;
    entity.height = 2.75;
    entity.widthFactor = 0.75;
    entity.text = std::move(string);
    return entity;
}

// The object cut right after a field, its size field shrunk to the bytes
// that are left so that stepping over it still lands inside the file.
dwgw::Bytes cutAfter(const dwgw::Object &object, Layout layout, Field field)
{
    dwgw::FramedObject whole = dwgw::frameObject(object, layout, 1);
    size_t length = 2 + (whole.fieldEnds.at(field) + 7) / 8;
    dwgw::Bytes bytes(whole.bytes.begin(), whole.bytes.begin() + static_cast<std::ptrdiff_t>(length));
    bytes[0] = static_cast<uint8_t>((length - 4) & 0xFF);
    bytes[1] = static_cast<uint8_t>((length - 4) >> 8);
    return bytes;
}

// Big-endian 16-bit units, as "\U+" decoding writes them.
std::string units(std::initializer_list<uint16_t> values)
{
    std::string out;
    for (uint16_t unit : values) {
        out += static_cast<char>(unit >> 8);
        out += static_cast<char>(unit & 0xFF);
    }
    return out;
}

// Each byte widened to a big-endian unit.
std::string utf16(const std::string &bytes)
{
    std::string out;
    for (unsigned char byte : bytes) {
        out += units({byte});
    }
    return out;
}

// What a byte text gives: its bytes as they are left after the strip, the
// double-byte characters of its "\M+" codes, or UTF-16 with its "\U+"
// codes decoded.
enum class Out { Stored, Multibyte, Unicode };

struct Conversion {
    const char *rule;
    std::string stored;
    std::string emitted;
    Out out;
    // What a UTF-16 text gives where its codes fit and a byte text's do not.
    std::string utf16Decoded = {};
};

const Conversion kConversions[] = {
    {"plain text", "Hello", "Hello", Out::Stored},
    {"a leading code goes", "\\A1;Centered", "Centered", Out::Stored},
    {"after the first, every code goes", "\\A1;x\\H2.5;y", "xy", Out::Stored},
    {"a code ending the text stays", "\\A1;abc\\H2;", "abc\\H2;", Out::Stored},
    {"a lone code stays", "\\A1;", "\\A1;", Out::Stored},
    {"codes not at the start stay", "{\\fArial|b1;Bold}", "{\\fArial|b1;Bold}", Out::Stored},
    {"a code without semicolon stays", "\\A1;x\\Hy", "x\\Hy", Out::Stored},
    {"two multibyte codes", "\\M+18CA1\\M+18CA2", "\x8c\xa1\x8c\xa2", Out::Multibyte},
    {"one code and nothing before it is no piece", "\\M+18CA1", "\\M+18CA1", Out::Stored},
    {"text before a code is a piece", "AB\\M+18CA1", units({0x000B, 0x8CA1}), Out::Multibyte},
    {"pieces without a digit give zero", "A\\M+1", units({0, 0}), Out::Multibyte},
    {"pieces read like %x", "Z\\M+1 7F\\M+1-1\\M+10x12\\M+112345\\M+1123456789ABCDEF01",
     units({0, 0x7F, 0xFFFF, 0x12, 0x2345, 0xFFFF}), Out::Multibyte},
    {"unicode codes", "\\U+0031\\U+0030\\U+0038\\U+00B0", units({0x31, 0x30, 0x38, 0xB0}), Out::Unicode},
    {"lower-case unicode digits", "\\U+00b0x", units({0xB0, 'x'}), Out::Unicode},
    {"a fifth digit is a byte of its own", "ab\\U+00412", units({'a', 'b', 0x41, '2'}), Out::Unicode},
    {"a surrogate pair is two codes", "\\U+D83D\\U+DE00", units({0xD83D, 0xDE00}), Out::Unicode},
    {"six bytes per code do not", "abcdef\\U+0041", "abcdef\\U+0041", Out::Stored,
     units({'a', 'b', 'c', 'd', 'e', 'f', 0x41})},
    {"three digits are no code", "ab\\U+004G", "ab\\U+004G", Out::Stored},
    {"the fit counts the stripped text", "\\A1;abcde\\U+0041", units({'a', 'b', 'c', 'd', 'e', 0x41}), Out::Unicode},
    {"the fit is not the buffer's", "\\A1;abcdef\\U+0041", "abcdef\\U+0041", Out::Stored,
     units({'a', 'b', 'c', 'd', 'e', 'f', 0x41})},
};

// The event of a text that gives these bytes: as a byte text (R13) or as a
// UTF-16 text (R2007, each byte of a table a unit) gives it.
std::string emitted(Layout layout, const std::string &bytes, Out out)
{
    if (out != Out::Stored) {
        return text(bytes, out == Out::Unicode ? 51 : 0);
    }
    return layout == Layout::R2007 ? text(utf16(bytes), 51) : text(bytes);
}

// Byte texts and UTF-16 texts follow the same rules: where a byte text goes
// out as it is, a UTF-16 text goes out as UTF-16, and its decoded codes
// always fit.
TEST(TextConversion, EveryTextIsStrippedAndDecodedBeforeTheHostGetsIt)
{
    for (Layout layout : {Layout::R13, Layout::R2007}) {
        for (const Conversion &row : kConversions) {
            SCOPED_TRACE(std::string(nameOf(layout)) + ": " + row.rule);
            const bool fitsOnlyAsUtf16 = layout == Layout::R2007 && !row.utf16Decoded.empty();
            dwgw::TextEntity entity;
            entity.text = row.stored;
            Decoder d(framed(entity, layout), layout);
            EXPECT_EQ(d.text(), 1);
            EXPECT_EQ(d.events(), Lines{fitsOnlyAsUtf16 ? text(row.utf16Decoded, 51)
                                                        : emitted(layout, row.emitted, row.out)});
        }
    }
}

TEST(R2000Text, EachDataFlagLeavesOutItsFieldAndTheHighBitsNothing)
{
    for (uint8_t flags : {0x01, 0x02, 0x04, 0x08, 0x10, 0xE0, 0xFF}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        dwgw::TextEntity entity = busyText("FLAGS");
        entity.dataFlags = flags;
        dwgw::Bytes bytes = framed(entity, Layout::R2000);
        Decoder d(bytes, Layout::R2000);

        EXPECT_EQ(d.text(), 1);
        EXPECT_EQ(d.events(), Lines{text("FLAGS")});
    }
}

struct Cut {
    Layout layout;
    Field after;
    const char *message;
};

const Cut kTextCuts[] = {
    {Layout::R13, Field::Handle, "*** ERROR *** getR13_DWGCommonData()[textdata/1]"},
    {Layout::R13, Field::Elevation, "*** ERROR *** get2RD()[textdata/1]"},
    {Layout::R13, Field::Alignment, "*** ERROR *** get3BD()[textdata/1]"},
    {Layout::R13, Field::Height, "*** ERROR *** getBD()[textdata/1]"},
    {Layout::R13, Field::WidthFactor, "*** ERROR *** getT()[textdata/1]"},
    {Layout::R2000, Field::Handle, "*** ERROR *** getR2K_DWGCommonData()[textdata/1]"},
    {Layout::R2000, Field::CommonData, "*** ERROR *** getRC()[textdata/1]"},
    {Layout::R2000, Field::DataFlags, "*** ERROR *** getBD()[textdata/1]"},
    {Layout::R2000, Field::Height, "*** ERROR *** getRD()[textdata/1]"},
    {Layout::R2000, Field::WidthFactor, "*** ERROR *** getT()[textdata/1]"},
};

TEST(TextEntity, AnObjectThatCannotBeLeftFailsTheText)
{
    dwgw::TextEntity entity = busyText("AB");
    entity.sizeField = 0x4000;
    Decoder d(framed(entity, Layout::R13), Layout::R13);

    EXPECT_EQ(d.text(), 0);
    EXPECT_EQ(d.events(), (Lines{text("AB"), report("*** ERROR *** SeekPos()[textdata/1]")}));
}

dwgw::MTextEntity busyMText(std::string string)
{
    dwgw::MTextEntity entity;
    entity.common.linetypeScale = 0.5;
    entity.insertion = {0.5, 1.5, 2.5};
    entity.extrusion = {0.5, 0.0, 1.0};
    entity.text = std::move(string);
    return entity;
}

struct Paragraph {
    std::string bytes;
    Out out = Out::Stored;
};

struct Paragraphs {
    std::string stored;
    std::vector<Paragraph> emitted;
};

const Paragraphs kParagraphs[] = {
    {"Line one\\PLine two", {{"Line one"}, {"Line two"}}},
    {"no break", {{"no break"}}},
    {"A\\P\\PB", {{"A"}, {"B"}}},
    {"\\PA", {}},
    {"\\PA\\PB", {{"A"}, {"B"}}},
    {"A\\P", {{"A"}, {""}}},
    {"\\A1;x\\P\\A2;y", {{"x"}, {"y"}}},
    {"\\M+18CA1\\PZ\\M+18CA2", {{"\\M+18CA1"}, {units({0, 0x8CA2}), Out::Multibyte}}},
};

TEST(MText, EachParagraphIsATextOfItsOwn)
{
    for (Layout layout : {Layout::R13, Layout::R2007}) {
        for (const Paragraphs &row : kParagraphs) {
            SCOPED_TRACE(std::string(nameOf(layout)) + ": " + row.stored);
            dwgw::Bytes bytes = framed(busyMText(row.stored), layout);
            Decoder d(bytes, layout);
            Lines expected;
            for (const Paragraph &paragraph : row.emitted) {
                expected.push_back(emitted(layout, paragraph.bytes, paragraph.out));
            }
            EXPECT_EQ(d.mtext(), 1);
            EXPECT_EQ(d.events(), expected);
            EXPECT_EQ(d.position(), static_cast<int32_t>(bytes.size()));
        }
    }
}

const Cut kMTextCuts[] = {
    {Layout::R13, Field::Handle, "*** ERROR *** getR13_DWGCommonData()[textdata/1]"},
    {Layout::R2000, Field::CommonData, "*** ERROR *** get3BD()[textdata/1]"},
    {Layout::R13, Field::XAxis, "*** ERROR *** getBD()[textdata/1]"},
    {Layout::R2000, Field::Height, "*** ERROR *** getBS()[textdata/1]"},
    {Layout::R13, Field::ExtentsWidth, "*** ERROR *** getT()[textdata/1]"},
};

// A field that cannot be read is reported, the object is left by the size
// its common data gave, and the walk may go on.
TEST(TextData, AFieldThatCannotBeReadIsReportedAndTheObjectSteppedOver)
{
    dwgw::MTextEntity mtext = busyMText("twenty characters!!!");
    mtext.xAxis = {0.5, 0.5, 0.0};
    for (bool multiLine : {false, true}) {
        for (const Cut &cut : multiLine ? std::span<const Cut>(kMTextCuts) : std::span<const Cut>(kTextCuts)) {
            SCOPED_TRACE(std::string(nameOf(cut.layout)) + ": " + cut.message);
            dwgw::Bytes bytes = multiLine ? cutAfter(mtext, cut.layout, cut.after)
                                          : cutAfter(busyText("twenty characters!!!"), cut.layout, cut.after);
            Decoder d(bytes, cut.layout);

            EXPECT_EQ(multiLine ? d.mtext() : d.text(), 1);
            EXPECT_EQ(d.events(), (Lines{report(cut.message), report("*** ERROR *** p_dwgText()[textdata/1]")}));
            EXPECT_EQ(d.position(), static_cast<int32_t>(bytes.size()));
        }
    }
}

}  // namespace
