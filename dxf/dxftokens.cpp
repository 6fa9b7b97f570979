#include "dxf/dxftokens.h"

#include <array>
#include <cstring>

#include "support/byteswap.h"
#include "support/filestrmio.h"

namespace {

// The sentinel that opens a binary DXF file.
constexpr uint8_t kBinarySentinel[] = "AutoCAD Binary DXF\r\n\x1a";
constexpr int32_t kSentinelSize = sizeof kBinarySentinel;  // its zero byte included
static_assert(kSentinelSize == 22);

// Every file, in either encoding, opens with the group 0 SECTION (an
// ASCII one may have a comment, group 999, before it).
constexpr char kFirstValue[] = "SECTION";
constexpr int32_t kCommentCode = 999;
// Some programs put UTF-8's byte order mark before an ASCII file's first
// line.
constexpr uint8_t kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
constexpr int32_t kByteOrderMarkSize = sizeof kByteOrderMark;

// In binary files before R13 a code byte of 255 is followed by the code
// as 16 bits.
constexpr uint8_t kWideCodeByte = 255;

// No DXF value is this long: a line that is, is no value.
constexpr uint32_t kLongestValue = 1u << 20;

constexpr int32_t kLastCode = 1071;

enum class ValueKind : uint8_t { Text, Chunk, Double, Int16, Int32, Int64, Flag, None };

constexpr bool within(int32_t code, int32_t first, int32_t last)
{
    return code >= first && code <= last;
}

// The kind of value each group code has; None for codes DXF has not.
constexpr ValueKind valueKind(int32_t code)
{
    if (within(code, 0, 9) || within(code, 100, 105) || within(code, 300, 309) || within(code, 320, 369) ||
        within(code, 390, 399) || within(code, 410, 419) || within(code, 430, 439) || within(code, 470, 481) ||
        code == kCommentCode || within(code, 1000, 1003) || within(code, 1005, 1009)) {
        return ValueKind::Text;
    }
    if (within(code, 310, 319) || code == 1004) {
        return ValueKind::Chunk;
    }
    if (within(code, 10, 59) || within(code, 110, 149) || within(code, 210, 239) || within(code, 460, 469) ||
        within(code, 1010, 1059)) {
        return ValueKind::Double;
    }
    if (within(code, 60, 79) || within(code, 170, 179) || within(code, 270, 289) || within(code, 370, 389) ||
        within(code, 400, 409) || within(code, 1060, 1070)) {
        return ValueKind::Int16;
    }
    if (within(code, 90, 99) || within(code, 420, 429) || within(code, 440, 459) || code == kLastCode) {
        return ValueKind::Int32;
    }
    if (within(code, 160, 169)) {
        return ValueKind::Int64;
    }
    return within(code, 290, 299) ? ValueKind::Flag : ValueKind::None;
}

// The kind of every code, looked up.
constexpr auto kValueKinds = [] {
    std::array<ValueKind, kLastCode + 1> kinds{};
    for (int32_t code = 0; code <= kLastCode; ++code) {
        kinds[static_cast<size_t>(code)] = valueKind(code);
    }
    return kinds;
}();

int32_t binarySize(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Double:
    case ValueKind::Int64:
        return 8;
    case ValueKind::Int32:
        return 4;
    case ValueKind::Int16:
        return 2;
    case ValueKind::Flag:
        return 1;
    default:
        return 0;
    }
}

bool isBlank(uint8_t byte)
{
    return byte == ' ' || byte == '\t';
}

bool isDigit(uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

// What a byte of a number may be: one of its characters, and a digit.
constexpr uint8_t kNumberByte = 1;
constexpr uint8_t kDigitByte = 2;
constexpr auto kNumberBytes = [] {
    std::array<uint8_t, 256> kinds{};
    for (const char byte : {'.', '-', '+', 'e', 'E'}) {
        kinds[static_cast<uint8_t>(byte)] = kNumberByte;
    }
    for (int32_t digit = '0'; digit <= '9'; ++digit) {
        kinds[static_cast<size_t>(digit)] = kNumberByte | kDigitByte;
    }
    return kinds;
}();

// The value of an ASCII line without the blanks around it.
struct Trimmed {
    const uint8_t *at;
    const uint8_t *end;
};

Trimmed trimmed(const uint8_t *bytes, int32_t length)
{
    const uint8_t *at = bytes;
    const uint8_t *end = bytes + length;
    while (at < end && isBlank(*at)) {
        ++at;
    }
    while (end > at && isBlank(end[-1])) {
        --end;
    }
    return {at, end};
}

// An ASCII integer: an optional sign and digits; false for anything else.
bool parseInteger(const uint8_t *bytes, int32_t length, int64_t *value)
{
    Trimmed text = trimmed(bytes, length);
    const bool negative = text.at < text.end && *text.at == '-';
    if (text.at < text.end && (*text.at == '-' || *text.at == '+')) {
        ++text.at;
    }
    if (text.at == text.end || text.end - text.at > 18) {
        return false;
    }
    int64_t number = 0;
    for (; text.at < text.end; ++text.at) {
        if (!isDigit(*text.at)) {
            return false;
        }
        number = number * 10 + (*text.at - '0');
    }
    *value = negative ? -number : number;
    return true;
}

// Nearly every number a file holds is of digits, a point and a minus
// sign, without blanks or exponent, and 8 bytes or longer: such a number
// is checked 8 bytes at a time. Each byte is below 0x80, so adding to one
// carries into no other.
constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kHighBits = kOnes * 0x80;

uint64_t wordAt(const uint8_t *bytes)
{
    uint64_t word = 0;
    memcpy(&word, bytes, sizeof word);
    return word;
}

// The high bit of each byte that is limit or above.
uint64_t atLeast(uint64_t word, uint8_t limit)
{
    return (word + kOnes * (0x80u - limit)) & kHighBits;
}

bool holdsByte(uint64_t word, uint8_t byte)
{
    const uint64_t zeroWhereByte = word ^ (kOnes * byte);
    return ((zeroWhereByte - kOnes) & ~zeroWhereByte & kHighBits) != 0;
}

// '-' to '9' are the minus, the point, '/' and the digits.
bool plainNumberWord(uint64_t word)
{
    return (word & kHighBits) == 0 && atLeast(word, '-') == kHighBits && atLeast(word, '9' + 1) == 0 &&
           !holdsByte(word, '/');
}

// The last word read overlaps the one before it unless the length is a
// multiple of 8.
bool isPlainNumber(const uint8_t *bytes, int32_t length)
{
    constexpr int32_t kWord = 8;
    uint64_t digits = 0;
    for (int32_t at = 0;; at += kWord) {
        at = at < length - kWord ? at : length - kWord;
        const uint64_t word = wordAt(bytes + at);
        if (!plainNumberWord(word)) {
            return false;
        }
        digits |= atLeast(word, '0');
        if (at == length - kWord) {
            return digits != 0;
        }
    }
}

// An ASCII number as C writes one: sign, digits, a point, digits, an
// exponent. Checked only for its characters: nothing reads the numbers of
// most groups.
bool looksNumeric(const uint8_t *bytes, int32_t length)
{
    if (length >= 8 && isPlainNumber(bytes, length)) {
        return true;
    }
    const Trimmed text = trimmed(bytes, length);
    uint8_t every = kNumberByte;
    uint8_t seen = 0;
    for (const uint8_t *at = text.at; at < text.end; ++at) {
        every &= kNumberBytes[*at];
        seen |= kNumberBytes[*at];
    }
    return every != 0 && (seen & kDigitByte) != 0;
}

constexpr int64_t kMillisecondsPerDay = 86'400'000;

// A fraction that rounds up to a whole day is the next day's start.
JulianTime julianTime(int64_t day, int64_t milliseconds)
{
    const int64_t carried = milliseconds / kMillisecondsPerDay;
    return JulianTime{static_cast<int32_t>(day + carried), static_cast<int32_t>(milliseconds % kMillisecondsPerDay),
                      true};
}

}  // namespace

bool DxfTokens::recognise()
{
    const uint8_t *bytes = nullptr;
    const int32_t held = stream_->viewWithCursor(0, cursor_, &bytes);
    if (held >= kSentinelSize + 2 && memcmp(bytes, kBinarySentinel, kSentinelSize) == 0) {
        encoding_ = bytes[kSentinelSize + 1] == 0 ? DxfEncoding::Binary16 : DxfEncoding::Binary8;
        position_ = kSentinelSize;
    } else {
        encoding_ = DxfEncoding::Ascii;
        position_ = held >= kByteOrderMarkSize && memcmp(bytes, kByteOrderMark, kByteOrderMarkSize) == 0
                        ? kByteOrderMarkSize
                        : 0;
        p_noteLineEnd(bytes, held);
    }
    DxfGroup group{};
    TokenResult result = next(&group);
    if (result == TokenResult::Group && group.code == kCommentCode && encoding_ == DxfEncoding::Ascii) {
        result = next(&group);
    }
    const Trimmed value = trimmed(group.value, group.length);
    const bool opens = result == TokenResult::Group && group.code == 0 &&
                       value.end - value.at == static_cast<int32_t>(sizeof kFirstValue - 1) &&
                       memcmp(value.at, kFirstValue, sizeof kFirstValue - 1) == 0;
    position_ = groupStart_;
    return opens;
}

// Lines end in LF, CR LF or CR alone: a file whose first line ends in a CR
// that no LF follows is read with CR as its line end.
void DxfTokens::p_noteLineEnd(const uint8_t *bytes, int32_t held)
{
    for (int32_t at = 0; at < held; ++at) {
        if (bytes[at] == '\n') {
            return;
        }
        if (bytes[at] == '\r') {
            lineEnd_ = at + 1 < held && bytes[at + 1] == '\n' ? '\n' : '\r';
            return;
        }
    }
}

// The line-by-line reading may move the cursor's window: the one held here
// is then taken anew.
TokenResult DxfTokens::p_nextOutsideWindow(DxfGroup *group)
{
    const TokenResult result = encoding_ == DxfEncoding::Ascii ? p_nextAscii(group) : p_nextBinary(group);
    leaveWindow();
    return result;
}

// A code line, then a value line. The end of the file before a code line
// is the end between groups; a file ending after it was cut.
TokenResult DxfTokens::p_nextAscii(DxfGroup *group)
{
    Piece line{};
    TokenResult result = p_line(&line);
    if (result != TokenResult::Group) {
        return result;
    }
    int64_t code = 0;
    if (!parseInteger(line.bytes, line.length, &code) || code < 0 || code > kLastCode) {
        return TokenResult::Malformed;
    }
    const ValueKind kind = kValueKinds[static_cast<size_t>(code)];
    if (kind == ValueKind::None) {
        return TokenResult::Malformed;
    }
    result = p_line(&line);
    if (result == TokenResult::Cut && code == 0 && lineOpen_) {
        result = TokenResult::Group;
    }
    if (result != TokenResult::Group) {
        return result == TokenResult::End ? TokenResult::Cut : result;
    }
    if (binarySize(kind) != 0 && !looksNumeric(line.bytes, line.length)) {
        return TokenResult::Malformed;
    }
    *group = DxfGroup{static_cast<int32_t>(code), line.bytes, line.length};
    return TokenResult::Group;
}

// Nearly every group is a code line of a few spaces and digits and a value
// line, both whole in the window: they are read there. The code line is
// read without looking for the window's end, in the room asked for (its
// padding, digits and line end); the value line's end is looked for once.
// Any other group is read line by line, which judges it.
bool DxfTokens::p_groupInWindow(DxfGroup *group)
{
    constexpr int32_t kMostPadding = 3;
    constexpr int32_t kMostDigits = 4;
    constexpr int32_t kCodeLineRoom = kMostPadding + kMostDigits + 2;
    const uint8_t *at = p_windowAtPosition();
    const uint8_t *end = window_ + windowLength_;
    if (end - at < kCodeLineRoom) {
        return false;
    }
    const uint8_t *padEnd = at + kMostPadding;
    while (at < padEnd && *at == ' ') {
        ++at;
    }
    const uint8_t *first = at;
    int32_t code = 0;
    for (; at - first < kMostDigits && isDigit(*at); ++at) {
        code = code * 10 + (*at - '0');
    }
    if (at == first) {
        return false;
    }
    at += *at == '\r' && lineEnd_ == '\n' ? 1 : 0;
    if (*at != lineEnd_ || code > kLastCode) {
        return false;
    }
    const uint8_t *value = at + 1;
    const auto *valueEnd = static_cast<const uint8_t *>(memchr(value, lineEnd_, static_cast<size_t>(end - value)));
    const ValueKind kind = kValueKinds[static_cast<size_t>(code)];
    if (valueEnd == nullptr || kind == ValueKind::None) {
        return false;
    }
    int32_t length = static_cast<int32_t>(valueEnd - value);
    length -= length > 0 && lineEnd_ == '\n' && valueEnd[-1] == '\r' ? 1 : 0;
    if (binarySize(kind) != 0 && !looksNumeric(value, length)) {
        return false;
    }
    position_ = windowStart_ + (valueEnd + 1 - window_);
    *group = DxfGroup{code, value, length};
    return true;
}

// The same for a binary group: a code of the file's width (not the byte
// that announces a wide one), then a text ended in the window, a chunk of
// one byte or more, or a number.
bool DxfTokens::p_binaryGroupInWindow(DxfGroup *group)
{
    constexpr int32_t kWidestCode = 2;
    const uint8_t *at = p_windowAtPosition();
    const uint8_t *end = window_ + windowLength_;
    if (end - at <= kWidestCode) {
        return false;
    }
    const bool wide = encoding_ == DxfEncoding::Binary16;
    const int32_t code = wide ? static_cast<int16_t>(littleEndian16(at)) : at[0];
    at += wide ? 2 : 1;
    if (code < 0 || code > kLastCode || (!wide && code == kWideCodeByte)) {
        return false;
    }
    const ValueKind kind = kValueKinds[static_cast<size_t>(code)];
    const uint8_t *value = at;
    int32_t length = binarySize(kind);
    const uint8_t *next = value + length;
    if (kind == ValueKind::Text) {
        const auto *zero = static_cast<const uint8_t *>(memchr(value, 0, static_cast<size_t>(end - value)));
        if (zero == nullptr) {
            return false;
        }
        length = static_cast<int32_t>(zero - value);
        next = zero + 1;
    } else if (kind == ValueKind::Chunk) {
        length = at[0];
        value = at + 1;
        next = value + length;
    }
    if (kind == ValueKind::None || (kind == ValueKind::Chunk && length == 0) || next > end) {
        return false;
    }
    position_ = windowStart_ + (next - window_);
    *group = DxfGroup{code, value, length};
    return true;
}

// The window's bytes at the position, the window taken anew when the
// position left it (none past the end of the file).
const uint8_t *DxfTokens::p_windowAtPosition()
{
    int64_t offset = position_ - windowStart_;
    if (offset < 0 || offset >= windowLength_) {
        windowLength_ = stream_->viewWithCursor(position_, cursor_, &window_);
        windowStart_ = position_;
        offset = 0;
    }
    return window_ + offset;
}

// A line without its ending (a CR before an LF goes with it).
TokenResult DxfTokens::p_line(Piece *piece)
{
    lineOpen_ = false;
    const TokenResult result = p_until(lineEnd_, piece);
    const bool read = result == TokenResult::Group || lineOpen_;
    if (read && lineEnd_ == '\n' && piece->length > 0 && piece->bytes[piece->length - 1] == '\r') {
        --piece->length;
    }
    return result;
}

TokenResult DxfTokens::p_binaryCode(int32_t *code)
{
    Piece piece{};
    const bool wide = encoding_ == DxfEncoding::Binary16;
    TokenResult result = p_fixed(wide ? 2 : 1, &piece);
    if (result != TokenResult::Group) {
        return result;
    }
    *code = wide ? static_cast<int16_t>(littleEndian16(piece.bytes)) : piece.bytes[0];
    if (!wide && *code == kWideCodeByte) {
        result = p_fixed(2, &piece);
        *code = static_cast<int16_t>(littleEndian16(piece.bytes));
    }
    return result == TokenResult::End ? TokenResult::Cut : result;
}

TokenResult DxfTokens::p_nextBinary(DxfGroup *group)
{
    int32_t code = 0;
    TokenResult result = p_binaryCode(&code);
    if (result != TokenResult::Group) {
        return result;
    }
    const ValueKind kind = code < 0 || code > kLastCode ? ValueKind::None : kValueKinds[static_cast<size_t>(code)];
    Piece value{};
    if (kind == ValueKind::None) {
        return TokenResult::Malformed;
    }
    if (kind == ValueKind::Text) {
        result = p_until(0, &value);
    } else if (kind == ValueKind::Chunk) {
        result = p_fixed(1, &value);
        result = result == TokenResult::Group ? p_fixed(value.bytes[0], &value) : result;
        result = result == TokenResult::Group ? result : TokenResult::Malformed;
    } else {
        result = p_fixed(binarySize(kind), &value);
    }
    if (result != TokenResult::Group) {
        return result == TokenResult::End ? TokenResult::Cut : result;
    }
    *group = DxfGroup{code, value.bytes, value.length};
    return TokenResult::Group;
}

// count bytes from the position on, in place or copied.
TokenResult DxfTokens::p_fixed(int32_t count, Piece *piece)
{
    if (count == 0) {
        *piece = Piece{nullptr, 0};
        return TokenResult::Group;
    }
    const FileStream::Span span = stream_->span(position_, count);
    if (span.length == 0) {
        return TokenResult::End;
    }
    if (span.length < count) {
        return TokenResult::Cut;
    }
    position_ += count;
    *piece = Piece{span.bytes, count};
    return TokenResult::Group;
}

// The bytes up to the terminator, which is passed over. Nearly always they
// lie in the window; the rest is copied.
TokenResult DxfTokens::p_until(uint8_t terminator, Piece *piece)
{
    const uint8_t *bytes = nullptr;
    const int32_t held = stream_->viewWithCursor(position_, cursor_, &bytes);
    if (held <= 0) {
        return TokenResult::End;
    }
    const auto *found = static_cast<const uint8_t *>(memchr(bytes, terminator, static_cast<size_t>(held)));
    if (found == nullptr) {
        return p_untilInCarry(terminator, bytes, held, piece);
    }
    const auto length = static_cast<int32_t>(found - bytes);
    position_ += length + 1;
    *piece = Piece{bytes, length};
    return TokenResult::Group;
}

TokenResult DxfTokens::p_untilInCarry(uint8_t terminator, const uint8_t *bytes, int32_t held, Piece *piece)
{
    carryLength_ = 0;
    for (;;) {
        const auto *found = static_cast<const uint8_t *>(memchr(bytes, terminator, static_cast<size_t>(held)));
        const int32_t taken = found == nullptr ? held : static_cast<int32_t>(found - bytes);
        if (carryLength_ + static_cast<uint32_t>(taken) > kLongestValue) {
            return TokenResult::Malformed;
        }
        auto *carry = static_cast<uint8_t *>(carry_.reserve(memory_, carryLength_ + static_cast<uint32_t>(taken) + 1));
        if (carry == nullptr) {
            return TokenResult::Malformed;
        }
        memcpy(carry + carryLength_, bytes, static_cast<size_t>(taken));
        carryLength_ += static_cast<uint32_t>(taken);
        position_ += taken;
        if (found != nullptr) {
            ++position_;
            *piece = Piece{carry, static_cast<int32_t>(carryLength_)};
            return TokenResult::Group;
        }
        held = stream_->viewWithCursor(position_, cursor_, &bytes);
        if (held <= 0) {
            lineOpen_ = position_ == static_cast<int64_t>(stream_->size());
            *piece = Piece{carry, static_cast<int32_t>(carryLength_)};
            return TokenResult::Cut;
        }
    }
}

bool DxfTokens::integerOf(const DxfGroup &group, int64_t *value) const
{
    if (encoding_ == DxfEncoding::Ascii) {
        return parseInteger(group.value, group.length, value);
    }
    switch (group.length) {
    case 1:
        *value = static_cast<int8_t>(group.value[0]);
        return true;
    case 2:
        *value = static_cast<int16_t>(littleEndian16(group.value));
        return true;
    case 4:
        *value = static_cast<int32_t>(littleEndian32(group.value));
        return true;
    case 8:
        *value = static_cast<int64_t>(littleEndian64(group.value));
        return valueKind(group.code) == ValueKind::Int64;
    default:
        return false;
    }
}

// A Julian date as days and milliseconds. In ASCII the digits are read as
// they stand, so that no rounding of a double moves a moment.
bool DxfTokens::julianOf(const DxfGroup &group, JulianTime *value) const
{
    double days = 0;
    if (encoding_ != DxfEncoding::Ascii) {
        if (group.length != 8) {
            return false;
        }
        const uint64_t bits = littleEndian64(group.value);
        memcpy(&days, &bits, sizeof days);
        if (!(days >= 0 && days < 1e8)) {
            return false;
        }
        const auto day = static_cast<int64_t>(days);
        *value = julianTime(day, static_cast<int64_t>((days - static_cast<double>(day)) * kMillisecondsPerDay + 0.5));
        return true;
    }
    const Trimmed text = trimmed(group.value, group.length);
    const uint8_t *at = text.at;
    int64_t day = 0;
    for (; at < text.end && isDigit(*at) && day < 100'000'000; ++at) {
        day = day * 10 + (*at - '0');
    }
    if (at == text.at || (at < text.end && *at != '.')) {
        return false;
    }
    int64_t fraction = 0;
    int64_t scale = 1;
    for (at += at < text.end ? 1 : 0; at < text.end && isDigit(*at) && scale < 100'000'000'000; ++at) {
        fraction = fraction * 10 + (*at - '0');
        scale *= 10;
    }
    const int64_t milliseconds = (fraction * kMillisecondsPerDay + scale / 2) / scale;
    *value = julianTime(day, milliseconds);
    return true;
}
