// What the server answers about one drawing, in the protocol of text
// extraction servers that indexing pipelines already call: the texts as
// dwgtext prints them, the document properties under the metadata keys
// those pipelines know, and the HTTP status for what became of the drawing.
#ifndef DWGTEXT_SERVER_EXTRACTION_H
#define DWGTEXT_SERVER_EXTRACTION_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "extract.h"

namespace dwgserver {

inline constexpr std::string_view kDwgType = "image/vnd.dwg";

using Metadata = std::vector<std::pair<std::string, std::string>>;

struct Extraction {
    dwgtext::DrawingResult drawing;
    std::string content;  // the texts, one line each, as dwgtext prints them
    Metadata metadata;
    int status = 200;     // the HTTP status of the answer
    std::string reason;   // one line, when the status is not 200
};

// Reads the drawing at path; name is the file name the client gave, if any.
Extraction extractDrawing(const std::string &path, std::string_view name);

// The media type of a body from its first bytes.
std::string_view detectType(std::string_view head);

// What goes under "X-TIKA:content": nothing, the texts one per line, or an
// XHTML page of them.
enum class Content { None, Text, Xhtml };

// {"key":"value",...}, with the content when asked for.
std::string metadataJson(const Extraction &extraction, Content content);

// "key","value" lines.
std::string metadataCsv(const Metadata &metadata);

}  // namespace dwgserver

#endif
