// Turning delivered texts into UTF-8 for the terminal.
#ifndef DWGTEXT_TEXT_OUTPUT_H
#define DWGTEXT_TEXT_OUTPUT_H

#include <cstdint>
#include <string>
#include <string_view>

#include "codepage.h"

namespace dwgtext {

// UTF-16 with the high byte first, as in texts of character-set code 51, to
// UTF-8. Surrogate pairs are joined; a lone surrogate or a trailing odd byte
// becomes U+FFFD.
std::string utf16beToUtf8(std::string_view bytes);

// Replaces every "\U+XXXX" (four hexadecimal digits) by that character. Two
// codes that form a surrogate pair give one character; a lone surrogate
// gives U+FFFD. "\U+" without four digits after it stays as it is.
std::string expandUnicodeEscapes(std::string_view utf8);

// The bytes with every one that starts no valid UTF-8 sequence replaced by
// U+FFFD; for file names and report texts, which may hold anything.
std::string validUtf8(std::string_view bytes);

// Decodes the texts of one drawing: code-51 texts from UTF-16BE, all others
// from the drawing's code page, then their "\U+" codes.
class TextDecoder {
public:
    explicit TextDecoder(const std::string &codePage) : codePage_(codePage) {}

    std::string decode(int32_t charset, std::string_view bytes);

private:
    CodePageDecoder codePage_;
};

}  // namespace dwgtext

#endif
