// Decoding code pages with the C library's iconv.
#include <cerrno>

#include "codepage.h"

namespace dwgtext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

bool converterKnows(const std::string &name)
{
    const iconv_t probe = iconv_open("UTF-8", name.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(probe);
    return true;
}

CodePageDecoder::CodePageDecoder(const std::string &iconvName)
    : converter_(iconv_open("UTF-8", iconvName.c_str()))
{
}

CodePageDecoder::~CodePageDecoder()
{
    if (converter_ != reinterpret_cast<iconv_t>(-1))
        iconv_close(converter_);
}

std::string CodePageDecoder::decode(std::string_view bytes)
{
    std::string out;
    if (converter_ == reinterpret_cast<iconv_t>(-1)) {
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
