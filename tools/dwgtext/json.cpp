#include "json.h"

#include <cstdio>

#include "text_output.h"

namespace dwgtext {

namespace {

// One byte of a JSON string that is ASCII: escaped when it is a quote, a
// backslash or a control character.
void appendJsonAscii(std::string &out, char c)
{
    if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
    } else if (c == '\n') {
        out += "\\n";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
        out += escaped;
    } else {
        out += c;
    }
}

// The length of the UTF-8 sequence a lead byte starts; 0 for a byte that
// starts none.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2)
        return 0;
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
}

}  // namespace

void appendJsonString(std::string &out, std::string_view utf8)
{
    out += '"';
    for (char c : utf8)
        appendJsonAscii(out, c);
    out += '"';
}

// A file name, which may hold any bytes, as a JSON string that gives them
// all back: what is UTF-8 stays as it is, and each byte that is not part of
// a well-formed sequence (as validUtf8 keeps them, and as Python's decoder
// takes them) becomes the escape \udcXX of a lone surrogate, as Python's
// surrogateescape decodes it. The batch of the Python package writes its
// names so too; os.fsencode(json.loads(line)["file"]) gives the name's
// bytes back.
void appendJsonFileName(std::string &out, std::string_view bytes)
{
    out += '"';
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(bytes[at]));
        const std::string_view sequence = bytes.substr(at, length);
        if (length == 1) {
            appendJsonAscii(out, bytes[at]);
        } else if (length > 1 && sequence.size() == length && validUtf8(sequence) == sequence) {
            out.append(sequence);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\udc%02x", static_cast<unsigned char>(bytes[at]));
            out += escaped;
            ++at;
            continue;
        }
        at += length;
    }
    out += '"';
}

}  // namespace dwgtext
