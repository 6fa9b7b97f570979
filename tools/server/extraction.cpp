#include "extraction.h"

#include <algorithm>
#include <array>
#include <vector>

#include "formatting.h"
#include "json.h"
#include "render.h"
#include "text_output.h"
#include "versions.h"

namespace dwgserver {

namespace {

struct KeyName {
    std::string_view property;  // as dwgtext --json names it
    std::string_view key;       // as extraction clients look for it
};

// The names the widely used extraction server gives a drawing's properties:
// a drawing's subject is its description there, and its keywords its
// subject.
constexpr std::array kStandardKeys{
    KeyName{"title", "dc:title"},
    KeyName{"subject", "dc:description"},
    KeyName{"author", "dc:creator"},
    KeyName{"keywords", "dc:subject"},
    KeyName{"comments", "w:comments"},
    KeyName{"lastSavedBy", "meta:last-author"},
    KeyName{"revision", "cp:revision"},
    KeyName{"hyperlinkBase", "dc:relation"},
    KeyName{"created", "dcterms:created"},
    KeyName{"modified", "dcterms:modified"},
    KeyName{"editingTime", "extended-properties:TotalTime"},
    KeyName{"application", "extended-properties:Application"},
    KeyName{"applicationVersion", "extended-properties:AppVersion"},
};

constexpr std::string_view kCustomPrefix = "dwg-custom:";
constexpr std::string_view kWarningKey = "X-TIKA:EXCEPTION:warn";
constexpr std::string_view kContentKey = "X-TIKA:content";

// Clients read cp:revision as a count; a drawing's revision may be any text
// ("C", "2b"), which then goes under a key of its own.
constexpr std::string_view kRevisionTextKey = "dwg:revision";

std::string keyOf(const dwgtext::DrawingProperty &property)
{
    if (property.custom)
        return std::string(kCustomPrefix) + property.name;
    if (property.name == "revision" && property.value.find_first_not_of("0123456789") != std::string::npos)
        return std::string(kRevisionTextKey);
    const auto *known = std::find_if(kStandardKeys.begin(), kStandardKeys.end(),
                                     [&](const KeyName &k) { return k.property == property.name; });
    return known != kStandardKeys.end() ? std::string(known->key) : std::string(kCustomPrefix) + property.name;
}

// The summary properties that also stand in the content, as a line each
// before the drawing's texts: a pipeline that indexes the content only
// still finds the words that stand only there.
constexpr std::array kSummaryInContent{"title", "subject", "author", "keywords", "comments", "lastSavedBy",
                                       "hyperlinkBase"};

constexpr std::string_view kParserKey = "X-TIKA:Parsed-By";
constexpr std::string_view kParserName = "dwgtext-server";
constexpr std::string_view kFailureKey = "X-TIKA:EXCEPTION:container_exception";
constexpr std::string_view kWriteLimitKey = "X-TIKA:EXCEPTION:write_limit_reached";

// A drawing cut short or damaged still gives its texts, with a warning; a
// body that is no drawing, or of a release we do not read, is not taken; a
// drawing of a release we read that could not be read is unreadable.
Outcome outcomeOf(dwgtext::Status status)
{
    switch (status) {
    case dwgtext::Status::Read:
    case dwgtext::Status::Incomplete:
    case dwgtext::Status::Damaged:
        return Outcome::Read;
    case dwgtext::Status::NotDwg:
    case dwgtext::Status::Unsupported:
        return Outcome::NotTaken;
    case dwgtext::Status::CannotOpen:
    case dwgtext::Status::Refused:
    case dwgtext::Status::Reading:
        break;
    }
    return Outcome::Unreadable;
}

// The properties with a value: extraction clients take a key that is
// present for one that says something.
Metadata metadataOf(const dwgtext::DrawingResult &drawing, std::string_view type, std::string_view name)
{
    Metadata metadata{{"Content-Type", std::string(type)}, {std::string(kParserKey), std::string(kParserName)}};
    if (!name.empty())
        metadata.emplace_back("resourceName", dwgtext::singleLine(dwgtext::validUtf8(name)));
    for (const dwgtext::DrawingProperty &property : drawing.properties) {
        if (!property.value.empty())
            metadata.emplace_back(keyOf(property), property.value);
    }
    return metadata;
}

std::string summaryLines(const std::vector<dwgtext::DrawingProperty> &properties)
{
    std::string lines;
    for (const dwgtext::DrawingProperty &property : properties) {
        const bool summary = std::find(kSummaryInContent.begin(), kSummaryInContent.end(), property.name) !=
                             kSummaryInContent.end();
        if (summary && !property.custom && !property.value.empty())
            lines += dwgtext::singleLine(property.value) + "\n";
    }
    return lines;
}

// Keeps the first limit characters of UTF-8 text; true when some were cut.
bool cutToCharacters(std::string &text, uint64_t limit)
{
    uint64_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == limit) {
            text.resize(i);
            return true;
        }
    }
    return false;
}

// Hands the texts on until the parse time limit has passed; then stops the
// reading.
class TimedReceiver final : public dwgtext::TextReceiver {
public:
    TimedReceiver(dwgtext::TextReceiver &to, std::chrono::steady_clock::duration limit)
        : to_(to), deadline_(limit == limit.zero() ? std::chrono::steady_clock::time_point::max()
                                                   : std::chrono::steady_clock::now() + limit)
    {
    }
    bool text(int32_t charset, std::string_view bytes, std::string_view plain, std::string_view kind) override
    {
        late_ = std::chrono::steady_clock::now() > deadline_;
        return !late_ && to_.text(charset, bytes, plain, kind);
    }
    void properties(const std::vector<dwgtext::DrawingProperty> &found) override { to_.properties(found); }
    bool late() const { return late_; }

private:
    dwgtext::TextReceiver &to_;
    std::chrono::steady_clock::time_point deadline_;
    bool late_ = false;
};

std::string escapedXml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Values of one key, in the order they came: a key that several custom
// properties share gives an array, as such servers give a key of many
// values; the parsers' names are always one.
std::string jsonValuesOf(const Metadata &metadata, const std::string &key)
{
    std::vector<std::string_view> values;
    for (const auto &[name, value] : metadata) {
        if (name == key)
            values.push_back(value);
    }
    std::string json;
    if (values.size() == 1 && key != kParserKey) {
        dwgtext::appendJsonString(json, values.front());
        return json;
    }
    json = "[";
    for (const std::string_view value : values) {
        if (json.size() > 1)
            json += ",";
        dwgtext::appendJsonString(json, value);
    }
    return json + "]";
}

}  // namespace

Extraction extractDrawing(const std::string &path, std::string_view name, std::string_view head,
                          const ExtractionSettings &settings)
{
    const dwgtext::RenderSettings render;
    dwgtext::DrawingRenderer renderer(name, render);
    TimedReceiver receiver(renderer, settings.timeLimit);
    const dwgtext::DrawingResult drawing = dwgtext::streamDrawing(path, {}, receiver);
    Extraction extraction;
    extraction.outcome = receiver.late() ? Outcome::TimedOut : outcomeOf(drawing.status);
    std::string texts = renderer.finish(drawing).out;
    extraction.content = settings.summaryInContent ? summaryLines(drawing.properties) + texts : std::move(texts);
    extraction.metadata = metadataOf(drawing, detectType(head), name);
    if (receiver.late())
        extraction.reason = "the parse time limit was reached";
    else if (drawing.status != dwgtext::Status::Read)
        extraction.reason = dwgtext::failureMessage(drawing);
    if (!extraction.reason.empty())
        extraction.metadata.emplace_back(extraction.outcome == Outcome::Read ? kWarningKey : kFailureKey,
                                         extraction.reason);
    if (settings.writeLimit != 0 && cutToCharacters(extraction.content, settings.writeLimit))
        extraction.metadata.emplace_back(kWriteLimitKey, "true");
    return extraction;
}

// DWG by its version string; DXF by its first group, a 0 before SECTION.
std::string_view detectType(std::string_view head)
{
    if (dwgtext::looksLikeDwg(head.substr(0, 6)))
        return "image/vnd.dwg";
    const std::size_t start = head.find_first_not_of(" \t\r\n");
    if (start != std::string_view::npos && head.substr(start).starts_with("0")) {
        const std::size_t name = head.find_first_not_of(" \t\r\n", start + 1);
        if (name != std::string_view::npos && head.substr(name).starts_with("SECTION"))
            return "image/vnd.dxf";
    }
    return "application/octet-stream";
}

std::string xhtmlOf(const Extraction &extraction)
{
    std::string page = "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n";
    std::string title;
    for (const auto &[key, value] : extraction.metadata) {
        page += "<meta name=\"" + escapedXml(key) + "\" content=\"" + escapedXml(value) + "\"/>\n";
        if (key == "dc:title")
            title = value;
    }
    page += "<title>" + escapedXml(title) + "</title>\n</head>\n<body>";
    std::string_view rest = extraction.content;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        page += "<p>" + escapedXml(rest.substr(0, end)) + "</p>\n";
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return page + "</body></html>";
}

std::string metadataJson(const Extraction &extraction, Content content)
{
    dwgtext::JsonObject object;
    std::vector<std::string_view> written;
    for (const auto &entry : extraction.metadata) {
        const std::string &key = entry.first;
        if (std::find(written.begin(), written.end(), key) != written.end())
            continue;
        written.push_back(key);
        object.raw(key, jsonValuesOf(extraction.metadata, key));
    }
    if (content == Content::Text)
        object.string(kContentKey, extraction.content);
    else if (content == Content::Xhtml)
        object.string(kContentKey, xhtmlOf(extraction));
    std::string json = object.line();
    json.pop_back();
    return json;
}

std::string metadataCsv(const Metadata &metadata)
{
    const auto quoted = [](std::string_view field) {
        std::string out = "\"";
        for (char c : field)
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        return out + "\"";
    };
    std::string csv;
    for (const auto &[key, value] : metadata)
        csv += quoted(key) + "," + quoted(value) + "\n";
    return csv;
}

}  // namespace dwgserver
