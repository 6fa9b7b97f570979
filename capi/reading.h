// Reading one drawing's texts a text at a time with the library's reader:
// what libdwgtext is built on. What the reader learns of the drawing comes
// with the texts as it finds them, then what became of the drawing.
#ifndef DWGTEXT_READING_H
#define DWGTEXT_READING_H

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bytesource.h"
#include "core/dwgglobal.h"
#include "core/properties.h"
#include "properties.h"

namespace dwgtext {

enum class Status {
    Read,         // opened and read to its end
    Incomplete,   // cut short, or the reading stopped before the end
    Damaged,      // read to its end, but parts it records could not be read
    CannotOpen,   // the file could not be read
    NotDwg,       // refused, and not a DWG drawing at all
    Unsupported,  // refused: a DWG drawing of a release the library does not read
    Refused,      // refused although the library reads its release
    Reading,      // texts may follow
};

// The word for a status, the same in the C API, in dwgtext's JSON output
// and in Python: "read", "not-dwg", "failed"...
std::string_view statusName(Status status);

// What is known of a drawing besides its texts.
struct DrawingFacts {
    Status status = Status::Read;
    std::string openError;      // why the file could not be read
    std::string firstBytes;     // the first six bytes of the file, or fewer, as the library read them
    int32_t codePage = -1;      // the code page it records, as the library read it; -1 none
    uint64_t size = 0;          // bytes in the file
    bool cutShort = false;      // it records parts past the end of the file
    bool damaged = false;       // of full length, but parts it records could not be read
    bool changedWhileRead = false;  // the file was cut short while it was read
    bool ended = false;         // the library came to the drawing's end
    PreviewPlace preview{};     // where its preview image lies, as the library found it
};

// The status of a drawing once the library is done with it. A drawing cut
// short is incomplete whatever the library made of it.
Status finalStatus(const DrawingFacts &facts, bool refused);

// Why a drawing was not read, in one line without the file name; empty for
// a drawing that was read or is being read.
std::string describeFailure(const DrawingFacts &facts);

// A text as the library found it: its character-set code, bytes and the
// kind of entity it came from.
struct FoundText {
    int32_t charset = 0;
    std::string bytes;
    TextKind kind = TextKind::Text;
};

// The word for a kind, the same in the C API, in dwgtext's JSON output and
// in Python: "TEXT", "ATTRIB", "ATTDEF", "MTEXT", "TOLERANCE", "DIMENSION",
// "ATTDEF_PROMPT", "MULTILEADER", "PROXY".
const char *textKindName(TextKind kind);

// One drawing, opened and started at once, its texts taken one at a time.
class TextReader final {
public:
    // The file at path, read where the library asks; a stream is taken up
    // to streamLimit bytes (see dwgfiles::openDrawing).
    TextReader(const std::string &path, uint64_t streamLimit);
    // Standard input, taken as a stream.
    struct StandardInput {
        uint64_t streamLimit;
    };
    explicit TextReader(StandardInput input);
    // Bytes in memory, not copied: they must stay until the reader goes.
    explicit TextReader(std::span<const uint8_t> bytes);
    TextReader(const TextReader &) = delete;
    TextReader &operator=(const TextReader &) = delete;
    ~TextReader();

    const DrawingFacts &facts() const { return facts_; }
    // Each as one line of valid UTF-8 without its trailing line breaks.
    const std::vector<std::string> &reports() const { return reports_; }
    // The document properties, read as the drawing opened (properties.h).
    const std::vector<DrawingProperty> &properties() const { return properties_; }
    // The preview image's bytes as stored, read at the first call; empty
    // when the drawing has none, or one larger than kMostPreviewBytes.
    const std::string &preview();
    static constexpr uint32_t kMostPreviewBytes = 16u << 20;
    bool started() const { return started_; }
    // Before the first next(): only texts of the four classic kinds come,
    // as the host's protocol gives them.
    void keepClassicKinds();

    // The next text, valid until the next call; null when there are no more,
    // and the status is final. Throws std::bad_alloc when memory ran out,
    // which ends the reading as incomplete.
    const FoundText *next();

private:
    class Session;

    void start();
    void takeFacts();

    DrawingFacts facts_;
    std::vector<std::string> reports_;
    std::vector<DrawingProperty> properties_;
    std::string preview_;
    bool previewRead_ = false;
    std::unique_ptr<dwgfiles::ByteSource> bytes_;
    std::unique_ptr<Session> session_;  // after reports_: it reports as it closes
    bool started_ = false;              // next() has been called
};

}  // namespace dwgtext

#endif
