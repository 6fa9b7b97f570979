// Command line of dwgtext.
#ifndef DWGTEXT_OPTIONS_H
#define DWGTEXT_OPTIONS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dwgtext {

enum class Format {
    Text,    // decoded texts, one per line
    Raw,     // texts as the library delivered them
    Json,    // JSON Lines: one object per text, one summary per file
    Events,  // the event list our host recorded
};

// Whether the document properties print as "name: value" lines before a
// drawing's texts (with --json they are always in its summary).
enum class PropertyLines {
    None,
    First,  // --properties
    Only,   // --properties-only: no texts
};

// What standard error shows of the library's reports.
enum class Reports {
    None,     // -q: only the line of a drawing that was not read
    Summary,  // the number of errors of each drawing read
    All,      // -v: every report
};

struct Options {
    Format format = Format::Text;
    std::optional<bool> withFilename;  // unset: prefix when several inputs
    std::string codePage;              // iconv name; empty: the drawing's own
    bool recursive = false;
    Reports reports = Reports::Summary;
    bool help = false;
    bool version = false;
    unsigned jobs = 0;                 // 0: one per core
    uint64_t streamLimit = uint64_t{1} << 30;  // bytes taken of a pipe or device
    bool partialOk = false;            // a drawing not read whole that gave texts exits 0
    PropertyLines propertyLines = PropertyLines::None;
    std::string previewPath;           // --preview: where the one drawing's preview image goes
    std::vector<std::string> files;    // "-" is standard input
    bool classicKinds = false;         // --kinds=classic: TEXT, ATTRIB, ATTDEF and MTEXT only
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is usable

    bool ok() const { return error.empty(); }
};

// Parses the arguments after the program name. With no drawing named, a
// redirected standard input (not a terminal) is the one to read.
ParsedOptions parseOptions(const std::vector<std::string_view> &args, bool inputRedirected = false);

std::string usageText();

}  // namespace dwgtext

#endif
