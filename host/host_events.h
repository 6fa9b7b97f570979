// Event list of one session: what the host saw, in the order it saw it.
//
// The text form is one event per line:
//   version V        the drawing's first six bytes
//   refused          startSrcDWG gave no session
//   report TEXT      one fpReport call
//   text CODE HEX    one kind-41 object, when it was appended
//   end              the end object, when it was appended
// TEXT and V are escaped with escapeBytes(); in report texts the line number
// of a trailing "[module/123]" is written as "LINE" first, so that lists stay
// valid when the library's sources move.
#ifndef TQHOST_HOST_EVENTS_H
#define TQHOST_HOST_EVENTS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tqhost {

struct Event {
    enum class Type { Version, Refused, Report, Text, End };

    Type type = Type::End;
    std::string bytes;   // version bytes, raw report text or text bytes
    int32_t code = 0;    // character-set code of a text event
};

// Line feed -> "\n", backslash -> "\\", any other byte outside 0x20..0x7E
// -> "\xHH" with lower-case hex digits; everything else stays.
std::string escapeBytes(std::string_view bytes);

// Replaces the digits of the last "[module/NNN]" in text with "LINE".
// Texts without such a group come back unchanged.
std::string maskSourceLine(std::string_view text);

// Lower-case hexadecimal, two digits per byte, no separators.
std::string toHex(std::string_view bytes);

// One line without its line feed.
std::string formatEvent(const Event &event);

// Every event followed by a line feed.
std::string formatEvents(const std::vector<Event> &events);

class EventLog {
public:
    void version(std::string_view firstBytes);
    // The refusal stands right after the version line, before the reports
    // made while the library tried to open the drawing.
    void refused();
    void report(std::string_view text);
    void text(int32_t code, std::string_view bytes);
    void end();

    const std::vector<Event> &events() const { return events_; }
    bool endSeen() const { return endSeen_; }
    std::string format() const { return formatEvents(events_); }
    void clear();

private:
    std::vector<Event> events_;
    bool endSeen_ = false;
};

}  // namespace tqhost

#endif
