#include "strEtc.h"

#include <cstring>

#include "component.h"

[[gnu::used]] static const char kIdent[] = "@(#)strEtc: Version 1.00.00";

StrEtc *newStrEtc(MemoryService *memory)
{
    return newIn<StrEtc>(memory, memory);
}

void deleteStrEtc(StrEtc *strings)
{
    if (strings != nullptr) {
        deleteIn(strings->memory(), strings);
    }
}

int32_t StrEtc::findString(const char *string, const char *pattern) const
{
    return p_search(string, pattern);
}

// Looks only as far as the first match, so that walking a long text
// match by match reads it once.
int32_t StrEtc::p_search(const char *string, const char *pattern) const
{
    if (pattern[0] == '\0') {
        return -1;
    }
    const char *found = strstr(string, pattern);
    return found == nullptr ? -1 : static_cast<int32_t>(found - string);
}
