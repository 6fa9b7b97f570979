// Command line of dwgtext.
#ifndef DWGTEXT_OPTIONS_H
#define DWGTEXT_OPTIONS_H

#include <string>
#include <string_view>
#include <vector>

namespace dwgtext {

struct Options {
    bool events = false;  // print the event list instead of the texts
    bool help = false;
    std::vector<std::string> files;  // "-" is standard input
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is usable

    bool ok() const { return error.empty(); }
};

// Parses the arguments after the program name.
ParsedOptions parseOptions(const std::vector<std::string_view> &args);

std::string usageText();

}  // namespace dwgtext

#endif
