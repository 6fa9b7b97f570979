#include "text_output.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "TQDUDADE.h"
#include "formatting.h"

namespace dwgtext {

namespace {

// Length of the valid UTF-8 sequence that starts at bytes[at], or 0. Overlong
// forms, surrogates and values past U+10FFFF are not valid.
std::size_t validSequenceLength(std::string_view bytes, std::size_t at)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byteAt(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byteAt(at + 1) < low || byteAt(at + 1) > high)
        return 0;
    for (std::size_t i = at + 2; i < at + length; ++i) {
        if ((byteAt(i) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// Where the run of ASCII bytes from i on ends: reports and file names are
// mostly ASCII, which is valid as it stands. Eight bytes are looked at in
// one step while none of them has its high bit set.
std::size_t endOfAscii(std::string_view bytes, std::size_t i)
{
    constexpr uint64_t kHighBits = 0x8080808080808080u;
    for (uint64_t word = 0; i + sizeof word <= bytes.size(); i += sizeof word) {
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if ((word & kHighBits) != 0)
            break;
    }
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    return i;
}

// Writes c as UTF-8 at out; answers where its bytes end.
char *putUtf8(char *out, char32_t c)
{
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

void appendUtf8(std::string &out, char32_t c)
{
    char bytes[4];
    out.append(bytes, static_cast<std::size_t>(putUtf8(bytes, c) - bytes));
}

// The line is written into a string long enough for the longest result: a
// unit takes at most three bytes (a pair of them four, a trailing odd byte
// three), and cut to what was written.
std::string utf16beToUtf8(std::string_view bytes)
{
    const std::size_t units = bytes.size() / 2;
    std::string out(3 * units + 3, '\0');
    char *end = out.data();
    auto unitAt = [&](std::size_t i) {
        return static_cast<char32_t>((static_cast<unsigned char>(bytes[2 * i]) << 8) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]));
    };
    // Four ASCII units at a time, as most units of most drawings are: each
    // is a zero byte and one below 0x80.
    std::size_t i = 0;
    for (; i + 4 <= units; i += 4) {
        const char *four = bytes.data() + 2 * i;
        if ((four[0] | four[2] | four[4] | four[6]) != 0 || ((four[1] | four[3] | four[5] | four[7]) & 0x80) != 0)
            break;
        end[0] = four[1];
        end[1] = four[3];
        end[2] = four[5];
        end[3] = four[7];
        end += 4;
    }
    for (; i < units; ++i) {
        const char32_t u = unitAt(i);
        if (u < 0x80) {
            *end++ = static_cast<char>(u);
        } else if (isHighSurrogate(u) && i + 1 < units && isLowSurrogate(unitAt(i + 1))) {
            end = putUtf8(end, joinSurrogates(u, unitAt(i + 1)));
            ++i;
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            end = putUtf8(end, kReplacementCharacter);
        } else {
            end = putUtf8(end, u);
        }
    }
    if (bytes.size() % 2 != 0)
        end = putUtf8(end, kReplacementCharacter);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return out;
}

std::string validUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t asciiEnd = endOfAscii(bytes, i);
        out.append(bytes.substr(i, asciiEnd - i));
        i = asciiEnd;
        if (i == bytes.size())
            break;
        const std::size_t length = validSequenceLength(bytes, i);
        if (length == 0) {
            appendUtf8(out, kReplacementCharacter);
            ++i;
        } else {
            out.append(bytes.substr(i, length));
            i += length;
        }
    }
    return out;
}

std::string withoutTrailingNewlines(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return validUtf8(text);
}

namespace {

// The bytes of printable ASCII in which no code can start ('\\', "%%",
// MTEXT's braces).
constexpr std::array<bool, 256> kPlainBytes = [] {
    std::array<bool, 256> plain{};
    for (std::size_t byte = 0x20; byte < 0x7F; ++byte)
        plain[byte] = true;
    for (const char code : std::string_view("\\%{}"))
        plain[static_cast<unsigned char>(code)] = false;
    return plain;
}();

// A text of those bytes alone is its own plain text: most texts of most
// drawings are.
bool isPlainAlready(std::string_view text)
{
    bool plain = true;
    for (const char c : text)
        plain &= kPlainBytes[static_cast<unsigned char>(c)];
    return plain;
}

}  // namespace

std::string_view TextDecoder::plainText(int32_t charset, const std::string &bytes)
{
    // Plain ASCII bytes of a code page that keeps ASCII decode to themselves.
    if (charset != DWG_CHARSET_UTF16BE && codePage_.keepsAscii() && isPlainAlready(bytes))
        return bytes;
    return decodedLine(charset, bytes);
}

std::string_view TextDecoder::plainTolerance(int32_t charset, const std::string &bytes)
{
    const bool wide = charset == DWG_CHARSET_UTF16BE;
    const std::string text = wide ? utf16beToUtf8(bytes) : codePage_.decode(bytes);
    line_ = singleLine(renderTolerance(text, {!wide, true}));
    return line_;
}

std::string_view TextDecoder::decodedLine(int32_t charset, std::string_view bytes)
{
    const bool wide = charset == DWG_CHARSET_UTF16BE;
    std::string text = wide ? utf16beToUtf8(bytes) : codePage_.decode(bytes);
    line_ = isPlainAlready(text) ? std::move(text) : singleLine(renderCodes(text, {!wide, mtextCodes_}));
    return line_;
}

}  // namespace dwgtext
