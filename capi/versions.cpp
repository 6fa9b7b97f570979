#include "versions.h"

#include <optional>

#include "core/versions.h"

namespace dwgtext {

namespace {

struct Release {
    std::string_view version;
    std::string_view name;
    bool supported;
};

// Releases the library has no entry for: the first ones, whose version
// strings are shorter.
constexpr Release kOtherReleases[] = {
    {"AC1.2", "R1.2", false},   {"AC1.40", "R1.40", false}, {"AC1.50", "R2.05", false},
    {"AC2.10", "R2.10", false}, {"AC1003", "R2.6", false},
};

// The library's own version table says which versions it reads.
constexpr Release fromLibrary(const VersionEntry &entry)
{
    return {entry.text, entry.release, entry.family != ReaderFamily::None};
}

constexpr std::size_t kVersionLength = 6;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<Release> findRelease(std::string_view firstBytes)
{
    const std::string_view version = versionOf(firstBytes);
    for (const VersionEntry &entry : kVersionTable) {
        if (!version.empty() && entry.text == version)
            return fromLibrary(entry);
    }
    for (const Release &release : kOtherReleases) {
        if (release.version == version)
            return release;
    }
    return std::nullopt;
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

// Version texts have six characters, but for the first release's five
// ("AC1.2"): five others are the start of a longer one ("AC102" of
// "AC1021"), in a file cut short before it could show it is a drawing.
bool looksLikeDwg(std::string_view firstBytes)
{
    const std::string_view version = versionOf(firstBytes);
    if (version.size() < kVersionLength)
        return findRelease(version).has_value();
    if (!version.starts_with("AC") || !isDigit(version[2]))
        return false;
    for (char c : version.substr(3)) {
        if (!isDigit(c) && c != '.')
            return false;
    }
    return true;
}

bool isSupportedVersion(std::string_view firstBytes)
{
    const std::optional<Release> release = findRelease(firstBytes);
    return release && release->supported;
}

bool mayHoldMText(std::string_view firstBytes)
{
    const std::string_view version = versionOf(firstBytes);
    for (const VersionEntry &entry : kVersionTable) {
        if (!version.empty() && entry.text == version)
            return entry.family == ReaderFamily::R13;
    }
    return false;
}

std::string describeVersion(std::string_view firstBytes)
{
    const std::optional<Release> release = findRelease(firstBytes);
    return release ? described(*release) : std::string(versionOf(firstBytes));
}

std::string_view releaseOf(std::string_view firstBytes)
{
    const std::optional<Release> release = findRelease(firstBytes);
    return release ? release->name : std::string_view();
}

std::string supportedRange()
{
    return described(*findRelease(versionString(kAC1006))) + " to " +
           described(*findRelease(versionString(kAC1032)));
}

}  // namespace dwgtext
