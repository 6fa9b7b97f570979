// Decoding code pages with the C library's iconv.
#include <cerrno>

#include "codepage.h"

namespace dwgtext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool isAscii(std::string_view bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

}  // namespace

bool converterKnows(const std::string &name)
{
    const iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == kNoConverter)
        return false;
    iconv_close(converter);
    return true;
}

CodePageDecoder::CodePageDecoder(const std::string &iconvName)
    : keepsAscii_(pageKeepsAscii(iconvName)), name_(iconvName)
{
}

CodePageDecoder::~CodePageDecoder()
{
    if (lookedUp_ && converter_ != kNoConverter)
        iconv_close(converter_);
}

std::string CodePageDecoder::decode(std::string_view bytes)
{
    if (keepsAscii_ && isAscii(bytes))
        return std::string(bytes);
    std::string out;
    if (!lookedUp_) {
        converter_ = iconv_open("UTF-8", name_.c_str());
        lookedUp_ = true;
    }
    if (converter_ == kNoConverter) {
        for (char c : bytes)
            static_cast<unsigned char>(c) < 0x80 ? out += c : out += kReplacement;
        return out;
    }
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char chunk[1024];
    while (inLeft > 0) {
        char *outAt = chunk;
        std::size_t outLeft = sizeof chunk;
        const std::size_t result = iconv(converter_, &in, &inLeft, &outAt, &outLeft);
        out.append(chunk, static_cast<std::size_t>(outAt - chunk));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte that starts no character here, or a character cut off
            // at the end of the text.
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(converter_, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace dwgtext
