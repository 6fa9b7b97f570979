// Decoding code pages on Windows, with the system's code-page tables. The
// rest of dwgtext names code pages as iconv does ("CP1252", "ISO-8859-5",
// "EUC-KR"); each such name stands for a Windows code-page number here. The
// results are those of the iconv build: a byte that starts no character of
// the code page becomes U+FFFD and decoding goes on at the next byte.
#include <windows.h>

#include <cctype>

#include "codepage.h"

namespace dwgtext {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr unsigned kUtf16le = 1200;
constexpr unsigned kIso8859Base = 28590;  // ISO-8859-n is code page 28590 + n

struct NamedPage {
    std::string_view name;
    unsigned number;
};

// The iconv names that say no number.
constexpr NamedPage kNamedPages[] = {
    {"ASCII", 20127}, {"MACINTOSH", 10000}, {"BIG5", 950},        {"EUC-KR", 51949},
    {"JOHAB", 1361},  {"GBK", 936},         {"SHIFT_JIS", 932},   {"UTF-16LE", kUtf16le},
};

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The number after prefix ("CP" in "CP1252"); 0 when name is not prefix
// followed by digits only.
unsigned numberAfter(std::string_view name, std::string_view prefix)
{
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 5 ||
        !sameName(name.substr(0, prefix.size()), prefix))
        return 0;
    unsigned number = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

unsigned windowsCodePage(std::string_view name)
{
    for (const NamedPage &page : kNamedPages) {
        if (sameName(page.name, name))
            return page.number;
    }
    if (const unsigned part = numberAfter(name, "ISO-8859-"))
        return kIso8859Base + part;
    return numberAfter(name, "CP");
}

bool usable(unsigned number)
{
    return number == kUtf16le || (number != 0 && IsValidCodePage(number));
}

bool isIso8859(unsigned number)
{
    return number > kIso8859Base && number <= kIso8859Base + 16;
}

void appendUtf8(std::string &out, const wchar_t *wide, int count)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, wide, count, out.data() + at, length, nullptr, nullptr);
}

// Windows fills the unassigned bytes of a single-byte code page with the C1
// control of the same value (0x81 in CP1252 gives U+0081) where iconv sees
// no character; only the ISO-8859 pages assign C1 controls to those bytes.
bool isFiller(unsigned number, unsigned char byte, wchar_t decoded)
{
    return byte >= 0x80 && decoded < 0xA0 && !isIso8859(number);
}

// One character at the start of bytes into out; the bytes it took, 0 when
// the first byte starts no character.
std::size_t decodeCharacter(unsigned number, std::string_view bytes, std::string &out)
{
    const unsigned char first = static_cast<unsigned char>(bytes[0]);
    const int length = IsDBCSLeadByteEx(number, first) && bytes.size() >= 2 ? 2 : 1;
    wchar_t wide[2];
    const int count = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes.data(), length, wide, 2);
    if (count <= 0 || (length == 1 && isFiller(number, first, wide[0])))
        return 0;
    appendUtf8(out, wide, count);
    return static_cast<std::size_t>(length);
}

std::string decodeUtf16le(std::string_view bytes)
{
    std::wstring wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    std::string out;
    appendUtf8(out, wide.data(), static_cast<int>(wide.size()));
    if (bytes.size() % 2 != 0)
        out += kReplacement;  // a character cut off at the end of the text
    return out;
}

}  // namespace

bool converterKnows(const std::string &iconvName)
{
    return usable(windowsCodePage(iconvName));
}

CodePageDecoder::CodePageDecoder(const std::string &iconvName)
    : keepsAscii_(pageKeepsAscii(iconvName)), codePage_(converterKnows(iconvName) ? windowsCodePage(iconvName) : 0)
{
}

CodePageDecoder::~CodePageDecoder() = default;

std::string CodePageDecoder::decode(std::string_view bytes)
{
    if (codePage_ == kUtf16le)
        return decodeUtf16le(bytes);
    std::string out;
    while (!bytes.empty()) {
        std::size_t taken = codePage_ != 0 ? decodeCharacter(codePage_, bytes, out) : 0;
        if (taken == 0) {
            // Without a code page only ASCII is known.
            const char byte = bytes[0];
            codePage_ == 0 && static_cast<unsigned char>(byte) < 0x80 ? out += byte : out += kReplacement;
            taken = 1;
        }
        bytes.remove_prefix(taken);
    }
    return out;
}

}  // namespace dwgtext
