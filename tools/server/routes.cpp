#include "routes.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "json.h"
#include "language.h"

namespace dwgserver {

namespace {

constexpr std::string_view kText = "text/plain; charset=UTF-8";
constexpr std::string_view kHtml = "text/html; charset=UTF-8";
constexpr std::string_view kXml = "text/xml; charset=UTF-8";
constexpr std::string_view kJson = "application/json";
constexpr std::string_view kCsv = "text/csv; charset=UTF-8";
constexpr std::string_view kTar = "application/x-tar";

// The routes of the extraction servers' protocol that a drawing can take.
// /tika gives the texts as plain text, or the XHTML page or a JSON object
// when Accept asks; a JSON object of /tika holds the page, one of
// /tika/text the plain text, as the clients expect.
constexpr std::array kRoutes{
    Route{"/", "GET", Body::None, Shape::Welcome, Content::None, kHtml},
    Route{"/tika", "GET", Body::None, Shape::Greeting, Content::None, kText},
    Route{"/version", "GET", Body::None, Shape::Version, Content::None, kText},
    Route{"/health", "GET", Body::None, Shape::Health, Content::None, kText},
    Route{"/parsers", "GET", Body::None, Shape::Parsers, Content::None, kText},
    Route{"/parsers/details", "GET", Body::None, Shape::Parsers, Content::None, kText},
    Route{"/mime-types", "GET", Body::None, Shape::MimeTypes, Content::None, kText},
    Route{"/detectors", "GET", Body::None, Shape::Detectors, Content::None, kText},
    Route{"/tika", "PUT", Body::Raw, Shape::Content, Content::Xhtml, kText},
    Route{"/tika/text", "PUT", Body::Raw, Shape::Content, Content::Text, kText},
    Route{"/tika/html", "PUT", Body::Raw, Shape::Content, Content::Xhtml, kHtml},
    Route{"/tika/xml", "PUT", Body::Raw, Shape::Content, Content::Xhtml, kXml},
    Route{"/tika/json", "PUT", Body::Raw, Shape::Content, Content::Xhtml, kJson},
    Route{"/tika/form", "POST", Body::Multipart, Shape::Content, Content::Xhtml, kText},
    Route{"/tika/form/text", "POST", Body::Multipart, Shape::Content, Content::Text, kText},
    Route{"/meta", "PUT", Body::Raw, Shape::Meta, Content::None, kJson},
    Route{"/meta/form", "POST", Body::Multipart, Shape::Meta, Content::None, kJson},
    Route{"/meta/", "PUT", Body::Raw, Shape::MetaField, Content::None, kJson},
    Route{"/rmeta", "PUT", Body::Raw, Shape::MetaList, Content::Xhtml, kJson},
    Route{"/rmeta/xml", "PUT", Body::Raw, Shape::MetaList, Content::Xhtml, kJson},
    Route{"/rmeta/html", "PUT", Body::Raw, Shape::MetaList, Content::Xhtml, kJson},
    Route{"/rmeta/text", "PUT", Body::Raw, Shape::MetaList, Content::Text, kJson},
    Route{"/rmeta/ignore", "PUT", Body::Raw, Shape::MetaList, Content::None, kJson},
    Route{"/rmeta/form", "POST", Body::Multipart, Shape::MetaList, Content::Xhtml, kJson},
    Route{"/rmeta/form/html", "POST", Body::Multipart, Shape::MetaList, Content::Xhtml, kJson},
    Route{"/rmeta/form/text", "POST", Body::Multipart, Shape::MetaList, Content::Text, kJson},
    Route{"/unpack/all", "PUT", Body::Raw, Shape::Tar, Content::None, kTar},
    Route{"/language/stream", "PUT POST", Body::Raw, Shape::Language, Content::None, kText},
    Route{"/language/string", "PUT POST", Body::Raw, Shape::Language, Content::None, kText},
    Route{"/detect/stream", "PUT", Body::Raw, Shape::Detect, Content::None, kText},
};

constexpr std::string_view kParserName = "dwgtext-server";
constexpr std::array kTypes{"image/vnd.dwg", "image/vnd.dxf"};

bool fits(const Route &route, std::string_view path, std::string &field)
{
    if (!route.path.ends_with('/') || route.path.size() == 1)
        return route.path == path;
    if (!path.starts_with(route.path) || path.size() == route.path.size() ||
        path.find('/', route.path.size()) != std::string_view::npos)
        return false;
    field = path.substr(route.path.size());
    return true;
}

bool takes(const Route &route, std::string_view method)
{
    std::string_view methods = route.methods;
    while (!methods.empty()) {
        const std::size_t end = std::min(methods.find(' '), methods.size());
        if (methods.substr(0, end) == method)
            return true;
        methods.remove_prefix(std::min(end + 1, methods.size()));
    }
    return false;
}

// The media type the answer takes: the route's own, or one of those the
// shape gives that Accept names.
std::string_view typeFor(const Asked &asked, std::initializer_list<std::string_view> offered)
{
    for (const std::string_view type : offered) {
        if (asked.accept.find(type.substr(0, type.find(';'))) != std::string::npos)
            return type;
    }
    return asked.route->type;
}

Answer answer(std::string_view type, std::string body)
{
    return {200, std::string(type), std::move(body), {}};
}

// An error of the protocol: the status alone, as the extraction servers
// answer a document they cannot parse.
Answer failed(const Extraction &extraction)
{
    switch (extraction.outcome) {
    case Outcome::NotTaken: return {415, std::string(kText), {}, {}};
    case Outcome::Unreadable: return {422, std::string(kText), {}, {}};
    case Outcome::TimedOut: return {503, std::string(kText), {}, {}};
    case Outcome::Read: break;
    }
    return {500, std::string(kText), {}, {}};
}

std::string welcomePage()
{
    std::string page = "<html><head><title>dwgtext-server</title></head><body>\n<h1>dwgtext-server</h1>\n"
                       "<p>The texts and document properties of DWG and DXF drawings.</p>\n<ul>\n";
    for (const Route &route : kRoutes)
        page += "<li>" + std::string(route.methods) + " " + std::string(route.path) +
                (route.path.ends_with('/') && route.path.size() > 1 ? "{field}" : "") +
                (route.body == Body::Multipart ? " (multipart/form-data)" : "") + "</li>\n";
    return page + "</ul>\n</body></html>\n";
}

// The one parser, the one detector and the two media types, as the
// configuration routes describe theirs.
Answer configuration(const Asked &asked)
{
    const bool json = typeFor(asked, {kJson}) == kJson;
    std::string types = "[";
    for (const char *type : kTypes)
        types += std::string(types.size() > 1 ? "," : "") + "\"" + type + "\"";
    types += "]";
    switch (asked.route->shape) {
    case Shape::Parsers:
        if (!json)
            return answer(kText, std::string(kParserName) + "\n");
        return answer(kJson, "{\"name\":\"" + std::string(kParserName) +
                                 "\",\"composite\":false,\"decorated\":false" +
                                 (asked.route->path.ends_with("details") ? ",\"supportedTypes\":" + types : "") + "}");
    case Shape::Detectors:
        return json ? answer(kJson, "{\"name\":\"" + std::string(kParserName) + "\",\"composite\":false}")
                    : answer(kText, std::string(kParserName) + "\n");
    default: {
        std::string out = json ? "{" : "";
        for (const char *type : kTypes) {
            if (json)
                out += std::string(out.size() > 1 ? "," : "") + "\"" + type + "\":{\"alias\":[],\"parser\":\"" +
                       std::string(kParserName) + "\"}";
            else
                out += std::string(type) + "\n";
        }
        return json ? answer(kJson, out + "}") : answer(kText, out);
    }
    }
}

// A tar member: a 512-byte header, then the bytes padded to 512.
void appendTarMember(std::string &tar, std::string_view name, std::string_view bytes)
{
    char header[512] = {};
    std::memcpy(header, name.data(), std::min<std::size_t>(name.size(), 99));
    std::snprintf(header + 100, 8, "%07o", 0644);
    std::snprintf(header + 108, 8, "%07o", 0);
    std::snprintf(header + 116, 8, "%07o", 0);
    std::snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(bytes.size()));
    std::snprintf(header + 136, 12, "%011o", 0);
    header[156] = '0';
    std::memcpy(header + 257, "ustar", 6);
    std::memcpy(header + 263, "00", 2);
    std::memset(header + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    std::snprintf(header + 148, 8, "%06o", sum);
    tar.append(header, sizeof header);
    tar.append(bytes);
    tar.append((512 - bytes.size() % 512) % 512, '\0');
}

std::string tarOf(const Extraction &extraction)
{
    std::string tar;
    appendTarMember(tar, "__METADATA__", metadataCsv(extraction.metadata));
    appendTarMember(tar, "__TEXT__", extraction.content);
    return tar.append(1024, '\0');
}

Answer contentAnswer(const Asked &asked, const Extraction &extraction)
{
    const std::string_view type = typeFor(asked, {kJson, kHtml, kXml, kText});
    if (type == kJson)
        return answer(kJson, metadataJson(extraction, asked.route->content));
    if (type == kHtml || type == kXml)
        return answer(type, xhtmlOf(extraction));
    return answer(kText, extraction.content);
}

Answer fieldAnswer(const Asked &asked, const Extraction &extraction)
{
    Extraction one;
    for (const auto &entry : extraction.metadata) {
        if (entry.first == asked.field)
            one.metadata.push_back(entry);
    }
    if (one.metadata.empty())
        return {404, std::string(kText), {}, {}};
    const std::string_view type = typeFor(asked, {kJson, kCsv, kText});
    if (type == kText)
        return answer(kText, one.metadata.front().second + "\n");
    return type == kCsv ? answer(kCsv, metadataCsv(one.metadata)) : answer(kJson, metadataJson(one, Content::None));
}

}  // namespace

const Route *findRoute(std::string_view method, std::string_view path, std::string &field, Answer &refusal)
{
    std::string allowed;
    for (const Route &route : kRoutes) {
        if (!fits(route, path, field))
            continue;
        if (takes(route, method))
            return &route;
        allowed += std::string(allowed.empty() ? "" : ", ") + std::string(route.methods);
    }
    if (allowed.empty()) {
        refusal = {404, std::string(kText), {}, {}};
        return nullptr;
    }
    std::replace(allowed.begin(), allowed.end(), ' ', ',');
    refusal = {405, std::string(kText), {}, {{"Allow", allowed}}};
    return nullptr;
}

bool readsDrawing(const Route &route)
{
    return route.body != Body::None;
}

Answer fixedAnswer(const Asked &asked)
{
    switch (asked.route->shape) {
    case Shape::Welcome: return answer(kHtml, welcomePage());
    case Shape::Greeting:
        return answer(kText, "This is dwgtext-server: PUT a DWG or DXF drawing to /tika for its texts.\n");
    case Shape::Version: return answer(kText, "TQDUDADE dwgtext-server " DWGTEXT_VERSION "\n");
    case Shape::Health: return answer(kText, "OK\n");
    default: return configuration(asked);
    }
}

Answer drawingAnswer(const Asked &asked, const Extraction &extraction)
{
    const Shape shape = asked.route->shape;
    if (shape == Shape::Detect)
        return answer(kText, extraction.metadata.front().second);
    if (shape == Shape::Language)
        return answer(kText, languageOf(extraction.content));
    // A list of metadata objects carries what went wrong in the object.
    if (shape == Shape::MetaList) {
        // Appended, not "[" + ...: GCC 12 warns wrongly (-Wrestrict) of the
        // copy that operator makes in a Release build.
        std::string list = "[";
        list += metadataJson(extraction, asked.route->content);
        return answer(kJson, list + "]");
    }
    if (extraction.outcome != Outcome::Read)
        return failed(extraction);
    switch (shape) {
    case Shape::Content: return contentAnswer(asked, extraction);
    case Shape::MetaField: return fieldAnswer(asked, extraction);
    case Shape::Tar: return answer(kTar, tarOf(extraction));
    default:
        return typeFor(asked, {kCsv, kJson}) == kCsv ? answer(kCsv, metadataCsv(extraction.metadata))
                                                     : answer(kJson, metadataJson(extraction, Content::None));
    }
}

Answer refusal(int status, std::string_view reason)
{
    return {status, std::string(kText), std::string(reason) + "\n", {}};
}

}  // namespace dwgserver
