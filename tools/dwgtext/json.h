// JSON text as our programs write it: strings of valid UTF-8 escaped where
// JSON requires it, file names whose bytes survive the trip, and objects
// built a pair at a time.
#ifndef DWGTEXT_JSON_H
#define DWGTEXT_JSON_H

#include <cstdint>
#include <string>
#include <string_view>

namespace dwgtext {

// A JSON string of valid UTF-8, with the quotes.
void appendJsonString(std::string &out, std::string_view utf8);

// A file name, which may hold any bytes, as a JSON string that gives them
// all back (see json.cpp).
void appendJsonFileName(std::string &out, std::string_view bytes);

// One "key":value pair, with the comma before it unless it is the first.
class JsonObject {
public:
    JsonObject &string(std::string_view key, std::string_view utf8)
    {
        appendJsonString(keyed(key), utf8);
        return *this;
    }

    // A file name's bytes, kept whatever they are (appendJsonFileName).
    JsonObject &fileName(std::string_view key, std::string_view bytes)
    {
        appendJsonFileName(keyed(key), bytes);
        return *this;
    }

    JsonObject &number(std::string_view key, int64_t value)
    {
        keyed(key) += std::to_string(value);
        return *this;
    }

    JsonObject &raw(std::string_view key, std::string_view json)
    {
        keyed(key) += json;
        return *this;
    }

    std::string line() const { return text_ + "}\n"; }

private:
    std::string &keyed(std::string_view key)
    {
        text_ += text_.size() == 1 ? "" : ",";
        appendJsonString(text_, key);
        text_ += ':';
        return text_;
    }

    std::string text_ = "{";
};

}  // namespace dwgtext

#endif
