// Reading one drawing through our own host: its texts, the library's
// reports, and what became of it.
#ifndef DWGTEXT_EXTRACT_H
#define DWGTEXT_EXTRACT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host_session.h"

namespace dwgtext {

enum class Status {
    Read,         // opened and read to its end object
    Incomplete,   // cut short, or the library stopped before the end object
    CannotOpen,   // the file could not be read
    NotDwg,       // refused, and not a DWG drawing at all
    Unsupported,  // refused: a DWG drawing of a release the library does not read
    Refused,      // refused although the library reads its release
};

// The word for a status in JSON output: "read", "not-dwg"...
std::string_view statusName(Status status);

struct DrawingText {
    int32_t charset = 0;
    std::string bytes;  // as the library delivered them
};

struct DrawingResult {
    Status status = Status::Read;
    std::string openError;    // why the file could not be read
    std::string firstBytes;   // the first six bytes of the file, or fewer
    int32_t codePage = -1;    // the code page its header records; -1 none
    uint64_t size = 0;        // bytes in the file
    uint64_t recordedSize = 0;  // bytes its header says it has; 0 unknown
    std::vector<DrawingText> texts;
    std::vector<std::string> reports;
    std::string eventText;    // the session's event list

    bool truncated() const { return recordedSize > size; }
};

// Receives a drawing's texts while the library reads it.
class TextReceiver {
public:
    virtual ~TextReceiver() = default;
    // Before the first text: the drawing as far as its file header tells
    // (first bytes, code page, sizes).
    virtual void begin(const DrawingResult &drawing) = 0;
    // False stops the reading: the texts have nowhere to go.
    virtual bool text(int32_t charset, std::string_view bytes) = 0;
};

// Reads the file at path ("-" is standard input) on the lean host, handing
// every text to receiver as the library finds it; the result keeps the
// reports but no texts and no events.
DrawingResult streamDrawing(const std::string &path, const tqhost::EntryPoints &library, TextReceiver &receiver);

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
