#include "r13/dwgcommon.h"

#include <type_traits>

#include "core/versions.h"
#include "support/bitcursor.h"

[[gnu::used]] static const char kIdent[] = "@(#)dwgcommon(R13, R14 and R2000): Version 2.05.00";

namespace {

// Extended entity data: blocks of a BS length, an application handle and
// that many bytes, ended by a length of 0 or by the limit (a byte offset).
// Every block moves the cursor on by at least two bytes, so the walk
// reaches the limit or runs out of data.
inline void skipExtendedData(BitCursor &in, uint64_t limit)
{
    while (!in.overran() && in.bitOffset() / 8 < limit) {
        const uint16_t length = in.BS();
        if (length == 0) {
            return;
        }
        in.B4();
        in.skipBytes(in.B4());
        in.skipBytes(length);
    }
}

// The object's size counts from just after it, and from R2010 on from just
// after the handle stream's size that follows it. The end of the object's
// data, where its handles begin, counts from there too: up to R2007 the
// object states it in bits; from R2010 on it is the object's end less its
// handle stream.
void readTypeAndDataSize(BitCursor &in, int32_t versionIndex, R2KCommonData *data)
{
    if (versionAtLeast(versionIndex, kAC1024)) {
        data->handleStreamBits = in.MC();
        data->objectEndBit = static_cast<int64_t>(in.bitOffset()) + int64_t{data->objectSize} * 8;
        data->dataEndBit = data->objectEndBit - data->handleStreamBits;
        data->objectType = in.OT();
        return;
    }
    const int64_t dataStart = static_cast<int64_t>(in.bitOffset());
    data->objectType = in.BS();
    data->dataSizeInBits = in.RL();
    data->objectEndBit = dataStart + int64_t{data->objectSize} * 8;
    data->dataEndBit = dataStart + data->dataSizeInBits;
}

// Size, type, the object's own handle and its extended data, then the
// graphic-present flag: true when all of it was there and the entity has
// no graphic. R2000 moved the data size in bits up behind the type. The
// extended data is passed over up to the object's size for both layouts.
template <class Data>
bool readCommonHead(BitCursor &in, int32_t versionIndex, Data *data)
{
    *data = Data{};
    data->objectSize = in.RS();
    if constexpr (std::is_same_v<Data, R2KCommonData>) {
        readTypeAndDataSize(in, versionIndex, data);
    } else {
        data->objectType = in.BS();
    }
    in.H(&data->handleCode, &data->handleByteCount);
    if (!in.overran()) {
        skipExtendedData(in, data->objectSize);
    }
    data->graphicPresent = in.B();
    return !in.overran() && data->graphicPresent == 0;
}

// R2004 replaced the links flag of R2000 by a flag for a missing extension
// dictionary; R2013 added one for data in the data store. From R2004 on
// the colour number's high bits say what follows it: an RGB value (0x8000,
// unless the colour is a book colour, 0x4000, whose handle lies with the
// handles) and a transparency (0x2000).
void readOwnershipAndColor(BitCursor &in, int32_t versionIndex, R2KCommonData *data)
{
    constexpr uint16_t kBookColor = 0x4000;
    constexpr uint16_t kRgbColor = 0x8000;
    constexpr uint16_t kTransparency = 0x2000;
    if (!versionAtLeast(versionIndex, kAC1018)) {
        data->noLinks = in.B();
        data->color = in.BS();
        return;
    }
    data->noXDictionary = in.B();
    if (versionAtLeast(versionIndex, kAC1027)) {
        data->hasDataStore = in.B();
    }
    const uint16_t flags = data->color = in.BS();
    if ((flags & kBookColor) == 0 && (flags & kRgbColor) != 0) {
        data->colorValue = in.BL();
    }
    if ((flags & kTransparency) != 0) {
        data->transparency = in.BL();
    }
}

// Linetype flags; from R2007 on material and shadow flags; plot style
// flags; from R2010 on three visual-style flags.
void readStyleFlags(BitCursor &in, int32_t versionIndex, R2KCommonData *data)
{
    data->linetypeFlags = in.BB();
    if (versionAtLeast(versionIndex, kAC1021)) {
        data->materialFlags = in.BB();
        data->shadowFlags = in.RC();
    }
    data->plotStyleFlags = in.BB();
    if (versionAtLeast(versionIndex, kAC1024)) {
        for (uint32_t &flag : data->visualStyles) {
            flag = in.B();
        }
    }
}

}  // namespace

bool readCommonData(BitCursor &in, int32_t versionIndex, R13CommonData *data)
{
    if (!readCommonHead(in, versionIndex, data)) {
        return false;
    }
    data->dataSizeInBits = in.RL();
    data->entityMode = in.BB();
    data->reactorCount = in.BL();
    data->linetypeByLayer = in.B();
    data->noLinks = in.B();
    data->color = in.BS();
    data->linetypeScale = in.BD();
    data->invisibility = in.BS();
    return !in.overran();
}

// R2000 dropped the linetype-by-layer flag and added the linetype and plot
// style flags and the lineweight; the releases after it added to the
// ownership flags, the colour and the style flags.
bool readCommonData(BitCursor &in, int32_t versionIndex, R2KCommonData *data)
{
    if (!readCommonHead(in, versionIndex, data)) {
        return false;
    }
    data->entityMode = in.BB();
    data->reactorCount = in.BL();
    readOwnershipAndColor(in, versionIndex, data);
    data->linetypeScale = in.BD();
    readStyleFlags(in, versionIndex, data);
    data->invisibility = in.BS();
    data->lineweight = in.RC();
    return !in.overran();
}
