#include "r13/widetext.h"

#include "TQDUDADE.h"

namespace {

constexpr uint16_t kCodeStart = '\\';
constexpr uint16_t kCodeEnd = ';';
constexpr int32_t kCodeLength = 3;  // "\M+"

int32_t find(const uint16_t *text, int32_t from, int32_t units, uint16_t unit)
{
    for (int32_t at = from; at < units; ++at) {
        if (text[at] == unit) {
            return at;
        }
    }
    return -1;
}

int32_t zeroEnd(const uint16_t *text, int32_t units)
{
    const int32_t zero = find(text, 0, units, 0);
    return zero < 0 ? units : zero;
}

bool isCodeAt(const uint16_t *text, int32_t at, int32_t units, uint16_t letter)
{
    return at + kCodeLength <= units && text[at] == kCodeStart && text[at + 1] == letter && text[at + 2] == '+';
}

void putUnit(uint8_t *out, int32_t *count, uint16_t unit)
{
    out[(*count)++] = static_cast<uint8_t>(unit >> 8);
    out[(*count)++] = static_cast<uint8_t>(unit & 0xFF);
}

// The number of one "\M+" piece: the hexadecimal number after its first
// unit (the code page, which is dropped).
uint16_t multibyteCharacter(const uint16_t *piece, int32_t units)
{
    return static_cast<uint16_t>(scanHex(piece + 1, piece + units));
}

// Every piece between "\M+" codes, the one before the first included,
// becomes the two bytes of its number. Codes at the start of what is left
// make no piece, and a text whose codes all stand there is not decoded (0).
int32_t encodeMultibyte(const uint16_t *text, int32_t units, uint8_t *out)
{
    int32_t count = 0;
    int32_t start = 0;
    bool found = false;
    for (int32_t at = 0; at < units; ++at) {
        if (!isCodeAt(text, at, units, 'M')) {
            continue;
        }
        if (at > start) {
            putUnit(out, &count, multibyteCharacter(text + start, at - start));
            found = true;
        }
        start = at + kCodeLength;
        at = start - 1;
    }
    if (found) {
        putUnit(out, &count, start < units ? multibyteCharacter(text + start, units - start) : 0);
    }
    return count;
}

}  // namespace

int32_t stripWideFormat(uint16_t *text, int32_t units)
{
    units = zeroEnd(text, units);
    if (units == 0 || text[0] != kCodeStart) {
        return units;
    }
    int32_t kept = 0;
    int32_t at = 0;
    while (at < units && text[at] == kCodeStart) {
        const int32_t end = find(text, at, units, kCodeEnd);
        if (end < 0 || end + 1 == units) {
            break;
        }
        const int32_t found = find(text, end + 1, units, kCodeStart);
        const int32_t next = found < 0 ? units : found;
        for (int32_t i = end + 1; i < next; ++i) {
            text[kept++] = text[i];
        }
        at = next;
    }
    while (at < units) {
        text[kept++] = text[at++];
    }
    return kept;
}

// A text without a backslash holds no code, and most texts hold none: its
// units go out as they are, without a search for codes at every unit.
int32_t encodeWideText(const uint16_t *text, int32_t units, uint8_t *out, int32_t *charset)
{
    int32_t count = 0;
    *charset = DWG_CHARSET_UTF16BE;
    if (find(text, 0, units, kCodeStart) < 0) {
        for (int32_t at = 0; at < units; ++at) {
            putUnit(out, &count, text[at]);
        }
        return count;
    }
    const int32_t multibyte = encodeMultibyte(text, units, out);
    if (multibyte > 0) {
        *charset = DWG_CHARSET_BYTES;
        return multibyte;
    }
    for (int32_t at = 0; at < units;) {
        uint16_t unit = 0;
        if (unicodeCodeAt(text + at, text + units, &unit)) {
            putUnit(out, &count, unit);
            at += kUnicodeCodeLength;
        } else {
            putUnit(out, &count, text[at++]);
        }
    }
    return count;
}
