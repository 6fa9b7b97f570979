// Operations on zero-terminated byte strings: finding a pattern and cutting
// a string at a separator. The text decoder splits paragraphs and
// character codes with these.
#ifndef TQ_SUPPORT_STRETC_H
#define TQ_SUPPORT_STRETC_H

#include <cstdint>
#include <cstring>

// The index of the first place of pattern in string; -1 when there is none
// or the pattern is empty. It looks only as far as the first match, so that
// walking a long text match by match reads it once.
int32_t findString(const char *string, const char *pattern);

// Cuts the string in place at each separator and hands every piece to visit
// as soon as it is cut, however many there are. Separators at the start of
// what is left make no piece; if any piece was made, what follows the last
// separator is the last piece, possibly empty. Answers the number of pieces
// handed over, or -1 as soon as visit answers false.
template <class Visit>
int32_t forEachPiece(char *string, const char *separator, Visit visit)
{
    const int32_t separatorLength = static_cast<int32_t>(strlen(separator));
    char *rest = string;
    int32_t count = 0;
    for (int32_t at = findString(rest, separator); at >= 0; at = findString(rest, separator)) {
        if (at > 0) {
            rest[at] = '\0';
            if (!visit(rest)) {
                return -1;
            }
            ++count;
        }
        rest += at + separatorLength;
    }
    if (count > 0 && !visit(rest)) {
        return -1;
    }
    return count > 0 ? count + 1 : 0;
}

#endif
