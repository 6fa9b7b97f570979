#include "r12/r12dataread.h"

#include "core/dwgglobal.h"
#include "core/messages.h"
#include "core/versions.h"
#include "support/component.h"
#include "support/filestrmio.h"

static const char kModule[] = "r12dataread";
[[gnu::used]] static const char kIdent[] = "@(#)r12dataread(R10, R11 and R12): Version 2.05.00";

namespace {

// Bits of the flags byte in an entity head: each announces one field of
// the common part (see getEntityCommon for the order they are stored in).
constexpr uint16_t kFlagColour = 0x01;
constexpr uint16_t kFlagLinetype = 0x02;
constexpr uint16_t kFlagElevation = 0x04;
constexpr uint16_t kFlagThickness = 0x08;
constexpr uint16_t kFlagHandle = 0x20;
constexpr uint16_t kFlagExtraFlags = 0x40;

// Bits of the extra-flags byte.
constexpr uint16_t kExtraExtendedData = 0x02;
constexpr uint16_t kExtraWord = 0x04;

constexpr int32_t kRealSize = 8;

// LINE, POINT and 3DFACE keep their elevation in their 3D points; every
// other type stores it as a separate real when the head announces one.
bool hasElevationReal(uint8_t type)
{
    return type > 2 && type != 22;
}


}  // namespace

R12DataRead *newR12DataRead(DWGglobal *session, MemoryService *memory, FileStream *stream)
{
    if (session == nullptr || memory == nullptr || stream == nullptr) {
        return nullptr;
    }
    R12DataRead *reader = newIn<R12DataRead>(memory, session, memory, stream);
    if (reader == nullptr) {
        reportf(session, msg::kR12DataReadAllocation, HERE);
    }
    return reader;
}

void deleteR12DataRead(R12DataRead *reader)
{
    if (reader != nullptr) {
        deleteIn(reader->memory(), reader);
    }
}

int32_t R12DataRead::p_readBytesOneByOne(uint8_t *bytes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (stream_->read(bytes + i, 1) != 1) {
            return 0;
        }
    }
    return 1;
}

int32_t R12DataRead::skipBytes(int32_t count)
{
    const uint8_t *in = nullptr;
    if (count > 0 && stream_->view(&in) >= count) {
        stream_->advance(count);
        return 1;
    }
    uint8_t dropped = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!getRC(&dropped)) {
            return 0;
        }
    }
    return 1;
}

// After the first word and the option word, the fields the flags announce
// are stored in this order: extra flags, one block of extended data,
// colour, linetype index, elevation, thickness, handle, viewport.
int32_t R12DataRead::getEntityCommon(uint16_t *firstWord, uint16_t *optionWord, uint16_t *colour,
                                     uint16_t *extraFlags, uint8_t type, uint16_t flags)
{
    *colour = 0;
    *extraFlags = 0;
    if (!getRS(firstWord) || !getRS(optionWord)) {
        return 0;
    }
    if ((flags & kFlagExtraFlags) != 0 && !p_getByte(extraFlags)) {
        return 0;
    }
    if ((*extraFlags & kExtraExtendedData) != 0 && !p_skipExtendedData()) {
        return 0;
    }
    if ((flags & kFlagColour) != 0 && !p_getByte(colour)) {
        return 0;
    }
    if ((flags & kFlagLinetype) != 0 && !skipBytes(p_linetypeIndexSize())) {
        return 0;
    }
    if ((flags & kFlagElevation) != 0 && hasElevationReal(type) && !skipBytes(kRealSize)) {
        return 0;
    }
    if ((flags & kFlagThickness) != 0 && !skipBytes(kRealSize)) {
        return 0;
    }
    if ((flags & kFlagHandle) != 0 && !skipCountedBytes()) {
        return 0;
    }
    if ((*extraFlags & kExtraWord) != 0 && !skipBytes(2)) {
        return 0;
    }
    return 1;
}

int32_t R12DataRead::p_getByte(uint16_t *value)
{
    uint8_t byte = 0;
    if (!getRC(&byte)) {
        return 0;
    }
    *value = byte;
    return 1;
}

// R10 drawings index their linetype table with one byte, R11 and R12
// drawings with two.
int32_t R12DataRead::p_linetypeIndexSize() const
{
    return session_->versionIndex == kAC1006 ? 1 : 2;
}

int32_t R12DataRead::skipCountedBytes()
{
    uint8_t count = 0;
    return getRC(&count) && skipSpan(count) ? 1 : 0;
}

int32_t R12DataRead::skipSpan(int32_t count)
{
    constexpr int32_t kStep = 16;
    while (count > 0) {
        int32_t step = count < kStep ? count : kStep;
        if (!skipBytes(step)) {
            return 0;
        }
        count -= step;
    }
    return 1;
}

int32_t R12DataRead::skipPoint(int32_t hasThird)
{
    if (!skipBytes(2 * kRealSize)) {
        return 0;
    }
    return hasThird == 0 || skipBytes(kRealSize) ? 1 : 0;
}

int32_t R12DataRead::getDate(double *date)
{
    uint32_t whole = 0;
    uint32_t fraction = 0;
    if (!getRL(&whole) || !getRL(&fraction)) {
        return 0;
    }
    *date = static_cast<int32_t>(whole) + static_cast<int32_t>(fraction) * 0.00000001;
    return 1;
}

// A block of extended data: its size in bytes, then coded items. No item
// holds a text, and the block always ends where its size says, so it is
// passed over whole.
int32_t R12DataRead::p_skipExtendedData()
{
    uint16_t size = 0;
    return getRS(&size) && skipSpan(size) ? 1 : 0;
}
