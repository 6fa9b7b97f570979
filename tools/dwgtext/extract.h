// Reading one drawing: through libdwgtext, or on the recording host for its
// event list. Its texts, the library's reports, and what became of it.
#ifndef DWGTEXT_EXTRACT_H
#define DWGTEXT_EXTRACT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dwgtext.h"
#include "host_session.h"
#include "reading.h"

namespace dwgtext {

struct DrawingText {
    int32_t charset = 0;
    std::string bytes;  // as the library delivered them
    std::string kind;   // empty from the host's protocol, which gives none
};

// A drawing with its texts and the library's reports.
struct DrawingResult : DrawingFacts {
    std::vector<DrawingText> texts;
    std::vector<std::string> reports;
    std::vector<DrawingProperty> properties;
    std::string eventText;    // the session's event list
    std::string failure;      // why it was not read, as libdwgtext says; empty: from the facts
    std::string previewError; // why the preview image asked for was not written
};

// Receives a drawing's texts while the library reads it.
class TextReceiver {
public:
    virtual ~TextReceiver() = default;
    // A text as delivered and as one line of plain text (the bytes again
    // when read raw). False stops the reading: the texts have nowhere to go.
    // kind names the entity it came from ("TEXT", "TOLERANCE"...); empty
    // for a text of the host's protocol, which gives no kind.
    virtual bool text(int32_t charset, std::string_view bytes, std::string_view plain, std::string_view kind) = 0;
    // The drawing's document properties, once it is open, before its texts.
    virtual void properties(const std::vector<DrawingProperty> &) {}
};

struct ReadOptions {
    bool raw = false;      // hand on the texts undecoded
    std::string codePage;  // decode from this iconv name; empty: the drawing's own
    uint64_t streamLimit = DWGTEXT_STREAM_LIMIT;  // bytes taken of a pipe or device
    bool classicKinds = false;  // TEXT, ATTRIB, ATTDEF and MTEXT only
    std::string previewPath;    // where the preview image goes; empty: nowhere
};

// Reads the file at path ("-" is standard input) through libdwgtext,
// handing every text to receiver as the library finds it; the result keeps
// the reports and the version (as firstBytes) but no texts and no events.
DrawingResult streamDrawing(const std::string &path, const ReadOptions &options, TextReceiver &receiver);

// Reads the file at path ("-" is standard input) whole, on the recording
// host, with the library's entry points: the result keeps the texts and the
// event list.
DrawingResult readDrawing(const std::string &path, const tqhost::EntryPoints &library);

// The same for a drawing already in memory.
DrawingResult readDrawingBytes(std::vector<uint8_t> bytes, const tqhost::EntryPoints &library);

// A result for an input that was never read, with the reason.
DrawingResult unreadable(std::string reason);

}  // namespace dwgtext

#endif
