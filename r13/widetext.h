// The texts of R2007 and later drawings are UTF-16. The rules that the
// byte texts of earlier releases follow apply to them unit by unit: the
// formatting codes at a text's start are removed, "\U+XXXX" codes become
// the unit they name, "\M+" codes the double-byte character they give, and
// an MTEXT is cut into paragraphs at "\P". A text goes to the host as
// UTF-16 high byte first (character set 51), or, where "\M+" codes gave
// double-byte characters, as those bytes (character set 0).
#ifndef TQ_R13_WIDETEXT_H
#define TQ_R13_WIDETEXT_H

#include <cstdint>
#include <type_traits>

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
// wraps; no digit at all gives 0. Bytes or UTF-16 units; nothing at or past
// end is looked at.
template <class Unit>
uint64_t scanHex(const Unit *at, const Unit *end)
{
    const auto value = [](Unit unit) { return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(unit)); };
    while (at < end && (value(*at) == ' ' || (value(*at) >= '\t' && value(*at) <= '\r'))) {
        ++at;
    }
    const bool negative = at < end && value(*at) == '-';
    if (at < end && (value(*at) == '+' || value(*at) == '-')) {
        ++at;
    }
    if (end - at > 2 && value(at[0]) == '0' && (value(at[1]) == 'x' || value(at[1]) == 'X') &&
        hexDigit(value(at[2])) >= 0) {
        at += 2;
    }
    uint64_t number = 0;
    bool overflow = false;
    for (; at < end && hexDigit(value(*at)) >= 0; ++at) {
        overflow = overflow || number > (UINT64_MAX >> 4);
        number = number << 4 | static_cast<uint64_t>(hexDigit(value(*at)));
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
// whole before end. Bytes or UTF-16 units.
template <class Unit>
bool unicodeCodeAt(const Unit *text, const Unit *end, uint16_t *unit)
{
    const auto value = [](Unit u) { return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(u)); };
    if (end - text < kUnicodeCodeLength || value(text[0]) != '\\' || value(text[1]) != 'U' || value(text[2]) != '+') {
        return false;
    }
    uint32_t number = 0;
    for (int32_t i = 3; i < kUnicodeCodeLength; ++i) {
        const int32_t digit = hexDigit(value(text[i]));
        if (digit < 0) {
            return false;
        }
        number = number << 4 | static_cast<uint32_t>(digit);
    }
    *unit = static_cast<uint16_t>(number);
    return true;
}

// Removes the leading formatting codes in place, as the byte rule does,
// and answers the length that is left (up to the first zero unit).
int32_t stripWideFormat(uint16_t *text, int32_t units);

// Writes the text's bytes for the host into out, which holds 2 * units + 2
// bytes, and answers their count; *charset says how to read them.
int32_t encodeWideText(const uint16_t *text, int32_t units, uint8_t *out, int32_t *charset);

// Cuts the text in place at each "\P" and hands every paragraph (pointer,
// units) to visit, as the byte rule cuts paragraphs: breaks at the start of
// what is left make none, and once one was made what follows the last
// break is the last, possibly empty. Answers the number handed over (0 for
// a text without a break, which the caller emits whole), or -1 as soon as
// visit answers false.
template <class Visit>
int32_t forEachWideParagraph(uint16_t *text, int32_t units, Visit visit)
{
    int32_t count = 0;
    int32_t start = 0;
    for (int32_t at = 0; at + 1 < units; ++at) {
        if (text[at] != '\\' || text[at + 1] != 'P') {
            continue;
        }
        if (at > start) {
            if (!visit(text + start, at - start)) {
                return -1;
            }
            ++count;
        }
        start = at + 2;
        ++at;
    }
    if (count == 0) {
        return 0;
    }
    return visit(text + start, units - start) ? count + 1 : -1;
}

#endif
