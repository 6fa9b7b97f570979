// Turning delivered texts into bytes for the terminal.
#ifndef DWGTEXT_TEXT_OUTPUT_H
#define DWGTEXT_TEXT_OUTPUT_H

#include <cstdint>
#include <string>
#include <string_view>

namespace dwgtext {

// UTF-16 with the high byte first, as in texts of character-set code 51, to
// UTF-8. Surrogate pairs are joined; a lone surrogate or a trailing odd byte
// becomes U+FFFD.
std::string utf16beToUtf8(std::string_view bytes);

// One delivered text as it is printed: code-51 texts converted to UTF-8,
// other texts byte for byte.
std::string printableText(int32_t charset, std::string_view bytes);

}  // namespace dwgtext

#endif
