#include "r13/textdata.h"

#include <cstring>
#include <type_traits>

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "r13/widetext.h"
#include "support/bitcursor.h"
#include "support/component.h"
#include "support/filestrmio.h"
#include "support/spandecode.h"
#include "support/strEtc.h"

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

// Formatting codes run from a backslash to the next semicolon.
const char kCodeStart[] = "\\";
const char kCodeEnd[] = ";";
// "\M+" + code-page digit + hexadecimal digits: one double-byte character.
const char kMultibyteCode[] = "\\M+";
const char kParagraphBreak[] = "\\P";

// The character of one "\M+" piece: the hexadecimal number after its first
// character (the code page, which is dropped).
uint16_t multibyteCharacter(const char *piece)
{
    return piece[0] == '\0' ? 0 : static_cast<uint16_t>(scanHex(piece + 1, piece + strlen(piece)));
}

// Walks the text as UTF-16 units: each "\U+XXXX" is one unit, every other
// byte b the unit 0x00 b. Hands each unit to put; answers the number of
// "\U+" codes met.
template <class Put>
int32_t forEachUnicodeUnit(const char *text, Put put)
{
    int32_t codes = 0;
    const char *end = text + strlen(text);
    const char *at = text;
    while (at < end) {
        uint16_t unit = 0;
        if (unicodeCodeAt(at, end, &unit)) {
            put(unit);
            at += kUnicodeCodeLength;
            ++codes;
        } else {
            put(static_cast<uint16_t>(static_cast<uint8_t>(*at)));
            ++at;
        }
    }
    return codes;
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
int32_t TextDecoder<Common>::getDWGText(int32_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_readText(in); });
    return finishObject(start, head, failure, text_.text, text_.textLength, text_.wideText, text_.wideLength,
                        text_.embeddedMText);
}

template <class Common>
int32_t TextDecoder<Common>::getDWGMText(int32_t start, const ObjectHead &head)
{
    const char *failure = nullptr;
    decodeSpan(stream_, start, head.length, [&](BitCursor &in, bool) { failure = p_readMText(in); });
    return finishObject(start, head, failure, mtext_.text, mtext_.textLength, mtext_.wideText, mtext_.wideLength,
                        true);
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
    return readT(in, &r->textLength, &r->text) ? nullptr : msg::kGetT;
}

// From R2007 on the text lies in the object's string stream.
template <>
const char *TextDecoder<R2KCommonData>::p_readTextFields(BitCursor &in, R2KTextRecord *r)
{
    if (const char *failure = skipR2KTextFields(in, &r->dataFlags)) {
        return failure;
    }
    if (!since(kAC1021)) {
        return readT(in, &r->textLength, &r->text) ? nullptr : msg::kGetT;
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
    const uint8_t absent = record.dataFlags;
    for (uint8_t flag : {kNoGeneration, kNoHorizontalAlignment, kNoVerticalAlignment}) {
        if ((absent & flag) == 0) {
            in.skipBS();
        }
    }
    in.skipBits(8);
    const uint8_t kind = in.RC();
    if (in.overran()) {
        return msg::kGetRC;
    }
    *textIndex = kind == kMultiLineAttrib || kind == kMultiLineAttdef ? 1 : 0;
    return nullptr;
}

// The string stream ends where the object's data ends. Its last bit says
// whether there is one; if so, the 16 bits before that give its size in
// bits, and when their top bit is set the 16 before them give the size's
// high part. The texts follow one another from the stream's start, each a
// BS count of UTF-16 units and the units; the one at index is read, up to
// its first zero unit.
bool TextData::readStreamText(BitCursor &in, const R2KCommonData &common, int32_t index, int32_t *units,
                              uint16_t **text)
{
    constexpr uint16_t kHighPartFollows = 0x8000;
    const int64_t flag = common.dataEndBit - 1;
    if (flag <= 0 || flag >= common.objectEndBit) {
        return false;
    }
    in.seekBit(static_cast<uint64_t>(flag));
    if (in.B() == 0) {
        return !in.overran();
    }
    int64_t at = flag - 16;
    in.seekBit(static_cast<uint64_t>(at));
    const uint16_t low = in.RS();
    uint16_t high = 0;
    if ((low & kHighPartFollows) != 0) {
        at -= 16;
        in.seekBit(static_cast<uint64_t>(at));
        high = in.RS();
    }
    const int64_t size = (low & ~kHighPartFollows) | int64_t{high} << 15;
    if (in.overran() || at - size < 0) {
        return false;
    }
    in.seekBit(static_cast<uint64_t>(at - size));
    for (int32_t i = 0; i <= index; ++i) {
        *units = in.BS();
        auto *read = in.overran() ? nullptr
                                  : static_cast<uint16_t *>(textBlock_.reserve(
                                        memory_, (static_cast<uint32_t>(*units) + 1) * 2));
        if (read == nullptr) {
            return false;
        }
        in.units(read, static_cast<uint32_t>(*units));
        read[*units] = 0;
        *text = read;
    }
    for (int32_t i = 0; i < *units; ++i) {
        if ((*text)[i] == 0) {
            *units = i;
        }
    }
    return !in.overran();
}

// A failed object is reported, the field that failed first, and stepped
// over; a decoded one gives its text.
int32_t TextData::finishObject(int32_t start, const ObjectHead &head, const char *failure, char *text,
                               int32_t length, uint16_t *wideText, int32_t units, bool paragraphs)
{
    if (failure != nullptr) {
        reportf(session_, failure, HERE);
        reportf(session_, msg::kDwgText, HERE);
    } else if (p_putRecordText(text, length, wideText, units, paragraphs) == 0) {
        return 0;
    }
    return p_skipEntity(start, head.size);
}

// Each paragraph of a multi-line text is a text of its own, emitted as soon
// as the split cuts it from the text, however many there are; a text whose
// breaks all stand at its start yields no paragraph at all.
int32_t TextData::p_putParagraphs(char *text, int32_t length)
{
    if (findString(text, kParagraphBreak) < 0) {
        return p_putText(text, length);
    }
    int32_t count = forEachPiece(text, kParagraphBreak, [this](char *paragraph) {
        return p_putText(paragraph, static_cast<int32_t>(strlen(paragraph))) != 0;
    });
    return count < 0 ? 0 : 1;
}

// A record's text, when it has one: bytes up to R2004, UTF-16 after.
int32_t TextData::p_putRecordText(char *text, int32_t length, uint16_t *wideText, int32_t units, bool paragraphs)
{
    if (wideText != nullptr) {
        return units <= 0 ? 1 : paragraphs ? p_putWideParagraphs(wideText, units) : p_putWideText(wideText, units);
    }
    return length <= 0 ? 1 : paragraphs ? p_putParagraphs(text, length) : p_putText(text, length);
}

int32_t TextData::p_putWideParagraphs(uint16_t *text, int32_t units)
{
    bool hasBreak = false;
    for (int32_t at = 0; at + 1 < units && !hasBreak; ++at) {
        hasBreak = text[at] == kParagraphBreak[0] && text[at + 1] == kParagraphBreak[1];
    }
    if (!hasBreak) {
        return p_putWideText(text, units);
    }
    const int32_t count = forEachWideParagraph(
        text, units, [this](uint16_t *paragraph, int32_t length) { return p_putWideText(paragraph, length) != 0; });
    return count < 0 ? 0 : 1;
}

int32_t TextData::p_putWideText(uint16_t *text, int32_t units)
{
    DWGOutputObject *object = beginTextGroup(session_);
    if (object == nullptr) {
        return p_createFailed();
    }
    auto *buffer = static_cast<uint8_t *>(hostTextBuffer(session_, 2 * static_cast<uint32_t>(units) + 2));
    if (buffer == nullptr) {
        reportf(session_, msg::kTextBuffer, HERE);
        return 0;
    }
    int32_t charset = DWG_CHARSET_UTF16BE;
    const int32_t length = encodeWideText(text, stripWideFormat(text, units), buffer, &charset);
    return endTextGroup(session_, object, buffer, length, charset) ? 1 : p_createFailed();
}

// Emits one text group. The kind-41 buffer comes straight from the host and
// is the host's once attached; objects appended before a failure stay. A
// text without a backslash holds no code: it goes out as it is, up to its
// first zero byte. One left with no code to decode goes to a sink straight
// from the decoder's block.
int32_t TextData::p_putText(char *text, int32_t length)
{
    const uint32_t bufferSize = static_cast<uint32_t>(length) + 1;
    bool mayHoldCodes = memchr(text, kCodeStart[0], static_cast<size_t>(length)) != nullptr;
    if (mayHoldCodes) {
        mayHoldCodes = p_stripFormat(text, &length);
    } else {
        length = static_cast<int32_t>(strnlen(text, static_cast<size_t>(length)));
    }
    if (!mayHoldCodes && textToSink(session_, text, length, DWG_CHARSET_BYTES)) {
        return 1;
    }
    DWGOutputObject *object = beginTextGroup(session_);
    if (object == nullptr) {
        return p_createFailed();
    }
    auto *buffer = static_cast<char *>(hostTextBuffer(session_, bufferSize));
    if (buffer == nullptr) {
        reportf(session_, msg::kTextBuffer, HERE);
        return 0;
    }
    int32_t charset = DWG_CHARSET_BYTES;
    int32_t outLength = 0;
    p_convertText(&charset, buffer, &outLength, text, length, mayHoldCodes);
    return endTextGroup(session_, object, buffer, outLength, charset) ? 1 : p_createFailed();
}

int32_t TextData::p_createFailed()
{
    reportf(session_, msg::kCreateObject, HERE);
    return 0;
}

// Formatting codes ("\A1;", "\H2.5;") are removed only from a text that
// begins with one; from then on every backslash up to its next semicolon
// goes, until a backslash has no semicolon after it or its semicolon ends
// the text. The length becomes the text's length up to its first zero byte,
// except for a text that holds a backslash but does not begin with one,
// which is left exactly as it came. One pass: the text is read once and the
// kept bytes move down. Answers whether a backslash is left within the
// length.
bool TextData::p_stripFormat(char *text, int32_t *length)
{
    const char *stop = text + strlen(text);
    if (text[0] != kCodeStart[0] && memchr(text, kCodeStart[0], static_cast<size_t>(stop - text)) != nullptr) {
        return true;
    }
    char *kept = text;
    const char *at = text;
    while (*at == kCodeStart[0]) {
        const auto *end = static_cast<const char *>(memchr(at, kCodeEnd[0], static_cast<size_t>(stop - at)));
        if (end == nullptr || end + 1 == stop) {
            break;
        }
        const char *from = end + 1;
        const auto *next = static_cast<const char *>(memchr(from, kCodeStart[0], static_cast<size_t>(stop - from)));
        next = next != nullptr ? next : stop;
        memmove(kept, from, static_cast<size_t>(next - from));
        kept += next - from;
        at = next;
    }
    const bool codeLeft = *at == kCodeStart[0];
    memmove(kept, at, static_cast<size_t>(stop - at));
    kept += stop - at;
    *kept = '\0';
    *length = static_cast<int32_t>(kept - text);
    return codeLeft;
}

// "\M+" codes give double-byte characters; failing those, "\U+" codes give
// UTF-16 (character set 51); otherwise the bytes go out as they are, as
// they do at once when the strip left no backslash to start a code.
void TextData::p_convertText(int32_t *charset, char *buffer, int32_t *outLength, char *text, int32_t length,
                             bool mayHoldCodes)
{
    *charset = DWG_CHARSET_BYTES;
    if (mayHoldCodes && p_decodeEscapes(buffer, outLength, text) > 0) {
        return;
    }
    if (mayHoldCodes && p_decodeUnicode(buffer, length + 1, outLength, text) > 0) {
        *charset = DWG_CHARSET_UTF16BE;
        return;
    }
    memcpy(buffer, text, static_cast<size_t>(length));
    buffer[length] = '\0';
    *outLength = length;
}

// Splits the text at "\M+" and turns every piece, plain text before the
// first code included, into the two bytes of its number. Every piece but
// the last holds at least one byte and is followed by the three-byte code,
// so the output never outgrows the text's buffer.
int32_t TextData::p_decodeEscapes(char *buffer, int32_t *outLength, char *text)
{
    if (findString(text, kMultibyteCode) < 0) {
        return 0;
    }
    int32_t out = 0;
    int32_t count = forEachPiece(text, kMultibyteCode, [buffer, &out](char *piece) {
        uint16_t character = multibyteCharacter(piece);
        buffer[out++] = static_cast<char>(character >> 8);
        buffer[out++] = static_cast<char>(character & 0xFF);
        return true;
    });
    buffer[out] = '\0';
    *outLength = out;
    return count;
}

// The whole text as UTF-16BE, used only when it holds a "\U+" code and the
// units with their zero byte fit in capacity bytes. Answers the number of
// units written, 0 when nothing was decoded.
int32_t TextData::p_decodeUnicode(char *buffer, int32_t capacity, int32_t *outLength, const char *text)
{
    int32_t units = 0;
    int32_t codes = forEachUnicodeUnit(text, [&units](uint16_t) { ++units; });
    if (codes == 0 || 2 * static_cast<int64_t>(units) + 1 > capacity) {
        return 0;
    }
    int32_t out = 0;
    forEachUnicodeUnit(text, [buffer, &out](uint16_t unit) {
        buffer[out++] = static_cast<char>(unit >> 8);
        buffer[out++] = static_cast<char>(unit & 0xFF);
    });
    buffer[out] = '\0';
    *outLength = out;
    return units;
}

int32_t TextData::p_skipEntity(int32_t start, uint16_t size)
{
    int32_t end = objectEndOffset(start, size);
    if (end < 0 || stream_->SeekPos(end) != 1) {
        reportf(session_, msg::kSeekPos, HERE);
        return 0;
    }
    return 1;
}
