#include "formatting.h"

#include <cctype>
#include <optional>

#include "r13/textcodes.h"
#include "text_output.h"

namespace dwgtext {

namespace {

constexpr std::string_view kNoBreakSpace = "\u00A0";

// MTEXT codes that take a value ending in ';': alignment, colour, true
// colour, font, height, paragraph, oblique, tracking, width.
constexpr std::string_view kValueCodes = "ACcFfHpQTW";
// Underline, overline and strike-through on and off.
constexpr std::string_view kToggleCodes = "LlOoKk";
// The separators of a stacked fraction: "1^2", "1/2", "1#2".
constexpr std::string_view kStackSeparators = "^/#";

// "\U+XXXX" at text[at]: the UTF-16 unit it names.
std::optional<char32_t> unicodeEscapeAt(std::string_view text, std::size_t at)
{
    uint16_t unit = 0;
    if (at > text.size() || !unicodeCodeAt(text.data() + at, text.data() + text.size(), &unit))
        return std::nullopt;
    return unit;
}

// "%%d" and the like: what each letter after "%%" stands for.
std::optional<std::string_view> percentCode(char letter)
{
    switch (letter) {
    case 'c':
    case 'C':
        return "\u00D8";
    case 'd':
    case 'D':
        return "\u00B0";
    case 'p':
    case 'P':
        return "\u00B1";
    case '%':
        return "%";
    case 'u':
    case 'U':
    case 'o':
    case 'O':
    case 'k':
    case 'K':
        return "";
    }
    return std::nullopt;
}

std::string stacked(std::string_view parts)
{
    const std::size_t separator = parts.find_first_of(kStackSeparators);
    if (separator == std::string_view::npos)
        return std::string(parts);
    const std::string_view top = parts.substr(0, separator);
    const std::string_view bottom = parts.substr(separator + 1);
    return std::string(top) + (top.empty() || bottom.empty() ? "" : "/") + std::string(bottom);
}

// Walks one text once, copying what a reader sees.
class CodeRenderer {
public:
    CodeRenderer(std::string_view text, CodeSet codes) : text_(text), codes_(codes) {}

    std::string run()
    {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '%' && percent())
                continue;
            if (c == '\\' && backslash())
                continue;
            if (!(codes_.mtext && (c == '{' || c == '}')))
                out_ += c;
            ++at_;
        }
        return out_;
    }

private:
    bool percent()
    {
        if (text_.substr(at_, 2) != "%%" || at_ + 2 >= text_.size())
            return false;
        const std::optional<std::string_view> rendered = percentCode(text_[at_ + 2]);
        if (!rendered)
            return false;
        out_ += *rendered;
        at_ += 3;
        return true;
    }

    bool backslash()
    {
        if (codes_.unicodeEscapes && unicodeEscape())
            return true;
        if (!codes_.mtext || at_ + 1 >= text_.size())
            return false;
        const char code = text_[at_ + 1];
        if (code == '\\' || code == '{' || code == '}')
            return emit(std::string_view(&code, 1), 2);
        if (code == '~')
            return emit(kNoBreakSpace, 2);
        if (code == 'P' || code == 'X')
            return emit("\n", 2);
        if (kToggleCodes.find(code) != std::string_view::npos)
            return emit("", 2);
        if (code == 'S')
            return valueCode(true);
        if (kValueCodes.find(code) != std::string_view::npos)
            return valueCode(false);
        return false;
    }

    // A code with a value up to ';'; without the ';' it is no code.
    bool valueCode(bool stack)
    {
        const std::size_t end = text_.find(';', at_ + 2);
        if (end == std::string_view::npos)
            return false;
        const std::string_view value = text_.substr(at_ + 2, end - at_ - 2);
        if (!stack)
            return emit("", end + 1 - at_);
        // 4'-0\S1/4; is four feet and a quarter inch: 4'-0 1/4, not 4'-01/4.
        const std::string fraction = stacked(value);
        if (!fraction.empty() && !out_.empty() && std::isdigit(static_cast<unsigned char>(out_.back())) != 0)
            out_ += ' ';
        return emit(fraction, end + 1 - at_);
    }

    bool unicodeEscape()
    {
        const std::optional<char32_t> unit = unicodeEscapeAt(text_, at_);
        if (!unit)
            return false;
        at_ += kUnicodeCodeLength;
        const std::optional<char32_t> low = isHighSurrogate(*unit) ? unicodeEscapeAt(text_, at_) : std::nullopt;
        if (low && isLowSurrogate(*low)) {
            appendUtf8(out_, joinSurrogates(*unit, *low));
            at_ += kUnicodeCodeLength;
        } else {
            appendUtf8(out_, isHighSurrogate(*unit) || isLowSurrogate(*unit) ? kReplacementCharacter : *unit);
        }
        return true;
    }

    bool emit(std::string_view rendered, std::size_t consumed)
    {
        out_ += rendered;
        at_ += consumed;
        return true;
    }

    std::string_view text_;
    CodeSet codes_;
    std::size_t at_ = 0;
    std::string out_;
};

}  // namespace

std::string renderCodes(std::string_view utf8, CodeSet codes) { return CodeRenderer(utf8, codes).run(); }

namespace {

// The characters of the GD&T font's letters, from "a" on; "" for a letter
// that stands for no symbol.
constexpr std::string_view kGdtSymbols[] = {
    "\u2220",  // a angularity
    "\u27C2",  // b perpendicularity
    "\u23E5",  // c flatness
    "\u2313",  // d profile of a surface
    "\u25CB",  // e circularity
    "\u2225",  // f parallelism
    "\u232D",  // g cylindricity
    "\u2197",  // h circular run-out
    "\u232F",  // i symmetry
    "\u2316",  // j position
    "\u2312",  // k profile of a line
    "\u24C1",  // l least material condition
    "\u24C2",  // m maximum material condition
    "\u2300",  // n diameter
    "",         // o
    "\u24C5",  // p projected tolerance zone
    "",         // q
    "\u25CE",  // r concentricity
    "\u24C8",  // s regardless of feature size
    "\u2330",  // t total run-out
    "\u23E4",  // u straightness
};

// "{\Fgdt;x}" at text[at]: the symbol of x, when it is one.
std::optional<std::string_view> gdtSymbolAt(std::string_view text, std::size_t at)
{
    constexpr std::string_view kOpen = "{\\Fgdt;";
    constexpr std::size_t kLength = kOpen.size() + 2;
    if (text.size() - at < kLength || text[at + kLength - 1] != '}')
        return std::nullopt;
    const std::string_view open = text.substr(at, kOpen.size());
    const bool font = open[0] == '{' && open[1] == '\\' && (open[2] == 'F' || open[2] == 'f') &&
                      std::tolower(static_cast<unsigned char>(open[3])) == 'g' && open.substr(4) == "dt;";
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at + kOpen.size()])));
    if (!font || letter < 'a' || letter > 'u' || kGdtSymbols[letter - 'a'].empty())
        return std::nullopt;
    return kGdtSymbols[letter - 'a'];
}

// A cell of a frame, its codes rendered and the spaces around it dropped.
std::string toleranceCell(std::string_view cell, CodeSet codes)
{
    std::string out = renderCodes(cell, codes);
    const std::size_t first = out.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first, out.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string renderTolerance(std::string_view utf8, CodeSet codes)
{
    constexpr std::size_t kSymbolCode = 9;  // "{\\Fgdt;x}"
    utf8 = utf8.substr(0, utf8.find('\0'));
    std::string out;
    std::string cell;
    std::string_view separator;
    const auto endCell = [&](std::string_view next) {
        std::string rendered = toleranceCell(cell, codes);
        cell.clear();
        if (!rendered.empty()) {
            out.append(out.empty() ? "" : separator).append(rendered);
            separator = " | ";
        }
        if (next == " / " && !out.empty())
            separator = next;
    };
    for (std::size_t at = 0; at < utf8.size();) {
        const std::string_view rest = utf8.substr(at);
        if (const std::optional<std::string_view> symbol = gdtSymbolAt(utf8, at)) {
            cell += *symbol;
            at += kSymbolCode;
        } else if (rest.starts_with("%%v") || rest.starts_with("%%V")) {
            endCell(" | ");
            at += 3;
        } else if (rest.starts_with("^J") || rest[0] == '\n' || rest[0] == '\r') {
            endCell(" / ");
            at += rest[0] == '^' ? 2 : 1;
        } else {
            cell += utf8[at++];
        }
    }
    endCell({});
    return out;
}

std::string singleLine(std::string_view utf8)
{
    while (!utf8.empty() && utf8.back() == '\0')
        utf8.remove_suffix(1);
    std::string line;
    line.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const bool c1Control = byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
        if (c1Control)
            ++i;
        line += (byte < 0x20 && byte != '\t') || byte == 0x7F || c1Control ? ' ' : utf8[i];
    }
    return line;
}

}  // namespace dwgtext
