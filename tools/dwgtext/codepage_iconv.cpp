// Decoding code pages with the C library's iconv.
#include <cerrno>
#include <functional>
#include <map>

#include "codepage.h"

namespace dwgtext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// This thread's converters by code page, each opened when a text first
// needs it and kept for the thread's later drawings; a name iconv does not
// know is kept as kNoConverter.
class Converters {
public:
    Converters() = default;
    Converters(const Converters &) = delete;
    Converters &operator=(const Converters &) = delete;
    ~Converters()
    {
        for (const auto &[name, converter] : open_) {
            if (converter != kNoConverter)
                iconv_close(converter);
        }
    }

    iconv_t of(const std::string &name)
    {
        auto found = open_.find(name);
        if (found == open_.end())
            found = open_.emplace(name, iconv_open("UTF-8", name.c_str())).first;
        return found->second;
    }

private:
    std::map<std::string, iconv_t, std::less<>> open_;
};

iconv_t converterFor(const std::string &name)
{
    thread_local Converters converters;
    return converters.of(name);
}

}  // namespace

bool converterKnows(const std::string &name) { return converterFor(name) != kNoConverter; }

CodePageDecoder::CodePageDecoder(const std::string &iconvName) : name_(iconvName) {}

CodePageDecoder::~CodePageDecoder() = default;

std::string CodePageDecoder::decode(std::string_view bytes)
{
    std::string out;
    if (!lookedUp_) {
        converter_ = converterFor(name_);
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
