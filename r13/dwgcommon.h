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

// What a text needs of the common data: where the object's data ends and
// its handles begin, and where the object ends (a dimension looks at its
// last handle).
struct R13CommonData {
    int64_t dataEndBit;
    int64_t objectEndBit;
};

// The same from R2000 on, and the type. From R2007 on the texts lie in the
// object's string stream, which ends where the object's data ends.
struct R2KCommonData {
    uint16_t objectType;
    int64_t dataEndBit;    // where the handles begin
    int64_t objectEndBit;  // where the check value begins
};

// The head of an object: its size (MS), from R2010 on the size of its
// handle stream (MC), and its type (BS; from R2010 on OT). length counts
// the object's bytes from its first to the end of its check value.
struct ObjectHead {
    uint32_t size;
    uint16_t type;
    int32_t length;
};

// The most bytes an object head can take: an MS of two words, a five-byte
// MC and an OT of 18 bits.
constexpr int32_t kLongestObjectHead = 12;
// Every object ends with a 2-byte check value; with the size field before
// its data (2 bytes, 4 for an object of 32 KiB or more) that frames it.
constexpr int32_t kObjectCheckValue = 2;
constexpr int32_t kObjectFraming = 2 + kObjectCheckValue;

// An object's check value is a CRC-16 (the reflected polynomial 0xA001)
// over its size field and its data, begun from kObjectCheckSeed; the
// object stores it little-endian after them. The bytes may be taken in
// pieces, each continuing from the value the last one gave.
constexpr uint16_t kObjectCheckSeed = 0xC0C1;
uint16_t continueObjectCheck(uint16_t check, const uint8_t *bytes, int32_t length);

// An object's size field is an MS: a little-endian word of 15 bits whose
// top bit says that the next word holds the next 15. Two words state any
// size up to 1 GiB, which is as far as any object reaches; a field that
// would go on past them is not a size. The size counts the object's data,
// after the field. fieldBytes is 0 when the field is not whole within the
// available bytes or goes on past two words.
struct ObjectSize {
    uint32_t size;
    int32_t fieldBytes;
};

inline ObjectSize readObjectSize(const uint8_t *bytes, int32_t available)
{
    constexpr uint32_t kMoreWords = 0x8000;
    if (available < 2) {
        return {0, 0};
    }
    const uint32_t low = littleEndian16(bytes);
    if ((low & kMoreWords) == 0) {
        return {low, 2};
    }
    if (available < 4) {
        return {0, 0};
    }
    const uint32_t high = littleEndian16(bytes + 2);
    if ((high & kMoreWords) != 0) {
        return {0, 0};
    }
    return {(low & ~kMoreWords) | high << 15, 4};
}

// How many bytes an object's check value covers: its size field and its
// data, and from R2010 on (handleSized) the handle stream's size between
// them, an MC the size does not count (seven bits a byte while the top bit
// says another follows, five bytes at most). bytes holds the object's first
// bytes, available of them (kCheckedHeadBytes are enough); -1 when a field
// is not whole, or would go on past its longest.
constexpr int32_t kCheckedHeadBytes = 9;
inline int64_t checkedLength(const uint8_t *bytes, int32_t available, bool handleSized)
{
    constexpr uint8_t kContinues = 0x80;
    constexpr int32_t kLongestMC = 5;
    const ObjectSize field = readObjectSize(bytes, available);
    if (field.fieldBytes == 0) {
        return -1;
    }
    if (!handleSized) {
        return field.fieldBytes + int64_t{field.size};
    }
    for (int32_t at = field.fieldBytes; at < available && at < field.fieldBytes + kLongestMC; ++at) {
        if ((bytes[at] & kContinues) == 0) {
            return at + 1 + int64_t{field.size};
        }
    }
    return -1;
}

// An object's head is read from its bytes: its size (MS) is the first two
// or four, and every field up to its type ends on a byte, so the type's
// bits start at the top of a byte. The bytes from at on, up to the three a type takes
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
    const ObjectSize field = readObjectSize(bytes, length);
    const int32_t typeAt = field.fieldBytes;
    if (typeAt == 0 || length <= typeAt) {
        return false;
    }
    const CodedShort type = decodeBS(typeBitsAt(bytes, typeAt, length));
    head->size = field.size;
    head->length = typeAt + kObjectCheckValue + static_cast<int32_t>(field.size);
    head->type = type.value;
    return typeEndsWithin(typeAt, type.bits, length);
}

// From R2010 on the size of the object's handle stream (an MC: seven bits a
// byte while the top bit says another follows, five bytes at most) comes
// between, and the type is an OT. Only the MC's length is needed: the
// object's size counts from its end.
inline bool readHandleSizedHead(const uint8_t *bytes, int32_t length, ObjectHead *head)
{
    constexpr int32_t kLongestMC = 5;
    constexpr uint8_t kContinues = 0x80;
    const ObjectSize field = readObjectSize(bytes, length);
    const int32_t mcAt = field.fieldBytes;
    if (mcAt == 0) {
        return false;
    }
    int32_t typeAt = mcAt;
    while (typeAt < length && (bytes[typeAt] & kContinues) != 0) {
        if (++typeAt == mcAt + kLongestMC) {
            return false;
        }
    }
    if (++typeAt >= length) {  // the type's first byte not held
        return false;
    }
    const CodedShort type = decodeOT(typeBitsAt(bytes, typeAt, length));
    head->size = field.size;
    head->length = typeAt + static_cast<int32_t>(field.size) + kObjectCheckValue;
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
// steps over it.
inline int64_t objectEnd(int64_t start, const ObjectHead &head)
{
    return start + head.length;
}

// Reads the common data of the object the cursor stands at the start of,
// with the layout of the session's release (versionIndex): true when every
// field was there and the entity carries no graphic, or (Graphic::Skipped)
// one that is stepped over. The cursor is left at the first field
// particular to the entity type. Texts never carry a graphic; a multileader
// keeps a picture of itself for programs that cannot draw it.
enum class Graphic { Refused, Skipped };
bool readCommonData(BitCursor &in, int32_t versionIndex, R13CommonData *data, Graphic graphic = Graphic::Refused);
bool readCommonData(BitCursor &in, int32_t versionIndex, R2KCommonData *data, Graphic graphic = Graphic::Refused);

// Where an entity's graphic lies in its object, which the cursor stands
// at the start of: the bit its bytes start at and how many there are (0
// when it carries none). False when the fields before it run out.
struct GraphicPlace {
    uint64_t bit;
    uint64_t bytes;
};
bool findGraphic(BitCursor &in, int32_t versionIndex, GraphicPlace *place);

// The common data of an object that is no entity (a dictionary, a record),
// R13 to R2000: where its handles begin, and how many reactors' open them
// (after the owner's; the extension dictionary's follows them). The cursor
// is left at the object's own fields.
struct ObjectCommonData {
    int64_t dataEndBit;
    uint32_t reactors;
};
bool readObjectCommonData(BitCursor &in, int32_t versionIndex, ObjectCommonData *data);

// An object's own handle, read from its first length bytes: it follows the
// type in R13 and R14 and from R2010 on, and the data's size in bits (RL)
// behind the type in R2000 to R2007. kHandleHeadBytes hold it in any
// release. False when it runs past the bytes.
constexpr int32_t kHandleHeadBytes = 32;
bool readObjectHandle(const uint8_t *bytes, int32_t length, int32_t versionIndex, uint64_t *handle);

// From R2007 on an object's texts, and those of the classes, lie in a
// string stream that ends at endBit: its last bit says whether there is
// one; if so, the 16 bits before it give its size in bits, and when their
// top bit is set the 16 before those give the size's high part. Where the
// stream starts, which is where the data before it ends (endBit - 1 when
// there is none); -1 when the sizes lead outside the bytes.
int64_t stringStreamStart(BitCursor &in, int64_t endBit);

#endif
