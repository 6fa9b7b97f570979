#include "options.h"

namespace dwgtext {

ParsedOptions parseOptions(const std::vector<std::string_view> &args)
{
    ParsedOptions parsed;
    Options &options = parsed.options;
    bool operandsOnly = false;
    for (std::string_view arg : args) {
        if (operandsOnly || arg == "-" || arg.empty() || arg.front() != '-') {
            options.files.emplace_back(arg);
        } else if (arg == "--") {
            operandsOnly = true;
        } else if (arg == "--events") {
            options.events = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            parsed.error = "unknown option '" + std::string(arg) + "'";
            return parsed;
        }
    }
    if (!options.help && options.files.empty())
        parsed.error = "no drawing given";
    return parsed;
}

std::string usageText()
{
    return "Usage: dwgtext [--events] FILE...\n"
           "Prints the texts of DWG drawings (R10 to R2000), one per line.\n"
           "\n"
           "  --events   print each drawing's event list instead: version, reports,\n"
           "             texts in hexadecimal and the end, one per line\n"
           "  -h, --help print this help\n"
           "\n"
           "FILE '-' reads standard input. Exit status: 0 when every drawing was read,\n"
           "1 when one could not be read, 2 for a wrong command line.\n";
}

}  // namespace dwgtext
