#include "strEtc.h"

#include <climits>
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

char *StrEtc::removeChars(char *string, const char *set)
{
    for (const char *c = set; *c != '\0'; ++c) {
        removeChar(string, *c);
    }
    return string;
}

// After a removal the search resumes where an occurrence formed by joining
// the two sides could begin: "xxyy" less "xy" gives "xy", which goes too.
// Nothing before that point has changed, so nothing earlier can match.
char *StrEtc::removeString(char *string, const char *pattern)
{
    int32_t length = static_cast<int32_t>(strlen(pattern));
    int32_t from = 0;
    int32_t found = p_search(string, pattern);
    while (found >= 0) {
        char *match = string + from + found;
        memmove(match, match + length, strlen(match + length) + 1);
        int32_t back = found + from - (length - 1);
        from = back > 0 ? back : 0;
        found = p_search(string + from, pattern);
    }
    return string;
}

int32_t StrEtc::findString(const char *string, const char *pattern) const
{
    return p_search(string, pattern);
}

int32_t StrEtc::findAnyChar(const char *string, const char *set) const
{
    return p_searchAny(string, set);
}

int32_t StrEtc::indexOfString(const char *string, const char *pattern) const
{
    return p_search(string, pattern);
}

int32_t StrEtc::lengthWithoutTrailing(const char *string, const char *set) const
{
    size_t length = strlen(string);
    while (length > 0 && strchr(set, string[length - 1]) != nullptr) {
        --length;
    }
    return length == 0 ? -1 : static_cast<int32_t>(length);
}

int32_t StrEtc::firstNotInSet(const char *string, const char *set) const
{
    return static_cast<int32_t>(strspn(string, set));
}

// A text of blanks keeps its first one: callers treat an empty text as
// missing, a single blank as a text.
void StrEtc::trimBlanks(char *string)
{
    size_t length = strlen(string);
    while (length > 1 && (string[length - 1] == ' ' || string[length - 1] == '\t')) {
        --length;
    }
    string[length] = '\0';
}

// Counts two-byte units up to the first one whose second byte is zero: the
// end of a double-byte text whose characters all have a non-zero low byte.
int32_t StrEtc::countWideUnits(const void *units) const
{
    if (units == nullptr) {
        return 0;
    }
    const unsigned char *bytes = static_cast<const unsigned char *>(units);
    int32_t count = 0;
    while (bytes[2 * count + 1] != 0) {
        ++count;
    }
    return count;
}

int32_t StrEtc::countString(const char *string, const char *pattern) const
{
    int32_t length = static_cast<int32_t>(strlen(pattern));
    int32_t count = 0;
    const char *rest = string;
    for (int32_t at = p_search(rest, pattern); at >= 0; at = p_search(rest, pattern)) {
        ++count;
        rest += at + length;
    }
    return count;
}

void StrEtc::removeChar(char *string, char character)
{
    if (character == '\0') {
        return;
    }
    char *to = string;
    for (const char *from = string; *from != '\0'; ++from) {
        if (*from != character) {
            *to++ = *from;
        }
    }
    *to = '\0';
}

// The first index at which the whole pattern stands in the string; an empty
// pattern or an empty string matches nowhere.
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

int32_t StrEtc::p_searchAny(const char *string, const char *set) const
{
    const char *found = strpbrk(string, set);
    return found == nullptr ? -1 : static_cast<int32_t>(found - string);
}
