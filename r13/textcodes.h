// The codes in the texts of R13 to R2018 drawings, and the one way they are
// read. Texts are bytes up to R2004 and UTF-16 from R2007 on; the rules
// are the same unit by unit, so each step is written once, over the unit
// type (char or uint16_t):
//   - formatting codes ("\A1;", "\H2.5;") at a text's start are removed;
//   - a multi-line text is cut into paragraphs at "\P";
//   - "\M+" codes give double-byte characters (character set 0);
//   - failing those, "\U+XXXX" codes give the UTF-16 unit they name
//     (character set 51). A code gives its unit whatever it is: a
//     surrogate is a unit like any other, and a pair of codes a pair;
//   - otherwise the text goes out as it is stored: bytes, or UTF-16 high
//     byte first.
// A byte text may hold a zero byte: codes and paragraphs are looked for
// only before the first zero unit.
#ifndef TQ_R13_TEXTCODES_H
#define TQ_R13_TEXTCODES_H

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "TQDUDADE.h"

template <class Unit>
constexpr uint32_t unitValue(Unit unit)
{
    return static_cast<std::make_unsigned_t<Unit>>(unit);
}

// The value of a hexadecimal digit, byte or UTF-16 unit; -1 for any other.
inline int32_t hexDigit(uint32_t unit)
{
    if (unit >= '0' && unit <= '9') {
        return static_cast<int32_t>(unit - '0');
    }
    if (unit >= 'a' && unit <= 'f') {
        return static_cast<int32_t>(unit - 'a' + 10);
    }
    if (unit >= 'A' && unit <= 'F') {
        return static_cast<int32_t>(unit - 'A' + 10);
    }
    return -1;
}

// Reads a number the way the C library's "%x" conversion does: white space,
// an optional sign, an optional "0x", then every hexadecimal digit that
// follows. A value too large for 64 bits becomes all ones, a negative one
// wraps; no digit at all gives 0. Nothing at or past end is looked at.
template <class Unit>
uint64_t scanHex(const Unit *at, const Unit *end)
{
    while (at < end && (unitValue(*at) == ' ' || (unitValue(*at) >= '\t' && unitValue(*at) <= '\r'))) {
        ++at;
    }
    const bool negative = at < end && unitValue(*at) == '-';
    if (at < end && (unitValue(*at) == '+' || unitValue(*at) == '-')) {
        ++at;
    }
    if (end - at > 2 && unitValue(at[0]) == '0' && (unitValue(at[1]) == 'x' || unitValue(at[1]) == 'X') &&
        hexDigit(unitValue(at[2])) >= 0) {
        at += 2;
    }
    uint64_t number = 0;
    bool overflow = false;
    for (; at < end && hexDigit(unitValue(*at)) >= 0; ++at) {
        overflow = overflow || number > (UINT64_MAX >> 4);
        number = number << 4 | static_cast<uint64_t>(hexDigit(unitValue(*at)));
    }
    if (overflow) {
        return UINT64_MAX;
    }
    return negative ? 0 - number : number;
}

// A "\U+XXXX" code: the letters and exactly four hexadecimal digits; a
// fifth digit is not part of it.
constexpr int32_t kUnicodeCodeLength = 7;

// The UTF-16 unit of the "\U+XXXX" code at text, when one stands there
// whole before end.
template <class Unit>
bool unicodeCodeAt(const Unit *text, const Unit *end, uint16_t *unit)
{
    if (end - text < kUnicodeCodeLength || unitValue(text[0]) != '\\' || unitValue(text[1]) != 'U' ||
        unitValue(text[2]) != '+') {
        return false;
    }
    uint32_t number = 0;
    for (int32_t i = 3; i < kUnicodeCodeLength; ++i) {
        const int32_t digit = hexDigit(unitValue(text[i]));
        if (digit < 0) {
            return false;
        }
        number = number << 4 | static_cast<uint32_t>(digit);
    }
    *unit = static_cast<uint16_t>(number);
    return true;
}

namespace textcodes {

// Every code starts with a backslash; a formatting code ends with a
// semicolon.
constexpr uint32_t kCodeStart = '\\';
constexpr uint32_t kCodeEnd = ';';
constexpr char kParagraphBreak[] = "\\P";
constexpr char kMultibyteCode[] = "\\M+";

// The first place in [from, to) that holds unit, or to. Byte texts are
// searched with memchr.
template <class Unit>
int32_t find(const Unit *text, int32_t from, int32_t to, uint32_t unit)
{
    if constexpr (sizeof(Unit) == 1) {
        const void *found = from < to ? memchr(text + from, static_cast<int>(unit), static_cast<size_t>(to - from))
                                      : nullptr;
        return found == nullptr ? to : static_cast<int32_t>(static_cast<const Unit *>(found) - text);
    } else {
        while (from < to && unitValue(text[from]) != unit) {
            ++from;
        }
        return from < to ? from : to;
    }
}

// Where the text ends for codes: at its first zero unit.
template <class Unit>
int32_t textEnd(const Unit *text, int32_t length)
{
    return find(text, 0, length, 0);
}

// Where the text ends for codes, and its first backslash before that (or
// the end): for bytes two memchr, for UTF-16 units one pass up to the
// first backslash, and on to the end only after one.
struct CodeStart {
    int32_t at;
    int32_t end;
};

template <class Unit>
CodeStart findCodeStart(const Unit *text, int32_t length)
{
    if constexpr (sizeof(Unit) == 1) {
        const int32_t end = textEnd(text, length);
        return {find(text, 0, end, kCodeStart), end};
    } else {
        int32_t at = 0;
        while (at < length && text[at] != 0 && text[at] != kCodeStart) {
            ++at;
        }
        return {at, at < length && text[at] != 0 ? at + textEnd(text + at, length - at) : at};
    }
}

// Whether code ("\P", "\M+") stands at `at`, whose backslash is known.
template <class Unit, size_t N>
bool codeAt(const Unit *at, const char (&code)[N])
{
    for (size_t i = 1; i + 1 < N; ++i) {
        if (unitValue(at[i]) != static_cast<uint8_t>(code[i])) {
            return false;
        }
    }
    return true;
}

// The first place of code in [from, end), or end.
template <class Unit, size_t N>
int32_t findCode(const Unit *text, int32_t from, int32_t end, const char (&code)[N])
{
    const int32_t last = end - static_cast<int32_t>(N - 1);
    int32_t at = find(text, from, end, kCodeStart);
    while (at <= last && !codeAt(text + at, code)) {
        at = find(text, at + 1, end, kCodeStart);
    }
    return at <= last ? at : end;
}

// Removes the formatting codes at the start of text, which begins with a
// backslash and ends for codes at stop; answers whether a backslash is
// left. One pass: the kept units move down. Out of line, so that the texts
// without a leading code, nearly all, take a short path.
template <class Unit>
[[gnu::noinline]] bool stripLeadingCodes(Unit *text, int32_t stop, int32_t *length)
{
    int32_t kept = 0;
    int32_t at = 0;
    while (at < stop) {
        const int32_t end = find(text, at, stop, kCodeEnd);
        if (end >= stop - 1) {
            break;
        }
        const int32_t next = find(text, end + 1, stop, kCodeStart);
        memmove(text + kept, text + end + 1, static_cast<size_t>(next - end - 1) * sizeof(Unit));
        kept += next - end - 1;
        at = next;
    }
    memmove(text + kept, text + at, static_cast<size_t>(stop - at) * sizeof(Unit));
    *length = kept + stop - at;
    return at < stop;
}

// Removes the formatting codes at the text's start, in place: from a text
// that begins with one, every backslash up to its next semicolon goes,
// until a backslash has no semicolon after it or its semicolon ends the
// text. The length becomes the text's up to its first zero unit, except
// for a text that holds a backslash there but does not begin with one,
// which is left exactly as it came. Answers whether a backslash is left,
// that is whether the text may hold a code to decode. Most texts hold no
// code: they are looked at once and left.
template <class Unit>
bool stripFormat(Unit *text, int32_t *length)
{
    const CodeStart first = findCodeStart(text, *length);
    if (first.at == first.end) {
        *length = first.end;
        return false;
    }
    return first.at > 0 || stripLeadingCodes(text, first.end, length);
}

inline void putUnit(uint8_t *out, int32_t *count, uint32_t unit)
{
    out[(*count)++] = static_cast<uint8_t>(unit >> 8);
    out[(*count)++] = static_cast<uint8_t>(unit & 0xFF);
}

// The number of one "\M+" piece: the hexadecimal number after its first
// unit (the code page, which is dropped); an empty piece gives 0.
template <class Unit>
uint16_t multibyteCharacter(const Unit *piece, int32_t units)
{
    return units == 0 ? 0 : static_cast<uint16_t>(scanHex(piece + 1, piece + units));
}

// Every piece between "\M+" codes, the one before the first included,
// becomes the two bytes of its number. Codes at the start of what is left
// make no piece, and a text whose codes all stand there gives nothing (0).
// Every piece but the last holds a unit or more and is followed by a code
// of three, so the bytes never outgrow the text.
template <class Unit>
int32_t decodeMultibyte(const Unit *text, int32_t end, uint8_t *out)
{
    constexpr int32_t kCodeLength = sizeof kMultibyteCode - 1;
    int32_t count = 0;
    int32_t start = 0;
    for (int32_t at = findCode(text, 0, end, kMultibyteCode); at < end;
         at = findCode(text, start, end, kMultibyteCode)) {
        if (at > start) {
            putUnit(out, &count, multibyteCharacter(text + start, at - start));
        }
        start = at + kCodeLength;
    }
    if (count > 0) {
        putUnit(out, &count, multibyteCharacter(text + start, end - start));
    }
    return count;
}

// The whole text as UTF-16 high byte first, each "\U+XXXX" code one unit
// and every other unit itself, when it holds a code and the UTF-16 takes
// no more bytes than the text: a byte text's buffer holds its own bytes.
// 0 otherwise.
template <class Unit>
int32_t decodeUnicode(const Unit *text, int32_t end, int32_t length, uint8_t *out)
{
    int64_t codes = 0;
    uint16_t unit = 0;
    for (int32_t at = find(text, 0, end, kCodeStart); at < end; at = find(text, at + 1, end, kCodeStart)) {
        codes += unicodeCodeAt(text + at, text + end, &unit) ? 1 : 0;
    }
    const int64_t units = end - (kUnicodeCodeLength - 1) * codes;
    if (codes == 0 || 2 * units > static_cast<int64_t>(sizeof(Unit)) * length) {
        return 0;
    }
    int32_t count = 0;
    for (int32_t at = 0; at < end;) {
        if (unicodeCodeAt(text + at, text + end, &unit)) {
            putUnit(out, &count, unit);
            at += kUnicodeCodeLength;
        } else {
            putUnit(out, &count, unitValue(text[at++]));
        }
    }
    return count;
}

// The text as stored: its bytes, or its units high byte first.
template <class Unit>
int32_t putAsStored(const Unit *text, int32_t length, uint8_t *out, int32_t *charset)
{
    if constexpr (sizeof(Unit) == 1) {
        memcpy(out, text, static_cast<size_t>(length));
        *charset = DWG_CHARSET_BYTES;
        return length;
    } else {
        int32_t count = 0;
        for (int32_t at = 0; at < length; ++at) {
            putUnit(out, &count, text[at]);
        }
        *charset = DWG_CHARSET_UTF16BE;
        return count;
    }
}

// Writes a stripped text's bytes for the host into out, which holds
// sizeof(Unit) * (length + 1) bytes, with a zero byte after them; answers
// their count, and *charset how to read them. Codes are decoded only when
// the strip left a backslash (codeLeft).
template <class Unit>
int32_t encodeText(const Unit *text, int32_t length, bool codeLeft, uint8_t *out, int32_t *charset)
{
    int32_t count = 0;
    if (codeLeft) {
        const int32_t end = textEnd(text, length);
        count = decodeMultibyte(text, end, out);
        *charset = DWG_CHARSET_BYTES;
        if (count == 0) {
            count = decodeUnicode(text, end, length, out);
            *charset = DWG_CHARSET_UTF16BE;
        }
    }
    if (count == 0) {
        count = putAsStored(text, length, out, charset);
    }
    out[count] = 0;
    return count;
}

// The first "\P" in [from, end), or end, where a zero unit stands at end.
// Bytes are searched with strstr, which stops there.
template <class Unit>
int32_t findParagraphBreak(const Unit *text, int32_t from, int32_t end)
{
    if constexpr (sizeof(Unit) == 1) {
        const char *found = strstr(text + from, kParagraphBreak);
        return found == nullptr ? end : static_cast<int32_t>(found - text);
    } else {
        return findCode(text, from, end, kParagraphBreak);
    }
}

// Cuts the text, which a zero unit follows, at each "\P" and hands every
// paragraph (units, length) to visit as soon as it is cut: breaks at the
// start of what is left make none, and once one was made what follows the
// last break is the last, possibly empty. A text without a break is handed
// over whole, with its length as it came; one whose breaks all stand at
// its start gives none. False as soon as visit answers false.
template <class Unit, class Visit>
bool forEachParagraph(Unit *text, int32_t length, Visit visit)
{
    constexpr int32_t kBreakLength = sizeof kParagraphBreak - 1;
    int32_t at = findParagraphBreak(text, 0, length);
    if (at == length || textEnd(text, at) < at) {
        return visit(text, length);
    }
    const int32_t end = at + textEnd(text + at, length - at);
    int32_t start = 0;
    bool made = false;
    for (; at < end; at = findParagraphBreak(text, start, end)) {
        if (at > start) {
            if (!visit(text + start, at - start)) {
                return false;
            }
            made = true;
        }
        start = at + kBreakLength;
    }
    return !made || visit(text + start, end - start);
}

}  // namespace textcodes

#endif
