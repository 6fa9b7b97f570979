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

std::string keyOf(const dwgtext::DrawingProperty &property)
{
    if (property.custom)
        return std::string(kCustomPrefix) + property.name;
    const auto *known = std::find_if(kStandardKeys.begin(), kStandardKeys.end(),
                                     [&](const KeyName &k) { return k.property == property.name; });
    return known != kStandardKeys.end() ? std::string(known->key) : std::string(kCustomPrefix) + property.name;
}

// A drawing cut short or damaged still gives its texts, with a warning; a
// body that is no drawing, or of a release we do not read, is a media type
// we do not take; a drawing of a release we read that could not be read is
// a body we cannot process.
int httpStatusOf(dwgtext::Status status)
{
    switch (status) {
    case dwgtext::Status::Read:
    case dwgtext::Status::Incomplete:
    case dwgtext::Status::Damaged:
        return 200;
    case dwgtext::Status::NotDwg:
    case dwgtext::Status::Unsupported:
        return 415;
    case dwgtext::Status::CannotOpen:
    case dwgtext::Status::Refused:
    case dwgtext::Status::Reading:
        break;
    }
    return 422;
}

// The properties with a value: extraction clients take a key that is
// present for one that says something.
Metadata metadataOf(const dwgtext::DrawingResult &drawing, std::string_view name)
{
    Metadata metadata{{"Content-Type", std::string(kDwgType)}};
    if (!name.empty())
        metadata.emplace_back("resourceName", dwgtext::singleLine(dwgtext::validUtf8(name)));
    for (const dwgtext::DrawingProperty &property : drawing.properties) {
        if (!property.value.empty())
            metadata.emplace_back(keyOf(property), property.value);
    }
    if (drawing.status != dwgtext::Status::Read)
        metadata.emplace_back(kWarningKey, dwgtext::failureMessage(drawing));
    return metadata;
}

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

// The content as such servers give it by default: an XHTML page with the
// metadata in its head and a paragraph per text.
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

// Values of one key, in the order they came: a key that several custom
// properties share gives an array, as such servers give a key of many
// values.
std::string jsonValuesOf(const Metadata &metadata, const std::string &key)
{
    std::vector<std::string_view> values;
    for (const auto &[name, value] : metadata) {
        if (name == key)
            values.push_back(value);
    }
    std::string json;
    if (values.size() == 1) {
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

Extraction extractDrawing(const std::string &path, std::string_view name)
{
    const dwgtext::RenderSettings settings;
    dwgtext::DrawingRenderer renderer(name, settings);
    Extraction extraction;
    extraction.drawing = dwgtext::streamDrawing(path, {}, renderer);
    extraction.content = renderer.finish(extraction.drawing).out;
    extraction.status = httpStatusOf(extraction.drawing.status);
    if (extraction.status == 200)
        extraction.metadata = metadataOf(extraction.drawing, name);
    else
        extraction.reason = dwgtext::failureMessage(extraction.drawing);
    return extraction;
}

std::string_view detectType(std::string_view head)
{
    return dwgtext::looksLikeDwg(head.substr(0, 6)) ? kDwgType : "application/octet-stream";
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
