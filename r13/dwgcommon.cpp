#include "r13/dwgcommon.h"

#include <type_traits>

#include "core/dwgglobal.h"
#include "core/versions.h"
#include "support/component.h"
#include "support/dataread.h"
#include "support/filestrmio.h"

[[gnu::used]] static const char kIdent[] = "@(#)dwgcommon(R13, R14 and R2000): Version 2.05.00";

DWGCommon *newDWGCommon(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    DWGCommon *common = newIn<DWGCommon>(memory, session, memory, stream);
    if (common != nullptr && !common->open()) {
        deleteDWGCommon(common);
        return nullptr;
    }
    return common;
}

void deleteDWGCommon(DWGCommon *common)
{
    if (common == nullptr) {
        return;
    }
    DataRead *reader = common->dataRead();
    deleteIn(common->memory(), common);
    deleteDataRead(reader);
}

DWGCommon::~DWGCommon() = default;

bool DWGCommon::open()
{
    dataRead_ = newDataRead(memory_, stream_);
    return dataRead_ != nullptr;
}

int32_t DWGCommon::getR13_DWGCommonData(R13CommonData *data)
{
    *data = R13CommonData{};
    return p_readObjectHead(data) && p_readEntityFields(data) ? 1 : 0;
}

int32_t DWGCommon::getR2K_DWGCommonData(R2KCommonData *data)
{
    *data = R2KCommonData{};
    return p_readObjectHead(data) && p_readEntityFields(data) ? 1 : 0;
}

// Size, type, the object's own handle and its extended data, then the
// graphic-present flag: entities with a graphic are not read. R2000 moved
// the data size in bits up behind the type. The extended data is passed
// over up to the end of the object for both layouts.
template <class Data>
int32_t DWGCommon::p_readObjectHead(Data *data)
{
    DataRead &in = *dataRead_;
    data->startPosition = stream_->CurPosition();
    if (!in.getMS(&data->objectSize)) {
        return 0;
    }
    if constexpr (std::is_same_v<Data, R2KCommonData>) {
        if (!p_readTypeAndDataSize(data)) {
            return 0;
        }
    } else if (!in.getBS(&data->objectType)) {
        return 0;
    }
    if (!in.getH(&data->handleCode, &data->handleByteCount) ||
        !p_skipEED(data->startPosition + data->objectSize)) {
        return 0;
    }
    return in.getB(&data->graphicPresent) && data->graphicPresent == 0 ? 1 : 0;
}

// The object's size counts from just after it, and from R2010 on from just
// after the handle stream's size that follows it. The end of the object's
// data, where its handles begin, counts from there too: up to R2007 the
// object states it in bits; from R2010 on it is the object's end less its
// handle stream.
int32_t DWGCommon::p_readTypeAndDataSize(R2KCommonData *data)
{
    DataRead &in = *dataRead_;
    if (p_since(kAC1024)) {
        if (!in.getMC(&data->handleStreamBits)) {
            return 0;
        }
        data->objectEndBit = in.bitOffset() + int64_t{data->objectSize} * 8;
        data->dataEndBit = data->objectEndBit - data->handleStreamBits;
        return in.getOT(&data->objectType);
    }
    const int64_t dataStart = in.bitOffset();
    if (!in.getBS(&data->objectType) || !in.getRL(&data->dataSizeInBits)) {
        return 0;
    }
    data->objectEndBit = dataStart + int64_t{data->objectSize} * 8;
    data->dataEndBit = dataStart + data->dataSizeInBits;
    return 1;
}

// R2000 dropped the linetype-by-layer flag and added the linetype and plot
// style flags and the lineweight; the releases after it added to the
// ownership flags, the colour and the style flags.
template <class Data>
int32_t DWGCommon::p_readEntityFields(Data *data)
{
    constexpr bool r2000 = std::is_same_v<Data, R2KCommonData>;
    DataRead &in = *dataRead_;
    if constexpr (!r2000) {
        if (!in.getRL(&data->dataSizeInBits)) {
            return 0;
        }
    }
    if (!in.get2B(&data->entityMode[0], &data->entityMode[1]) || !in.getBL(&data->reactorCount)) {
        return 0;
    }
    if constexpr (r2000) {
        if (!p_readOwnershipFlags(data) || !p_readColor(data) || !in.getBD(&data->linetypeScale) ||
            !p_readStyleFlags(data) || !in.getBS(&data->invisibility)) {
            return 0;
        }
        return in.getRC(&data->lineweight);
    } else {
        return in.getB(&data->linetypeByLayer) && in.getB(&data->noLinks) && in.getBS(&data->color) &&
                       in.getBD(&data->linetypeScale) && in.getBS(&data->invisibility)
                   ? 1
                   : 0;
    }
}

// R2004 replaced the links flag of R2000 by a flag for a missing extension
// dictionary; R2013 added one for data in the data store.
int32_t DWGCommon::p_readOwnershipFlags(R2KCommonData *data)
{
    DataRead &in = *dataRead_;
    if (!p_since(kAC1018)) {
        return in.getB(&data->noLinks);
    }
    return in.getB(&data->noXDictionary) && (!p_since(kAC1027) || in.getB(&data->hasDataStore)) ? 1 : 0;
}

// From R2004 on the colour number's high bits say what follows it: an RGB
// value (0x8000, unless the colour is a book colour, 0x4000, whose handle
// lies with the handles) and a transparency (0x2000).
int32_t DWGCommon::p_readColor(R2KCommonData *data)
{
    constexpr uint16_t kBookColor = 0x4000;
    constexpr uint16_t kRgbColor = 0x8000;
    constexpr uint16_t kTransparency = 0x2000;
    DataRead &in = *dataRead_;
    if (!in.getBS(&data->color)) {
        return 0;
    }
    if (!p_since(kAC1018)) {
        return 1;
    }
    const uint16_t flags = data->color;
    if ((flags & kBookColor) == 0 && (flags & kRgbColor) != 0 && !in.getBL(&data->colorValue)) {
        return 0;
    }
    return (flags & kTransparency) == 0 || in.getBL(&data->transparency) ? 1 : 0;
}

// Linetype flags; from R2007 on material and shadow flags; plot style
// flags; from R2010 on three visual-style flags.
int32_t DWGCommon::p_readStyleFlags(R2KCommonData *data)
{
    DataRead &in = *dataRead_;
    if (!in.get2B(&data->linetypeFlags[0], &data->linetypeFlags[1])) {
        return 0;
    }
    if (p_since(kAC1021) &&
        (!in.get2B(&data->materialFlags[0], &data->materialFlags[1]) || !in.getRC(&data->shadowFlags))) {
        return 0;
    }
    if (!in.get2B(&data->plotStyleFlags[0], &data->plotStyleFlags[1])) {
        return 0;
    }
    if (p_since(kAC1024)) {
        return in.getB(&data->visualStyles[0]) && in.getB(&data->visualStyles[1]) && in.getB(&data->visualStyles[2]);
    }
    return 1;
}

bool DWGCommon::p_since(int32_t version) const
{
    return versionAtLeast(session_->versionIndex, version);
}

// Extended entity data: blocks of a BS length, an application handle and
// that many bytes, ended by a length of 0. Every block read moves the
// stream on by at least two bytes, so the walk reaches the limit or runs
// out of data.
int32_t DWGCommon::p_skipEED(int32_t limit)
{
    DataRead &in = *dataRead_;
    for (;;) {
        int32_t position = stream_->CurPosition();
        if (position < 0) {
            return 0;
        }
        if (position >= limit) {
            return 1;
        }
        uint16_t length = 0;
        if (!in.getBS(&length)) {
            return 0;
        }
        if (length == 0) {
            return 1;
        }
        int32_t handleCode = 0;
        int32_t handleBytes = 0;
        if (!in.get4B(&handleCode) || !in.get4B(&handleBytes) || !in.skipBytes(handleBytes) ||
            !in.skipBytes(length)) {
            return 0;
        }
    }
}
