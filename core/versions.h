// Every DWG version the library knows, in one table: the six bytes that
// open a drawing of it, the release that writes it, and the reader family
// that serves it. An entry's index in the table is the session's version
// index.
#ifndef TQ_CORE_VERSIONS_H
#define TQ_CORE_VERSIONS_H

#include <cstdint>
#include <cstring>

enum class ReaderFamily : int32_t { None = 0, R12 = 1, R13 = 2 };

enum VersionIndex : int32_t {
    kAC1002,
    kAC1004,
    kAC1006,
    kAC1009,
    kAC1010,
    kAC1012,
    kAC1013,
    kAC1014,
    kAC1015,
    kAC1018,
    kAC1021,
    kAC1024,
    kAC1027,
    kAC1032,
    kAC1500,
    kNoVersion,
    kVersionCount
};

struct VersionEntry {
    char text[7];
    const char *release;  // "" where no release is known by that version
    ReaderFamily family;
};

inline constexpr VersionEntry kVersionTable[kVersionCount] = {
    {"AC1002", "R2.5", ReaderFamily::None},   {"AC1004", "R9", ReaderFamily::None},
    {"AC1006", "R10", ReaderFamily::R12},     {"AC1009", "R11/R12", ReaderFamily::R12},
    {"AC1010", "R12", ReaderFamily::R12},     {"AC1012", "R13", ReaderFamily::R13},
    {"AC1013", "", ReaderFamily::R13},        {"AC1014", "R14", ReaderFamily::R13},
    {"AC1015", "R2000", ReaderFamily::R13},   {"AC1018", "R2004", ReaderFamily::R13},
    {"AC1021", "R2007", ReaderFamily::R13},  {"AC1024", "R2010", ReaderFamily::R13},
    {"AC1027", "R2013", ReaderFamily::R13},   {"AC1032", "R2018", ReaderFamily::R13},
    {"AC1500", "", ReaderFamily::None},
    {"", "", ReaderFamily::None},
};

// The entry of an index; the empty last entry for an index outside the
// table.
inline const VersionEntry &versionEntry(int32_t index)
{
    return index >= 0 && index < kVersionCount ? kVersionTable[index] : kVersionTable[kNoVersion];
}

inline ReaderFamily versionFamily(int32_t index)
{
    return versionEntry(index).family;
}

// The table runs in release order up to kAC1500: where the drawing format
// changed, the readers ask whether a version is one of those from a given
// one on.
inline bool versionAtLeast(int32_t index, int32_t first)
{
    return index >= first && index < kAC1500;
}

inline const char *versionString(int32_t index)
{
    return versionEntry(index).text;
}

// Tries the entries first..last in order; an entry matches when the sixth
// byte and then all six bytes agree. The first match, or kNoVersion.
inline int32_t matchVersion(const char bytes[6], int32_t first, int32_t last)
{
    for (int32_t index = first; index <= last && index < kVersionCount; ++index) {
        const char *text = kVersionTable[index].text;
        if (bytes[5] == text[5] && memcmp(bytes, text, 6) == 0) {
            return index;
        }
    }
    return kNoVersion;
}

#endif
