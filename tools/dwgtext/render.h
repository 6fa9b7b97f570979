// What dwgtext prints for one drawing, in each output format.
#ifndef DWGTEXT_RENDER_H
#define DWGTEXT_RENDER_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "extract.h"
#include "options.h"
#include "text_output.h"

namespace dwgtext {

struct RenderSettings {
    Format format = Format::Text;
    bool withFilename = false;
    Reports reports = Reports::Summary;
    std::string codePage;  // iconv name; empty: the drawing's own
    PropertyLines propertyLines = PropertyLines::None;
};

struct Rendered {
    std::string out;  // for standard output
    std::string err;  // for standard error: reports or their summary, then the failure
    bool read = false;
    bool gaveTexts = false;  // at least one text came out, whatever the status
};

// Renders one drawing's texts as they come, and the rest once it is read.
// With a flush, the lines of standard output go to it whenever some 64 KiB
// have gathered, so that a drawing's texts are never all in memory at once;
// without one they all stay in the result.
class DrawingRenderer final : public TextReceiver {
public:
    // Takes the lines gathered and answers false when they could not be written.
    using Flush = std::function<bool(std::string &out)>;

    DrawingRenderer(std::string_view name, const RenderSettings &settings, Flush flush = {});

    bool text(int32_t charset, std::string_view bytes, std::string_view plain, std::string_view kind) override;
    void properties(const std::vector<DrawingProperty> &found) override;
    // The rest of standard output and what goes to standard error.
    Rendered finish(const DrawingResult &drawing);

private:
    std::string file_;   // as output names it: its bytes in JSON, one line of UTF-8 otherwise
    std::string named_;  // as messages name it: one line of UTF-8
    const RenderSettings &settings_;
    Flush flush_;
    uint64_t texts_ = 0;
    Rendered rendered_;
};

// A drawing read whole, with its texts: decoded here as libdwgtext decodes
// them.
Rendered render(std::string_view name, const DrawingResult &drawing, const RenderSettings &settings);

// Why a drawing was not read, in one line without the file name, as
// libdwgtext said or else from its facts; empty for a drawing that was read.
std::string failureMessage(const DrawingResult &drawing);

}  // namespace dwgtext

#endif
