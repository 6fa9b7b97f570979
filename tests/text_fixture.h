// Event lines the recording host writes, for the tests of the upper R13-R2000
// reader layer: a test states the lines it expects ("text 0 414243", "report
// ...") and compares them with what the host saw.
#ifndef TQ_TESTS_TEXT_FIXTURE_H
#define TQ_TESTS_TEXT_FIXTURE_H

#include <string>
#include <string_view>
#include <vector>

#include "tqhost.h"

namespace textlines {

// A kind-41 object holding bytes with the character-set code.
inline std::string text(std::string_view bytes, int code = 0)
{
    return tqhost::formatEvent({tqhost::Event::Type::Text, std::string(bytes), code});
}

// A report; a trailing "[module/NNN]" is written "[module/LINE]".
inline std::string report(std::string_view message)
{
    return tqhost::formatEvent({tqhost::Event::Type::Report, std::string(message), 0});
}

inline std::vector<std::string> lines(const std::vector<tqhost::Event> &events)
{
    std::vector<std::string> out;
    for (const tqhost::Event &event : events) {
        out.push_back(tqhost::formatEvent(event));
    }
    return out;
}

}  // namespace textlines

#endif
