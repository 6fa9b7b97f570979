// What dwgtext prints for one drawing, in each output format.
#ifndef DWGTEXT_RENDER_H
#define DWGTEXT_RENDER_H

#include <string>
#include <string_view>

#include "extract.h"
#include "options.h"

namespace dwgtext {

struct RenderSettings {
    Format format = Format::Text;
    bool withFilename = false;
    Reports reports = Reports::Summary;
    std::string codePage;  // iconv name; empty: the drawing's own
};

struct Rendered {
    std::string out;  // for standard output
    std::string err;  // for standard error: reports or their summary, then the failure
    bool read = false;
};

Rendered render(std::string_view name, const DrawingResult &drawing, const RenderSettings &settings);

// Why a drawing was not read, in one line without the file name; empty for a
// drawing that was read.
std::string failureMessage(const DrawingResult &drawing);

}  // namespace dwgtext

#endif
