#include "extraction.h"

#include <algorithm>
#include <array>

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

constexpr std::array kStandardKeys{
    KeyName{"title", "dc:title"},
    KeyName{"subject", "dc:subject"},
    KeyName{"author", "dc:creator"},
    KeyName{"keywords", "meta:keyword"},
    KeyName{"comments", "dc:description"},
    KeyName{"lastSavedBy", "dc:modifier"},
    KeyName{"revision", "cp:revision"},
    KeyName{"hyperlinkBase", "dc:relation"},
    KeyName{"created", "dcterms:created"},
    KeyName{"modified", "dcterms:modified"},
    KeyName{"editingTime", "extended-properties:TotalTime"},
    KeyName{"application", "extended-properties:Application"},
    KeyName{"applicationVersion", "extended-properties:AppVersion"},
};

constexpr std::string_view kCustomPrefix = "custom:";
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

std::string metadataJson(const Extraction &extraction, bool withContent)
{
    dwgtext::JsonObject object;
    for (const auto &[key, value] : extraction.metadata)
        object.string(key, value);
    if (withContent)
        object.string(kContentKey, extraction.content);
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
