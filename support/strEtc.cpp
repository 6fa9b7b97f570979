#include "strEtc.h"

#include <cstring>

[[gnu::used]] static const char kIdent[] = "@(#)strEtc: Version 1.00.00";

int32_t findString(const char *string, const char *pattern)
{
    if (pattern[0] == '\0') {
        return -1;
    }
    const char *found = strstr(string, pattern);
    return found == nullptr ? -1 : static_cast<int32_t>(found - string);
}
