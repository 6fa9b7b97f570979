#include "r13/textdata.h"

#include <cstring>
#include <type_traits>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r13/textcodes.h"
#include "support/bitcursor.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/spandecode.h"

static const char kModule[] = "textdata";
[[gnu::used]] static const char kIdent[] = "@(#)textdata(R13 to R2018): Version 2.00.00";

namespace {

// R2000 TEXT data flags: a set bit leaves its field out of the object.
constexpr uint8_t kNoElevation = 0x01;
constexpr uint8_t kNoAlignment = 0x02;
constexpr uint8_t kNoOblique = 0x04;
constexpr uint8_t kNoRotation = 0x08;
constexpr uint8_t kNoWidthFactor = 0x10;
constexpr uint8_t kNoGeneration = 0x20;
constexpr uint8_t kNoHorizontalAlignment = 0x40;
constexpr uint8_t kNoVerticalAlignment = 0x80;

// R2018 attributes of these kinds keep their text in an embedded MTEXT.
constexpr uint8_t kMultiLineAttrib = 2;
constexpr uint8_t kMultiLineAttdef = 4;
constexpr uint16_t kTextType = 1;
constexpr uint16_t kAttribType = 2;

TextKind textKindOf(uint16_t type)
{
    if (type == kTextType) {
        return TextKind::Text;
    }
    return type == kAttribType ? TextKind::Attrib : TextKind::Attdef;
}

// The fields before a text are read only to reach it: their values go
// unused. They are read in one run on the cursor, which moves past them
// when the run ends. Each field is checked where its message changes: a
// field that runs out names itself, by the name of the primitive it is
// read with.
const char *skipR13TextFields(BitCursor &cursor)
{
    BitCursor::Run in(cursor);
    in.skipBD();  // elevation
    if (in.overran()) {
        return msg::kGetBD;
    }
    for (int32_t point = 0; point < 2; ++point) {  // insertion, alignment
        in.skipRD();
        in.skipRD();
        if (in.overran()) {
            return msg::kGet2RD;
        }
    }
    in.skipBDs(3);  // extrusion
    if (in.overran()) {
        return msg::kGet3BD;
    }
    in.skipBDs(5);  // thickness, oblique angle, rotation, height, width factor
    return in.overran() ? msg::kGetBD : nullptr;
}

// R2000 packs the fields that usually keep their defaults: each data flag
// that is set leaves one of them out. The messages name the primitives of
// the R13 layout, as the fields' readers always have.
const char *skipR2KTextFields(BitCursor &cursor, uint8_t *dataFlags)
{
    BitCursor::Run in(cursor);
    const uint8_t absent = *dataFlags = in.RC();
    if (in.overran()) {
        return msg::kGetRC;
    }
    if ((absent & kNoElevation) == 0) {
        in.skipRD();
    }
    if (in.overran()) {
        return msg::kGetBD;
    }
    in.skipRD();  // insertion
    in.skipRD();
    if ((absent & kNoAlignment) == 0) {
        in.skipDD();
        in.skipDD();
    }
    if (in.overran()) {
        return msg::kGet2RD;
    }
    in.skipBE();  // extrusion
    if (in.overran()) {
        return msg::kGet3BD;
    }
    in.skipBT();  // thickness
    if (in.overran()) {
        return msg::kGetBD;
    }
    for (uint8_t flag : {kNoOblique, kNoRotation, uint8_t{0}, kNoWidthFactor}) {  // 0: the height is always there
        if ((absent & flag) == 0) {
            in.skipRD();
        }
    }
    return in.overran() ? msg::kGetRD : nullptr;
}

// After a text's string: its generation flags and its horizontal and
// vertical alignment, a BS each, those its data flags keep. R13 and R14
// have no data flags (0): all three are there.
void skipAlignment(BitCursor &in, uint8_t dataFlags)
{
    for (uint8_t flag : {kNoGeneration, kNoHorizontalAlignment, kNoVerticalAlignment}) {
        if ((dataFlags & flag) == 0) {
            in.skipBS();
        }
    }
}

// From R2007 on an MTEXT also states its rectangle's height.
const char *skipMTextFields(BitCursor &cursor, bool rectangleHeight)
{
    BitCursor::Run in(cursor);
    in.skipBDs(3 * 3);  // insertion, extrusion, x axis
    if (in.overran()) {
        return msg::kGet3BD;
    }
    in.skipBDs(rectangleHeight ? 3 : 2);  // rectangle width (and height), text height
    if (in.overran()) {
        return msg::kGetBD;
    }
    in.skipBS();  // attachment
    in.skipBS();  // drawing direction
    if (in.overran()) {
        return msg::kGetBS;
    }
    in.skipBDs(2);  // extents height and width
    return in.overran() ? msg::kGetBD : nullptr;
}

// TOLERANCE: in R13 and R14 a BS and two BD (height, gap) first; then the
// insertion point, the direction and the extrusion, three BD each.
const char *skipToleranceFields(BitCursor &cursor, bool r13)
{
    BitCursor::Run in(cursor);
    if (r13) {
        in.skipBS();
        in.skipBDs(2);
    }
    in.skipBDs(3 * 3);
    return in.overran() ? msg::kGet3BD : nullptr;
}

// The common dimension data up to the user text: the extrusion (3BD), the
// text's middle point (2RD), the elevation (BD) and a flags byte. Up to
// R2004 the text follows them; from R2007 on it lies in the string stream,
// and the fields are only seen to be whole, so the version byte R2010 put
// before them is not read.
const char *skipDimensionFields(BitCursor &cursor)
{
    BitCursor::Run in(cursor);
    in.skipBDs(3);
    in.skipRD();
    in.skipRD();
    in.skipBD();
    in.skipBits(8);
    return in.overran() ? msg::kGetBD : nullptr;
}

}  // namespace

// A multileader is read in one walk over its fields, which notes where its
// texts lie: the text of an MTEXT content (a T field at textBit up to
// R2004; from R2007 on the string stream's text number textIndex) and the
// values of a block content's labels (their BL count at labelsBit up to
// R2004; from R2007 on `labels` texts of the stream in a row, from number
// firstLabel). From R2007 on a colour's names lie in the stream too, so
// the walk counts the stream's texts as it passes them (streamTexts).
struct MultileaderWalk {
    int32_t version;
    int64_t end;  // of the data
    uint32_t streamTexts;
    bool hasText;
    uint64_t textBit;
    uint32_t textIndex;
    uint64_t labelsBit;
    uint32_t labels;
    uint32_t firstLabel;

    bool since(int32_t release) const { return versionAtLeast(version, release); }
    // A count says how many fields follow; each field takes at least a
    // bit, so a count beyond the bits left before the end is no count.
    bool fits(BitCursor &in, uint32_t count) const
    {
        return !in.overran() && int64_t{count} <= end - static_cast<int64_t>(in.bitOffset());
    }
};

namespace {

// A text field: a T field up to R2004, the next text of the string stream
// after.
void skipText(BitCursor &in, MultileaderWalk &walk)
{
    if (walk.since(kAC1021)) {
        ++walk.streamTexts;
    } else {
        in.skipBytes(in.BS());
    }
}

// A CMC among an object's fields: a BS, and from R2004 on an RGB (BL) and
// a flags byte whose bits 1 and 2 add a name and a book name.
void skipObjectColor(BitCursor &in, MultileaderWalk &walk)
{
    constexpr uint8_t kNamed = 0x01;
    constexpr uint8_t kBookNamed = 0x02;
    in.skipBS();
    if (!walk.since(kAC1018)) {
        return;
    }
    in.skipBL();
    const uint8_t flags = in.RC();
    for (uint8_t flag : {kNamed, kBookNamed}) {
        if ((flags & flag) != 0) {
            skipText(in, walk);
        }
    }
}

// One leader line: its points, its breaks, its index, and from R2010 on
// its own type, colour, weight, arrow size and overrides.
bool skipLeaderLine(BitCursor &in, MultileaderWalk &walk)
{
    const uint32_t points = in.BL();
    if (!walk.fits(in, points)) {
        return false;
    }
    in.skipBDs(3 * points);
    if (in.BL() != 0) {  // breaks: a segment index and pairs of points
        in.skipBL();
        const uint32_t pairs = in.BL();
        if (!walk.fits(in, pairs)) {
            return false;
        }
        in.skipBDs(6 * pairs);
    }
    in.skipBL();  // index
    if (walk.since(kAC1024)) {
        in.skipBS();
        skipObjectColor(in, walk);
        in.skipBL();
        in.skipBD();
        in.skipBL();
    }
    return !in.overran();
}

// A leader root: two flags, its connection point and direction, pairs of
// break points, its index and landing distance, its lines, and from R2010
// on its attachment direction.
bool skipLeaderRoot(BitCursor &in, MultileaderWalk &walk)
{
    in.skipBits(2);
    in.skipBDs(6);
    const uint32_t pairs = in.BL();
    if (!walk.fits(in, pairs)) {
        return false;
    }
    in.skipBDs(6 * pairs);
    in.skipBL();
    in.skipBD();
    const uint32_t lines = in.BL();
    if (!walk.fits(in, lines)) {
        return false;
    }
    for (uint32_t line = 0; line < lines; ++line) {
        if (!skipLeaderLine(in, walk)) {
            return false;
        }
    }
    if (walk.since(kAC1024)) {
        in.skipBS();
    }
    return !in.overran();
}

// The MTEXT content after its label: normal, location, direction (3BD
// each), rotation, width, height, line spacing (BD each), spacing style,
// colour, alignment, flow direction, background colour, scale and
// transparency, two flags, the column type, a flag, column width and
// gutter, a flag, the column sizes, and two flags.
bool skipTextContent(BitCursor &in, MultileaderWalk &walk)
{
    in.skipBDs(9 + 4);
    in.skipBS();
    skipObjectColor(in, walk);
    in.skipBS();
    in.skipBS();
    skipObjectColor(in, walk);
    in.skipBD();
    in.skipBL();
    in.skipBits(2);
    in.skipBS();
    in.skipBits(1);
    in.skipBDs(2);
    in.skipBits(1);
    const uint32_t columns = in.BL();
    if (!walk.fits(in, columns)) {
        return false;
    }
    in.skipBDs(columns);
    in.skipBits(2);
    return !in.overran();
}

// The context data a multileader holds within itself: its leader roots,
// then scale, base point, text height, arrow size, landing gap and four
// attachment codes; the MTEXT content (its label first) or the block
// content (normal, location, scale, rotation, colour and the 16 numbers of
// its transformation); the base point, direction and vertical, a flag, and
// from R2010 on two attachment codes.
bool skipContextData(BitCursor &in, MultileaderWalk &walk)
{
    const uint32_t roots = in.BL();
    if (!walk.fits(in, roots)) {
        return false;
    }
    for (uint32_t root = 0; root < roots; ++root) {
        if (!skipLeaderRoot(in, walk)) {
            return false;
        }
    }
    in.skipBDs(1 + 3 + 3);
    for (int32_t code = 0; code < 4; ++code) {
        in.skipBS();
    }
    walk.hasText = in.B() != 0;
    if (walk.hasText) {
        walk.textBit = in.bitOffset();
        walk.textIndex = walk.streamTexts;
        skipText(in, walk);
        if (!skipTextContent(in, walk)) {
            return false;
        }
    } else if (in.B() != 0) {
        in.skipBDs(9 + 1);
        skipObjectColor(in, walk);
        in.skipBDs(16);
    }
    in.skipBDs(9);
    in.skipBits(1);
    if (walk.since(kAC1024)) {
        in.skipBS();
        in.skipBS();
    }
    return !in.overran();
}

// The multileader's own fields after its context data: overrides, leader
// type, colour and weight, landing and dog-leg flags, two distances, the
// content type, four text codes, text colour, frame flag, block colour,
// scale and rotation, connection type, annotative flag; up to R2007 the
// arrow heads' flags; the block labels (the attribute's value, a BS and a
// BD each); a flag, two codes and a scale; from R2010 on three codes, from
// R2013 on a flag.
bool skipMultileaderFields(BitCursor &in, MultileaderWalk &walk)
{
    in.skipBL();
    in.skipBS();
    skipObjectColor(in, walk);
    in.skipBL();
    in.skipBits(2);
    in.skipBDs(2);
    for (int32_t code = 0; code < 5; ++code) {
        in.skipBS();
    }
    skipObjectColor(in, walk);
    in.skipBits(1);
    skipObjectColor(in, walk);
    in.skipBDs(3 + 1);
    in.skipBS();
    in.skipBits(1);
    if (!walk.since(kAC1024)) {
        const uint32_t arrowHeads = in.BL();
        if (!walk.fits(in, arrowHeads)) {
            return false;
        }
        in.skipBits(arrowHeads);
    }
    walk.labelsBit = in.bitOffset();
    walk.labels = in.BL();
    if (!walk.fits(in, walk.labels)) {
        return false;
    }
    walk.firstLabel = walk.streamTexts;
    for (uint32_t label = 0; label < walk.labels && !in.overran(); ++label) {
        skipText(in, walk);
        in.skipBS();
        in.skipBD();
    }
    in.skipBits(1);
    in.skipBS();
    in.skipBS();
    in.skipBD();
    if (walk.since(kAC1024)) {
        for (int32_t code = 0; code < 3; ++code) {
            in.skipBS();
        }
    }
    if (walk.since(kAC1027)) {
        in.skipBits(1);
    }
    return !in.overran();
}

// Whether the last handle of the handles from bit `from` to `end` is null
// (no bytes, or bytes of value 0). Each handle is a code and count byte and
// the count's bytes; fewer than 8 bits left before the end are padding. No
// handle at all, or handles that run out, say nothing of the kind.
bool lastHandleIsNull(BitCursor &in, int64_t from, int64_t end)
{
    constexpr uint8_t kCountBits = 0x0F;
    if (from < 0 || from > end) {
        return false;
    }
    in.seekBit(static_cast<uint64_t>(from));
    bool seen = false;
    uint8_t value = 0;
    while (static_cast<int64_t>(in.bitOffset()) + 8 <= end && !in.overran()) {
        const uint8_t count = in.RC() & kCountBits;
        value = 0;
        for (uint8_t i = 0; i < count; ++i) {
            value |= in.RC();
        }
        seen = true;
    }
    return seen && value == 0 && !in.overran();
}

}  // namespace

TextData *newTextData(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    return versionAtLeast(session->versionIndex, kAC1015)
               ? static_cast<TextData *>(newIn<TextDecoder<R2KCommonData>>(memory, session, memory, stream))
               : newIn<TextDecoder<R13CommonData>>(memory, session, memory, stream);
}

void deleteTextData(TextData *text)
{
    if (text != nullptr) {
        text->destroy();
    }
}

template <class Common>
void TextDecoder<Common>::destroy()
{
    textBlock_.release(memory_);
    deleteIn(memory_, this);
}

// A TEXT whose fields cannot be decoded is reported and stepped over; only
// a text the host cannot take, or an object that cannot be left, fails.
template <class Common>
int32_t TextDecoder<Common>::getDWGText(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_readText(in); });
    const TextKind kind = textKindOf(head.type);
    if (failure != nullptr || kind != TextKind::Attdef || !session_->everyKind) {
        return finishObject(start, head, failure, {text_.text, text_.textLength, text_.wideText, text_.wideLength},
                            text_.embeddedMText, kind);
    }
    if (putDecodedText({text_.text, text_.textLength, text_.wideText, text_.wideLength}, text_.embeddedMText,
                       kind) == 0) {
        return 0;
    }
    return p_putPrompt(start, head);
}

// An ATTDEF's prompt is read once its default has gone out, as the two
// share the decoder's text block. A prompt that cannot be read is reported
// as a text field that cannot be; an empty one gives nothing.
template <class Common>
int32_t TextDecoder<Common>::p_putPrompt(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    DecodedText prompt{};
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_readPrompt(in, &prompt); });
    return finishObject(start, head, failure, prompt, false, TextKind::AttdefPrompt);
}

// After the text: the alignment fields (in R13 and R14 always three BS,
// from R2000 on those the data flags keep), the tag, the field length and the
// flags; then the prompt. From R2007 on every one of these texts lies in
// the string stream, in that order: the default, the tag and the prompt,
// and in an R2018 multi-line definition the embedded text before the tag.
template <class Common>
const char *TextDecoder<Common>::p_readPrompt(BitCursor &in, DecodedText *prompt)
{
    if constexpr (std::is_same_v<Common, R2KCommonData>) {
        if (since(kAC1021)) {
            const int32_t index = text_.embeddedMText ? 3 : 2;
            return readStreamText(in, text_.common, index, &prompt->units, &prompt->wide) ? nullptr : msg::kGetT;
        }
    }
    in.seekBit(text_.afterTextBit);
    skipAlignment(in, text_.dataFlags);
    in.skipBytes(in.BS());  // tag
    in.skipBS();             // field length
    in.skipBits(8);          // flags
    return readT(in, &prompt->length, &prompt->bytes) ? nullptr : msg::kGetT;
}

template <class Common>
int32_t TextDecoder<Common>::getDWGMText(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_readMText(in); });
    return finishObject(start, head, failure, {mtext_.text, mtext_.textLength, mtext_.wideText, mtext_.wideLength},
                        true, TextKind::MText);
}

template <class Common>
int32_t TextDecoder<Common>::getDWGTolerance(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    DecodedText text{};
    constexpr bool kR13 = std::is_same_v<Common, R13CommonData>;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) {
        failure = p_readEntityText(in, [](BitCursor &fields) { return skipToleranceFields(fields, kR13); }, &text);
    });
    return finishObject(start, head, failure, text, false, TextKind::Tolerance);
}

template <class Common>
int32_t TextDecoder<Common>::getDWGDimension(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    DecodedText text{};
    bool blockless = false;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) {
        failure = p_readEntityText(in, skipDimensionFields, &text);
        blockless = failure == nullptr && lastHandleIsNull(in, entity_.dataEndBit, entity_.objectEndBit);
    });
    return finishObject(start, head, failure, blockless ? text : DecodedText{}, false, TextKind::Dimension);
}

// Only a multileader whose every field was read and whose fields end
// exactly where its data does gives its texts: the layout has parts no
// drawing we hold shows (a leader root count of 0, a block content), and a
// text taken from a misread object would be garbage. Its texts are read
// once the walk has placed them, from the bytes it read.
template <class Common>
int32_t TextDecoder<Common>::getDWGMultileader(int64_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    MultileaderWalk walk{};
    const FileStream::Span span =
        decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_walkMultileader(in, &walk); });
    if (failure == nullptr) {
        BitCursor in(span.bytes, span.length, span.readable);
        bool taken = true;
        failure = p_putMultileaderTexts(in, walk, &taken);
        if (!taken) {
            return 0;
        }
    }
    return finishObject(start, head, failure, DecodedText{}, false, TextKind::Multileader);
}

// A multileader's fields end within its bytes: only those are read, and
// running out of them is no fault of the drawing.
template <class Common>
bool TextDecoder<Common>::readsAsMultileader(int64_t start, const ObjectHead &head)
{
    const FileStream::Span span = stream_->span(start, head.length);
    BitCursor in(span.bytes, span.length, span.readable);
    MultileaderWalk walk{};
    return p_walkMultileader(in, &walk) == nullptr && !in.overran();
}

// From R2010 on a version (BS) comes first. The data ends where the string
// stream starts from R2007 on, where the handles do before.
template <class Common>
const char *TextDecoder<Common>::p_walkMultileader(BitCursor &in, MultileaderWalk *walk)
{
    entity_ = {};
    if (!readCommonData(in, session_->versionIndex, &entity_, Graphic::Skipped)) {
        return std::is_same_v<Common, R2KCommonData> ? msg::kGetR2KCommonData : msg::kGetR13CommonData;
    }
    *walk = MultileaderWalk{};
    walk->version = session_->versionIndex;
    walk->end = entity_.dataEndBit;
    // The counts of the walk are held to the bits left before this end, so
    // it must lie within the object's bytes: a data size stated past them
    // would let a count claim bits that are not there.
    if (walk->end > entity_.objectEndBit || walk->end > static_cast<int64_t>(in.spanLength() * 8)) {
        return msg::kMultileaderEnd;
    }
    if (since(kAC1024)) {
        in.skipBS();
    }
    if (!skipContextData(in, *walk) || !skipMultileaderFields(in, *walk)) {
        return msg::kMultileaderEnd;
    }
    const int64_t fieldsEnd = static_cast<int64_t>(in.bitOffset());
    return fieldsEnd == (since(kAC1021) ? stringStreamStart(in, walk->end) : walk->end) ? nullptr
                                                                                         : msg::kMultileaderEnd;
}

// The paragraphs of the MTEXT content, then the labels' values as TEXT
// values are given. taken turns false when the host could not take one.
template <class Common>
const char *TextDecoder<Common>::p_putMultileaderTexts(BitCursor &in, const MultileaderWalk &walk, bool *taken)
{
    if (since(kAC1021)) {
        return p_putMultileaderStreamTexts(in, walk, taken);
    }
    DecodedText text{};
    if (walk.hasText) {
        in.seekBit(walk.textBit);
        if (!readT(in, &text.length, &text.bytes)) {
            return msg::kGetT;
        }
        *taken = putDecodedText(text, true, TextKind::Multileader) == 1;
    }
    in.seekBit(walk.labelsBit);
    in.skipBL();
    for (uint32_t label = 0; label < walk.labels && *taken; ++label) {
        if (!readT(in, &text.length, &text.bytes)) {
            return msg::kGetT;
        }
        *taken = putDecodedText(text, false, TextKind::Multileader) == 1;
        in.skipBS();
        in.skipBD();
    }
    return nullptr;
}

// From R2007 on the texts are those of the string stream the walk
// numbered; the stream is read from its start up to the last of them.
template <class Common>
const char *TextDecoder<Common>::p_putMultileaderStreamTexts(BitCursor &in, const MultileaderWalk &walk, bool *taken)
{
    const int64_t streamStart = stringStreamStart(in, walk.end);
    if (streamStart == walk.end - 1) {
        return nullptr;
    }
    const uint32_t labelsEnd = walk.firstLabel + walk.labels;
    const uint32_t last = walk.labels > 0 ? labelsEnd : walk.hasText ? walk.textIndex + 1 : 0;
    in.seekBit(static_cast<uint64_t>(streamStart));
    for (uint32_t index = 0; index < last && *taken; ++index) {
        DecodedText text{};
        if (!readStreamUnits(in, &text.units, &text.wide)) {
            return msg::kGetT;
        }
        const bool isText = walk.hasText && index == walk.textIndex;
        if (isText || (index >= walk.firstLabel && index < labelsEnd)) {
            *taken = putDecodedText(text, isText, TextKind::Multileader) == 1;
        }
    }
    return nullptr;
}

// The common data, the fields skipFields passes over, then the text: among
// the fields up to R2004, the first text of the string stream after.
template <class Common>
template <class SkipFields>
const char *TextDecoder<Common>::p_readEntityText(BitCursor &in, SkipFields skipFields, DecodedText *text)
{
    entity_ = {};
    if (!readCommonData(in, session_->versionIndex, &entity_)) {
        return std::is_same_v<Common, R2KCommonData> ? msg::kGetR2KCommonData : msg::kGetR13CommonData;
    }
    if (const char *failure = skipFields(in)) {
        return failure;
    }
    if constexpr (std::is_same_v<Common, R2KCommonData>) {
        if (since(kAC1021)) {
            return readStreamText(in, entity_, 0, &text->units, &text->wide) ? nullptr : msg::kGetT;
        }
    }
    return readT(in, &text->length, &text->bytes) ? nullptr : msg::kGetT;
}

template <class Common>
const char *TextDecoder<Common>::p_readText(BitCursor &in)
{
    text_ = {};
    if (!readCommonData(in, session_->versionIndex, &text_.common)) {
        return std::is_same_v<Common, R2KCommonData> ? msg::kGetR2KCommonData : msg::kGetR13CommonData;
    }
    return p_readTextFields(in, &text_);
}

template <class Common>
const char *TextDecoder<Common>::p_readMText(BitCursor &in)
{
    mtext_ = {};
    if (!readCommonData(in, session_->versionIndex, &mtext_.common)) {
        return std::is_same_v<Common, R2KCommonData> ? msg::kGetR2KCommonData : msg::kGetR13CommonData;
    }
    return p_readMTextFields(in, &mtext_);
}

template <>
const char *TextDecoder<R13CommonData>::p_readTextFields(BitCursor &in, R13TextRecord *r)
{
    if (const char *failure = skipR13TextFields(in)) {
        return failure;
    }
    const bool read = readT(in, &r->textLength, &r->text);
    r->afterTextBit = in.bitOffset();
    return read ? nullptr : msg::kGetT;
}

// From R2007 on the text lies in the object's string stream.
template <>
const char *TextDecoder<R2KCommonData>::p_readTextFields(BitCursor &in, R2KTextRecord *r)
{
    if (const char *failure = skipR2KTextFields(in, &r->dataFlags)) {
        return failure;
    }
    if (!since(kAC1021)) {
        const bool read = readT(in, &r->textLength, &r->text);
        r->afterTextBit = in.bitOffset();
        return read ? nullptr : msg::kGetT;
    }
    int32_t textIndex = 0;
    if (const char *failure = readAttributeKind(in, *r, &textIndex)) {
        return failure;
    }
    r->embeddedMText = textIndex > 0;
    return readStreamText(in, r->common, textIndex, &r->wideLength, &r->wideText) ? nullptr : msg::kGetT;
}

template <class Common>
const char *TextDecoder<Common>::p_readMTextFields(BitCursor &in, MTextRecordOf<Common> *r)
{
    if (const char *failure = skipMTextFields(in, since(kAC1021))) {
        return failure;
    }
    return p_readMTextString(in, r) ? nullptr : msg::kGetT;
}

// Up to R2000 the text stands among the fields; from R2007 on it is the
// first text of the object's string stream.
template <class Common>
bool TextDecoder<Common>::p_readMTextString(BitCursor &in, MTextRecordOf<Common> *r)
{
    if constexpr (std::is_same_v<Common, R2KCommonData>) {
        if (since(kAC1021)) {
            return readStreamText(in, r->common, 0, &r->wideLength, &r->wideText);
        }
    }
    return readT(in, &r->textLength, &r->text);
}

template class TextDecoder<R13CommonData>;
template class TextDecoder<R2KCommonData>;

// A T field: a BS length, then that many bytes. A text of length 0 has
// none.
bool TextData::readT(BitCursor &in, int32_t *length, char **text)
{
    *length = in.BS();
    *text = nullptr;
    if (in.overran() || *length == 0) {
        return !in.overran();
    }
    auto *bytes = static_cast<char *>(textBlock_.reserve(memory_, static_cast<uint32_t>(*length) + 1));
    if (bytes == nullptr) {
        return false;
    }
    in.bytes(reinterpret_cast<uint8_t *>(bytes), static_cast<uint32_t>(*length));
    bytes[*length] = '\0';
    *text = bytes;
    return !in.overran();
}

bool TextData::since(int32_t version) const
{
    return versionAtLeast(session_->versionIndex, version);
}

// The fields after the text up to the attribute's kind: an R2018 ATTRIB or
// ATTDEF of a multi-line kind holds an empty value and its text in an
// embedded MTEXT, whose text is the next one in the string stream.
const char *TextData::readAttributeKind(BitCursor &in, const R2KTextRecord &record, int32_t *textIndex)
{
    *textIndex = 0;
    if (record.common.objectType == kTextType || !since(kAC1032)) {
        return nullptr;
    }
    skipAlignment(in, record.dataFlags);
    in.skipBits(8);
    const uint8_t kind = in.RC();
    if (in.overran()) {
        return msg::kGetRC;
    }
    *textIndex = kind == kMultiLineAttrib || kind == kMultiLineAttdef ? 1 : 0;
    return nullptr;
}

// The string stream ends where the object's data ends. The texts follow
// one another from the stream's start; the one at index is read.
bool TextData::readStreamText(BitCursor &in, const R2KCommonData &common, int32_t index, int32_t *units,
                              uint16_t **text)
{
    if (common.dataEndBit - 1 >= common.objectEndBit) {
        return false;
    }
    const int64_t streamStart = stringStreamStart(in, common.dataEndBit);
    if (streamStart == common.dataEndBit - 1) {
        return true;
    }
    if (streamStart < 0) {
        return false;
    }
    in.seekBit(static_cast<uint64_t>(streamStart));
    for (int32_t i = 0; i <= index; ++i) {
        if (!readStreamUnits(in, units, text)) {
            return false;
        }
    }
    return true;
}

// The text of the string stream the cursor stands at: a BS count of UTF-16
// units and the units, read up to its first zero unit.
bool TextData::readStreamUnits(BitCursor &in, int32_t *units, uint16_t **text)
{
    *units = in.BS();
    auto *read = in.overran() ? nullptr
                              : static_cast<uint16_t *>(
                                    textBlock_.reserve(memory_, (static_cast<uint32_t>(*units) + 1) * 2));
    if (read == nullptr) {
        return false;
    }
    in.units(read, static_cast<uint32_t>(*units));
    read[*units] = 0;
    *text = read;
    for (int32_t i = 0; i < *units; ++i) {
        if (read[i] == 0) {
            *units = i;
        }
    }
    return !in.overran();
}

// A failed object is reported, the field that failed first, and stepped
// over; a decoded one gives its text.
int32_t TextData::finishObject(int64_t start, const ObjectHead &head, const char *failure, const DecodedText &text,
                               bool paragraphs, TextKind kind)
{
    if (failure != nullptr) {
        reportf(session_, failure, HERE);
        reportf(session_, msg::kDwgText, HERE);
    } else if (putDecodedText(text, paragraphs, kind) == 0) {
        return 0;
    }
    return p_skipEntity(start, head);
}

// A decoded text, when there is one: bytes up to R2004, UTF-16 after.
int32_t TextData::putDecodedText(const DecodedText &text, bool paragraphs, TextKind kind)
{
    if (text.wide != nullptr) {
        return text.units <= 0 ? 1 : p_putTexts(text.wide, text.units, paragraphs, kind);
    }
    return text.length <= 0 ? 1 : p_putTexts(text.bytes, text.length, paragraphs, kind);
}

// Each paragraph of a multi-line text is a text of its own, emitted as soon
// as it is cut from the text, however many there are.
template <class Unit>
int32_t TextData::p_putTexts(Unit *text, int32_t length, bool paragraphs, TextKind kind)
{
    if (!paragraphs) {
        return p_putText(text, length, kind);
    }
    const bool put = textcodes::forEachParagraph(text, length, [this, kind](Unit *paragraph, int32_t units) {
        return p_putText(paragraph, units, kind) != 0;
    });
    return put ? 1 : 0;
}

// Emits one text group. The kind-41 buffer comes straight from the host and
// is the host's once attached; objects appended before a failure stay. A
// byte text left with no code to decode goes to a sink straight from the
// decoder's block.
template <class Unit>
int32_t TextData::p_putText(Unit *text, int32_t length, TextKind kind)
{
    const uint32_t bufferSize = sizeof(Unit) * (static_cast<uint32_t>(length) + 1);
    const bool codeLeft = textcodes::stripFormat(text, &length);
    if constexpr (sizeof(Unit) == 1) {
        if (!codeLeft && textToSink(session_, text, length, DWG_CHARSET_BYTES, kind)) {
            return 1;
        }
    }
    DWGOutputObject *object = beginTextGroup(session_);
    if (object == nullptr) {
        return p_createFailed();
    }
    auto *buffer = static_cast<uint8_t *>(hostTextBuffer(session_, bufferSize));
    if (buffer == nullptr) {
        reportf(session_, msg::kTextBuffer, HERE);
        return 0;
    }
    int32_t charset = DWG_CHARSET_BYTES;
    const int32_t outLength = textcodes::encodeText(text, length, codeLeft, buffer, &charset);
    return endTextGroup(session_, object, buffer, outLength, charset, kind) ? 1 : p_createFailed();
}

int32_t TextData::p_createFailed()
{
    reportf(session_, msg::kCreateObject, HERE);
    return 0;
}

int32_t TextData::p_skipEntity(int64_t start, const ObjectHead &head)
{
    if (stream_->SeekPos(objectEnd(start, head)) != 1) {
        reportf(session_, msg::kSeekPos, HERE);
        return 0;
    }
    return 1;
}
