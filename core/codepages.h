// The code pages a drawing can name for its byte texts: a DWG file records
// the number, a DXF file the name ($DWGCODEPAGE), of the same table.
#ifndef TQ_CORE_CODEPAGES_H
#define TQ_CORE_CODEPAGES_H

#include <cstdint>
#include <cstring>

// Indexed by the number a drawing records; entry 0 is "undefined".
inline constexpr const char *kCodePageNames[] = {
    "",          "ASCII",     "ISO8859_1", "ISO8859_2", "ISO8859_3", "ISO8859_4", "ISO8859_5", "ISO8859_6",
    "ISO8859_7", "ISO8859_8", "ISO8859_9", "DOS437",    "DOS850",    "DOS852",    "DOS855",    "DOS857",
    "DOS860",    "DOS861",    "DOS863",    "DOS864",    "DOS865",    "DOS869",    "DOS932",    "MACINTOSH",
    "BIG5",      "KSC5601",   "JOHAB",     "DOS866",    "ANSI_1250", "ANSI_1251", "ANSI_1252", "GB2312",
    "ANSI_1253", "ANSI_1254", "ANSI_1255", "ANSI_1256", "ANSI_1257", "ANSI_874",  "ANSI_932",  "ANSI_936",
    "ANSI_949",  "ANSI_950",  "ANSI_1361", "UTF-16",    "ANSI_1258",
};
inline constexpr int32_t kCodePageCount = sizeof kCodePageNames / sizeof kCodePageNames[0];

// The number of the code page a name names, in any case; -1 for none.
inline int32_t codePageNumber(const uint8_t *name, int32_t length)
{
    for (int32_t number = 1; number < kCodePageCount; ++number) {
        const char *known = kCodePageNames[number];
        if (static_cast<int32_t>(strlen(known)) != length) {
            continue;
        }
        int32_t at = 0;
        while (at < length && (name[at] | 0x20) == (static_cast<uint8_t>(known[at]) | 0x20)) {
            ++at;
        }
        if (at == length) {
            return number;
        }
    }
    return -1;
}

#endif
