#include "host_events.h"

#include <algorithm>

namespace tqhost {

namespace {

const char kHexDigits[] = "0123456789abcdef";

bool isModuleChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.' || c == '-';
}

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// When text[close] is the ']' of "[module/NNN]", the index of the first digit.
std::string_view::size_type lineDigitsBefore(std::string_view text, std::string_view::size_type close)
{
    auto i = close;
    while (i > 0 && isDigit(static_cast<unsigned char>(text[i - 1])))
        --i;
    const auto digits = i;
    if (digits == close || i == 0 || text[i - 1] != '/')
        return std::string_view::npos;
    --i;  // at '/'
    const auto slash = i;
    while (i > 0 && isModuleChar(static_cast<unsigned char>(text[i - 1])))
        --i;
    if (i == slash || i == 0 || text[i - 1] != '[')
        return std::string_view::npos;
    return digits;
}

// "word value", built by appending: g++ 12 at -O3 warns falsely (-Wrestrict)
// about "literal" + std::string.
std::string wordAndValue(std::string_view word, std::string_view value)
{
    std::string line(word);
    line += ' ';
    line += value;
    return line;
}

}  // namespace

std::string escapeBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c <= 0x7E) {
            out += ch;
        } else {
            out += "\\x";
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0F];
        }
    }
    return out;
}

std::string maskSourceLine(std::string_view text)
{
    for (auto close = text.rfind(']'); close != std::string_view::npos && close > 0;
         close = text.rfind(']', close - 1)) {
        const auto digits = lineDigitsBefore(text, close);
        if (digits == std::string_view::npos)
            continue;
        std::string out(text.substr(0, digits));
        out += "LINE";
        out += text.substr(close);
        return out;
    }
    return std::string(text);
}

std::string toHex(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0x0F];
    }
    return out;
}

std::string formatEvent(const Event &event)
{
    switch (event.type) {
    case Event::Type::Version:
        // Like a text line, no blank after the word when there is nothing to show.
        return event.bytes.empty() ? "version" : wordAndValue("version", escapeBytes(event.bytes));
    case Event::Type::Refused:
        return "refused";
    case Event::Type::Report:
        return wordAndValue("report", escapeBytes(maskSourceLine(event.bytes)));
    case Event::Type::Text: {
        std::string line = wordAndValue("text", std::to_string(event.code));
        if (!event.bytes.empty())
            line = wordAndValue(line, toHex(event.bytes));
        return line;
    }
    case Event::Type::End:
        return "end";
    }
    return {};
}

std::string formatEvents(const std::vector<Event> &events)
{
    std::string out;
    for (const auto &event : events) {
        out += formatEvent(event);
        out += '\n';
    }
    return out;
}

void EventLog::version(std::string_view firstBytes)
{
    events_.push_back({Event::Type::Version, std::string(firstBytes.substr(0, 6)), 0});
}

void EventLog::refused()
{
    const auto afterVersion =
        std::find_if(events_.begin(), events_.end(), [](const Event &e) { return e.type == Event::Type::Version; });
    const auto at = afterVersion == events_.end() ? events_.begin() : afterVersion + 1;
    events_.insert(at, {Event::Type::Refused, {}, 0});
}

void EventLog::report(std::string_view text) { events_.push_back({Event::Type::Report, std::string(text), 0}); }

void EventLog::text(int32_t code, std::string_view bytes)
{
    events_.push_back({Event::Type::Text, std::string(bytes), code});
}

void EventLog::end()
{
    events_.push_back({Event::Type::End, {}, 0});
    endSeen_ = true;
}

void EventLog::clear()
{
    events_.clear();
    endSeen_ = false;
}

}  // namespace tqhost
