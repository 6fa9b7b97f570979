#include "r13/dwgcommon.h"

#include <type_traits>

#include "core/dwgglobal.h"
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
    if (common != nullptr && !common->p_open()) {
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

bool DWGCommon::p_open()
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
    if (!in.getMS(&data->objectSize) || !in.getBS(&data->objectType)) {
        return 0;
    }
    if constexpr (std::is_same_v<Data, R2KCommonData>) {
        if (!in.getRL(&data->dataSizeInBits)) {
            return 0;
        }
    }
    if (!in.getH(&data->handleCode, &data->handleByteCount) ||
        !p_skipEED(data->startPosition + data->objectSize)) {
        return 0;
    }
    return in.getB(&data->graphicPresent) && data->graphicPresent == 0 ? 1 : 0;
}

// R2000 dropped the linetype-by-layer flag and added the linetype and plot
// style flags and the lineweight.
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
    if constexpr (!r2000) {
        if (!in.getB(&data->linetypeByLayer)) {
            return 0;
        }
    }
    if (!in.getB(&data->noLinks) || !in.getBS(&data->color) || !in.getBD(&data->linetypeScale)) {
        return 0;
    }
    if constexpr (r2000) {
        if (!in.get2B(&data->linetypeFlags[0], &data->linetypeFlags[1]) ||
            !in.get2B(&data->plotStyleFlags[0], &data->plotStyleFlags[1])) {
            return 0;
        }
    }
    if (!in.getBS(&data->invisibility)) {
        return 0;
    }
    if constexpr (r2000) {
        return in.getRC(&data->lineweight);
    }
    return 1;
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
