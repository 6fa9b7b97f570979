#include "options.h"

#include <charconv>

#include "codepage.h"

namespace dwgtext {

namespace {

constexpr unsigned kMaxJobs = 1024;

struct FormatOption {
    std::string_view name;
    Format format;
};

constexpr FormatOption kFormatOptions[] = {
    {"--json", Format::Json},
    {"--raw", Format::Raw},
    {"--events", Format::Events},
};

class Parser {
public:
    Parser(const std::vector<std::string_view> &args, bool inputRedirected)
        : args_(args),
          inputRedirected_(inputRedirected)
    {
    }

    ParsedOptions run()
    {
        while (next_ < args_.size() && parsed_.ok())
            take(args_[next_++]);
        if (parsed_.ok() && !options().help && !options().version && options().files.empty()) {
            if (inputRedirected_)
                options().files.emplace_back("-");
            else
                fail("no drawing given");
        }
        if (parsed_.ok() && !options().previewPath.empty() && (options().files.size() != 1 || options().recursive))
            fail("option '--preview' takes one drawing");
        return parsed_;
    }

private:
    Options &options() { return parsed_.options; }

    void fail(std::string message)
    {
        if (parsed_.ok())
            parsed_.error = std::move(message);
    }

    void take(std::string_view arg)
    {
        if (operandsOnly_ || arg == "-" || arg.empty() || arg.front() != '-')
            options().files.emplace_back(arg);
        else if (arg == "--")
            operandsOnly_ = true;
        else if (arg.starts_with("--"))
            longOption(arg);
        else
            shortOptions(arg.substr(1));
    }

    void longOption(std::string_view arg)
    {
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        std::optional<std::string_view> attached;
        if (equals != std::string_view::npos)
            attached = arg.substr(equals + 1);

        if (name == "--kinds") {
            if (const std::optional<std::string_view> value = valueOf(name, attached))
                setKinds(*value);
        } else if (name == "--codepage" || name == "--jobs" || name == "--stream-limit" || name == "--preview") {
            const std::optional<std::string_view> value = valueOf(name, attached);
            if (!value)
                return;
            if (name == "--codepage")
                setCodePage(*value);
            else if (name == "--jobs")
                setJobs(*value);
            else if (name == "--preview")
                options().previewPath = *value;
            else
                setStreamLimit(*value);
        } else if (attached) {
            fail("option '" + std::string(name) + "' takes no value");
        } else {
            flag(name);
        }
    }

    // -rqH, -j4, -j 4
    void shortOptions(std::string_view letters)
    {
        for (std::size_t i = 0; i < letters.size() && parsed_.ok(); ++i) {
            if (letters[i] != 'j') {
                flag(std::string("-") + letters[i]);
                continue;
            }
            std::optional<std::string_view> attached;
            if (i + 1 < letters.size())
                attached = letters.substr(i + 1);
            if (const std::optional<std::string_view> value = valueOf("-j", attached))
                setJobs(*value);
            return;
        }
    }

    void flag(std::string_view name)
    {
        for (const FormatOption &option : kFormatOptions) {
            if (name == option.name) {
                setFormat(option);
                return;
            }
        }
        if (name == "-r" || name == "--recursive")
            options().recursive = true;
        else if (name == "-H" || name == "--with-filename")
            options().withFilename = true;
        else if (name == "--no-filename")
            options().withFilename = false;
        else if (name == "--partial-ok")
            options().partialOk = true;
        else if (name == "--properties")
            options().propertyLines = PropertyLines::First;
        else if (name == "--properties-only")
            options().propertyLines = PropertyLines::Only;
        else if (name == "-q" || name == "--quiet")
            options().reports = Reports::None;
        else if (name == "-v" || name == "--verbose")
            options().reports = Reports::All;
        else if (name == "-h" || name == "--help")
            options().help = true;
        else if (name == "-V" || name == "--version")
            options().version = true;
        else
            fail("unknown option '" + std::string(name) + "'");
    }

    std::optional<std::string_view> valueOf(std::string_view name, std::optional<std::string_view> attached)
    {
        if (attached)
            return attached;
        if (next_ < args_.size())
            return args_[next_++];
        fail("option '" + std::string(name) + "' needs a value");
        return std::nullopt;
    }

    void setFormat(const FormatOption &option)
    {
        if (formatName_.empty() || formatName_ == option.name) {
            formatName_ = option.name;
            options().format = option.format;
        } else {
            fail("options '" + std::string(formatName_) + "' and '" + std::string(option.name) +
                 "' cannot be combined");
        }
    }

    void setJobs(std::string_view value)
    {
        unsigned jobs = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), jobs);
        if (error != std::errc() || end != value.data() + value.size() || jobs == 0 || jobs > kMaxJobs)
            fail("the number of jobs must be a whole number from 1 to " + std::to_string(kMaxJobs));
        else
            options().jobs = jobs;
    }

    // A number of bytes, with K, M or G for KiB, MiB or GiB.
    void setStreamLimit(std::string_view value)
    {
        uint64_t limit = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), limit);
        const std::string_view unit = value.substr(static_cast<std::size_t>(end - value.data()));
        const std::string_view units = "KMG";
        const std::size_t power = unit.empty() ? 0 : units.find(unit) + 1;
        if (error != std::errc() || limit == 0 || unit.size() > 1 || power == 0 || limit > (UINT64_MAX >> (10 * power)))
            fail("the stream limit must be a number of bytes above 0, with K, M or G for KiB, MiB or GiB");
        else
            options().streamLimit = limit << (10 * power);
    }

    void setKinds(std::string_view value)
    {
        if (value == "classic" || value == "all")
            options().classicKinds = value == "classic";
        else
            fail("--kinds takes 'all' or 'classic'");
    }

    void setCodePage(std::string_view value)
    {
        options().codePage = iconvNameFor(value);
        if (options().codePage.empty())
            fail("unknown code page '" + std::string(value) + "'");
    }

    const std::vector<std::string_view> &args_;
    const bool inputRedirected_;
    std::size_t next_ = 0;
    bool operandsOnly_ = false;
    std::string_view formatName_;
    ParsedOptions parsed_;
};

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string_view> &args, bool inputRedirected)
{
    return Parser(args, inputRedirected).run();
}

std::string usageText()
{
    return "Usage: dwgtext [OPTION]... [FILE|DIR]...\n"
           "Prints the texts of DWG drawings (R10 to R2018) in UTF-8, one per line.\n"
           "\n"
           "  -r, --recursive      read the *.dwg and *.dxf files under each DIR\n"
           "  -j, --jobs N         read N drawings at a time (default: one per core)\n"
           "  -H, --with-filename  prefix each line with the file name\n"
           "      --no-filename    never prefix lines with the file name\n"
           "      --codepage NAME  decode byte texts from NAME (ANSI_1252, DOS932,\n"
           "                       or any iconv name) instead of the drawing's code page\n"
           "      --raw            print the texts as the library delivered them\n"
           "      --kinds=classic  only the texts of TEXT, ATTRIB, ATTDEF and MTEXT\n"
           "                       (default --kinds=all: callouts, tolerances, dimension\n"
           "                       texts, attribute prompts and proxy texts too)\n"
           "      --json           print JSON Lines: one object per text, one per file\n"
           "      --events         print the event list of each drawing\n"
           "      --properties     print the document properties (title, author...) as\n"
           "                       'name: value' lines before the texts\n"
           "      --properties-only  print the document properties and no texts\n"
           "      --preview FILE   write the drawing's preview image to FILE, as stored\n"
           "                       (PNG, WMF, or a BMP without its file header)\n"
           "  -v, --verbose        print every report of the library (by default only\n"
           "                       the number of its errors per drawing)\n"
           "  -q, --quiet          print nothing on standard error but the lines of\n"
           "                       drawings that were not read (texts still print)\n"
           "      --stream-limit SIZE  read at most SIZE bytes (K, M, G: KiB, MiB, GiB) of\n"
           "                       standard input, a pipe or a device (default: 1G)\n"
           "      --partial-ok     exit 0 for a drawing cut short or damaged that gave\n"
           "                       texts (it is still named on standard error)\n"
           "  -h, --help           print this help\n"
           "  -V, --version        print the version\n"
           "\n"
           "FILE '-' reads standard input, as does no FILE when standard input is not a\n"
           "terminal. Exit status: 0 when every drawing was read,\n"
           "1 when one could not be read or was cut short or damaged (with --partial-ok:\n"
           "only when it gave no text), or standard output failed, 2 for a wrong command\n"
           "line.\n";
}

}  // namespace dwgtext
