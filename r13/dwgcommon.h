// The common entity data at the head of every entity object of an R13 to
// R2018 drawing. Its layout differs between R13/R14 and R2000, and from
// R2000 on each release changes a few fields (R2KCommonData serves them
// all). Both are read from the object's bytes in memory, and bit offsets
// count from the object's first byte.
#ifndef TQ_R13_DWGCOMMON_H
#define TQ_R13_DWGCOMMON_H

#include <cstdint>

#include "core/versions.h"
#include "support/bitcursor.h"
#include "support/byteswap.h"

// What a text needs of the common data. R13 and R14 texts need nothing of
// it but that it is whole.
struct R13CommonData {
};

// From R2007 on the texts lie in the object's string stream, which ends
// where the object's data ends.
struct R2KCommonData {
    uint16_t objectType;
    int64_t dataEndBit;    // where the handles begin
    int64_t objectEndBit;  // where the check value begins
};

// The head of an object: its size (MS), from R2010 on the size of its
// handle stream (MC), and its type (BS; from R2010 on OT). length counts
// the object's bytes from its first to the end of its check value.
struct ObjectHead {
    uint16_t size;
    uint16_t type;
    int32_t length;
};

// The most bytes an object head can take: an MS, a five-byte MC and an OT
// of 18 bits.
constexpr int32_t kLongestObjectHead = 10;
// Every object ends with a 2-byte check value; with the 2-byte size field
// before its data, that frames an object of up to 32 KiB.
constexpr int32_t kObjectCheckValue = 2;
constexpr int32_t kObjectFraming = 2 + kObjectCheckValue;

// An object's check value is a CRC-16 (the reflected polynomial 0xA001)
// over its size field and its data, begun from kObjectCheckSeed; the
// object stores it little-endian after them. The bytes may be taken in
// pieces, each continuing from the value the last one gave.
constexpr uint16_t kObjectCheckSeed = 0xC0C1;
uint16_t continueObjectCheck(uint16_t check, const uint8_t *bytes, int32_t length);

// How many bytes an object's check value covers: its size field and its
// data, and from R2010 on (handleSized) the handle stream's size between
// them, an MC the size does not count (seven bits a byte while the top bit
// says another follows, five bytes at most). bytes holds the object's first
// bytes, available of them (kCheckedHeadBytes are enough). The size field
// is an MS of one or two words: the top bit of the first says that the
// second holds the next 15 bits, for an object of 32 KiB or more. -1 when
// a field is not whole, or would go on past its longest. The walk through
// the map reads the first word alone, as objectEndOffset shows.
constexpr int32_t kCheckedHeadBytes = 9;
inline int64_t checkedLength(const uint8_t *bytes, int32_t available, bool handleSized)
{
    constexpr uint32_t kMoreWords = 0x8000;
    constexpr uint8_t kContinues = 0x80;
    constexpr int32_t kLongestMC = 5;
    if (available < 2) {
        return -1;
    }
    const uint32_t low = littleEndian16(bytes);
    int32_t fieldsEnd = 2;
    int64_t size = low;
    if ((low & kMoreWords) != 0) {
        const uint32_t high = available < 4 ? kMoreWords : littleEndian16(bytes + 2);
        if ((high & kMoreWords) != 0) {
            return -1;
        }
        fieldsEnd = 4;
        size = (low & ~kMoreWords) | high << 15;
    }
    if (!handleSized) {
        return fieldsEnd + size;
    }
    for (int32_t at = fieldsEnd; at < available && at < fieldsEnd + kLongestMC; ++at) {
        if ((bytes[at] & kContinues) == 0) {
            return at + 1 + size;
        }
    }
    return -1;
}

// An object's head is read from its bytes: its size (RS) is the first two,
// and every field up to its type ends on a byte, so the type's bits start
// at the top of a byte. The bytes from at on, up to the three a type takes
// (18 bits at most) and within length, as the top of a word.
inline uint64_t typeBitsAt(const uint8_t *bytes, int32_t at, int32_t length)
{
    constexpr int32_t kLongestType = 3;
    if (at + 4 <= length) {  // one load, its fourth byte dropped
        return uint64_t{bigEndian32(bytes + at) >> 8} << 40;
    }
    uint64_t bits = 0;
    for (int32_t i = 0; i < kLongestType && at + i < length; ++i) {
        bits |= uint64_t{bytes[at + i]} << (56 - 8 * i);
    }
    return bits;
}

// Whether a type of typeBits bits from at on ends within length bytes.
inline bool typeEndsWithin(int32_t at, uint32_t typeBits, int32_t length)
{
    return static_cast<int64_t>(at) * 8 + typeBits <= static_cast<int64_t>(length) * 8;
}

// Before R2010 the type (BS) follows the size.
inline bool readPlainHead(const uint8_t *bytes, int32_t length, ObjectHead *head)
{
    constexpr int32_t kTypeAt = 2;
    if (length <= kTypeAt) {
        return false;
    }
    const CodedShort type = decodeBS(typeBitsAt(bytes, kTypeAt, length));
    head->size = littleEndian16(bytes);
    head->length = kObjectFraming + head->size;
    head->type = type.value;
    return typeEndsWithin(kTypeAt, type.bits, length);
}

// From R2010 on the size of the object's handle stream (an MC: seven bits a
// byte while the top bit says another follows, five bytes at most) comes
// between, and the type is an OT. Only the MC's length is needed: the
// object's length counts from its end.
inline bool readHandleSizedHead(const uint8_t *bytes, int32_t length, ObjectHead *head)
{
    constexpr int32_t kMCAt = 2;
    constexpr int32_t kLongestMC = 5;
    constexpr uint8_t kContinues = 0x80;
    int32_t typeAt = kMCAt;
    while (typeAt < length && (bytes[typeAt] & kContinues) != 0) {
        if (++typeAt == kMCAt + kLongestMC) {
            return false;
        }
    }
    if (++typeAt >= length) {  // the type's first byte, and with it the size, not held
        return false;
    }
    const CodedShort type = decodeOT(typeBitsAt(bytes, typeAt, length));
    head->size = littleEndian16(bytes);
    head->length = typeAt + head->size + kObjectCheckValue;
    head->type = type.value;
    return typeEndsWithin(typeAt, type.bits, length);
}

// Reads the head of the object whose first length bytes are held at bytes;
// false when it runs past them.
inline bool readObjectHead(const uint8_t *bytes, int32_t length, int32_t versionIndex, ObjectHead *head)
{
    if (versionAtLeast(versionIndex, kAC1024)) {
        return readHandleSizedHead(bytes, length, head);
    }
    return readPlainHead(bytes, length, head);
}

// The file offset just past an object that starts at start, as the walk
// steps over it: its size counts neither the 2-byte size field nor the
// 2-byte check value at its end.
inline int64_t objectEnd(int32_t start, uint16_t size)
{
    return static_cast<int64_t>(start) + size + kObjectFraming;
}

// The same as an offset; -1 when that lies beyond any offset a stream can
// reach.
inline int32_t objectEndOffset(int32_t start, uint16_t size)
{
    const int64_t end = objectEnd(start, size);
    return end > INT32_MAX ? -1 : static_cast<int32_t>(end);
}

// Reads the common data of the object the cursor stands at the start of,
// with the layout of the session's release (versionIndex): true when every
// field was there and the entity carries no graphic. The cursor is left at
// the first field particular to the entity type.
bool readCommonData(BitCursor &in, int32_t versionIndex, R13CommonData *data);
bool readCommonData(BitCursor &in, int32_t versionIndex, R2KCommonData *data);

#endif
