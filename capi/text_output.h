// Turning delivered texts into UTF-8 for the terminal.
#ifndef DWGTEXT_TEXT_OUTPUT_H
#define DWGTEXT_TEXT_OUTPUT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "codepage.h"

namespace dwgtext {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// UTF-16's one rule for the characters past U+FFFF: a high surrogate
// followed by a low one stands for one character; either alone for none.
inline bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
inline char32_t joinSurrogates(char32_t high, char32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }

void appendUtf8(std::string &out, char32_t c);

// UTF-16 with the high byte first, as in texts of character-set code 51, to
// UTF-8. Surrogate pairs are joined; a lone surrogate or a trailing odd byte
// becomes U+FFFD.
std::string utf16beToUtf8(std::string_view bytes);

// The bytes with every one that starts no valid UTF-8 sequence replaced by
// U+FFFD; for file names and report texts, which may hold anything.
std::string validUtf8(std::string_view bytes);

// A report of the library as one line of valid UTF-8: without the line
// breaks it ends in.
std::string withoutTrailingNewlines(std::string_view text);

// Turns the texts of one drawing into lines of plain text: code-51 texts
// are decoded from UTF-16BE, all others from the drawing's code page; then
// their codes are rendered (with MTEXT codes only where the drawing may hold
// MTEXT) and the result made one line (formatting.h).
class TextDecoder {
public:
    TextDecoder(const std::string &codePage, bool mtextCodes) : codePage_(codePage), mtextCodes_(mtextCodes) {}

    // The line of one text, with a NUL after it: bytes itself when they are
    // their own line already, as most texts are, else a line of the
    // decoder's, kept until the next call.
    std::string_view plainText(int32_t charset, const std::string &bytes);
    // The same for a tolerance frame's string, whose codes are its own.
    std::string_view plainTolerance(int32_t charset, const std::string &bytes);

private:
    // The line of a text that has to be decoded, or its codes rendered.
    std::string_view decodedLine(int32_t charset, std::string_view bytes);

    CodePageDecoder codePage_;
    bool mtextCodes_;
    std::string line_;
};

}  // namespace dwgtext

#endif
