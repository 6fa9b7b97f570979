#include "core/versions.h"

#include <cstring>

const VersionEntry &versionEntry(int32_t index)
{
    return index >= 0 && index < kVersionCount ? kVersionTable[index] : kVersionTable[kNoVersion];
}

int32_t matchVersion(const char bytes[6], int32_t first, int32_t last)
{
    for (int32_t index = first; index <= last && index < kVersionCount; ++index) {
        const char *text = kVersionTable[index].text;
        if (bytes[5] == text[5] && memcmp(bytes, text, 6) == 0) {
            return index;
        }
    }
    return kNoVersion;
}
