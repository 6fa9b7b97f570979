// Operations on zero-terminated byte strings: searching, counting,
// splitting at a separator and removing characters in place. The text
// decoders split paragraphs and character codes with these; the file
// stream finds line ends with them.
#ifndef TQ_SUPPORT_STRETC_H
#define TQ_SUPPORT_STRETC_H

#include <cstdint>

class MemoryService;

class StrEtc {
public:
    explicit StrEtc(MemoryService *memory) : memory_(memory) {}

    char *removeChars(char *string, const char *set);
    char *removeString(char *string, const char *pattern);
    int32_t findString(const char *string, const char *pattern) const;
    int32_t findAnyChar(const char *string, const char *set) const;
    int32_t indexOfString(const char *string, const char *pattern) const;
    int32_t lengthWithoutTrailing(const char *string, const char *set) const;
    int32_t firstNotInSet(const char *string, const char *set) const;
    void trimBlanks(char *string);
    int32_t countWideUnits(const void *units) const;
    void splitString(char *string, const char *separator, int32_t *count, char **pieces);
    void splitStringMax(char *string, const char *separator, int32_t *count, char **pieces, int32_t maximum);
    int32_t countString(const char *string, const char *pattern) const;
    void removeChar(char *string, char character);

    MemoryService *memory() const { return memory_; }

private:
    int32_t p_search(const char *string, const char *pattern) const;
    int32_t p_searchAny(const char *string, const char *set) const;

    MemoryService *memory_;
};

StrEtc *newStrEtc(MemoryService *memory);
void deleteStrEtc(StrEtc *strings);

#endif
