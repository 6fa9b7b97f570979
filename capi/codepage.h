// Code pages: the numbers R13-R2000 drawings record in their file header,
// their names, and decoding their bytes to UTF-8: with iconv, or on Windows
// with the system's code pages (codepage_iconv.cpp, codepage_windows.cpp).
#ifndef DWGTEXT_CODEPAGE_H
#define DWGTEXT_CODEPAGE_H

#ifndef _WIN32
#include <iconv.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dwgtext {

// What byte texts are decoded from when the drawing records no usable code page.
inline constexpr std::string_view kDefaultCodePage = "ANSI_1252";

// The name a drawing gives code page number (for example 30 -> "ANSI_1252");
// empty for 0 ("undefined") and numbers outside the table.
std::string_view codePageName(int32_t number);

// The iconv name for a drawing's name ("DOS932") or an iconv name
// ("SHIFT_JIS"); empty when iconv cannot decode from it.
std::string iconvNameFor(std::string_view name);

// Whether the converter can decode from the code page of this iconv name.
bool converterKnows(const std::string &iconvName);

// Whether the code page of this iconv name keeps ASCII as it is, so that a
// text of ASCII bytes alone is its own UTF-8: the Windows and ISO
// single-byte code pages, which most drawings record, do.
bool pageKeepsAscii(std::string_view iconvName);

// The iconv name to decode a drawing's byte texts from: the one its header
// records if known, otherwise the default.
std::string drawingCodePage(int32_t recorded);

// Decodes bytes of one code page to UTF-8. Bytes that do not decode become
// U+FFFD, so the result is always valid UTF-8.
class CodePageDecoder {
public:
    explicit CodePageDecoder(const std::string &iconvName);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder &) = delete;
    CodePageDecoder &operator=(const CodePageDecoder &) = delete;

    std::string decode(std::string_view bytes);
    bool keepsAscii() const { return keepsAscii_; }

private:
    bool keepsAscii_;
#ifdef _WIN32
    unsigned codePage_;  // Windows code-page number; 0 when it has none
#else
    std::string name_;
    iconv_t converter_{};     // its own, opened at the first text
    bool lookedUp_ = false;
#endif
};

}  // namespace dwgtext

#endif
