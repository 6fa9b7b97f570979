#include "r13/classes.h"

#include "core/versions.h"
#include "r13/dwgcommon.h"
#include "r2004/container.h"
#include "support/bitcursor.h"
#include "support/publicstorage.h"

[[gnu::used]] static const char kIdent[] = "@(#)classes(R13 to R2018): Version 1.01.00";

namespace {

constexpr int32_t kSentinelBytes = 16;
constexpr char kMultileader[] = "MULTILEADER";
constexpr uint32_t kMultileaderLength = sizeof(kMultileader) - 1;

// Whether a stored name is "MULTILEADER": bytes up to R2004, whose count
// takes in a closing zero, UTF-16 units after.
template <class Read>
bool namesMultileader(uint32_t count, Read readUnit)
{
    bool same = count == kMultileaderLength || count == kMultileaderLength + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t unit = readUnit();
        same = same && (i < kMultileaderLength ? unit == static_cast<uint8_t>(kMultileader[i]) : unit == 0);
    }
    return same;
}

// Up to R2004 the names stand among the fields, from R2007 on they are the
// next texts of the string stream (names).
bool readDxfName(BitCursor &in, BitCursor &names, bool wide)
{
    BitCursor &from = wide ? names : in;
    for (int32_t name = 0; name < 2; ++name) {  // the application's and the C++ class's
        const uint32_t count = from.BS();
        from.skipBits(uint64_t{count} * (wide ? 16 : 8));
    }
    const uint32_t count = from.BS();
    return wide ? namesMultileader(count, [&] { return uint32_t{from.RS()}; })
                : namesMultileader(count, [&] { return uint32_t{from.RC()}; });
}

// Each class: a BS number, a BS of proxy flags, the three names, a zombie
// bit, a BS item class and from R2004 on (counted) five BLs (the count of
// its objects, the release and maintenance release it came with, two
// more), up to dataEnd.
uint16_t findIn(BitCursor &in, BitCursor &names, int64_t dataEnd, bool wide, bool counted)
{
    while (static_cast<int64_t>(in.bitOffset()) < dataEnd && !in.overran() && !names.overran()) {
        const uint16_t number = in.BS();
        in.skipBS();
        const bool found = readDxfName(in, names, wide);
        in.skipBits(1);
        in.skipBS();
        for (int32_t i = 0; counted && i < 5; ++i) {
            in.skipBL();
        }
        if (found && !in.overran() && !names.overran()) {
            return number >= kFirstClassNumber ? number : 0;
        }
    }
    return 0;
}

}  // namespace

// After the sentinel: the RL size of the data (and the second word). From
// R2007 on an RL count of bits, from where it stands, to the end of the
// string stream; then a BL (the highest class number) and a bit. In R2004
// a BS, two bytes and a bit; up to R2000 the classes follow the size.
uint16_t findMultileaderTypeIn(const uint8_t *bytes, int32_t length, int32_t versionIndex, bool moreSizeWord)
{
    BitCursor in(bytes, length);
    in.skipBytes(kSentinelBytes);
    const uint32_t size = in.RL();
    if (moreSizeWord) {
        in.skipBits(32);
    }
    if (!versionAtLeast(versionIndex, kAC1021)) {
        const int64_t dataEnd = (int64_t{kSentinelBytes} + 4 + size) * 8;
        const bool paged = versionAtLeast(versionIndex, kAC1018);
        if (paged) {
            in.skipBS();
            in.skipBits(8 + 8 + 1);
        }
        return findIn(in, in, dataEnd, false, paged);
    }
    const int64_t bitsAt = static_cast<int64_t>(in.bitOffset());
    const int64_t streamEnd = bitsAt + in.RL();
    const int64_t afterBits = static_cast<int64_t>(in.bitOffset());
    BitCursor names(bytes, length);
    const int64_t dataEnd = stringStreamStart(names, streamEnd);
    if (in.overran() || dataEnd < afterBits) {
        return 0;
    }
    names.seekBit(static_cast<uint64_t>(dataEnd));
    in.skipBL();
    in.skipBits(1);
    return findIn(in, names, dataEnd, true, true);
}

uint16_t findMultileaderType(MemoryService *memory, DrawingContainer *container, int32_t versionIndex,
                             bool moreSizeWord)
{
    const uint64_t size = container->sectionSize(SectionName::Classes);
    const uint32_t wanted = size < kMostClassBytes ? static_cast<uint32_t>(size) : kMostClassBytes;
    if (wanted == 0) {
        return kMultileaderUnknown;
    }
    auto *bytes = static_cast<uint8_t *>(memory->allocate(wanted));
    if (bytes == nullptr) {
        return 0;
    }
    const int32_t got = container->readSection(SectionName::Classes, 0, bytes, static_cast<int32_t>(wanted));
    const uint16_t type = static_cast<uint32_t>(got) == wanted
                              ? findMultileaderTypeIn(bytes, got, versionIndex, moreSizeWord)
                              : kMultileaderUnknown;
    memory->free(bytes);
    return type;
}
