// Reading one drawing's texts a text at a time on the lean host: what
// libdwgtext is built on. What the file header tells comes first, then the
// texts as the library finds them, then what became of the drawing.
#ifndef DWGTEXT_READING_H
#define DWGTEXT_READING_H

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_lean.h"

namespace dwgtext {

enum class Status {
    Read,         // opened and read to its end object
    Incomplete,   // cut short, or the library stopped before the end object
    Damaged,      // read to its end, but parts it records could not be read
    CannotOpen,   // the file could not be read
    NotDwg,       // refused, and not a DWG drawing at all
    Unsupported,  // refused: a DWG drawing of a release the library does not read
    Refused,      // refused although the library reads its release
    Reading,      // texts may follow
};

// The word for a status in JSON output: "read", "not-dwg"...
std::string_view statusName(Status status);

// What is known of a drawing besides its texts.
struct DrawingFacts {
    Status status = Status::Read;
    std::string openError;      // why the file could not be read
    std::string firstBytes;     // the first six bytes of the file, or fewer
    int32_t codePage = -1;      // the code page it records, as the library read it; -1 none
    uint64_t size = 0;          // bytes in the file
    bool cutShort = false;      // the library said so
    bool damaged = false;       // the library said so
    bool changedWhileRead = false;  // the file was cut short while it was read
};

// What a report of the library tells of the drawing: the library says at
// the end of its reading when a drawing was cut short or damaged.
void noteReport(DrawingFacts &facts, std::string_view report);

// What the file tells before the library starts: its first bytes and size.
void readHeader(tqhost::ByteSource &bytes, DrawingFacts &facts);

// The status of a drawing once the library is done with it. A drawing cut
// short is incomplete whatever the library made of it.
Status finalStatus(const DrawingFacts &facts, bool refused, bool endSeen);

// Why a drawing was not read, in one line without the file name; empty for
// a drawing that was read or is being read.
std::string describeFailure(const DrawingFacts &facts);

// One drawing, opened and started at once, its texts taken one at a time.
class TextReader final : private tqhost::ReportSink {
public:
    // The file at path, read where the library asks; a stream is taken up
    // to streamLimit bytes (see tqhost::openDrawing).
    TextReader(const std::string &path, uint64_t streamLimit, const tqhost::LibraryPath &library);
    // Standard input, taken as a stream.
    struct StandardInput {
        uint64_t streamLimit;
    };
    TextReader(StandardInput input, const tqhost::LibraryPath &library);
    // Bytes in memory, not copied: they must stay until the reader goes.
    TextReader(std::span<const uint8_t> bytes, const tqhost::LibraryPath &library);
    TextReader(const TextReader &) = delete;
    TextReader &operator=(const TextReader &) = delete;
    ~TextReader() override;

    const DrawingFacts &facts() const { return facts_; }
    // Each as one line of valid UTF-8 without its trailing line breaks.
    const std::vector<std::string> &reports() const { return reports_; }
    bool started() const { return started_; }

    // The next text, valid until the next call; null when there are no more,
    // and the status is final. Throws std::bad_alloc when memory ran out,
    // which ends the reading as incomplete.
    const tqhost::LeanText *next();

private:
    void start(const tqhost::LibraryPath &library);
    void report(std::string_view text) override;

    DrawingFacts facts_;
    std::vector<std::string> reports_;
    std::unique_ptr<tqhost::ByteSource> bytes_;
    std::optional<tqhost::LeanSession> session_;  // after reports_: it reports as it shuts down
    bool started_ = false;                        // next() has been called
};

}  // namespace dwgtext

#endif
