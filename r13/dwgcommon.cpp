#include "r13/dwgcommon.h"

#include "core/versions.h"
#include "support/bitcursor.h"
#include "support/crctable.h"

[[gnu::used]] static const char kIdent[] = "@(#)dwgcommon(R13 to R2018): Version 2.05.00";

// A text needs of the common data at most its type and where its data and
// the object end; every other field is stepped over by the bits its code
// says it takes.
namespace {

// Extended entity data: blocks of a BS length, an application handle and
// that many bytes, ended by a length of 0 or by the limit (a byte offset).
// Every block moves the cursor on by at least two bytes, so the walk
// reaches the limit or runs out of data.
void skipExtendedData(BitCursor::Run &in, uint64_t limit)
{
    while (!in.overran() && in.bitOffset() / 8 < limit) {
        const uint16_t length = in.BS();
        if (length == 0) {
            return;
        }
        in.skipH();
        in.skipBytes(length);
    }
}

// An entity's graphic: its size in bytes (from R2010 on a BLL, three bits
// that count the size's bytes; an RL before), then those bytes.
uint64_t readGraphicSize(BitCursor::Run &in, int32_t versionIndex)
{
    uint64_t size = 0;
    if (versionAtLeast(versionIndex, kAC1024)) {
        const uint32_t high = in.B();
        const uint32_t count = high << 2 | in.BB();
        for (uint32_t i = 0; i < count; ++i) {
            size |= uint64_t{in.RC()} << (8 * i);
        }
    } else {
        size = in.RL();
    }
    return size;
}

// The object's own handle, its extended data, passed over up to the
// object's size, and the graphic-present flag: true when all of it was
// there and the entity has no graphic, or has one and graphics are stepped
// over.
bool skipToGraphicFlag(BitCursor::Run &in, uint32_t objectSize, Graphic graphic, int32_t versionIndex)
{
    in.skipH();
    skipExtendedData(in, objectSize);
    if (in.B() != 0) {
        if (graphic == Graphic::Refused) {
            return false;
        }
        in.skipBits(readGraphicSize(in, versionIndex) * 8);
    }
    return !in.overran();
}

// The object's size counts from just after it, and from R2010 on from just
// after the handle stream's size that follows it. The end of the object's
// data, where its handles begin, counts from there too: R2000 to R2007
// state it in bits behind the type; from R2010 on it is the object's end
// less its handle stream.
void readTypeAndDataEnd(BitCursor::Run &in, int32_t versionIndex, uint32_t objectSize, R2KCommonData *data)
{
    if (versionAtLeast(versionIndex, kAC1024)) {
        const uint32_t handleStreamBits = in.MC();
        data->objectEndBit = static_cast<int64_t>(in.bitOffset()) + int64_t{objectSize} * 8;
        data->dataEndBit = data->objectEndBit - handleStreamBits;
        data->objectType = in.OT();
        return;
    }
    const int64_t dataStart = static_cast<int64_t>(in.bitOffset());
    data->objectType = in.BS();
    data->dataEndBit = dataStart + in.RL();
    data->objectEndBit = dataStart + int64_t{objectSize} * 8;
}

// R2004 replaced the links flag of R2000 by a flag for a missing extension
// dictionary; R2013 added one for data in the data store. From R2004 on
// the colour number's high bits say what follows it: an RGB value (0x8000,
// unless the colour is a book colour, 0x4000, whose handle lies with the
// handles) and a transparency (0x2000).
void skipOwnershipAndColor(BitCursor::Run &in, int32_t versionIndex)
{
    constexpr uint16_t kBookColor = 0x4000;
    constexpr uint16_t kRgbColor = 0x8000;
    constexpr uint16_t kTransparency = 0x2000;
    if (!versionAtLeast(versionIndex, kAC1018)) {
        in.skipBits(1);  // no links
        in.skipBS();     // colour
        return;
    }
    in.skipBits(versionAtLeast(versionIndex, kAC1027) ? 2 : 1);  // no extension dictionary, data store
    const uint16_t flags = in.BS();
    if ((flags & kBookColor) == 0 && (flags & kRgbColor) != 0) {
        in.skipBL();
    }
    if ((flags & kTransparency) != 0) {
        in.skipBL();
    }
}

// The style flags: linetype (2 bits); from R2007 on material (2) and
// shadow (8); plot style (2); from R2010 on three visual-style flags.
uint32_t styleFlagBits(int32_t versionIndex)
{
    const uint32_t fromR2007 = versionAtLeast(versionIndex, kAC1021) ? 10 : 0;
    const uint32_t fromR2010 = versionAtLeast(versionIndex, kAC1024) ? 3 : 0;
    return 4 + fromR2007 + fromR2010;
}

// The object's size field, read as readObjectSize reads it from bytes. The
// walk reads an object's head before its common data, so a field that
// does not end within two words never reaches here.
uint32_t readSizeField(BitCursor::Run &in)
{
    uint8_t field[4] = {in.RC(), in.RC()};
    const ObjectSize oneWord = readObjectSize(field, 2);
    if (oneWord.fieldBytes != 0) {
        return oneWord.size;
    }
    field[2] = in.RC();
    field[3] = in.RC();
    return readObjectSize(field, 4).size;
}

}  // namespace

// R13 and R14: size, type, handle, extended data, graphic flag, data size
// in bits (counted from the type on, as from R2000 on), entity mode (2
// bits), reactor count, linetype-by-layer and no-links flags, colour,
// linetype scale, invisibility.
bool readCommonData(BitCursor &cursor, int32_t versionIndex, R13CommonData *data, Graphic graphic)
{
    BitCursor::Run in(cursor);
    const uint32_t objectSize = readSizeField(in);
    const int64_t dataStart = static_cast<int64_t>(in.bitOffset());
    in.skipBS();  // type
    if (!skipToGraphicFlag(in, objectSize, graphic, versionIndex)) {
        return false;
    }
    data->dataEndBit = dataStart + in.RL();
    data->objectEndBit = dataStart + int64_t{objectSize} * 8;
    in.skipBits(2);  // entity mode
    in.skipBL();     // reactors
    in.skipBits(2);  // linetype-by-layer, no links
    in.skipBS();     // colour
    in.skipBD();     // linetype scale
    in.skipBS();     // invisibility
    return !in.overran();
}

// R2000 moved the data size up behind the type, dropped the
// linetype-by-layer flag and added the style flags and the lineweight (a
// byte); the releases after it added to the ownership flags, the colour
// and the style flags.
bool readCommonData(BitCursor &cursor, int32_t versionIndex, R2KCommonData *data, Graphic graphic)
{
    BitCursor::Run in(cursor);
    const uint32_t objectSize = readSizeField(in);
    readTypeAndDataEnd(in, versionIndex, objectSize, data);
    if (!skipToGraphicFlag(in, objectSize, graphic, versionIndex)) {
        return false;
    }
    in.skipBits(2);  // entity mode
    in.skipBL();     // reactors
    skipOwnershipAndColor(in, versionIndex);
    in.skipBD();  // linetype scale
    in.skipBits(styleFlagBits(versionIndex));
    in.skipBS();     // invisibility
    in.skipBits(8);  // lineweight
    return !in.overran();
}

// Everything before the graphic is read as the common data reads it.
bool findGraphic(BitCursor &cursor, int32_t versionIndex, GraphicPlace *place)
{
    BitCursor::Run in(cursor);
    const uint32_t objectSize = readSizeField(in);
    if (versionAtLeast(versionIndex, kAC1015)) {
        R2KCommonData unused{};
        readTypeAndDataEnd(in, versionIndex, objectSize, &unused);
    } else {
        in.skipBS();  // type
    }
    in.skipH();
    skipExtendedData(in, objectSize);
    *place = GraphicPlace{};
    if (in.B() != 0) {
        place->bytes = readGraphicSize(in, versionIndex);
        place->bit = in.bitOffset();
    }
    return !in.overran();
}

bool readObjectHandle(const uint8_t *bytes, int32_t length, int32_t versionIndex, uint64_t *handle)
{
    BitCursor cursor(bytes, length);
    BitCursor::Run in(cursor);
    readSizeField(in);
    if (versionAtLeast(versionIndex, kAC1024)) {
        in.MC();
        in.OT();
    } else {
        in.skipBS();
        in.skipBits(versionAtLeast(versionIndex, kAC1015) ? 32 : 0);
    }
    *handle = in.H();
    return !in.overran();
}

// R13 and R14 state the data's size in bits after the extended data,
// R2000 behind the type; both count from the type on.
bool readObjectCommonData(BitCursor &cursor, int32_t versionIndex, ObjectCommonData *data)
{
    const bool fromR2000 = versionAtLeast(versionIndex, kAC1015);
    BitCursor::Run in(cursor);
    const uint32_t objectSize = readSizeField(in);
    const int64_t dataStart = static_cast<int64_t>(in.bitOffset());
    in.skipBS();  // type
    if (fromR2000) {
        data->dataEndBit = dataStart + in.RL();
    }
    in.skipH();
    skipExtendedData(in, objectSize);
    if (!fromR2000) {
        data->dataEndBit = dataStart + in.RL();
    }
    data->reactors = in.BL();
    return !in.overran();
}

namespace {

constexpr CrcTable<uint16_t> kObjectCheckTable = makeCrcTable<uint16_t>(0xA001);

// A walk without the map checks every byte of the objects, so the check
// takes sixteen bytes a step: table k gives what a byte does to the value
// when k more bytes follow it. The value meets only the first two bytes of
// a step; the eight look-ups are independent of one another.
constexpr int32_t kStep = 16;

struct StepTables {
    uint16_t entries[kStep][256];
};

constexpr StepTables makeStepTables()
{
    StepTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        tables.entries[0][i] = kObjectCheckTable.entries[i];
        for (int32_t k = 1; k < kStep; ++k) {
            const uint16_t before = tables.entries[k - 1][i];
            tables.entries[k][i] = static_cast<uint16_t>(before >> 8 ^ kObjectCheckTable.entries[before & 0xFF]);
        }
    }
    return tables;
}

constexpr StepTables kStepTables = makeStepTables();

}  // namespace

int64_t stringStreamStart(BitCursor &in, int64_t endBit)
{
    constexpr uint16_t kHighPartFollows = 0x8000;
    const int64_t flag = endBit - 1;
    if (flag <= 0) {
        return -1;
    }
    in.seekBit(static_cast<uint64_t>(flag));
    if (in.B() == 0) {
        return in.overran() ? -1 : flag;
    }
    int64_t at = flag - 16;
    in.seekBit(static_cast<uint64_t>(at));
    const uint16_t low = in.RS();
    uint16_t high = 0;
    if ((low & kHighPartFollows) != 0) {
        at -= 16;
        in.seekBit(static_cast<uint64_t>(at));
        high = in.RS();
    }
    const int64_t size = (low & ~kHighPartFollows) | int64_t{high} << 15;
    return in.overran() || at < size ? -1 : at - size;
}

uint16_t continueObjectCheck(uint16_t check, const uint8_t *bytes, int32_t length)
{
    const auto &t = kStepTables.entries;
    int32_t i = 0;
    for (; length - i >= kStep; i += kStep) {
        const uint8_t *b = bytes + i;
        uint32_t next = t[kStep - 1][(check ^ b[0]) & 0xFF] ^ t[kStep - 2][(check >> 8 ^ b[1]) & 0xFF];
        for (int32_t k = 2; k < kStep; ++k) {
            next ^= t[kStep - 1 - k][b[k]];
        }
        check = static_cast<uint16_t>(next);
    }
    for (; i < length; ++i) {
        check = static_cast<uint16_t>(check >> 8 ^ kObjectCheckTable.entries[(check ^ bytes[i]) & 0xFF]);
    }
    return check;
}
