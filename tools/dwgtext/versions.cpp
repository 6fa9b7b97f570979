#include "versions.h"

namespace dwgtext {

namespace {

struct Release {
    std::string_view version;
    std::string_view name;
    bool supported;
};

constexpr Release kReleases[] = {
    {"AC1.2", "R1.2", false},
    {"AC1.40", "R1.40", false},
    {"AC1.50", "R2.05", false},
    {"AC2.10", "R2.10", false},
    {"AC1002", "R2.5", false},
    {"AC1003", "R2.6", false},
    {"AC1004", "R9", false},
    {"AC1006", "R10", true},
    {"AC1009", "R11/R12", true},
    {"AC1010", "R12", true},
    {"AC1012", "R13", true},
    {"AC1013", "", true},
    {"AC1014", "R14", true},
    {"AC1015", "R2000", true},
    {"AC1018", "R2004", false},
    {"AC1021", "R2007", false},
    {"AC1024", "R2010", false},
    {"AC1027", "R2013", false},
    {"AC1032", "R2018", false},
};

constexpr std::size_t kVersionLength = 6;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const Release *findRelease(std::string_view firstBytes)
{
    const std::string_view version = versionOf(firstBytes);
    for (const Release &release : kReleases) {
        if (release.version == version)
            return &release;
    }
    return nullptr;
}

std::string described(const Release &release)
{
    std::string text(release.version);
    if (!release.name.empty())
        text += " (" + std::string(release.name) + ")";
    return text;
}

}  // namespace

std::string_view versionOf(std::string_view firstBytes)
{
    std::string_view version = firstBytes.substr(0, kVersionLength);
    const std::size_t zero = version.find('\0');
    return zero == std::string_view::npos ? version : version.substr(0, zero);
}

bool looksLikeDwg(std::string_view firstBytes)
{
    const std::string_view version = versionOf(firstBytes);
    if (version.size() < 5 || !version.starts_with("AC") || !isDigit(version[2]))
        return false;
    for (char c : version.substr(3)) {
        if (!isDigit(c) && c != '.')
            return false;
    }
    return true;
}

bool isSupportedVersion(std::string_view firstBytes)
{
    const Release *release = findRelease(firstBytes);
    return release != nullptr && release->supported;
}

bool mayHoldMText(std::string_view firstBytes)
{
    return isSupportedVersion(firstBytes) && versionOf(firstBytes) >= "AC1012";
}

std::string describeVersion(std::string_view firstBytes)
{
    const Release *release = findRelease(firstBytes);
    return release != nullptr ? described(*release) : std::string(versionOf(firstBytes));
}

std::string supportedRange()
{
    return described(*findRelease("AC1006")) + " to " + described(*findRelease("AC1015"));
}

}  // namespace dwgtext
