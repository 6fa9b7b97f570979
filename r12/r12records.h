// The records of an R10, R11 or R12 drawing, decoded from their bytes in
// memory. Everything in these files starts on a byte boundary and every
// integer is little-endian; the bit cursor reads them at byte positions.
//
// An entity record is a four-byte head (type, flags, length), a common part
// whose fields the flags announce, and a part of its type's own. The
// records that hold texts are TEXT (one string), ATTRIB (two), ATTDEF
// (three) and BLOCK (its name, and a second string when its option word
// says so); their strings follow a 2D point, and for all but BLOCK one
// real.
#ifndef TQ_R12_R12RECORDS_H
#define TQ_R12_R12RECORDS_H

#include <cstdint>

#include "core/properties.h"
#include "support/bitcursor.h"

constexpr uint8_t kR12Text = 7;
constexpr uint8_t kR12Block = 12;
constexpr uint8_t kR12Attdef = 15;
constexpr uint8_t kR12Attrib = 16;

struct R12EntityHead {
    uint8_t type;
    uint8_t flags;
    uint16_t length;  // of the whole record, from its type byte
};

constexpr int32_t kR12HeadSize = 4;

// The four head bytes are one little-endian word.
inline R12EntityHead entityHeadOf(uint32_t word)
{
    return R12EntityHead{static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
                         static_cast<uint16_t>(word >> 16)};
}

inline bool readEntityHead(BitCursor &in, R12EntityHead *head)
{
    *head = entityHeadOf(in.RL());
    return !in.overran();
}

// The strings of a record that holds texts, where they lie in its bytes,
// in the order they are stored; strings of length 0 are left out.
struct R12Strings {
    struct String {
        uint32_t offset;     // from the record's first byte
        uint16_t length;     // as the record states it
        uint16_t available;  // bytes the file holds: fewer only when it ends inside the string
    };
    String strings[3];
    int32_t count;
    // Whether every field up to the last string was there.
    bool whole;
};

// Reads a TEXT, ATTRIB, ATTDEF or BLOCK record from its first byte. A
// string that runs past the bytes in memory runs out, unless those end
// where the file ends (endsFile): then it keeps the bytes there are, and
// the record is whole if it was the last.
void readTextRecord(BitCursor &in, int32_t versionIndex, bool endsFile, R12Strings *strings);

// The section addresses the file header records at 0x14.
struct R12Addresses {
    int32_t entitiesStart;
    int32_t entitiesEnd;
    int32_t blocksStart;
    int32_t blocksSize;  // its top bits carry a flag
    int32_t fourthAddress;
    int32_t extrasSize;  // its top bits carry a flag
};

// How much of the header the file holds, read from its first byte.
enum class R12HeaderRead {
    Whole,
    NoAddresses,   // the file ends before the six addresses
    NoFirstTables, // before the first five table descriptors end (0x5E)
    NoVariables,   // before the header variables and dates end (0x3EF)
    NoLastTables,  // before the last five table descriptors end (0x6CF)
};

constexpr int32_t kR12HeaderEnd = 0x6CF;

R12HeaderRead readR12Header(BitCursor &in, R12Addresses *addresses);

// The times among the header variables: when the drawing was made and last
// saved, and how long it was edited, each a 32-bit day (a Julian day
// number for the moments) and the milliseconds into it. False, keeping no
// time, when the file ends before them.
bool readR12Times(BitCursor &in, DrawingProperties *properties);

#endif
