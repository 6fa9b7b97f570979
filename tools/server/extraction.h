// What the server answers about one drawing, in the protocol of text
// extraction servers that indexing pipelines already call: the texts as
// dwgtext prints them, the document properties under the metadata keys
// those pipelines know, and what became of the reading.
#ifndef DWGTEXT_SERVER_EXTRACTION_H
#define DWGTEXT_SERVER_EXTRACTION_H

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dwgserver {

using Metadata = std::vector<std::pair<std::string, std::string>>;

// How a drawing came out: read (perhaps with a warning), not a drawing we
// read, a drawing we could not read, or stopped at the parse time limit.
enum class Outcome { Read, NotTaken, Unreadable, TimedOut };

struct Extraction {
    Outcome outcome = Outcome::Read;
    std::string content;  // the summary paragraphs, then the texts, one line each
    Metadata metadata;    // always with Content-Type and the parser's name
    std::string reason;   // one line, when the outcome is not Read
};

struct ExtractionSettings {
    bool summaryInContent = true;  // the title, author... as lines before the texts
    uint64_t writeLimit = 0;       // characters of content kept; 0: all
    std::chrono::steady_clock::duration timeLimit{};  // zero: none
};

// Reads the drawing at path, whose first bytes are head; name is the file
// name the client gave, if any.
Extraction extractDrawing(const std::string &path, std::string_view name, std::string_view head,
                          const ExtractionSettings &settings);

// The media type of a body from its first bytes.
std::string_view detectType(std::string_view head);

// What goes under "X-TIKA:content": nothing, the texts one per line, or an
// XHTML page of them.
enum class Content { None, Text, Xhtml };

// {"key":"value",...}, with the content when asked for.
std::string metadataJson(const Extraction &extraction, Content content);

// The XHTML page: the metadata in its head, a paragraph per line of content.
std::string xhtmlOf(const Extraction &extraction);

// "key","value" lines.
std::string metadataCsv(const Metadata &metadata);

}  // namespace dwgserver

#endif
